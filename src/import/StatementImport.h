#pragma once

#include "import/GenerationContext.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace cw::import {

// A statement larger than this is refused before it is read: no real quarterly statement
// comes near it, and reading it whole must stay within memory.
inline constexpr std::uintmax_t kMaxStatementBytes = std::uintmax_t{1} << 30;

// Reads TDS.txt of the application folder into sheet "Textdata" (see importStatementText),
// keeps the lines' field counts in the context and makes that sheet active. Throws host::Error
// naming the file when it cannot be read, is too large or has more lines than a sheet has rows.
void importStatement(GenerationContext& ctx);

// The parser behind importStatement, on bytes already in memory. Row n of `sheet` gets line n:
// fields split at "^", a field in double quotes taken without them ("" inside is one quote),
// each field converted as the General format does (a date gets a date format). Lines end at
// CR LF, LF or CR. Code page 437, or UTF-8 after a UTF-8 byte-order mark. Fields past column
// 256 are dropped; a cell text is cut at the 32,767 characters a cell holds. The sheet's old
// contents are cleared first. Returns the number of fields of each line, empty ones included
// (at most 256). A field whose opening quote its line does not close throws StatementError
// naming the line and the field.
std::vector<std::uint16_t> importStatementText(host::Workbook& wb, host::Sheet& sheet, std::string_view bytes);

} // namespace cw::import
