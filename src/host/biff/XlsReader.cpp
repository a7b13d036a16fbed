#include "host/biff/XlsReader.h"

#include "host/biff/RecordReader.h"
#include "host/biff/Records.h"

#include <algorithm>
#include <cstring>

namespace cw::host {

using biff::RecordReader;
namespace rt = biff::rt;

namespace {

constexpr std::uint16_t kRString = 0x00D6;   // a BIFF5-era rich-text cell some writers still emit
constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBofGlobals = 0x0005;
constexpr std::uint16_t kBofWorksheet = 0x0010;
constexpr std::uint16_t kBofChart = 0x0020;
constexpr int kXlsMaxCol = 255;

// Rows are dense and so are the cells of a row: one cell at IV65536 costs 65,536 rows and 256
// cells. A file may not make us hold far more rows or cells than its size can justify; the
// allowances still cover eight sheets that reach the last row and a full sheet per 2 MB.
constexpr std::size_t kRowAllowance = std::size_t(1) << 19;
constexpr std::size_t kSlotAllowance = std::size_t(1) << 20;
constexpr std::size_t kPerByte = 16;

double decodeRk(std::uint32_t rk)
{
    double d;
    if (rk & 0x02) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    if (rk & 0x01)
        d /= 100.0;
    return d;
}

bool validError(std::uint8_t code)
{
    switch (code) {
    case 0x00: case 0x07: case 0x0F: case 0x17: case 0x1D: case 0x24: case 0x2A: return true;
    default: return false;
    }
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameSheetName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

} // namespace

// The reading state of one stream. Kept out of the header: only XlsReader's entry points and
// the three Workbook hooks are visible to the rest of the engine.
class XlsParser {
public:
    XlsParser(const std::uint8_t* data, std::size_t size, const std::string& file, Workbook& wb)
        : m_r(data, size, file), m_size(size), m_file(file), m_wb(wb),
          m_slotBudget(kSlotAllowance + kPerByte * size), m_rowBudget(kRowAllowance + kPerByte * size)
    {
    }

    void run();

private:
    struct BoundSheet {
        std::string name;
        Visibility visibility = Visibility::Visible;
        SheetKind kind = SheetKind::Worksheet;
        std::uint32_t offset = 0;
        std::size_t recordOffset = 0;
    };
    struct Xti {
        std::uint16_t supBook = 0;
        std::int16_t first = 0;
        std::int16_t last = 0;
    };
    struct Extent {
        std::size_t begin = 0, end = 0;
        int sheet = 0;
    };

    void readGlobals();
    void checkBof(bool globals);
    void readFont();
    void readXf();
    void readPalette();
    void readBoundSheet();
    void readSst();
    void decodeLinkTable();
    void checkFormatTables();
    void readSheets();
    void readWorksheet(Sheet& sh, int index);
    void readRawSubstream(Sheet& sh, int index);
    void checkSheetBof(const Sheet& sh);
    void copyEmbeddedSubstream(std::vector<RawRecord>& into);
    void decodeNames();
    bool decodePrintRanges(const std::vector<std::uint8_t>& rgce, int sheet, std::vector<Range>& out) const;

    Cell& cellAt(Sheet& sh, int row, int col);
    void reserveRow(Sheet& sh, int row);
    std::uint16_t checkedXf(std::uint16_t ixfe, const Sheet& sh, int row, int col) const;
    [[noreturn]] void cellFail(Error::Code code, const Sheet& sh, int row, int col, const std::string& what) const;
    [[noreturn]] void sheetFail(const Sheet& sh, const std::string& what) const;

    RecordReader m_r;
    std::size_t m_size;
    const std::string& m_file;
    Workbook& m_wb;

    std::vector<std::string> m_sst;
    std::vector<BoundSheet> m_boundSheets;
    std::vector<std::size_t> m_nameOffsets;
    std::vector<Xti> m_xti;
    std::vector<bool> m_supBookInternal;
    std::vector<Extent> m_extents;
    std::size_t m_globalsEnd = 0;
    int m_activeSheet = 0;
    bool m_sawSst = false;
    std::size_t m_slotBudget;
    std::size_t m_rowBudget;
    int m_rowsHeld = 0; // rows the current worksheet holds
    std::string m_text; // reused for strings that go straight into a cell
};

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
        if (sameSheetName(other.name, b.name))
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

// ---- sheets ---------------------------------------------------------------------------------

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
            readWorksheet(*sheet, static_cast<int>(i));
        else
            readRawSubstream(*sheet, static_cast<int>(i));
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

void XlsParser::sheetFail(const Sheet& sh, const std::string& what) const
{
    throw m_r.error(Error::Code::Corrupt, "sheet \"" + sh.name() + "\": " + what);
}

void XlsParser::cellFail(Error::Code code, const Sheet& sh, int row, int col, const std::string& what) const
{
    const std::string where = col <= kXlsMaxCol ? toA1(row, col) : "row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1);
    throw m_r.error(code, "sheet \"" + sh.name() + "\", cell " + where + ": " + what);
}

std::uint16_t XlsParser::checkedXf(std::uint16_t ixfe, const Sheet& sh, int row, int col) const
{
    if (ixfe >= m_wb.xfs().size())
        cellFail(Error::Code::Corrupt, sh, row, col,
                 "cell format " + std::to_string(ixfe) + " does not exist (the file has "
                     + std::to_string(m_wb.xfs().size()) + ")");
    return ixfe;
}

void XlsParser::reserveRow(Sheet& sh, int row)
{
    // Rows are held up to the highest one touched, whether or not it keeps anything.
    if (row >= m_rowsHeld) {
        const std::size_t more = static_cast<std::size_t>(row - m_rowsHeld + 1);
        if (more > m_rowBudget)
            throw m_r.error(Error::Code::Limit, "sheet \"" + sh.name() + "\": more rows than a file of this size can hold");
        m_rowBudget -= more;
        m_rowsHeld = row + 1;
    }
}

Cell& XlsParser::cellAt(Sheet& sh, int row, int col)
{
    if (col > kXlsMaxCol)
        cellFail(Error::Code::Limit, sh, row, col, "the column lies beyond column IV, the last of an .xls sheet");
    reserveRow(sh, row);
    const int width = sh.rowWidth(row);
    if (col >= width) {
        const std::size_t more = static_cast<std::size_t>(col - width + 1);
        if (more > m_slotBudget)
            throw m_r.error(Error::Code::Limit, "sheet \"" + sh.name() + "\": more cells than a file of this size can hold");
        m_slotBudget -= more;
    }
    return sh.cellAt(row, col);
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

void XlsParser::readRawSubstream(Sheet& sh, int)
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

void XlsParser::readWorksheet(Sheet& sh, int)
{
    m_rowsHeld = 0;
    sh.bof() = m_r.bodyCopy();
    {
        checkSheetBof(sh);
        const std::uint16_t dt = m_r.u16();
        if (dt != kBofWorksheet)
            sheetFail(sh, "listed as a worksheet, but its BOF says type " + std::to_string(dt));
    }
    PageSetup& ps = sh.pageSetup();
    bool afterCells = false;
    bool lastKeptRaw = false;
    // The formula cell whose cached text (STRING) and anchored records may follow.
    int formulaRow = -1, formulaCol = -1;
    std::uint32_t lastFormula = kNoFormula;
    bool stringPending = false;

    for (;;) {
        if (!m_r.next())
            throw Error(Error::Code::Corrupt,
                        "sheet \"" + sh.name() + "\" ends without an EOF record (the file is cut short)", m_file,
                        static_cast<std::int64_t>(m_size));
        const std::uint16_t type = m_r.type();
        if (stringPending && type != rt::String && type != rt::ShrFmla && type != rt::Array && type != rt::Table)
            cellFail(Error::Code::Corrupt, sh, formulaRow, formulaCol,
                     "the formula's text result (STRING record) is missing");
        if (type != rt::ShrFmla && type != rt::Array && type != rt::Table && type != rt::String
            && type != rt::Continue)
            lastFormula = kNoFormula;
        bool keptRaw = false;

        switch (type) {
        case rt::Eof:
            return;
        case rt::Bof:
            if (m_r.length() >= 4 && le16(m_r.body() + 2) == kBofChart) {
                copyEmbeddedSubstream(afterCells ? sh.rawAfterCells() : sh.rawBeforeCells());
                keptRaw = false;
                break;
            }
            sheetFail(sh, "a BOF record inside the sheet, where none is expected");

        // ---- cell table -------------------------------------------------------------------
        case rt::Number: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            const double v = m_r.f64();
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            cell.value = v;
            cell.formula = kNoFormula;
            break;
        }
        case rt::RK: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            const double v = decodeRk(m_r.u32());
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            cell.value = v;
            cell.formula = kNoFormula;
            break;
        }
        case rt::MulRk: {
            afterCells = true;
            const int r = m_r.u16(), first = m_r.u16();
            if (m_r.remaining() < 2 || (m_r.remaining() - 2) % 6 != 0)
                m_r.fail("a MULRK record of " + std::to_string(m_r.length()) + " bytes (6 + 6 per cell expected)");
            const int n = static_cast<int>((m_r.remaining() - 2) / 6);
            const int last = le16(m_r.body() + m_r.length() - 2);
            if (n == 0 || last != first + n - 1)
                m_r.fail("a MULRK record for columns " + std::to_string(first + 1) + " to " + std::to_string(last + 1)
                         + " holds " + std::to_string(n) + " cells");
            for (int i = 0; i < n; ++i) {
                const std::uint16_t xf = m_r.u16();
                const double v = decodeRk(m_r.u32());
                Cell& cell = cellAt(sh, r, first + i);
                cell.xf = checkedXf(xf, sh, r, first + i);
                cell.value = v;
                cell.formula = kNoFormula;
            }
            break;
        }
        case rt::LabelSst: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            const std::uint32_t isst = m_r.u32();
            if (isst >= m_sst.size())
                cellFail(Error::Code::Corrupt, sh, r, c,
                         "shared string " + std::to_string(isst) + " does not exist (the table holds "
                             + std::to_string(m_sst.size()) + ")");
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            cell.value = m_sst[isst];
            cell.formula = kNoFormula;
            break;
        }
        case rt::Label:
        case kRString: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            m_text.clear();
            m_r.unicodeString(m_text);
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            cell.value = m_text;
            cell.formula = kNoFormula;
            break;
        }
        case rt::Blank: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            cell.value = std::monostate{};
            cell.formula = kNoFormula;
            break;
        }
        case rt::MulBlank: {
            afterCells = true;
            const int r = m_r.u16(), first = m_r.u16();
            if (m_r.remaining() < 2 || (m_r.remaining() - 2) % 2 != 0)
                m_r.fail("a MULBLANK record of " + std::to_string(m_r.length()) + " bytes");
            const int n = static_cast<int>((m_r.remaining() - 2) / 2);
            const int last = le16(m_r.body() + m_r.length() - 2);
            if (n == 0 || last != first + n - 1)
                m_r.fail("a MULBLANK record for columns " + std::to_string(first + 1) + " to "
                         + std::to_string(last + 1) + " holds " + std::to_string(n) + " cells");
            for (int i = 0; i < n; ++i) {
                const std::uint16_t xf = m_r.u16();
                Cell& cell = cellAt(sh, r, first + i);
                cell.xf = checkedXf(xf, sh, r, first + i);
                cell.value = std::monostate{};
                cell.formula = kNoFormula;
            }
            break;
        }
        case rt::BoolErr: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            const std::uint8_t v = m_r.u8();
            const std::uint8_t isError = m_r.u8();
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            if (isError) {
                if (!validError(v))
                    cellFail(Error::Code::Corrupt, sh, r, c, "unknown error value " + std::to_string(v));
                cell.value = static_cast<ErrorValue>(v);
            } else {
                cell.value = v != 0;
            }
            cell.formula = kNoFormula;
            break;
        }
        case rt::Formula: {
            afterCells = true;
            const int r = m_r.u16(), c = m_r.u16();
            const std::uint16_t xf = m_r.u16();
            const std::uint8_t* val = m_r.bytes(8);
            Formula f;
            f.flags = m_r.u16();
            f.chn = m_r.u32();
            const std::size_t rest = m_r.remaining();
            const std::uint8_t* parsed = m_r.bytes(rest);
            if (rest < 2 || std::size_t(le16(parsed)) + 2 > rest)
                cellFail(Error::Code::Corrupt, sh, r, c, "the formula is longer than its record");
            f.parsed.assign(parsed, parsed + rest);
            Cell& cell = cellAt(sh, r, c);
            cell.xf = checkedXf(xf, sh, r, c);
            if (val[6] == 0xFF && val[7] == 0xFF) {
                switch (val[0]) {
                case 0: cell.value = std::string(); stringPending = true; break;
                case 1: cell.value = val[2] != 0; break;
                case 2:
                    if (!validError(val[2]))
                        cellFail(Error::Code::Corrupt, sh, r, c, "unknown error value " + std::to_string(val[2]));
                    cell.value = static_cast<ErrorValue>(val[2]);
                    break;
                case 3: cell.value = std::string(); break;
                default:
                    cellFail(Error::Code::Corrupt, sh, r, c,
                             "unknown type " + std::to_string(val[0]) + " of the formula's result");
                }
            } else {
                double d;
                std::memcpy(&d, val, sizeof d); // little-endian IEEE 754, as every supported platform
                cell.value = d;
            }
            auto& formulas = sh.formulas();
            lastFormula = static_cast<std::uint32_t>(formulas.size());
            cell.formula = lastFormula;
            formulas.push_back(std::move(f));
            formulaRow = r;
            formulaCol = c;
            break;
        }
        case rt::ShrFmla:
        case rt::Array:
        case rt::Table:
            afterCells = true;
            if (lastFormula == kNoFormula)
                sheetFail(sh, biff::recordName(type) + " record without the formula cell it belongs to");
            sh.formulas()[lastFormula].follow.push_back({type, m_r.bodyCopy()});
            break;
        case rt::String: {
            afterCells = true;
            if (!stringPending)
                sheetFail(sh, "a STRING record that follows no formula with a text result");
            m_text.clear();
            m_r.unicodeString(m_text, true);
            sh.cellAt(formulaRow, formulaCol).value = m_text;
            stringPending = false;
            break;
        }
        case rt::Row: {
            afterCells = true;
            const int r = m_r.u16();
            m_r.u16(); // first column
            m_r.u16(); // last column + 1
            const std::uint16_t height = m_r.u16();
            m_r.u16();
            m_r.u16();
            const std::uint16_t flags = m_r.u16();
            const std::uint16_t xfWord = m_r.u16();
            reserveRow(sh, r);
            RowInfo& ri = sh.rowInfoAt(r);
            ri.heightTwips = height & 0x7FFF;
            ri.outlineLevel = flags & 0x07;
            ri.collapsed = (flags & 0x0010) != 0;
            ri.hidden = (flags & 0x0020) != 0;
            ri.customHeight = (flags & 0x0040) != 0;
            ri.hasFormat = (flags & 0x0080) != 0;
            const std::uint16_t xf = xfWord & 0x0FFF;
            if (ri.hasFormat && xf >= m_wb.xfs().size())
                sheetFail(sh, "row " + std::to_string(r + 1) + " has cell format " + std::to_string(xf)
                                  + ", which does not exist");
            ri.xf = ri.hasFormat ? xf : kDefaultXf;
            ri.thickTop = (xfWord & 0x1000) != 0;
            ri.thickBottom = (xfWord & 0x2000) != 0;
            ri.present = true;
            break;
        }
        case rt::Index:
            break;
        case rt::DBCell:
            afterCells = true;
            break;

        // ---- sheet structure ------------------------------------------------------------------
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
            afterCells = true;
            sh.setWindow2Flags(m_r.u16());
            sh.rawAfterCells().push_back({type, m_r.bodyCopy()});
            keptRaw = true;
            break;

        // ---- page setup -----------------------------------------------------------------------
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
            (afterCells ? sh.rawAfterCells() : sh.rawBeforeCells()).push_back({type, m_r.bodyCopy()});
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

        case rt::Continue:
            if (lastKeptRaw) {
                (afterCells ? sh.rawAfterCells() : sh.rawBeforeCells()).push_back({type, m_r.bodyCopy()});
                keptRaw = true;
            }
            break;
        default:
            (afterCells ? sh.rawAfterCells() : sh.rawBeforeCells()).push_back({type, m_r.bodyCopy()});
            keptRaw = true;
            break;
        }
        if (type != rt::Continue)
            lastKeptRaw = keptRaw;
    }
}

// ---- defined names ----------------------------------------------------------------------------

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
