#include "import/StatementImport.h"

#include "host/Error.h"
#include "host/General.h"
#include "import/SheetCells.h"
#include "import/StatementError.h"

#include <string>

namespace cw::import {

namespace {

[[noreturn]] void tooManyLines(const StatementText& statement)
{
    throw StatementError(0, "The text file " + statement.shownName() + " has more than " +
                                std::to_string(host::kMaxRows) + " lines, more than a sheet holds.");
}

[[noreturn]] void tooManyFields(const StatementText& statement, int line, std::uintmax_t cells)
{
    throw StatementError(line, "The text file " + statement.shownName() + " is not an e-TDS statement: up to line " +
                                   std::to_string(line) + " its lines hold " + std::to_string(cells) +
                                   " fields, far more than a statement of its size has.");
}

} // namespace

void importStatementText(host::Workbook& wb, host::Sheet& sheet, const StatementText& statement)
{
    sheet.clearContents(host::Range{0, 0, host::kMaxRows - 1, host::kMaxCols - 1});
    if (statement.lineCount() > static_cast<std::size_t>(host::kMaxRows))
        tooManyLines(statement);
    if (statement.lineCount() == 0)
        return;
    // Size the row table once: touching the last row's first cell makes every row up to it.
    sheet.reserveRow(static_cast<int>(statement.lineCount()) - 1, 0);

    const std::uint16_t dateFormat = dateXf(wb);
    const std::uintmax_t cellLimit = statementCellLimit(statement.byteCount());
    std::uintmax_t cells = 0;
    statement.forEachLine([&](int line, const LineFields& f) {
        std::size_t used = f.count();
        while (used > 0 && f[static_cast<int>(used)].empty())
            --used;
        cells += used;
        if (cells > cellLimit)
            tooManyFields(statement, line, cells);
        const int row = line - 1;
        if (used > 0)
            sheet.reserveRow(row, static_cast<int>(used)); // the row's cells in one allocation
        for (std::size_t k = 1; k <= used; ++k) {
            const std::string_view text = f[static_cast<int>(k)];
            if (text.empty())
                continue;
            host::GeneralResult g = host::parseGeneral(clipToCell(text));
            sheet.setCell(row, static_cast<int>(k - 1),
                          host::Cell{std::move(g.value), g.isDate ? dateFormat : host::kDefaultXf});
        }
        return true;
    });
}

} // namespace cw::import
