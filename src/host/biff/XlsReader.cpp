#include "host/biff/XlsReader.h"

#include "host/Ascii.h"
#include "host/biff/Bytes.h"
#include "host/biff/Records.h"
#include "host/biff/XlsParser.h"

#include <algorithm>
#include <cstdio>

namespace cw::host {

using namespace biff;

namespace {

// Rows are dense and so are the cells of a row: one cell at IV65536 costs 65,536 rows and 256
// cells. A file may not make us hold far more rows or cells than its size can justify; the
// allowances still cover eight sheets that reach the last row and a full sheet per 2 MB.
constexpr std::size_t kRowAllowance = std::size_t(1) << 19;
constexpr std::size_t kSlotAllowance = std::size_t(1) << 20;
constexpr std::size_t kPerByte = 16;

} // namespace

XlsParser::XlsParser(const std::uint8_t* data, std::size_t size, const std::string& file, Workbook& wb)
    : m_r(data, size, file), m_size(size), m_file(file), m_wb(wb),
      m_slotBudget(kSlotAllowance + kPerByte * size), m_rowBudget(kRowAllowance + kPerByte * size)
{
}

void XlsParser::run()
{
    readGlobals();
    checkFormatTables();
    decodeLinkTable();
    readSheets();
    decodeNames();
    if (m_activeSheet >= 0 && m_activeSheet < m_wb.sheetCount())
        XlsReader::setActive(m_wb, m_activeSheet);
    m_wb.setStructureChanged(false);
}

// ---- globals --------------------------------------------------------------------------------

void XlsParser::checkBof(bool globals)
{
    const std::uint16_t vers = m_r.u16();
    const std::uint16_t dt = m_r.u16();
    if (vers != kBiff8) {
        if (vers == 0x0500 || vers == 0x0400 || vers == 0x0300 || vers == 0x0200)
            throw Error(Error::Code::OldFormat,
                        "it is an Excel 5.0/95 or older workbook; save it as an Excel 97-2003 workbook (.xls) and "
                        "try again",
                        m_file, static_cast<std::int64_t>(m_r.offset()), rt::Bof);
        if (globals)
            m_r.fail("unknown BIFF version 0x" + [&] {
                char b[8];
                std::snprintf(b, sizeof b, "%04X", vers);
                return std::string(b);
            }());
    }
    if (globals && dt != kBofGlobals)
        m_r.fail("the stream does not start with the workbook globals (BOF type " + std::to_string(dt) + ")");
}

void XlsParser::readGlobals()
{
    if (!m_r.next())
        throw Error(Error::Code::Corrupt, "the Workbook stream is empty", m_file, 0);
    if (m_r.type() != rt::Bof) {
        const std::uint16_t t = m_r.type();
        if (t == 0x0009 || t == 0x0209 || t == 0x0409)
            throw Error(Error::Code::OldFormat,
                        "it is an Excel 2.x-4.0 file; save it as an Excel 97-2003 workbook (.xls) and try again",
                        m_file, 0, t);
        m_r.fail("the Workbook stream does not start with a BOF record");
    }
    checkBof(true);

    bool lastKeptRaw = false;
    auto& raw = m_wb.rawGlobals();
    for (;;) {
        if (!m_r.next())
            throw Error(Error::Code::Corrupt,
                        "the workbook globals end without an EOF record (the file is cut short)", m_file,
                        static_cast<std::int64_t>(m_size));
        const std::uint16_t type = m_r.type();
        bool keptRaw = false;
        switch (type) {
        case rt::Eof:
            m_globalsEnd = m_r.nextOffset();
            return;
        case rt::Bof:
            m_r.fail("a BOF record inside the workbook globals, where none is expected");
        case rt::FilePass:
            throw Error(Error::Code::Encrypted,
                        "the workbook is protected with a password to open; open it in Excel, remove the password "
                        "and save it again",
                        m_file, static_cast<std::int64_t>(m_r.offset()), type);
        case rt::CodePage:
        case rt::ExtSST:
            break;
        case rt::Date1904:
            m_wb.setDate1904((m_r.u16() & 0x0001) != 0);
            break;
        case rt::Font:
            readFont();
            break;
        case rt::Format: {
            const std::uint16_t id = m_r.u16();
            std::string fmt;
            m_r.unicodeString(fmt);
            m_wb.numberFormats()[id] = std::move(fmt);
            break;
        }
        case rt::XF:
            readXf();
            break;
        case rt::Style:
        case rt::StyleExt:
            m_wb.styleRecords().push_back({type, m_r.bodyCopy()});
            break;
        case rt::Palette:
            readPalette();
            break;
        case rt::BoundSheet8:
            readBoundSheet();
            break;
        case rt::SST:
            readSst();
            break;
        case rt::Lbl:
            m_nameOffsets.push_back(m_r.offset());
            break;
        case rt::Window1:
            if (m_r.length() >= 12 && raw.end() == std::find_if(raw.begin(), raw.end(), [](const RawRecord& rr) {
                    return rr.type == rt::Window1;
                }))
                m_activeSheet = le16(m_r.body() + 10);
            raw.push_back({type, m_r.bodyCopy()});
            keptRaw = true;
            break;
        case rt::Continue:
            // Continuations of kept records stay with them; those of records the model
            // rebuilds go with the record.
            if (lastKeptRaw) {
                raw.push_back({type, m_r.bodyCopy()});
                keptRaw = true;
            }
            break;
        default:
            raw.push_back({type, m_r.bodyCopy()});
            keptRaw = true;
            break;
        }
        if (type != rt::Continue)
            lastKeptRaw = keptRaw;
    }
}

void XlsParser::readFont()
{
    Font f;
    f.heightTwips = m_r.u16();
    const std::uint16_t grbit = m_r.u16();
    f.italic = (grbit & 0x0002) != 0;
    f.strikeout = (grbit & 0x0008) != 0;
    f.outline = (grbit & 0x0010) != 0;
    f.shadow = (grbit & 0x0020) != 0;
    f.colorIndex = m_r.u16();
    f.weight = m_r.u16();
    f.escapement = m_r.u16();
    f.underline = m_r.u8();
    f.family = m_r.u8();
    f.charset = m_r.u8();
    m_r.u8(); // reserved
    f.name.clear();
    m_r.shortString(f.name);
    m_wb.fonts().push_back(std::move(f));
}

void XlsParser::readXf()
{
    Xf x;
    x.font = m_r.u16();
    x.numFmt = m_r.u16();
    const std::uint16_t prot = m_r.u16();
    x.locked = (prot & 0x0001) != 0;
    x.hidden = (prot & 0x0002) != 0;
    x.isStyle = (prot & 0x0004) != 0;
    x.prefix123 = (prot & 0x0008) != 0;
    x.parent = static_cast<std::uint16_t>(prot >> 4);
    const std::uint8_t align = m_r.u8();
    x.hAlign = static_cast<HAlign>(align & 0x07);
    x.wrap = (align & 0x08) != 0;
    x.vAlign = static_cast<VAlign>((align >> 4) & 0x07);
    x.justLast = (align & 0x80) != 0;
    x.rotation = m_r.u8();
    const std::uint8_t indent = m_r.u8();
    x.indent = indent & 0x0F;
    x.shrink = (indent & 0x10) != 0;
    x.readingOrder = static_cast<std::uint8_t>((indent >> 6) & 0x03);
    x.usedAttrib = static_cast<std::uint8_t>(m_r.u8() >> 2);
    const std::uint32_t b1 = m_r.u32();
    x.left.style = b1 & 0x0F;
    x.right.style = (b1 >> 4) & 0x0F;
    x.top.style = (b1 >> 8) & 0x0F;
    x.bottom.style = (b1 >> 12) & 0x0F;
    x.left.color = (b1 >> 16) & 0x7F;
    x.right.color = (b1 >> 23) & 0x7F;
    x.diagFlags = static_cast<std::uint8_t>((b1 >> 30) & 0x03);
    const std::uint32_t b2 = m_r.u32();
    x.top.color = b2 & 0x7F;
    x.bottom.color = (b2 >> 7) & 0x7F;
    x.diagColor = (b2 >> 14) & 0x7F;
    x.diagStyle = (b2 >> 21) & 0x0F;
    x.hasXfExt = ((b2 >> 25) & 0x01) != 0;
    x.fillPattern = static_cast<std::uint8_t>((b2 >> 26) & 0x3F);
    const std::uint16_t fill = m_r.u16();
    x.fillFg = fill & 0x7F;
    x.fillBg = (fill >> 7) & 0x7F;
    x.pivotButton = (fill & 0x4000) != 0;
    m_wb.xfs().push_back(x);
}

void XlsParser::readPalette()
{
    const std::uint16_t count = m_r.u16();
    if (count > 56)
        m_r.fail("a palette of " + std::to_string(count) + " colours (at most 56)");
    std::array<Rgb, 56> colors;
    for (int i = 0; i < 56; ++i)
        colors[i] = m_wb.color(static_cast<std::uint16_t>(8 + i)); // unnamed entries keep their default
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = m_r.bytes(4);
        colors[i] = Rgb{p[0], p[1], p[2]};
    }
    m_wb.palette() = colors;
}

void XlsParser::readBoundSheet()
{
    BoundSheet b;
    b.recordOffset = m_r.offset();
    b.offset = m_r.u32();
    const std::uint8_t state = m_r.u8() & 0x03;
    const std::uint8_t dt = m_r.u8();
    if (state == 3)
        m_r.fail("a sheet with an unknown visibility (3)");
    b.visibility = static_cast<Visibility>(state);
    switch (dt) {
    case 0: b.kind = SheetKind::Worksheet; break;
    case 1: b.kind = SheetKind::MacroSheet; break;
    case 2: b.kind = SheetKind::Chart; break;
    case 6: b.kind = SheetKind::VbModule; break;
    default: m_r.fail("a sheet of unknown type " + std::to_string(dt));
    }
    m_r.shortString(b.name);
    if (b.name.empty())
        m_r.fail("a sheet without a name");
    for (const BoundSheet& other : m_boundSheets)
        if (equalsIgnoringAsciiCase(other.name, b.name))
            m_r.fail("two sheets are named \"" + b.name + "\"");
    m_boundSheets.push_back(std::move(b));
}

void XlsParser::readSst()
{
    if (m_sawSst)
        m_r.fail("a second shared string table");
    m_sawSst = true;
    m_r.u32(); // total references, not needed
    const std::uint32_t unique = m_r.u32();
    // Every string takes at least three bytes: never reserve more than the stream can hold.
    m_sst.reserve(std::min<std::size_t>(unique, m_size / 3));
    for (std::uint32_t i = 0; i < unique; ++i) {
        m_sst.emplace_back();
        m_r.richExtendedString(m_sst.back());
    }
    while (m_r.continueRecord()) {
    }
}

// EXTERNSHEET and SUPBOOK are kept raw; the print ranges of NAME records refer through them.
void XlsParser::decodeLinkTable()
{
    const auto& raw = m_wb.rawGlobals();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const RawRecord& rec = raw[i];
        if (rec.type == rt::SupBook) {
            m_supBookInternal.push_back(rec.data.size() == 4 && le16(rec.data.data() + 2) == 0x0401);
        } else if (rec.type == rt::ExternSheet && m_xti.empty()) {
            std::vector<std::uint8_t> body = rec.data;
            for (std::size_t j = i + 1; j < raw.size() && raw[j].type == rt::Continue; ++j)
                body.insert(body.end(), raw[j].data.begin(), raw[j].data.end());
            if (body.size() < 2)
                continue;
            const std::size_t count = std::min<std::size_t>(le16(body.data()), (body.size() - 2) / 6);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t* p = body.data() + 2 + 6 * k;
                m_xti.push_back({le16(p), static_cast<std::int16_t>(le16(p + 2)), static_cast<std::int16_t>(le16(p + 4))});
            }
        }
    }
}

void XlsParser::checkFormatTables()
{
    // An XF naming a font that is not there would leave every cell using it without a font.
    const std::size_t fonts = m_wb.fonts().size();
    const auto& xfs = m_wb.xfs();
    for (std::size_t i = 0; i < xfs.size(); ++i) {
        const std::uint16_t f = xfs[i].font;
        const std::size_t slot = f < 4 ? f : std::size_t(f) - 1;
        if (f == 4 || slot >= fonts)
            throw Error(Error::Code::Corrupt,
                        "cell format " + std::to_string(i) + " uses font " + std::to_string(f) + ", but the file has "
                            + std::to_string(fonts) + " fonts",
                        m_file);
    }
}

// ---- XlsReader --------------------------------------------------------------------------------

void XlsReader::clear(Workbook& wb)
{
    wb.m_sheets.clear();
    wb.m_active = 0;
    wb.m_fonts.clear();
    wb.m_numFmts.clear();
    wb.m_xfs.clear();
    wb.m_styles.clear();
    wb.m_palette.reset();
    wb.m_date1904 = false;
    wb.m_names.clear();
    wb.m_rawGlobals.clear();
    wb.m_structureChanged = false;
}

void XlsReader::adoptSheet(Workbook& wb, std::unique_ptr<Sheet> sheet)
{
    wb.m_sheets.push_back(std::move(sheet));
}

void XlsReader::setActive(Workbook& wb, int index)
{
    wb.m_active = index;
}

Workbook XlsReader::parse(const std::uint8_t* data, std::size_t size, const std::string& fileName)
{
    Workbook wb;
    clear(wb);
    XlsParser(data, size, fileName, wb).run();
    return wb;
}

Workbook XlsReader::parse(const std::vector<std::uint8_t>& stream, const std::string& fileName)
{
    return parse(stream.data(), stream.size(), fileName);
}

} // namespace cw::host
