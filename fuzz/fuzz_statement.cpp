// Arbitrary bytes as TDS.txt through the import into "Textdata", the statement check and the
// extraction of the deductor row and the deductee rows, on a workbook in memory, in the order
// the Generate command takes them. Besides crashes and sanitizer findings it checks what the
// later steps rely on: every text cell is valid UTF-8 within a cell's length, a refusal names a
// line of the statement and writes no deductee row, and each deductee row stands for a line.
#include "import/SheetCells.h"
#include "host/Error.h"
#include "import/DeductorRow.h"
#include "import/DeducteeRows.h"
#include "import/StatementCheck.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace cw;

namespace {

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::size_t utf16Units(std::string_view s)
{
    std::size_t n = 0;
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        n += (b & 0xC0) == 0x80 ? 0 : b >= 0xF0 ? 2 : 1;
    }
    return n;
}

void checkTexts(const host::Sheet& sheet)
{
    for (int r = 0; r < sheet.rowCount(); ++r)
        for (int c = 0; c < sheet.rowWidth(r); ++c)
            if (const auto s = sheet.textAt(r, c))
                if (!validUtf8(*s) || utf16Units(*s) > import::kMaxCellChars)
                    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    host::Workbook wb;
    wb.addSheet("Form 16A");
    import::GenerationContext ctx;
    ctx.workbook = &wb;
    import::prepareWorkSheets(ctx);
    ctx.deductorSheet = &wb.sheet(import::kDeductorSheet);
    ctx.deducteeSheet = &wb.sheet(import::kDeducteeSheet);
    import::writeSheetHeadings(ctx);

    host::Sheet& text = wb.sheet(import::kTextSheet);
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A refusal names a line of the statement (at most one per line break, and one more) and
    // writes no deductee row.
    const auto refusedWell = [&](const import::StatementError& e) {
        const auto breaks = std::count(bytes.begin(), bytes.end(), '\n') + std::count(bytes.begin(), bytes.end(), '\r');
        return e.line() >= 1 && e.line() <= breaks + 1 && ctx.deducteeSheet->rowCount() == 1;
    };
    try {
        ctx.lineFields = import::importStatementText(wb, text, bytes);
        checkTexts(text);
        import::fillDeductorRow(ctx);
        checkTexts(*ctx.deductorSheet);
        if (import::otherFormRefusal(ctx))
            return 0;
        import::checkStatement(ctx);
        import::fillDeducteeRows(ctx);
    } catch (const import::StatementError& e) {
        if (!refusedWell(e))
            std::abort();
        return 0;
    }
    checkTexts(*ctx.deducteeSheet);
    // Every row stands for a deductee record: at most one per line after the headers.
    if (ctx.deducteeSheet->rowCount() > std::max(1, text.rowCount() - 2))
        std::abort();
    return 0;
}
