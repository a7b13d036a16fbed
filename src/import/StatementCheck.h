#pragma once

#include "import/GenerationContext.h"
#include "import/StatementError.h"
#include "import/StatementLayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What decides whether a statement becomes certificates, apart from the walk that fills the
// deductee sheet: its form, its layout and its structure.
namespace cw::import {

// The message that refuses a statement of another form than Form 26Q (batch header field 5 of
// "Textdata"), or nothing for Form 26Q. Form 140, which takes these payments from the tax year
// 2026-27 on, gets a message of its own.
std::optional<std::string> otherFormRefusal(const GenerationContext& ctx);

// Checks a Form 26Q statement in "Textdata" before anything is made from it, and returns its
// layout (kept in the context too). The batch header on line 2 gives a financial year of a known
// layout and its count of challans; after it, every line up to blank lines at the end is a
// challan (CD) or a deductee record (DD) following a challan; every record has the fields the
// layout reads, amounts are numbers, and the counts of challans and of each challan's deductee
// records agree with the records that follow. Throws StatementError naming the first line that
// is wrong, e.g.
//   Line 16 of TDS.txt: challan 4 counts 6 deductee records, but 7 follow.
// `lineFields` holds the number of fields of each line as written (see importStatementText).
const StatementLayout& checkStatement(const host::Workbook& wb, const host::Sheet& text,
                                      const std::vector<std::uint16_t>& lineFields);
const StatementLayout& checkStatement(GenerationContext& ctx);

} // namespace cw::import
