// Defined names: a sheet's print area and print titles are decoded onto the sheet; every other
// name is kept as read.

#include "host/biff/Bytes.h"
#include "host/biff/XlsParser.h"

namespace cw::host {

using namespace biff;

bool XlsParser::decodePrintRanges(const std::vector<std::uint8_t>& f, int sheet, std::vector<Range>& out) const
{
    // Reference tokens, optionally joined by union operators and wrapped in the memory tokens
    // Excel puts around a list of areas; anything else is a name we keep as it is.
    std::vector<std::vector<Range>> stack;
    std::size_t i = 0;
    auto refersToSheet = [&](std::uint16_t ixti) {
        if (ixti >= m_xti.size())
            return false;
        const Xti& x = m_xti[ixti];
        return x.supBook < m_supBookInternal.size() && m_supBookInternal[x.supBook] && x.first == sheet
            && x.last == sheet;
    };
    while (i < f.size()) {
        const std::uint8_t ptg = f[i];
        switch (ptg) {
        case 0x3B: case 0x5B: case 0x7B: { // ptgArea3d
            if (i + 11 > f.size() || !refersToSheet(le16(&f[i + 1])))
                return false;
            Range r{le16(&f[i + 3]), le16(&f[i + 7]) & 0x3FFF, le16(&f[i + 5]), le16(&f[i + 9]) & 0x3FFF};
            if (r.firstCol > kXlsMaxCol || r.lastCol > kXlsMaxCol || r.firstRow > r.lastRow || r.firstCol > r.lastCol)
                return false;
            stack.push_back({r});
            i += 11;
            break;
        }
        case 0x3A: case 0x5A: case 0x7A: { // ptgRef3d
            if (i + 7 > f.size() || !refersToSheet(le16(&f[i + 1])))
                return false;
            const int row = le16(&f[i + 3]);
            const int col = le16(&f[i + 5]) & 0x3FFF;
            if (col > kXlsMaxCol)
                return false;
            stack.push_back({Range{row, col, row, col}});
            i += 7;
            break;
        }
        case 0x10: { // ptgUnion
            if (stack.size() < 2)
                return false;
            auto rhs = std::move(stack.back());
            stack.pop_back();
            stack.back().insert(stack.back().end(), rhs.begin(), rhs.end());
            i += 1;
            break;
        }
        case 0x15: // ptgParen
            i += 1;
            break;
        case 0x29: case 0x49: case 0x69: // ptgMemFunc: its subexpression follows inline
            i += 3;
            break;
        case 0x26: case 0x46: case 0x66: // ptgMemArea: likewise, with its cached areas in rgcb
            i += 7;
            break;
        default:
            return false;
        }
    }
    if (stack.size() != 1 || stack.front().empty())
        return false;
    out = std::move(stack.front());
    return true;
}

void XlsParser::decodeNames()
{
    const int sheets = m_wb.sheetCount();
    for (std::size_t offset : m_nameOffsets) {
        m_r.seek(offset);
        m_r.next();
        DefinedName n;
        n.flags = m_r.u16();
        n.keyboardShortcut = m_r.u8();
        const std::size_t cch = m_r.u8();
        const std::size_t cce = m_r.u16();
        m_r.u16();
        n.sheetIndex = m_r.u16();
        m_r.skip(4);
        n.builtin = (n.flags & 0x0020) != 0;
        m_r.unicodeStringNoCch(cch, n.name);
        const std::uint8_t* rgce = m_r.bytes(cce);
        n.formula.assign(rgce, rgce + cce);
        const std::size_t rest = m_r.remaining();
        const std::uint8_t* tail = m_r.bytes(rest);
        n.rest.assign(tail, tail + rest);

        const bool printArea = n.builtin && n.name.size() == 1 && n.name[0] == 0x06;
        const bool printTitles = n.builtin && n.name.size() == 1 && n.name[0] == 0x07;
        const int sheet = static_cast<int>(n.sheetIndex) - 1;
        if ((printArea || printTitles) && sheet >= 0 && sheet < sheets
            && m_wb.sheet(sheet).kind() == SheetKind::Worksheet) {
            std::vector<Range> ranges;
            if (decodePrintRanges(n.formula, sheet, ranges)) {
                Sheet& sh = m_wb.sheet(sheet);
                if (printArea && sh.printArea().empty()) {
                    sh.printArea() = std::move(ranges);
                    continue;
                }
                if (printTitles && !sh.printTitleRows() && !sh.printTitleCols()) {
                    std::optional<std::pair<int, int>> rows, cols;
                    bool ok = ranges.size() <= 2;
                    for (const Range& r : ranges) {
                        if (r.firstCol == 0 && r.lastCol == kXlsMaxCol && !rows)
                            rows = std::make_pair(r.firstRow, r.lastRow);
                        else if (r.firstRow == 0 && r.lastRow == kXlsMaxRows - 1 && !cols)
                            cols = std::make_pair(r.firstCol, r.lastCol);
                        else
                            ok = false;
                    }
                    if (ok) {
                        sh.printTitleRows() = rows;
                        sh.printTitleCols() = cols;
                        continue;
                    }
                }
            }
        }
        m_wb.names().push_back(std::move(n));
    }
}

} // namespace cw::host
