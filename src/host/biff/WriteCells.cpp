// A worksheet's cell table: ROW records and cells in blocks of up to 32 rows, each block closed
// by a DBCELL, with the smallest record that holds each value exactly.

#include "host/biff/Records.h"
#include "host/biff/Rk.h"
#include "host/biff/WriterState.h"

#include <algorithm>
#include <cmath>

namespace cw::host {

using namespace biff;

// The blocks of the rows planned by planRows(); each DBCELL's offset goes into INDEX.
void XlsWriter::Impl::writeCellTable(const Sheet& s, SheetPlan& plan, std::size_t dbcellFields)
{
    std::vector<std::uint32_t> dbcells;
    for (std::size_t k = 0; k < rows.size();) {
        std::size_t end = k + 1;
        while (end < rows.size() && rows[end].row / kRowsPerBlock == rows[k].row / kRowsPerBlock)
            ++end;
        writeRowBlock(s, plan, k, end, dbcells);
        k = end;
    }
    for (std::size_t b = 0; b < dbcells.size(); ++b)
        w.patchU32(dbcellFields + 4 * b, dbcells[b]);
}

void XlsWriter::Impl::writeRowBlock(const Sheet& s, SheetPlan& plan, std::size_t first, std::size_t last,
                                    std::vector<std::uint32_t>& dbcells)
{
    const std::size_t firstRowRecord = w.position();
    for (std::size_t k = first; k < last; ++k) {
        const RowPlan& rp = rows[k];
        const RowInfo* info = s.rowInfo(rp.row);
        w.begin(rt::Row);
        w.u16(static_cast<std::uint16_t>(rp.row));
        w.u16(static_cast<std::uint16_t>(rp.firstCol < 0 ? 0 : rp.firstCol));
        w.u16(static_cast<std::uint16_t>(rp.firstCol < 0 ? 0 : rp.lastCol + 1));
        if (info) {
            w.u16(info->heightTwips & 0x7FFF);
            w.u32(0);
            w.u16(static_cast<std::uint16_t>((info->outlineLevel & 0x07) | (info->collapsed ? 0x10 : 0) |
                                             (info->hidden ? 0x20 : 0) | (info->customHeight ? 0x40 : 0) |
                                             (info->hasFormat ? 0x80 : 0) | 0x0100));
            w.u16(static_cast<std::uint16_t>((info->hasFormat ? xfOf(info->xf) : kDefaultXf) |
                                             (info->thickTop ? 0x1000 : 0) | (info->thickBottom ? 0x2000 : 0)));
        } else {
            w.u16(s.defaultRowHeight() & 0x7FFF);
            w.u32(0);
            w.u16(0x0100);
            w.u16(kDefaultXf);
        }
        w.end();
    }
    // DBCELL: from the second ROW record to the first cell of the first row, then from each
    // row's first cell to the next one's.
    std::uint32_t offsets[kRowsPerBlock];
    std::size_t count = 0;
    std::size_t prevStart = firstRowRecord + 20;
    for (std::size_t k = first; k < last; ++k) {
        const std::size_t start = w.position();
        writeCells(s, plan, rows[k]);
        offsets[count++] = static_cast<std::uint32_t>(start - prevStart);
        prevStart = start;
    }
    dbcells.push_back(static_cast<std::uint32_t>(w.position()));
    w.begin(rt::DBCell);
    w.u32(static_cast<std::uint32_t>(w.position() - 4 - firstRowRecord));
    for (std::size_t k = 0; k < count; ++k)
        w.u16(static_cast<std::uint16_t>(offsets[k]));
    w.end();
}

void XlsWriter::Impl::writeCells(const Sheet& s, SheetPlan& plan, const RowPlan& rp)
{
    if (rp.firstCol < 0)
        return;
    const int r = rp.row;
    // Texts are not copied out of the sheet: their shared-string indexes were taken in order.
    for (int c = rp.firstCol; c <= rp.lastCol; ++c) {
        if (!s.hasCell(r, c))
            continue;
        const std::uint16_t xf = xfOf(s.xfAt(r, c));
        const std::uint32_t formula = s.formulaAt(r, c);
        if (formula != kNoFormula && formulaVerbatim(s, plan, formula, r, c)) {
            writeFormula(s, r, c, xf, *s.cell(r, c));
            continue;
        }
        if (s.textAt(r, c)) {
            writeSharedString(r, c, xf);
            continue;
        }
        if (s.holdsValue(r, c)) {
            writeValue(r, c, xf, s.value(r, c));
            continue;
        }
        // Formatted empty cells: a run of them becomes one MULBLANK.
        int end = c + 1;
        while (end <= rp.lastCol) {
            if (!s.hasCell(r, end) || s.holdsValue(r, end))
                break;
            if (const std::uint32_t f = s.formulaAt(r, end); f != kNoFormula && formulaVerbatim(s, plan, f, r, end))
                break;
            ++end;
        }
        if (end - c == 1) {
            w.begin(rt::Blank);
            w.u16(static_cast<std::uint16_t>(r));
            w.u16(static_cast<std::uint16_t>(c));
            w.u16(xf);
            w.end();
        } else {
            w.begin(rt::MulBlank);
            w.u16(static_cast<std::uint16_t>(r));
            w.u16(static_cast<std::uint16_t>(c));
            for (int k = c; k < end; ++k)
                w.u16(xfOf(s.xfAt(r, k)));
            w.u16(static_cast<std::uint16_t>(end - 1));
            w.end();
        }
        c = end - 1;
    }
}

void XlsWriter::Impl::writeValue(int row, int col, std::uint16_t xf, const Value& v)
{
    auto head = [&](std::uint16_t type) {
        w.begin(type);
        w.u16(static_cast<std::uint16_t>(row));
        w.u16(static_cast<std::uint16_t>(col));
        w.u16(xf);
    };
    auto boolErr = [&](std::uint8_t value, bool error) {
        head(rt::BoolErr);
        w.u8(value);
        w.u8(error ? 1 : 0);
        w.end();
    };
    switch (v.index()) {
    case 1: {
        const double d = std::get<double>(v);
        std::uint32_t rk;
        if (!std::isfinite(d)) {
            boolErr(static_cast<std::uint8_t>(ErrorValue::Num), true);
        } else if (encodeRk(d, rk)) {
            head(rt::RK);
            w.u32(rk);
            w.end();
        } else {
            head(rt::Number);
            w.f64(d);
            w.end();
        }
        break;
    }
    case 2:
        writeSharedString(row, col, xf);
        break;
    case 3:
        boolErr(std::get<bool>(v) ? 1 : 0, false);
        break;
    case 4:
        boolErr(static_cast<std::uint8_t>(std::get<ErrorValue>(v)), true);
        break;
    default:
        break;
    }
}

void XlsWriter::Impl::writeSharedString(int row, int col, std::uint16_t xf)
{
    w.begin(rt::LabelSst);
    w.u16(static_cast<std::uint16_t>(row));
    w.u16(static_cast<std::uint16_t>(col));
    w.u16(xf);
    w.u32(cellStrings[cellStringAt++]);
    w.end();
}

void XlsWriter::Impl::writeFormula(const Sheet& s, int row, int col, std::uint16_t xf, const Cell& c)
{
    const Formula& f = s.formulas()[c.formula];
    w.begin(rt::Formula);
    w.u16(static_cast<std::uint16_t>(row));
    w.u16(static_cast<std::uint16_t>(col));
    w.u16(xf);
    // FormulaValue: a number, or a tagged non-number with 0xFFFF in the top bytes.
    auto tagged = [&](std::uint8_t type, std::uint8_t value) {
        const std::uint8_t b[8] = {type, 0, value, 0, 0, 0, 0xFF, 0xFF};
        w.bytes(b);
    };
    const std::string* text = std::get_if<std::string>(&c.value);
    switch (c.value.index()) {
    case 1:
        if (std::isfinite(std::get<double>(c.value)))
            w.f64(std::get<double>(c.value));
        else
            tagged(2, static_cast<std::uint8_t>(ErrorValue::Num));
        break;
    case 2: tagged(text->empty() ? 3 : 0, 0); break;
    case 3: tagged(1, std::get<bool>(c.value) ? 1 : 0); break;
    case 4: tagged(2, static_cast<std::uint8_t>(std::get<ErrorValue>(c.value))); break;
    default: tagged(3, 0); break; // no cached result: an empty text
    }
    w.u16(f.flags);
    w.u32(f.chn);
    w.bytes(f.parsed);
    w.end();
    for (const RawRecord& r : f.follow)
        w.record(r.type, r.data);
    if (text && !text->empty()) {
        // STRING: the text result. A long one goes on in CONTINUE records, each starting with
        // the flags byte again, like a string of the shared string table.
        std::vector<char16_t> units;
        utf8ToUtf16(*text, units);
        const bool compressed = std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x100; });
        const std::size_t charSize = compressed ? 1 : 2;
        w.begin(rt::String);
        w.u16(static_cast<std::uint16_t>(units.size()));
        w.u8(compressed ? 0 : 1);
        for (std::size_t k = 0; k < units.size(); ++k) {
            const bool pairStart = !compressed && units[k] >= 0xD800 && units[k] <= 0xDBFF;
            if (w.recordSize() + charSize * (pairStart ? 2 : 1) > kMaxRecordData) {
                w.end();
                w.begin(rt::Continue);
                w.u8(compressed ? 0 : 1);
            }
            if (compressed)
                w.u8(static_cast<std::uint8_t>(units[k]));
            else
                w.u16(units[k]);
        }
        w.end();
    }
}

} // namespace cw::host
