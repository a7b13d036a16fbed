// Arbitrary bytes as TDS.txt through the reading of the statement, in the order the Generate
// command takes it: the text and its lines, the form, then the records, or the work sheets a
// statement of another form leaves. Besides crashes and sanitizer findings it checks what the
// certificates rely on: every text is valid UTF-8 within a cell's length, a refusal names a line
// of the statement (or the whole file), and each payment stands for a line with amounts a
// certificate prints truthfully.
#include "host/Error.h"
#include "host/Workbook.h"
#include "import/SheetCells.h"
#include "import/Statement.h"
#include "import/StatementError.h"
#include "import/WorkSheets.h"

#include <algorithm>
#include <cmath>
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

void checkText(std::string_view s)
{
    if (!validUtf8(s) || import::clipToCell(s).size() != s.size())
        std::abort();
}

void checkSheet(const host::Sheet& sheet)
{
    for (int r = 0; r < sheet.rowCount(); ++r)
        for (int c = 0; c < sheet.rowWidth(r); ++c)
            if (const auto s = sheet.textAt(r, c))
                checkText(*s);
}

void checkRecords(const import::Statement& s, std::size_t lines)
{
    checkText(s.deductor.name);
    checkText(s.deductor.address);
    int lastLine = 2;
    for (const import::Payment& p : s.payments) {
        if (p.line <= lastLine || static_cast<std::size_t>(p.line) > lines || p.challan >= s.challans.size())
            std::abort();
        lastLine = p.line;
        for (double a : {p.amountPaid, p.tds, p.surcharge, p.cess, p.totalDeducted, p.taxDeposited})
            if (!std::isfinite(a) || std::fabs(a) >= 1e13)
                std::abort();
        for (import::TextId t : {p.name, p.pan, p.section, p.paidOn})
            checkText(s.text(t));
        if (s.text(p.pan).size() > 40)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    try {
        const import::StatementText text = import::StatementText::fromBytes(bytes);
        lines = text.lineCount();
        if (import::otherFormRefusal(import::statementKind(text))) {
            host::Workbook wb;
            wb.addSheet("Form 16A");
            import::writeWorkSheets(wb, text);
            for (int i = 0; i < wb.sheetCount(); ++i)
                checkSheet(wb.sheet(i));
            return 0;
        }
        checkRecords(import::readStatement(text), lines);
    } catch (const import::StatementError& e) {
        // Line 0 is the whole file's fault.
        if (e.line() < 0 || (e.line() > 0 && static_cast<std::size_t>(e.line()) > std::max<std::size_t>(lines, 2)))
            std::abort();
    } catch (const host::Error&) {
        // A statement of another form that fills more cells than its size allows.
    }
    return 0;
}
