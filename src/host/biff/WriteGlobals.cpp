// The workbook globals: settings, formatting tables, the sheet list, the link table, the
// defined names and the shared strings.

#include "host/Error.h"
#include "host/biff/Bytes.h"
#include "host/biff/FormulaTokens.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/Records.h"
#include "host/biff/WriterState.h"

#include <algorithm>
#include <cstring>

namespace cw::host {

using namespace biff;

// The link table (SUPBOOK, EXTERNSHEET) as read is kept while the sheets are as they were
// read: every 3-D reference in formulas and names then still points where it did, and print
// areas only add EXTERNSHEET entries at the end. Once sheets were added, removed, copied or
// moved, the old entries name the wrong sheets: the table is rebuilt from the internal SUPBOOK
// alone, with one entry per sheet that has a print area or print titles.
void XlsWriter::Impl::prepareLinks()
{
    const auto& raw = wb.rawGlobals();
    std::vector<std::uint8_t> externSheet;
    int supBooks = 0;
    int internal = -1;
    bool internalMatches = false;
    std::uint16_t lastType = 0;
    for (const RawRecord& r : raw) {
        if (r.type == rt::SupBook) {
            if (r.data.size() == 4 && le16(&r.data[2]) == 0x0401 && internal < 0) {
                internal = supBooks;
                internalMatches = le16(&r.data[0]) == wb.sheetCount();
            }
            ++supBooks;
        } else if (r.type == rt::ExternSheet || (r.type == rt::Continue && lastType == rt::ExternSheet)) {
            externSheet.insert(externSheet.end(), r.data.begin(), r.data.end());
        }
        if (r.type != rt::Continue)
            lastType = r.type;
    }

    keepRawLinks = !wb.structureChanged() && supBooks > 0 && (internal < 0 || internalMatches);
    xtis.clear();
    if (keepRawLinks) {
        if (externSheet.size() >= 2) {
            const std::size_t count = std::min<std::size_t>(le16(externSheet.data()), (externSheet.size() - 2) / 6);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t* p = &externSheet[2 + 6 * k];
                xtis.push_back({le16(p), static_cast<std::int16_t>(le16(p + 2)),
                                static_cast<std::int16_t>(le16(p + 4))});
            }
        }
        if (internal < 0) {
            // Print areas need the internal SUPBOOK; it goes first, the others move up one.
            insertInternalSupBook = true;
            internalSupBook = 0;
            for (Xti& x : xtis)
                ++x.supBook;
        } else {
            internalSupBook = static_cast<std::uint16_t>(internal);
        }
        writeLinkTable = true;
    } else {
        insertInternalSupBook = true;
        internalSupBook = 0;
        // Chart and macro substreams are written as read, and their formulas (chart series)
        // still carry the old EXTERNSHEET indices. Those indices stay in range, each now an
        // entry whose sheet "could not be found" ([MS-XLS] XTI itabFirst -1): the series show
        // #REF! rather than another sheet's data.
        bool substreams = false;
        for (int i = 0; i < wb.sheetCount() && !substreams; ++i) {
            const Sheet& s = wb.sheet(i);
            substreams = s.kind() != SheetKind::Worksheet ||
                         std::any_of(s.rawAfterCells().begin(), s.rawAfterCells().end(),
                                     [](const RawRecord& r) { return r.type == rt::Bof; });
        }
        if (substreams && externSheet.size() >= 2) {
            const std::size_t count = std::min<std::size_t>(le16(externSheet.data()), (externSheet.size() - 2) / 6);
            xtis.assign(count, Xti{0, -1, -1});
        }
    }
}

std::uint16_t XlsWriter::Impl::xti(int sheet)
{
    for (std::size_t k = 0; k < xtis.size(); ++k)
        if (xtis[k].supBook == internalSupBook && xtis[k].first == sheet && xtis[k].last == sheet)
            return static_cast<std::uint16_t>(k);
    xtis.push_back({internalSupBook, static_cast<std::int16_t>(sheet), static_cast<std::int16_t>(sheet)});
    return static_cast<std::uint16_t>(xtis.size() - 1);
}

// Defined names. Which names are written:
//  - a name whose formula goes through the link table (3-D references, external names) only
//    while the link table as read is kept;
//  - a sheet-level name only while its sheet exists;
//  - a name that refers to other names (PtgName) only while the NAME indices as read hold,
//    that is when no name was dropped and no print area or print titles name is added (those
//    were taken out of the name list when the file was read, so their old positions are lost).
// Cell formulas follow the same rules (prepareSheet): where they would break, the cached
// value is written instead.
void XlsWriter::Impl::prepareNames()
{
    keptNames.clear();
    printNames.clear();
    bool dropped = false;
    for (const DefinedName& n : wb.names()) {
        const TokenScan t = scanTokens(n.formula.data(), n.formula.size());
        const bool badLinks = (t.linkRefs || t.unknown) && !keepRawLinks;
        const bool badSheet = n.sheetIndex > wb.sheetCount();
        const std::size_t len = utf16Length(n.name);
        if (badLinks || badSheet || len == 0 || len > 255 || n.formula.size() > 0xFFFF) {
            dropped = true;
            continue;
        }
        keptNames.push_back(&n);
    }
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        if (s.kind() != SheetKind::Worksheet)
            continue;
        const bool area = std::any_of(s.printArea().begin(), s.printArea().end(),
                                      [](const Range& r) { return r.firstRow <= kXlsLastRow && r.firstCol <= kXlsLastCol; });
        const bool titles = (s.printTitleRows() && s.printTitleRows()->first <= kXlsLastRow) ||
                            (s.printTitleCols() && s.printTitleCols()->first <= kXlsLastCol);
        if (area)
            printNames.push_back({i, 0x06, xti(i)});
        if (titles)
            printNames.push_back({i, 0x07, xti(i)});
    }
    nameTableIntact = !dropped && printNames.empty();
    if (!nameTableIntact)
        std::erase_if(keptNames, [](const DefinedName* n) {
            const TokenScan t = scanTokens(n->formula.data(), n->formula.size());
            return t.nameRefs || t.unknown;
        });
    if (!xtis.empty())
        writeLinkTable = true;
}

// ---- globals -------------------------------------------------------------------------------

void XlsWriter::Impl::writeRawGlobals(int slot)
{
    const auto& raw = wb.rawGlobals();
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (globalsSlots[i] == slot)
            w.record(raw[i].type, raw[i].data);
}

void XlsWriter::Impl::writeGlobals()
{
    const auto bof = bofBody(0x0005);
    w.record(rt::Bof, bof);
    writeRawGlobals(gAfterBof);
    writeBookSettings();
    writeFormatTables();
    writeSheetList();
    w.record(rt::Eof, {});
}

// From the interface records to BOOKBOOL: as read where the model keeps no field of its own.
void XlsWriter::Impl::writeBookSettings()
{
    const auto& raw = wb.rawGlobals();
    auto rawOr = [&](std::uint16_t type, std::initializer_list<std::uint8_t> fallback) { writeRawOr(raw, type, fallback); };
    w.record(rt::InterfaceHdr, {0xB0, 0x04});
    w.record(rt::Mms, {0x00, 0x00});
    w.record(rt::InterfaceEnd, {});
    // WRITEACCESS: the user name, padded with spaces to 112 bytes.
    if (const std::uint8_t* p = rawBody(raw, rt::WriteAccess, 112)) {
        w.record(rt::WriteAccess, std::span(p, 112));
    } else {
        w.begin(rt::WriteAccess);
        w.string16("Certwright");
        w.buffer().resize(w.position() + (112 - w.recordSize()), 0x20);
        w.end();
    }
    w.record(rt::CodePage, {0xB0, 0x04}); // 1200: strings are Unicode
    w.record(rt::DSF, {0x00, 0x00});
    writeRawGlobals(gAfterDsf);
    w.begin(rt::TabId);
    for (int i = 0; i < wb.sheetCount(); ++i)
        w.u16(static_cast<std::uint16_t>(i + 1));
    w.end();
    writeRawGlobals(gAfterTabId);
    w.record(rt::BuiltInFnGroupCount, {0x0E, 0x00});
    writeRawGlobals(gAfterFnGroupCount);
    rawOr(rt::WinProtect, {0x00, 0x00});
    rawOr(rt::Protect, {0x00, 0x00});
    rawOr(rt::Password, {0x00, 0x00});
    rawOr(rt::Prot4Rev, {0x00, 0x00});
    rawOr(rt::Prot4RevPass, {0x00, 0x00});

    // WINDOW1: the window as read (position, size, options, tab ratio); the active tab is ours.
    {
        std::uint8_t body[18] = {0xE0, 0x01, 0x5A, 0x00, 0xCF, 0x3F, 0x4E, 0x2A, 0x38, 0x00,
                                 0, 0, 0, 0, 0x01, 0x00, 0x58, 0x02};
        if (const std::uint8_t* p = rawBody(raw, rt::Window1, 18)) {
            std::memcpy(body, p, 10);
            body[16] = p[16];
            body[17] = p[17];
            body[8] &= static_cast<std::uint8_t>(~0x01); // never a hidden window
        }
        body[10] = static_cast<std::uint8_t>(activeTab);
        body[11] = static_cast<std::uint8_t>(activeTab >> 8);
        body[12] = body[13] = 0; // first visible tab
        body[14] = 1;            // one selected tab
        body[15] = 0;
        w.record(rt::Window1, body);
    }
    rawOr(rt::Backup, {0x00, 0x00});
    rawOr(rt::HideObj, {0x00, 0x00});
    w.record(rt::Date1904, {static_cast<std::uint8_t>(wb.date1904() ? 1 : 0), 0x00});
    rawOr(rt::CalcPrecision, {0x01, 0x00});
    rawOr(rt::RefreshAll, {0x00, 0x00});
    rawOr(rt::BookBool, {0x00, 0x00});
}

// FONT, FORMAT, XF, STYLE and PALETTE.
void XlsWriter::Impl::writeFormatTables()
{
    // FONT: at least the four fonts Excel expects, index 4 skipped by the XF indices.
    for (const Font& f : wb.fonts())
        writeFont(f);
    for (std::size_t i = wb.fonts().size(); i < 4; ++i)
        writeFont(wb.fonts().empty() ? Font{} : wb.fonts().front());
    for (const auto& [id, fmt] : wb.numberFormats()) {
        w.begin(rt::Format);
        w.u16(id);
        w.string16(fmt);
        w.end();
    }
    // XF: the 15 style XFs and the default cell XF 15 at least.
    for (const Xf& x : wb.xfs())
        writeXf(x);
    for (std::size_t i = wb.xfs().size(); i < 16; ++i) {
        Xf x;
        x.isStyle = i < 15;
        x.parent = x.isStyle ? 0xFFF : 0;
        x.usedAttrib = i == 0 || i == 15 ? 0 : 0x3D;
        writeXf(x);
    }
    writeRawGlobals(gAfterXfs);
    bool normalStyle = false;
    for (const RawRecord& r : wb.styleRecords()) {
        w.record(r.type, r.data);
        normalStyle = normalStyle || (r.type == rt::Style && r.data.size() >= 4 && (r.data[1] & 0x80) && r.data[2] == 0);
    }
    if (!normalStyle)
        w.record(rt::Style, {0x00, 0x80, 0x00, 0xFF}); // builtin "Normal" on XF 0
    writeRawGlobals(gAfterStyles);
    if (const auto& pal = wb.palette()) {
        w.begin(rt::Palette);
        w.u16(56);
        for (const Rgb& c : *pal) {
            w.u8(c.r);
            w.u8(c.g);
            w.u8(c.b);
            w.u8(0);
        }
        w.end();
    }
    writeRawGlobals(gAfterPalette);
    writeRawGlobals(gBeforeUsesElfs);
    w.record(rt::UsesELFs, {0x00, 0x00});
}

// BOUNDSHEET, the link table, the names and the shared strings.
void XlsWriter::Impl::writeSheetList()
{
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        w.begin(rt::BoundSheet8);
        plans[static_cast<std::size_t>(i)].boundSheetPos = w.position();
        w.u32(0); // the sheet's BOF offset, filled in when the sheet is written
        w.u8(static_cast<std::uint8_t>(s.visibility()) & 0x03);
        w.u8(static_cast<std::uint8_t>(s.kind()));
        w.string8(s.name());
        w.end();
    }
    writeRawGlobals(gAfterBoundSheets);
    writeRawOr(wb.rawGlobals(), rt::Country, {0x01, 0x00, 0x5B, 0x00});
    writeLinkTableRecords();
    for (const DefinedName* n : keptNames)
        writeName(*n);
    for (const PrintName& p : printNames)
        writePrintName(p);
    writeRawGlobals(gAfterNames);
    w.sharedStrings(sst.strings(), sstRefs);
    writeRawGlobals(gAfterSst);
}

void XlsWriter::Impl::writeFont(const Font& f)
{
    w.begin(rt::Font);
    w.u16(f.heightTwips);
    w.u16(static_cast<std::uint16_t>((f.italic ? 0x02 : 0) | (f.strikeout ? 0x08 : 0) | (f.outline ? 0x10 : 0) |
                                     (f.shadow ? 0x20 : 0)));
    w.u16(f.colorIndex);
    w.u16(f.weight);
    w.u16(f.escapement);
    w.u8(f.underline);
    w.u8(f.family);
    w.u8(f.charset);
    w.u8(0);
    w.string8(f.name);
    w.end();
}

// XF ([MS-XLS] 2.4.353), every field of the model in its bit position.
void XlsWriter::Impl::writeXf(const Xf& x)
{
    w.begin(rt::XF);
    w.u16(x.font);
    w.u16(x.numFmt);
    w.u16(static_cast<std::uint16_t>((x.locked ? 0x0001 : 0) | (x.hidden ? 0x0002 : 0) | (x.isStyle ? 0x0004 : 0) |
                                     (x.prefix123 ? 0x0008 : 0) | ((x.parent & 0x0FFF) << 4)));
    w.u8(static_cast<std::uint8_t>((static_cast<unsigned>(x.hAlign) & 0x07) | (x.wrap ? 0x08 : 0) |
                                   ((static_cast<unsigned>(x.vAlign) & 0x07) << 4) | (x.justLast ? 0x80 : 0)));
    w.u8(x.rotation);
    w.u8(static_cast<std::uint8_t>((x.indent & 0x0F) | (x.shrink ? 0x10 : 0) | ((x.readingOrder & 0x03) << 6)));
    w.u8(static_cast<std::uint8_t>((x.usedAttrib & 0x3F) << 2));
    w.u32((x.left.style & 0x0Fu) | ((x.right.style & 0x0Fu) << 4) | ((x.top.style & 0x0Fu) << 8) |
          ((x.bottom.style & 0x0Fu) << 12) | ((x.left.color & 0x7Fu) << 16) | ((x.right.color & 0x7Fu) << 23) |
          ((x.diagFlags & 0x03u) << 30));
    w.u32((x.top.color & 0x7Fu) | ((x.bottom.color & 0x7Fu) << 7) | ((x.diagColor & 0x7Fu) << 14) |
          ((x.diagStyle & 0x0Fu) << 21) | (x.hasXfExt ? 1u << 25 : 0u) | ((x.fillPattern & 0x3Fu) << 26));
    w.u16(static_cast<std::uint16_t>((x.fillFg & 0x7F) | ((x.fillBg & 0x7F) << 7) | (x.pivotButton ? 0x4000 : 0)));
    w.end();
}

void XlsWriter::Impl::writeLinkTableRecords()
{
    if (!writeLinkTable)
        return;
    if (insertInternalSupBook)
        w.record(rt::SupBook, {static_cast<std::uint8_t>(wb.sheetCount()),
                               static_cast<std::uint8_t>(wb.sheetCount() >> 8), 0x01, 0x04});
    if (keepRawLinks) {
        // SUPBOOK, EXTERNNAME, XCT and CRN records as read, in their order.
        std::uint16_t lastType = 0;
        for (const RawRecord& r : wb.rawGlobals()) {
            const bool link = r.type == rt::SupBook || r.type == rt::ExternName || r.type == rt::XCT ||
                              r.type == rt::CRN;
            if (link || (r.type == rt::Continue && (lastType == rt::SupBook || lastType == rt::ExternName ||
                                                    lastType == rt::XCT || lastType == rt::CRN)))
                w.record(r.type, r.data);
            if (r.type != rt::Continue)
                lastType = r.type;
        }
    }
    w.begin(rt::ExternSheet);
    w.u16(static_cast<std::uint16_t>(xtis.size()));
    for (const Xti& x : xtis) {
        w.u16(x.supBook);
        w.u16(static_cast<std::uint16_t>(x.first));
        w.u16(static_cast<std::uint16_t>(x.last));
    }
    w.end();
}

void XlsWriter::Impl::writeName(const DefinedName& n)
{
    w.begin(rt::Lbl);
    w.u16(static_cast<std::uint16_t>(n.builtin ? (n.flags | 0x0020) : (n.flags & ~0x0020)));
    w.u8(n.keyboardShortcut);
    w.u8(static_cast<std::uint8_t>(utf16Length(n.name)));
    w.u16(static_cast<std::uint16_t>(n.formula.size()));
    w.u16(0);
    w.u16(n.sheetIndex);
    w.u32(0); // no menu, description, help or status texts
    w.stringNoCount(n.name);
    w.bytes(n.formula);
    w.bytes(n.rest);
    w.end();
}

// Print_Area / Print_Titles of a sheet: a sheet-level builtin name whose formula is a 3-D
// area (or a union of areas, through PtgMemFunc) on the sheet itself.
void XlsWriter::Impl::writePrintName(const PrintName& p)
{
    const Sheet& s = wb.sheet(p.sheet);
    std::vector<Range> areas;
    auto clip = [&](Range r) {
        if (r.firstRow < 0 || r.firstCol < 0 || r.firstRow > kXlsLastRow || r.firstCol > kXlsLastCol)
            return;
        r.lastRow = std::clamp(r.lastRow, r.firstRow, static_cast<int>(kXlsLastRow));
        r.lastCol = std::clamp(r.lastCol, r.firstCol, static_cast<int>(kXlsLastCol));
        areas.push_back(r);
    };
    if (p.code == 0x06) {
        for (const Range& r : s.printArea())
            clip(r);
    } else {
        // Columns first, then rows, as Excel writes them.
        if (const auto& c = s.printTitleCols())
            clip(Range{0, c->first, kXlsLastRow, c->second});
        if (const auto& r = s.printTitleRows())
            clip(Range{r->first, 0, r->second, kXlsLastCol});
    }
    const std::size_t areaSize = 11;
    const std::size_t cce = areas.size() == 1 ? areaSize : 3 + areas.size() * areaSize + (areas.size() - 1);

    w.begin(rt::Lbl);
    w.u16(0x0020); // fBuiltin
    w.u8(0);
    w.u8(1);
    w.u16(static_cast<std::uint16_t>(cce));
    w.u16(0);
    w.u16(static_cast<std::uint16_t>(p.sheet + 1));
    w.u32(0);
    w.u8(0);
    w.u8(p.code);
    if (areas.size() > 1) {
        w.u8(0x29); // PtgMemFunc
        w.u16(static_cast<std::uint16_t>(cce - 3));
    }
    for (std::size_t k = 0; k < areas.size(); ++k) {
        const Range& r = areas[k];
        w.u8(0x3B); // PtgArea3d, absolute rows and columns
        w.u16(p.ixti);
        w.u16(static_cast<std::uint16_t>(r.firstRow));
        w.u16(static_cast<std::uint16_t>(r.lastRow));
        w.u16(static_cast<std::uint16_t>(r.firstCol));
        w.u16(static_cast<std::uint16_t>(r.lastCol));
        if (k > 0)
            w.u8(0x10); // PtgUnion
    }
    w.end();
}

} // namespace cw::host
