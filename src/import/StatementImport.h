#pragma once

#include "import/StatementText.h"
#include "host/Sheet.h"

#include <cstdint>

namespace cw::import {

// The cells a statement of `bytes` bytes may fill in its sheet. A row keeps a cell of eight
// bytes for every field up to its last non-empty one, empty fields between included, so lines
// of empty or one-character fields take four to eight times their size. A real statement
// fills a cell for every four to six bytes; one that reaches this limit is refused there, so
// that no statement takes more than four times its size and 200 MiB.
constexpr std::uintmax_t statementCellLimit(std::uintmax_t bytes)
{
    return (5 * bytes / 2 + (std::uintmax_t{100} << 20)) / host::Sheet::kBytesPerCell;
}
// The most memory reading a statement of `bytes` bytes into a sheet can take: the bytes
// themselves, the cells it may fill, its text once more in the sheet's pool and the pool's
// index of it, and a row for each of the lines a sheet holds.
constexpr std::uintmax_t statementMemoryBound(std::uintmax_t bytes)
{
    return bytes * 3 + statementCellLimit(bytes) * host::Sheet::kBytesPerCell +
           std::uintmax_t{host::kMaxRows} * host::Sheet::kBytesPerRow;
}
// Memory a statement may take, so that the largest deductors' statements (a million records,
// about 140 MB) are read on a 4 GB laptop. No real quarterly statement comes near the bound.
inline constexpr std::uintmax_t kStatementMemoryBudget = std::uintmax_t{3} << 30;
// A statement larger than this is refused before it is read: the bound grows by five and a
// half bytes a byte (three held, two and a half in cells).
inline constexpr std::uintmax_t kMaxStatementBytes = (kStatementMemoryBudget - statementMemoryBound(0)) * 2 / 11;
static_assert(statementMemoryBound(kMaxStatementBytes) <= kStatementMemoryBudget &&
              statementMemoryBound(kMaxStatementBytes + 16) > kStatementMemoryBudget);

// Fills `sheet` with the statement as a spreadsheet shows it: row n gets line n, each field in
// its column, converted as the General format converts typed text (a date gets a date format).
// Fields past column 256 are dropped; a cell text is cut at the 32,767 characters a cell holds.
// The sheet's old contents are cleared first. Lines that fill more cells than
// statementCellLimit allows, or more lines than a sheet has rows, throw StatementError.
void importStatementText(host::Workbook& wb, host::Sheet& sheet, const StatementText& statement);

} // namespace cw::import
