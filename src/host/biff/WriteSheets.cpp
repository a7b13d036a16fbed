// Each sheet's substream: a worksheet's records around its cell table (settings, page setup,
// columns, window, merged ranges) with the raw records in their places; other sheets as read.

#include "host/biff/Bytes.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/Records.h"
#include "host/biff/WriterState.h"

#include <algorithm>
#include <cstring>

namespace cw::host {

using namespace biff;

namespace {
constexpr std::size_t kMaxMergesPerRecord = 1026;
} // namespace

void XlsWriter::Impl::writeSheet(int index)
{
    w.patchU32(plans[static_cast<std::size_t>(index)].boundSheetPos, static_cast<std::uint32_t>(w.position()));
    if (wb.sheet(index).kind() == SheetKind::Worksheet)
        writeWorksheet(index);
    else
        writeOtherSheet(index);
}

// Chart, macro and module sheets: their substream as read.
void XlsWriter::Impl::writeOtherSheet(int index)
{
    const Sheet& s = wb.sheet(index);
    const std::uint16_t dt = s.kind() == SheetKind::Chart ? 0x0020 : s.kind() == SheetKind::MacroSheet ? 0x0040 : 0x0006;
    if (s.bof().size() >= 16) {
        w.record(rt::Bof, s.bof());
    } else {
        const auto bof = bofBody(dt);
        w.record(rt::Bof, bof);
    }
    for (const RawRecord& r : s.rawSubstream())
        w.record(r.type, r.data);
    w.record(rt::Eof, {});
}

// Computes the slot of each raw record of a sheet list into rawSlots (kDrop: not written).
void XlsWriter::Impl::placeRaw(const std::vector<RawRecord>& list, bool before, const SheetPlan& plan)
{
    rawSlots.assign(list.size(), kDrop);
    int prev = before ? wAfterWsBool : wAfterCells;
    bool prevDropped = false;
    for (std::size_t i = 0; i < list.size();) {
        if (list[i].type == rt::Bof) {
            // An embedded chart: its whole substream stays together with the drawing.
            const std::size_t end = substreamEnd(list, i);
            const int slot = plan.keepDrawing ? wAfterCells : kDrop;
            for (std::size_t j = i; j < end; ++j)
                rawSlots[j] = slot;
            prevDropped = slot == kDrop;
            if (!prevDropped)
                prev = slot;
            i = end;
            continue;
        }
        int slot;
        if (list[i].type == rt::Continue)
            slot = prevDropped ? kDrop : prev;
        else if (!plan.keepDrawing && isDrawingRecord(list[i].type))
            slot = kDrop;
        else if ((slot = sheetSlot(list[i].type)) == kFollow)
            slot = prev;
        // Keep each list on its side of the cell table.
        if (slot != kDrop)
            slot = before ? std::min<int>(slot, wAfterColInfo) : std::max<int>(slot, wAfterCells);
        rawSlots[i] = slot;
        prevDropped = slot == kDrop;
        if (!prevDropped)
            prev = slot;
        ++i;
    }
}

void XlsWriter::Impl::writeRawSlot(const std::vector<RawRecord>& list, int slot)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (rawSlots[i] == slot)
            w.record(list[i].type, list[i].data);
}

void XlsWriter::Impl::writeRawOr(const std::vector<RawRecord>& list, std::uint16_t type,
                                 std::initializer_list<std::uint8_t> fallback)
{
    const RawRecord* r = findRaw(list, type);
    if (r && r->data.size() == fallback.size())
        w.record(type, r->data);
    else
        w.record(type, fallback);
}

// The rows that get a ROW record: those with cells or with row properties.
XlsWriter::Impl::CellExtent XlsWriter::Impl::planRows(const Sheet& s)
{
    CellExtent e;
    rows.clear();
    const int rowCount = s.rowCount();
    for (int r = 0; r < rowCount; ++r) {
        int first = -1, last = -1;
        const int width = std::min(s.rowWidth(r), kMaxCols);
        for (int c = 0; c < width; ++c)
            if (s.hasCell(r, c)) {
                if (first < 0)
                    first = c;
                last = c;
            }
        const RowInfo* info = s.rowInfo(r);
        if (first < 0 && !info)
            continue;
        rows.push_back({r, first, last});
        if (info)
            e.maxRowLevel = std::max<std::uint8_t>(e.maxRowLevel, info->outlineLevel & 0x07);
        if (first >= 0) {
            if (e.firstRow < 0)
                e.firstRow = r;
            e.lastRow = r;
            e.firstCol = std::min(e.firstCol, first);
            e.lastCol = std::max(e.lastCol, last);
        }
    }
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (k == 0 || rows[k].row / kRowsPerBlock != rows[k - 1].row / kRowsPerBlock)
            ++e.blocks;
    return e;
}

void XlsWriter::Impl::writeWorksheet(int index)
{
    const Sheet& s = wb.sheet(index);
    SheetPlan& plan = plans[static_cast<std::size_t>(index)];
    const auto& before = plan.before ? *plan.before : s.rawBeforeCells();
    const auto& after = plan.after ? *plan.after : s.rawAfterCells();
    const CellExtent extent = planRows(s);

    // BOF: the producer's as read, else ours.
    if (s.bof().size() >= 16) {
        std::vector<std::uint8_t> body = s.bof();
        body[2] = 0x10;
        body[3] = 0x00;
        w.record(rt::Bof, body);
    } else {
        const auto bof = bofBody(0x0010);
        w.record(rt::Bof, bof);
    }
    placeRaw(before, true, plan);
    writeRawSlot(before, wAfterBof);

    // INDEX: the row range and each DBCELL's offset, filled in after the cells.
    w.begin(rt::Index);
    w.u32(0);
    w.u32(rows.empty() ? 0u : static_cast<std::uint32_t>(rows.front().row));
    w.u32(rows.empty() ? 0u : static_cast<std::uint32_t>(rows.back().row + 1));
    const std::size_t defColWidthField = w.position();
    w.u32(0);
    const std::size_t dbcellFields = w.position();
    w.zeros(4 * extent.blocks);
    w.end();

    writeSheetSettings(s, before, extent.maxRowLevel);
    writeRawSlot(before, wAfterWsBool);
    writePageSetup(s, before);
    w.patchU32(defColWidthField, static_cast<std::uint32_t>(w.position()));
    writeColumns(s);
    writeRawSlot(before, wAfterColInfo);

    w.begin(rt::Dimensions);
    if (extent.firstRow >= 0) {
        w.u32(static_cast<std::uint32_t>(extent.firstRow));
        w.u32(static_cast<std::uint32_t>(extent.lastRow + 1));
        w.u16(static_cast<std::uint16_t>(extent.firstCol));
        w.u16(static_cast<std::uint16_t>(extent.lastCol + 1));
    } else {
        w.zeros(12);
    }
    w.u16(0);
    w.end();

    writeCellTable(s, plan, dbcellFields);
    placeRaw(after, false, plan);
    writeRawSlot(after, wAfterCells);
    writeWindow2(s, index);
    writeRawSlot(after, wAfterWindow2);
    writeMergedCells(s);
    writeRawSlot(after, wAfterMerged);
    w.record(rt::Eof, {});
}

// The calculation settings as read (or Excel's defaults), print options, GUTS, the default row
// height and WSBOOL.
void XlsWriter::Impl::writeSheetSettings(const Sheet& s, const std::vector<RawRecord>& before, std::uint8_t maxRowLevel)
{
    const PageSetup& ps = s.pageSetup();
    writeRawOr(before, rt::CalcCount, {0x64, 0x00});
    writeRawOr(before, rt::CalcMode, {0x01, 0x00});
    writeRawOr(before, rt::CalcRefMode, {0x01, 0x00});
    writeRawOr(before, rt::CalcIter, {0x00, 0x00});
    writeRawOr(before, rt::CalcDelta, {0xFC, 0xA9, 0xF1, 0xD2, 0x4D, 0x62, 0x50, 0x3F}); // 0.001
    writeRawOr(before, rt::CalcSaveRecalc, {0x01, 0x00});
    w.record(rt::PrintRowCol, {static_cast<std::uint8_t>(ps.printHeadings ? 1 : 0), 0});
    w.record(rt::PrintGrid, {static_cast<std::uint8_t>(ps.printGridlines ? 1 : 0), 0});
    writeRawOr(before, rt::GridSet, {0x01, 0x00});

    // GUTS: the outline gutters, sized for the deepest row and column outline levels.
    std::uint8_t maxColLevel = 0;
    for (const ColumnInfo& ci : s.columns())
        maxColLevel = std::max<std::uint8_t>(maxColLevel, ci.outlineLevel & 0x07);
    w.begin(rt::Guts);
    w.u16(maxRowLevel ? static_cast<std::uint16_t>(17 + 12 * maxRowLevel) : 0);
    w.u16(maxColLevel ? static_cast<std::uint16_t>(17 + 12 * maxColLevel) : 0);
    w.u16(maxRowLevel ? static_cast<std::uint16_t>(maxRowLevel + 1) : 0);
    w.u16(maxColLevel ? static_cast<std::uint16_t>(maxColLevel + 1) : 0);
    w.end();

    w.begin(rt::DefaultRowHeight);
    w.u16(s.defaultRowFlags());
    w.u16(s.defaultRowHeight());
    w.end();

    // WSBOOL: the options as read (or Excel's defaults), with our fit-to-page flag.
    std::uint16_t wsbool = 0x04C1;
    if (const std::uint8_t* p = rawBody(before, rt::WsBool, 2))
        wsbool = le16(p);
    wsbool = static_cast<std::uint16_t>(ps.fitToPage ? (wsbool | 0x0100) : (wsbool & ~0x0100));
    w.record(rt::WsBool, {static_cast<std::uint8_t>(wsbool), static_cast<std::uint8_t>(wsbool >> 8)});
}

// HEADER to SETUP, with the raw records that stand between them.
void XlsWriter::Impl::writePageSetup(const Sheet& s, const std::vector<RawRecord>& before)
{
    const PageSetup& ps = s.pageSetup();
    // HEADER / FOOTER: an empty record when there is none.
    w.begin(rt::Header);
    if (!ps.header.empty())
        w.string16(ps.header, 255);
    w.end();
    w.begin(rt::Footer);
    if (!ps.footer.empty())
        w.string16(ps.footer, 255);
    w.end();
    w.record(rt::HCenter, {static_cast<std::uint8_t>(ps.hCenter ? 1 : 0), 0});
    w.record(rt::VCenter, {static_cast<std::uint8_t>(ps.vCenter ? 1 : 0), 0});
    const std::pair<std::uint16_t, double> margins[] = {{rt::LeftMargin, ps.leftMargin},
                                                        {rt::RightMargin, ps.rightMargin},
                                                        {rt::TopMargin, ps.topMargin},
                                                        {rt::BottomMargin, ps.bottomMargin}};
    for (const auto& [type, inches] : margins) {
        w.begin(type);
        w.f64(inches);
        w.end();
    }
    writeRawSlot(before, wAfterMargins);

    w.begin(rt::Setup);
    w.u16(ps.paperSize);
    w.u16(ps.scale);
    w.u16(ps.pageStart);
    w.u16(ps.fitWidth);
    w.u16(ps.fitHeight);
    w.u16(static_cast<std::uint16_t>((ps.leftToRight ? 0x01 : 0) | (ps.portrait ? 0x02 : 0) |
                                     (ps.noPrinterSettings ? 0x04 : 0) | (ps.noColor ? 0x08 : 0) |
                                     (ps.draft ? 0x10 : 0) | (ps.notes ? 0x20 : 0) | (ps.noOrient ? 0x40 : 0) |
                                     (ps.usePageStart ? 0x80 : 0)));
    w.u16(ps.hRes);
    w.u16(ps.vRes);
    w.f64(ps.headerMargin);
    w.f64(ps.footerMargin);
    w.u16(ps.copies);
    w.end();
    writeRawSlot(before, wAfterSetup);
}

void XlsWriter::Impl::writeColumns(const Sheet& s)
{
    w.record(rt::DefColWidth, {static_cast<std::uint8_t>(s.defaultColumnWidth()),
                               static_cast<std::uint8_t>(s.defaultColumnWidth() >> 8)});
    for (const ColumnInfo& ci : s.columns()) {
        if (ci.first < 0 || ci.first > kXlsLastCol || ci.last < ci.first)
            continue;
        w.begin(rt::ColInfo);
        w.u16(static_cast<std::uint16_t>(ci.first));
        w.u16(static_cast<std::uint16_t>(std::min<int>(ci.last, kXlsLastCol)));
        w.u16(ci.width);
        w.u16(xfOf(ci.xf));
        w.u16(static_cast<std::uint16_t>((ci.hidden ? 0x0001 : 0) | (ci.customWidth ? 0x0002 : 0) |
                                         (ci.bestFit ? 0x0004 : 0) | ((ci.outlineLevel & 0x07) << 8) |
                                         (ci.collapsed ? 0x1000 : 0)));
        w.u16(0);
        w.end();
    }
}

// WINDOW2: the view as read, selected and shown when this is the active sheet.
void XlsWriter::Impl::writeWindow2(const Sheet& s, int index)
{
    std::uint8_t body[18] = {0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t* p = rawBody(s.rawAfterCells(), rt::Window2, 18);
    if (!p)
        p = rawBody(s.rawBeforeCells(), rt::Window2, 18);
    if (p)
        std::memcpy(body, p, 18);
    std::uint16_t flags = s.window2Flags();
    flags = static_cast<std::uint16_t>(index == activeTab ? (flags | 0x0600) : (flags & ~0x0600));
    body[0] = static_cast<std::uint8_t>(flags);
    body[1] = static_cast<std::uint8_t>(flags >> 8);
    w.record(rt::Window2, body);
}

// MERGEDCELLS: ranges inside the sheet's limits that overlap no earlier range, at most 1,026 to
// a record.
void XlsWriter::Impl::writeMergedCells(const Sheet& s)
{
    std::vector<Range> merged;
    merged.reserve(s.mergedRanges().size());
    for (const Range& r : s.mergedRanges()) {
        if (r.firstRow < 0 || r.firstCol < 0 || r.lastRow < r.firstRow || r.lastCol < r.firstCol ||
            r.lastRow > kXlsLastRow || r.lastCol > kXlsLastCol)
            continue;
        const bool overlaps = std::any_of(merged.begin(), merged.end(), [&](const Range& m) {
            return m.firstRow <= r.lastRow && r.firstRow <= m.lastRow && m.firstCol <= r.lastCol &&
                   r.firstCol <= m.lastCol;
        });
        if (!overlaps)
            merged.push_back(r);
    }
    for (std::size_t k = 0; k < merged.size(); k += kMaxMergesPerRecord) {
        const std::size_t n = std::min(kMaxMergesPerRecord, merged.size() - k);
        w.begin(rt::MergeCells);
        w.u16(static_cast<std::uint16_t>(n));
        for (std::size_t j = k; j < k + n; ++j) {
            w.u16(static_cast<std::uint16_t>(merged[j].firstRow));
            w.u16(static_cast<std::uint16_t>(merged[j].lastRow));
            w.u16(static_cast<std::uint16_t>(merged[j].firstCol));
            w.u16(static_cast<std::uint16_t>(merged[j].lastCol));
        }
        w.end();
    }
}

} // namespace cw::host
