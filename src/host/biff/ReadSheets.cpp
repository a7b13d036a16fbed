// A workbook's sheets: worksheets record by record (the cell table lives in ReadCells.cpp), chart,
// macro and module sheets as their raw substream.

#include "host/biff/Bytes.h"
#include "host/biff/Records.h"
#include "host/biff/XlsParser.h"
#include "host/biff/XlsReader.h"

#include <algorithm>

namespace cw::host {

using namespace biff;

void XlsParser::readSheets()
{
    std::vector<std::uint32_t> seen;
    for (std::size_t i = 0; i < m_boundSheets.size(); ++i) {
        const BoundSheet& b = m_boundSheets[i];
        if (b.offset < m_globalsEnd || std::size_t(b.offset) + 4 > m_size)
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + b.name + "\" is said to start at offset " + std::to_string(b.offset)
                            + ", outside the sheets' part of the stream (" + std::to_string(m_globalsEnd) + " to "
                            + std::to_string(m_size) + ")",
                        m_file, static_cast<std::int64_t>(b.recordOffset), rt::BoundSheet8);
        if (std::find(seen.begin(), seen.end(), b.offset) != seen.end())
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + b.name + "\" starts at the same offset as another sheet", m_file,
                        static_cast<std::int64_t>(b.recordOffset), rt::BoundSheet8);
        seen.push_back(b.offset);

        auto sheet = std::make_unique<Sheet>(b.name, b.kind);
        sheet->setVisibility(b.visibility);
        m_r.seek(b.offset);
        if (!m_r.next() || m_r.type() != rt::Bof)
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + b.name + "\" has no BOF record at offset " + std::to_string(b.offset), m_file,
                        static_cast<std::int64_t>(b.offset), m_r.type());
        if (b.kind == SheetKind::Worksheet)
            readWorksheet(*sheet);
        else
            readRawSubstream(*sheet);
        m_extents.push_back({b.offset, m_r.nextOffset(), static_cast<int>(i)});
        XlsReader::adoptSheet(m_wb, std::move(sheet));
    }
    // Substreams are read one after another; two that overlap mean offsets that lie.
    std::sort(m_extents.begin(), m_extents.end(), [](const Extent& a, const Extent& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < m_extents.size(); ++i)
        if (m_extents[i].begin < m_extents[i - 1].end)
            throw Error(Error::Code::Corrupt,
                        "sheets \"" + m_boundSheets[m_extents[i - 1].sheet].name + "\" and \""
                            + m_boundSheets[m_extents[i].sheet].name + "\" overlap in the stream",
                        m_file, static_cast<std::int64_t>(m_extents[i].begin));
}

void XlsParser::copyEmbeddedSubstream(std::vector<RawRecord>& into)
{
    // An embedded chart: BOF, its records and its EOF, kept in place as they are.
    into.push_back({rt::Bof, m_r.bodyCopy()});
    for (;;) {
        if (!m_r.next())
            throw Error(Error::Code::Corrupt, "an embedded chart ends without an EOF record (the file is cut short)",
                        m_file, static_cast<std::int64_t>(m_size));
        if (m_r.type() == rt::Bof)
            m_r.fail("a BOF record inside an embedded chart, where none is expected");
        into.push_back({m_r.type(), m_r.bodyCopy()});
        if (m_r.type() == rt::Eof)
            return;
    }
}

void XlsParser::checkSheetBof(const Sheet& sh)
{
    const std::uint16_t vers = m_r.u16();
    if (vers != kBiff8)
        sheetFail(sh, "its BOF says BIFF version " + std::to_string(vers >> 8) + "." + std::to_string(vers & 0xFF)
                          + " inside a BIFF8 workbook");
}

void XlsParser::readRawSubstream(Sheet& sh)
{
    sh.bof() = m_r.bodyCopy();
    checkSheetBof(sh);
    auto& raw = sh.rawSubstream();
    for (;;) {
        if (!m_r.next())
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + sh.name() + "\" ends without an EOF record (the file is cut short)", m_file,
                        static_cast<std::int64_t>(m_size));
        if (m_r.type() == rt::Eof)
            return;
        if (m_r.type() == rt::Bof) {
            if (m_r.length() >= 4 && le16(m_r.body() + 2) == kBofChart) {
                copyEmbeddedSubstream(raw);
                continue;
            }
            sheetFail(sh, "a BOF record inside the sheet, where none is expected");
        }
        raw.push_back({m_r.type(), m_r.bodyCopy()});
    }
}

void XlsParser::readWorksheet(Sheet& sh)
{
    m_rowsHeld = 0;
    m_ws = WorksheetCursor{};
    sh.bof() = m_r.bodyCopy();
    checkSheetBof(sh);
    const std::uint16_t dt = m_r.u16();
    if (dt != kBofWorksheet)
        sheetFail(sh, "listed as a worksheet, but its BOF says type " + std::to_string(dt));

    for (;;) {
        if (!m_r.next())
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + sh.name() + "\" ends without an EOF record (the file is cut short)", m_file,
                        static_cast<std::int64_t>(m_size));
        const std::uint16_t type = m_r.type();
        if (m_ws.stringPending && type != rt::String && type != rt::ShrFmla && type != rt::Array && type != rt::Table)
            cellFail(Error::Code::Corrupt, sh, m_ws.formulaRow, m_ws.formulaCol,
                     "the formula's text result (STRING record) is missing");
        if (type != rt::ShrFmla && type != rt::Array && type != rt::Table && type != rt::String && type != rt::Continue)
            m_ws.lastFormula = kNoFormula;
        if (type == rt::Eof)
            return;
        bool keptRaw = false;
        if (type == rt::Bof) {
            if (m_r.length() < 4 || le16(m_r.body() + 2) != kBofChart)
                sheetFail(sh, "a BOF record inside the sheet, where none is expected");
            copyEmbeddedSubstream(rawSide(sh));
        } else if (readCellTableRecord(sh, type) || readStructureRecord(sh, type, keptRaw)
                   || readPageSetupRecord(sh, type, keptRaw)) {
        } else if (type != rt::Continue || m_ws.lastKeptRaw) {
            // Continuations of kept records stay with them; those of records the model
            // rebuilds go with the record.
            rawSide(sh).push_back({type, m_r.bodyCopy()});
            keptRaw = true;
        }
        if (type != rt::Continue)
            m_ws.lastKeptRaw = keptRaw;
    }
}

std::vector<RawRecord>& XlsParser::rawSide(Sheet& sh) const
{
    return m_ws.afterCells ? sh.rawAfterCells() : sh.rawBeforeCells();
}

// Dimensions, columns, default sizes, merged ranges and the window.
bool XlsParser::readStructureRecord(Sheet& sh, std::uint16_t type, bool& keptRaw)
{
    switch (type) {
    case rt::Dimensions:
        break;
    case rt::ColInfo: {
        ColumnInfo ci;
        const int first = m_r.u16();
        const int last = m_r.u16();
        ci.width = m_r.u16();
        const std::uint16_t xf = m_r.u16();
        const std::uint16_t flags = m_r.u16();
        if (first > last || first > kXlsMaxCol)
            sheetFail(sh, "a column range from " + std::to_string(first + 1) + " to " + std::to_string(last + 1));
        if (xf >= m_wb.xfs().size())
            sheetFail(sh, "columns " + std::to_string(first + 1) + " to " + std::to_string(last + 1)
                              + " have cell format " + std::to_string(xf) + ", which does not exist");
        ci.first = first;
        // Excel (optional_records.xls, 65536-rows-xls.xls) and LibreOffice (LONumbers.xls)
        // end a run that reaches the last column at 256.
        ci.last = std::min(last, kXlsMaxCol);
        ci.xf = xf;
        ci.hidden = (flags & 0x0001) != 0;
        ci.customWidth = (flags & 0x0002) != 0;
        ci.bestFit = (flags & 0x0004) != 0;
        ci.outlineLevel = static_cast<std::uint8_t>((flags >> 8) & 0x07);
        ci.collapsed = (flags & 0x1000) != 0;
        sh.columns().push_back(ci);
        break;
    }
    case rt::DefColWidth:
        sh.setDefaultColumnWidth(m_r.u16());
        break;
    case rt::DefaultRowHeight: {
        const std::uint16_t flags = m_r.u16();
        const std::uint16_t height = m_r.u16();
        sh.setDefaultRowFlags(flags);
        sh.setDefaultRowHeight(height);
        break;
    }
    case rt::MergeCells: {
        const std::size_t n = m_r.u16();
        if (m_r.remaining() < n * 8)
            m_r.fail(std::to_string(n) + " merged ranges need " + std::to_string(n * 8) + " bytes, found "
                     + std::to_string(m_r.remaining()));
        for (std::size_t i = 0; i < n; ++i) {
            Range rg;
            rg.firstRow = m_r.u16();
            rg.lastRow = m_r.u16();
            rg.firstCol = m_r.u16();
            rg.lastCol = m_r.u16();
            if (rg.firstRow > rg.lastRow || rg.firstCol > rg.lastCol || rg.lastCol > kXlsMaxCol)
                sheetFail(sh, "a merged range with rows " + std::to_string(rg.firstRow + 1) + "-"
                                  + std::to_string(rg.lastRow + 1) + " and columns " + std::to_string(rg.firstCol + 1)
                                  + "-" + std::to_string(rg.lastCol + 1));
            sh.mergedRanges().push_back(rg);
        }
        break;
    }
    case rt::Window2:
        // Also kept raw, as WSBOOL is: the writer keeps the view fields the model leaves out.
        m_ws.afterCells = true;
        sh.setWindow2Flags(m_r.u16());
        sh.rawAfterCells().push_back({type, m_r.bodyCopy()});
        keptRaw = true;
        break;
    default:
        return false;
    }
    return true;
}

bool XlsParser::readPageSetupRecord(Sheet& sh, std::uint16_t type, bool& keptRaw)
{
    PageSetup& ps = sh.pageSetup();
    switch (type) {
    case rt::Setup: {
        ps.paperSize = m_r.u16();
        ps.scale = m_r.u16();
        ps.pageStart = m_r.u16();
        ps.fitWidth = m_r.u16();
        ps.fitHeight = m_r.u16();
        const std::uint16_t g = m_r.u16();
        ps.leftToRight = (g & 0x0001) != 0;
        ps.portrait = (g & 0x0002) != 0;
        ps.noPrinterSettings = (g & 0x0004) != 0;
        ps.noColor = (g & 0x0008) != 0;
        ps.draft = (g & 0x0010) != 0;
        ps.notes = (g & 0x0020) != 0;
        ps.noOrient = (g & 0x0040) != 0;
        ps.usePageStart = (g & 0x0080) != 0;
        ps.hRes = m_r.u16();
        ps.vRes = m_r.u16();
        ps.headerMargin = m_r.f64();
        ps.footerMargin = m_r.f64();
        ps.copies = m_r.u16();
        break;
    }
    case rt::LeftMargin: ps.leftMargin = m_r.f64(); break;
    case rt::RightMargin: ps.rightMargin = m_r.f64(); break;
    case rt::TopMargin: ps.topMargin = m_r.f64(); break;
    case rt::BottomMargin: ps.bottomMargin = m_r.f64(); break;
    case rt::HCenter: ps.hCenter = (m_r.u16() & 1) != 0; break;
    case rt::VCenter: ps.vCenter = (m_r.u16() & 1) != 0; break;
    case rt::PrintGrid: ps.printGridlines = (m_r.u16() & 1) != 0; break;
    case rt::PrintRowCol: ps.printHeadings = (m_r.u16() & 1) != 0; break;
    case rt::WsBool:
        ps.fitToPage = (m_r.u16() & 0x0100) != 0;
        rawSide(sh).push_back({type, m_r.bodyCopy()});
        keptRaw = true;
        break;
    case rt::Header:
    case rt::Footer: {
        std::string& text = type == rt::Header ? ps.header : ps.footer;
        text.clear();
        if (m_r.length() > 0)
            m_r.unicodeString(text);
        break;
    }
    default:
        return false;
    }
    return true;
}

} // namespace cw::host
