#include "host/biff/XlsWriter.h"
#include "host/Error.h"
#include "host/biff/Ole2Writer.h"
#include "host/biff/RecordWriter.h"
#include "host/biff/Records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string_view>

namespace cw::host {

namespace {

using biff::RecordWriter;
namespace rt = biff::rt;

// Record types Records.h does not name.
constexpr std::uint16_t rtTabId = 0x013D;
constexpr std::uint16_t rtObProj = 0x00D3;
constexpr std::uint16_t rtObNoMacros = 0x01BD;
constexpr std::uint16_t rtFileSharing = 0x005B;
constexpr std::uint16_t rtTemplate = 0x0060;
constexpr std::uint16_t rtUserBView = 0x01A9;
constexpr std::uint16_t rtClrtClient = 0x105C;
constexpr std::uint16_t rtTableStyle = 0x088F;
constexpr std::uint16_t rtTableStyleElement = 0x0890;
constexpr std::uint16_t rtDxf = 0x088D;
constexpr std::uint16_t rtFnGrp12 = 0x0898;
constexpr std::uint16_t rtHfPicture = 0x0866;
constexpr std::uint16_t rtPlv = 0x088B;
constexpr std::uint16_t rtUsersViewBegin = 0x01AA;
constexpr std::uint16_t rtLrng = 0x015F;
constexpr std::uint16_t rtQsi = 0x01AD;
constexpr std::uint16_t rtCondFmt12 = 0x0879;
constexpr std::uint16_t rtCf12 = 0x087A;
constexpr std::uint16_t rtHLinkTooltip = 0x0800;
constexpr std::uint16_t rtCellWatch = 0x086C;
constexpr std::uint16_t rtFeatHdr = 0x0867;
constexpr std::uint16_t rtFeat = 0x0868;
constexpr std::uint16_t rtFeatHdr11 = 0x0871;
constexpr std::uint16_t rtFeat11 = 0x0872;
constexpr std::uint16_t rtWebPub = 0x0801;
constexpr std::uint16_t rtDcon = 0x0050;
constexpr std::uint16_t rtRString = 0x00D6;
constexpr std::uint16_t rtEntExU2 = 0x01C2;

constexpr std::uint16_t kXlsLastRow = kXlsMaxRows - 1; // 65535
constexpr std::uint16_t kXlsLastCol = kMaxCols - 1;    // 255
constexpr std::size_t kMaxTextChars = 32767;
constexpr int kRowsPerBlock = 32;
constexpr std::size_t kMaxMergesPerRecord = 1026;

// An Excel 2003 BOF ([MS-XLS] 2.4.21): BIFF8, build 5612/1997, lowest BIFF 6, saved by 2003.
std::array<std::uint8_t, 16> bofBody(std::uint16_t dt)
{
    return {0x00, 0x06, static_cast<std::uint8_t>(dt), static_cast<std::uint8_t>(dt >> 8),
            0xEC, 0x15, 0xCD, 0x07, 0xC9, 0xC0, 0x00, 0x00, 0x06, 0x03, 0x00, 0x00};
}

std::uint16_t readU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// ---- formula tokens -------------------------------------------------------------------

// What a parsed formula ([MS-XLS] 2.5.198 Rgce) depends on beyond its own cell.
struct TokenScan {
    bool linkRefs = false; // 3-D references or external names: indices into EXTERNSHEET
    bool nameRefs = false; // PtgName: an index into the NAME records
    bool unknown = false;  // a token we cannot size; nothing after it can be judged
    bool shared = false;   // PtgExp / PtgTbl: the formula lives in SHRFMLA / ARRAY / TABLE
    std::uint16_t anchorRow = 0;
    std::uint16_t anchorCol = 0;
};

TokenScan scanTokens(const std::uint8_t* p, std::size_t n)
{
    TokenScan s;
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t t = p[i++];
        std::size_t size = 0;
        if (t >= 0x20) {
            switch (0x20 | (t & 0x1F)) {
            case 0x20: size = 7; break;                       // PtgArray (data in rgcb)
            case 0x21: size = 2; break;                       // PtgFunc
            case 0x22: size = 3; break;                       // PtgFuncVar
            case 0x23: size = 4; s.nameRefs = true; break;    // PtgName
            case 0x24: case 0x2A: case 0x2C: size = 4; break; // PtgRef, PtgRefErr, PtgRefN
            case 0x25: case 0x2B: case 0x2D: size = 8; break; // PtgArea, PtgAreaErr, PtgAreaN
            case 0x26: case 0x27: case 0x28: size = 6; break; // PtgMemArea, PtgMemErr, PtgMemNoMem
            case 0x29: size = 2; break;                       // PtgMemFunc
            case 0x39: case 0x3A: case 0x3C: size = 6; s.linkRefs = true; break;  // NameX, Ref3d, RefErr3d
            case 0x3B: case 0x3D: size = 10; s.linkRefs = true; break;            // Area3d, AreaErr3d
            default: s.unknown = true; return s;
            }
        } else {
            switch (t) {
            case 0x01: case 0x02: // PtgExp, PtgTbl
                size = 4;
                if (i + 4 <= n) {
                    s.shared = true;
                    s.anchorRow = readU16(p + i);
                    s.anchorCol = readU16(p + i + 2);
                }
                break;
            case 0x17: // PtgStr: ShortXLUnicodeString
                if (i + 2 > n) {
                    s.unknown = true;
                    return s;
                }
                size = 2 + static_cast<std::size_t>(p[i]) * ((p[i + 1] & 1) ? 2 : 1);
                break;
            case 0x19: // PtgAttr; tAttrChoose carries a jump table
                if (i + 3 > n) {
                    s.unknown = true;
                    return s;
                }
                size = 3;
                if (p[i] & 0x04)
                    size += 2 * (static_cast<std::size_t>(readU16(p + i + 1)) + 1);
                break;
            case 0x1C: case 0x1D: size = 1; break; // PtgErr, PtgBool
            case 0x1E: size = 2; break;            // PtgInt
            case 0x1F: size = 8; break;            // PtgNum
            default:
                if (t >= 0x03 && t <= 0x16) // operators, parentheses, missing argument
                    break;
                s.unknown = true;
                return s;
            }
        }
        if (i + size > n) {
            s.unknown = true;
            return s;
        }
        i += size;
    }
    return s;
}

void merge(TokenScan& into, const TokenScan& s)
{
    into.linkRefs |= s.linkRefs;
    into.nameRefs |= s.nameRefs;
    into.unknown |= s.unknown;
}

// The formula inside a SHRFMLA or ARRAY record, scanned; TABLE holds none.
TokenScan scanFollow(const RawRecord& r)
{
    std::size_t at = 0;
    if (r.type == rt::ShrFmla)
        at = 8;
    else if (r.type == rt::Array)
        at = 12;
    else
        return {};
    if (r.data.size() < at + 2)
        return TokenScan{false, false, true};
    const std::size_t cce = readU16(&r.data[at]);
    if (r.data.size() < at + 2 + cce)
        return TokenScan{false, false, true};
    return scanTokens(&r.data[at + 2], cce);
}

// True when a SHRFMLA / ARRAY / TABLE record's range (RefU) covers the cell.
bool followCovers(const RawRecord& r, int row, int col)
{
    if ((r.type != rt::ShrFmla && r.type != rt::Array && r.type != rt::Table) || r.data.size() < 6)
        return false;
    const int r0 = readU16(&r.data[0]), r1 = readU16(&r.data[2]);
    const int c0 = r.data[4], c1 = r.data[5];
    return row >= r0 && row <= r1 && col >= c0 && col <= c1;
}

// ---- RK numbers --------------------------------------------------------------------------

double rkDecode(std::uint32_t rk)
{
    double d;
    if (rk & 2) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & ~3u) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (rk & 1) ? d / 100 : d;
}

// An RK value ([MS-XLS] 2.5.217) that reads back as exactly v, if there is one.
bool rkEncode(double v, std::uint32_t& rk)
{
    auto exact = [&](std::uint32_t cand) {
        const double back = rkDecode(cand);
        return std::memcmp(&back, &v, sizeof v) == 0;
    };
    auto tryValue = [&](double x, std::uint32_t flag) {
        if (x >= -536870912.0 && x <= 536870911.0 && x == std::floor(x)) {
            const auto i = static_cast<std::int32_t>(x);
            const std::uint32_t cand = (static_cast<std::uint32_t>(i) << 2) | 2u | flag;
            if (exact(cand)) {
                rk = cand;
                return true;
            }
        }
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        if ((bits & 0x3FFFFFFFFull) == 0 && exact(static_cast<std::uint32_t>(bits >> 32) | flag)) {
            rk = static_cast<std::uint32_t>(bits >> 32) | flag;
            return true;
        }
        return false;
    };
    if (!std::isfinite(v))
        return false;
    return tryValue(v, 0) || tryValue(v * 100, 1);
}

// ---- raw record placement ------------------------------------------------------------------
// Records the model keeps raw are written back in their own place in the substream's record
// order ([MS-XLS] 2.1.7.20). Each type maps to the slot after which it stands; a type we do not
// place stays with the record before it (as it did in the file). Records that this writer
// rebuilds from the model are dropped from the raw lists, with their CONTINUE records.

constexpr int kFollow = -1; // stays after its predecessor
constexpr int kDrop = -2;   // rebuilt by this writer

enum GlobalsSlot {
    gAfterBof,
    gAfterDsf,
    gAfterTabId,
    gAfterFnGroupCount,
    gAfterXfs,
    gAfterStyles,
    gAfterPalette,
    gBeforeUsesElfs,
    gAfterBoundSheets,
    gAfterNames,
    gAfterSst,
    gSlotCount
};

int globalsSlot(std::uint16_t type)
{
    switch (type) {
    case rt::WriteProtect: case rtFileSharing: case rtTemplate:
        return gAfterBof;
    case rt::Excel9File:
        return gAfterDsf;
    case rtObNoMacros: case rt::CodeName:
        return gAfterTabId;
    case rt::FnGroupName: case rtFnGrp12:
        return gAfterFnGroupCount;
    case rt::XFCRC: case rt::XFExt: case rtDxf:
        return gAfterXfs;
    case rt::TableStyles: case rtTableStyle: case rtTableStyleElement:
        return gAfterStyles;
    case rtClrtClient:
        return gAfterPalette;
    case rtUserBView:
        return gBeforeUsesElfs;
    case rt::MTRSettings: case rt::ForceFullCalculation:
        return gAfterBoundSheets;
    case rt::RecalcId: case rtHfPicture: case rt::MsoDrawingGroup:
        return gAfterNames;
    case rt::BookExt: case rt::Theme: case rt::Compat12: case rtWebPub: case rtFeatHdr:
        return gAfterSst;
    // Written from the model or rebuilt here. OBPROJ announces a VBA project, whose storage a
    // saved file does not carry, so it goes too.
    case rt::Bof: case rt::Eof: case rt::InterfaceHdr: case rt::Mms: case rt::InterfaceEnd:
    case rt::WriteAccess: case rt::CodePage: case rt::DSF: case rtTabId: case rt::BuiltInFnGroupCount:
    case rt::WinProtect: case rt::Protect: case rt::Password: case rt::Prot4Rev: case rt::Prot4RevPass:
    case rt::Window1: case rt::Backup: case rt::HideObj: case rt::Date1904: case rt::CalcPrecision:
    case rt::RefreshAll: case rt::BookBool: case rt::Font: case rt::Format: case rt::XF:
    case rt::Style: case rt::StyleExt: case rt::Palette: case rt::UsesELFs: case rt::BoundSheet8:
    case rt::Country: case rt::SupBook: case rt::ExternName: case rt::XCT: case rt::CRN:
    case rt::ExternSheet: case rt::Lbl: case rt::SST: case rt::ExtSST: case rt::FilePass: case rtObProj:
        return kDrop;
    default:
        return kFollow;
    }
}

enum SheetSlot {
    wAfterBof,
    wAfterWsBool,
    wAfterMargins,
    wAfterSetup,
    wAfterColInfo,
    wAfterCells,
    wAfterWindow2,
    wAfterMerged,
    wSlotCount
};

int sheetSlot(std::uint16_t type)
{
    switch (type) {
    case rt::Uncalced:
        return wAfterBof;
    case rt::Sync: case rt::LPr: case rt::HorizontalPageBreaks: case rt::VerticalPageBreaks:
        return wAfterWsBool;
    case rt::Pls:
        return wAfterMargins;
    case rt::HeaderFooter: case rt::BkHim: case rt::Protect: case rt::ScenarioProtect:
    case rt::ObjProtect: case rt::Password:
        return wAfterSetup;
    case rt::Sort:
        return wAfterColInfo;
    case rt::MsoDrawing: case rt::Obj: case rt::Txo: case rt::Note: case rt::MsoDrawingSelection:
    case rtHfPicture: case rt::SxView: case rtDcon: case rtEntExU2:
        return wAfterCells;
    case rtPlv: case rt::Scl: case rt::Pane: case rt::Selection: case rtUsersViewBegin: case rt::DxGCol:
        return wAfterWindow2;
    case rtLrng: case rtQsi: case rt::PhoneticInfo: case rt::CondFmt: case rt::CF: case rtCondFmt12:
    case rtCf12: case rt::HLink: case rtHLinkTooltip: case rt::DVal: case rt::DV: case rt::CodeName:
    case rtWebPub: case rtCellWatch: case rt::SheetExt: case rtFeatHdr: case rtFeat: case rtFeatHdr11:
    case rtFeat11:
        return wAfterMerged;
    case rt::Bof: case rt::Eof: case rt::Index: case rt::CalcCount: case rt::CalcMode: case rt::CalcRefMode:
    case rt::CalcIter: case rt::CalcDelta: case rt::CalcSaveRecalc: case rt::PrintRowCol: case rt::PrintGrid:
    case rt::GridSet: case rt::Guts: case rt::DefaultRowHeight: case rt::WsBool: case rt::Header:
    case rt::Footer: case rt::HCenter: case rt::VCenter: case rt::LeftMargin: case rt::RightMargin:
    case rt::TopMargin: case rt::BottomMargin: case rt::Setup: case rt::DefColWidth: case rt::ColInfo:
    case rt::Dimensions: case rt::Row: case rt::Formula: case rt::LabelSst: case rt::Number: case rt::RK:
    case rt::MulRk: case rt::MulBlank: case rt::Blank: case rt::BoolErr: case rt::Label: case rtRString:
    case rt::String: case rt::ShrFmla: case rt::Array: case rt::Table: case rt::DBCell: case rt::Window2:
    case rt::MergeCells:
        return kDrop;
    default:
        return kFollow;
    }
}

bool isDrawingRecord(std::uint16_t type)
{
    return type == rt::MsoDrawing || type == rt::Obj || type == rt::Txo || type == rt::Note ||
           type == rt::MsoDrawingSelection;
}

// Index one past the EOF that closes the substream opening at list[i] (a BOF).
std::size_t substreamEnd(const std::vector<RawRecord>& list, std::size_t i)
{
    int depth = 0;
    for (std::size_t j = i; j < list.size(); ++j) {
        if (list[j].type == rt::Bof)
            ++depth;
        else if (list[j].type == rt::Eof && --depth == 0)
            return j + 1;
    }
    return list.size();
}

// The first record of a type at the top level of a raw list (not inside an embedded chart).
const RawRecord* findRaw(const std::vector<RawRecord>& list, std::uint16_t type)
{
    for (std::size_t i = 0; i < list.size();) {
        if (list[i].type == rt::Bof) {
            i = substreamEnd(list, i);
            continue;
        }
        if (list[i].type == type)
            return &list[i];
        ++i;
    }
    return nullptr;
}

// A raw record body of at least `size` bytes, or nothing.
const std::uint8_t* rawBody(const std::vector<RawRecord>& list, std::uint16_t type, std::size_t size)
{
    const RawRecord* r = findRaw(list, type);
    return r && r->data.size() >= size ? r->data.data() : nullptr;
}

// The drawing id of a sheet's drawing: the OfficeArtFDG record inside its first MSODRAWING.
int drawingId(const std::vector<RawRecord>& list)
{
    const RawRecord* r = findRaw(list, rt::MsoDrawing);
    if (!r || r->data.size() < 12 || readU16(&r->data[2]) != 0xF002 || readU16(&r->data[10]) != 0xF008)
        return -1;
    return readU16(&r->data[8]) >> 4;
}

// ---- shared strings ------------------------------------------------------------------------

// The unique texts in order of first use; an open-addressing table keeps the lookup free of
// per-string allocations.
class StringTable {
public:
    StringTable() : m_slots(256, 0) {}

    std::uint32_t intern(std::string_view s)
    {
        if ((m_strings.size() + 1) * 2 > m_slots.size())
            grow();
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = std::hash<std::string_view>{}(s) & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = m_slots[i];
            if (slot == 0) {
                m_strings.push_back(s);
                m_slots[i] = static_cast<std::uint32_t>(m_strings.size());
                return slot_index(m_slots[i]);
            }
            if (m_strings[slot - 1] == s)
                return slot_index(slot);
        }
    }
    const std::vector<std::string_view>& strings() const { return m_strings; }

private:
    static std::uint32_t slot_index(std::uint32_t slot) { return slot - 1; }
    void grow()
    {
        std::vector<std::uint32_t> slots(m_slots.size() * 2, 0);
        const std::size_t mask = slots.size() - 1;
        for (std::uint32_t k = 0; k < m_strings.size(); ++k) {
            std::size_t i = std::hash<std::string_view>{}(m_strings[k]) & mask;
            while (slots[i] != 0)
                i = (i + 1) & mask;
            slots[i] = k + 1;
        }
        m_slots.swap(slots);
    }

    std::vector<std::uint32_t> m_slots; // string index + 1; 0 = free
    std::vector<std::string_view> m_strings;
};

// One entry of EXTERNSHEET ([MS-XLS] 2.5.296 XTI).
struct Xti {
    std::uint16_t supBook;
    std::int16_t first;
    std::int16_t last;
};

} // namespace

// ---- the writer ----------------------------------------------------------------------------

struct XlsWriter::Impl {
    explicit Impl(const Workbook& workbook) : wb(workbook), w(out) {}

    const Workbook& wb;
    std::vector<std::uint8_t> out;
    RecordWriter w;

    // prepare()
    bool prepared = false;
    StringTable sst;
    std::uint32_t sstRefs = 0;
    std::vector<std::uint32_t> cellStrings; // SST index of each LABELSST, in writing order
    std::size_t cellStringAt = 0;

    bool keepRawLinks = false;      // the link table as read stays valid
    bool insertInternalSupBook = false;
    bool writeLinkTable = false;
    std::uint16_t internalSupBook = 0;
    std::vector<Xti> xtis;
    bool nameTableIntact = true;    // NAME indices as read still hold
    std::vector<const DefinedName*> keptNames;
    struct PrintName {
        int sheet;
        std::uint8_t code; // 0x06 Print_Area, 0x07 Print_Titles
        std::uint16_t ixti;
    };
    std::vector<PrintName> printNames;
    std::vector<int> globalsSlots;
    int activeTab = 0;

    struct SheetPlan {
        std::vector<std::uint8_t> formula; // 0 undecided, 1 verbatim, 2 cached value
        bool keepDrawing = true;
        std::size_t boundSheetPos = 0;
    };
    std::vector<SheetPlan> plans;

    // per-sheet scratch, reused
    struct RowPlan {
        int row;
        int firstCol; // -1 when the row has no cells
        int lastCol;
    };
    std::vector<RowPlan> rows;
    std::vector<int> rawSlots;

    void prepare();
    void prepareLinks();
    void prepareNames();
    void prepareSheet(int index);
    bool formulaVerbatim(const Sheet& s, SheetPlan& plan, std::uint32_t fi, int row, int col, int depth = 0);
    std::uint16_t xti(int sheet);

    void writeGlobals();
    void writeRawGlobals(int slot);
    void writeFont(const Font& f);
    void writeXf(const Xf& x);
    void writeLinkTableRecords();
    void writeName(const DefinedName& n);
    void writePrintName(const PrintName& p);

    void writeSheet(int index);
    void writeWorksheet(int index);
    void writeOtherSheet(int index);
    void placeRaw(const std::vector<RawRecord>& list, bool before, const SheetPlan& plan);
    void writeRawSlot(const std::vector<RawRecord>& list, int slot);
    void writeRowBlock(const Sheet& s, SheetPlan& plan, std::size_t first, std::size_t last,
                       std::vector<std::uint32_t>& dbcells);
    void writeCells(const Sheet& s, SheetPlan& plan, const RowPlan& rp);
    void writeValue(int row, int col, std::uint16_t xf, const Value& v);
    void writeFormula(const Sheet& s, int row, int col, std::uint16_t xf, const Cell& c);

    std::uint16_t xfOf(std::uint16_t xf) const { return xf < wb.xfs().size() ? xf : kDefaultXf; }
};

XlsWriter::XlsWriter(const Workbook& workbook) : m_impl(std::make_unique<Impl>(workbook)) {}
XlsWriter::~XlsWriter() = default;

std::vector<std::uint8_t> XlsWriter::workbookStream()
{
    Impl& m = *m_impl;
    if (!m.prepared)
        m.prepare();
    m.out.clear();
    m.cellStringAt = 0;
    m.writeGlobals();
    for (int i = 0; i < m.wb.sheetCount(); ++i)
        m.writeSheet(i);
    return std::move(m.out);
}

std::vector<std::uint8_t> XlsWriter::fileBytes()
{
    const std::vector<std::uint8_t> stream = workbookStream();
    return biff::wrapInCompoundFile(stream);
}

// ---- prepare -------------------------------------------------------------------------------

void XlsWriter::Impl::prepare()
{
    if (wb.sheetCount() == 0)
        throw Error(Error::Code::Invalid, "a workbook without sheets cannot be saved as .xls");
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        const std::size_t len = biff::utf16Length(s.name());
        if (len == 0 || len > 31)
            throw Error(Error::Code::Limit, "the sheet name \"" + s.name() +
                                                "\" does not fit an .xls workbook (1 to 31 characters)");
        if (s.kind() == SheetKind::Worksheet && s.rowCount() > kXlsMaxRows)
            throw Error(Error::Code::Limit, "sheet \"" + s.name() + "\" has " + std::to_string(s.rowCount()) +
                                                " rows; an .xls sheet holds at most 65,536");
    }
    // The active tab must be a visible sheet: Excel will not show a hidden one.
    activeTab = std::clamp(wb.activeSheet(), 0, wb.sheetCount() - 1);
    if (wb.sheet(activeTab).visibility() != Visibility::Visible)
        for (int i = 0; i < wb.sheetCount(); ++i)
            if (wb.sheet(i).visibility() == Visibility::Visible) {
                activeTab = i;
                break;
            }

    prepareLinks();
    prepareNames();

    // Raw globals: the slot of each record (kDrop: not written).
    const auto& raw = wb.rawGlobals();
    globalsSlots.assign(raw.size(), kDrop);
    int prev = gAfterSst;
    bool prevDropped = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        int slot;
        if (raw[i].type == rt::Continue)
            slot = prevDropped ? kDrop : prev;
        else if ((slot = globalsSlot(raw[i].type)) == kFollow)
            slot = prev;
        globalsSlots[i] = slot;
        prevDropped = slot == kDrop;
        if (slot != kDrop)
            prev = slot;
    }

    plans.assign(static_cast<std::size_t>(wb.sheetCount()), SheetPlan{});
    // Drawings of a copied sheet repeat the drawing id of the original; a second copy of
    // the same drawing (or a drawing without the workbook's drawing group) makes Excel
    // repair the file, so only the first sheet that shows a drawing id keeps its drawing
    // (pictures, comments, embedded charts: the drawing layer goes as a whole).
    if (wb.structureChanged()) {
        const bool haveGroup = findRaw(wb.rawGlobals(), rt::MsoDrawingGroup) != nullptr;
        std::vector<int> seen;
        for (int i = 0; i < wb.sheetCount(); ++i) {
            const Sheet& s = wb.sheet(i);
            if (s.kind() != SheetKind::Worksheet)
                continue;
            const int id = drawingId(s.rawAfterCells());
            const bool keep = haveGroup && id >= 0 && std::find(seen.begin(), seen.end(), id) == seen.end();
            if (id >= 0)
                seen.push_back(id);
            plans[static_cast<std::size_t>(i)].keepDrawing = keep;
        }
    }

    for (int i = 0; i < wb.sheetCount(); ++i)
        prepareSheet(i);
    prepared = true;
}

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
            if (r.data.size() == 4 && readU16(&r.data[2]) == 0x0401 && internal < 0) {
                internal = supBooks;
                internalMatches = readU16(&r.data[0]) == wb.sheetCount();
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
            const std::size_t count = std::min<std::size_t>(readU16(externSheet.data()), (externSheet.size() - 2) / 6);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t* p = &externSheet[2 + 6 * k];
                xtis.push_back({readU16(p), static_cast<std::int16_t>(readU16(p + 2)),
                                static_cast<std::int16_t>(readU16(p + 4))});
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
            const std::size_t count = std::min<std::size_t>(readU16(externSheet.data()), (externSheet.size() - 2) / 6);
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
        const std::size_t len = biff::utf16Length(n.name);
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

// Decides how each formula is written, and gathers the shared strings in writing order.
void XlsWriter::Impl::prepareSheet(int index)
{
    const Sheet& s = wb.sheet(index);
    if (s.kind() != SheetKind::Worksheet)
        return;
    SheetPlan& plan = plans[static_cast<std::size_t>(index)];
    plan.formula.assign(s.formulas().size(), 0);
    const int rowCount = s.rowCount();
    for (int r = 0; r < rowCount; ++r) {
        const std::vector<Cell>* cells = s.rowCells(r);
        if (!cells)
            continue;
        const int width = std::min<int>(static_cast<int>(cells->size()), kMaxCols);
        for (int c = 0; c < width; ++c) {
            const Cell& cell = (*cells)[static_cast<std::size_t>(c)];
            if (cell.isVoid())
                continue;
            const std::string* text = std::get_if<std::string>(&cell.value);
            if (cell.hasFormula() && formulaVerbatim(s, plan, cell.formula, r, c)) {
                // The text result goes in a STRING record after the formula.
                if (text && text->size() > kMaxTextChars && biff::utf16Length(*text) > kMaxTextChars)
                    throw Error(Error::Code::Limit, "cell " + toA1(r, c) + " of sheet \"" + s.name() +
                                                        "\" holds more than 32,767 characters");
                continue;
            }
            if (!text)
                continue;
            if (text->size() > kMaxTextChars && biff::utf16Length(*text) > kMaxTextChars)
                throw Error(Error::Code::Limit, "cell " + toA1(r, c) + " of sheet \"" + s.name() +
                                                    "\" holds more than 32,767 characters");
            cellStrings.push_back(sst.intern(*text));
            ++sstRefs;
        }
    }
}

bool XlsWriter::Impl::formulaVerbatim(const Sheet& s, SheetPlan& plan, std::uint32_t fi, int row, int col, int depth)
{
    if (fi >= plan.formula.size())
        return false;
    if (plan.formula[fi] != 0)
        return plan.formula[fi] == 1;
    const Formula& f = s.formulas()[fi];
    bool ok = f.parsed.size() >= 2 && f.parsed.size() - 2 >= readU16(f.parsed.data());
    TokenScan t;
    if (ok) {
        t = scanTokens(f.parsed.data() + 2, readU16(f.parsed.data()));
        for (const RawRecord& r : f.follow)
            merge(t, scanFollow(r));
        const bool safe = keepRawLinks && nameTableIntact;
        ok = !(t.linkRefs && !keepRawLinks) && !(t.nameRefs && !nameTableIntact) && !(t.unknown && !safe);
    }
    if (ok && t.shared) {
        // PtgExp / PtgTbl: the cell shares the formula of the anchor cell, whose SHRFMLA,
        // ARRAY or TABLE record must still cover this cell and be written.
        auto covers = [&](const Formula& anchor) {
            return std::any_of(anchor.follow.begin(), anchor.follow.end(),
                               [&](const RawRecord& r) { return followCovers(r, row, col); });
        };
        if (t.anchorRow == row && t.anchorCol == col) {
            ok = covers(f);
        } else {
            const Cell* a = s.cell(t.anchorRow, t.anchorCol);
            const bool before = t.anchorRow < row || (t.anchorRow == row && t.anchorCol < col);
            ok = depth == 0 && before && a && a->hasFormula() && a->formula < s.formulas().size() &&
                 a->formula != fi && covers(s.formulas()[a->formula]) &&
                 formulaVerbatim(s, plan, a->formula, t.anchorRow, t.anchorCol, depth + 1);
        }
    }
    plan.formula[fi] = ok ? 1 : 2;
    return ok;
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
    const auto& raw = wb.rawGlobals();
    auto rawOr = [&](std::uint16_t type, std::initializer_list<std::uint8_t> fallback) {
        const RawRecord* r = findRaw(raw, type);
        if (r && r->data.size() == fallback.size())
            w.record(type, r->data);
        else
            w.record(type, fallback);
    };

    const auto bof = bofBody(0x0005);
    w.record(rt::Bof, bof);
    writeRawGlobals(gAfterBof);
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
    w.begin(rtTabId);
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
    rawOr(rt::Country, {0x01, 0x00, 0x5B, 0x00});
    writeLinkTableRecords();
    for (const DefinedName* n : keptNames)
        writeName(*n);
    for (const PrintName& p : printNames)
        writePrintName(p);
    writeRawGlobals(gAfterNames);
    w.sharedStrings(sst.strings(), sstRefs);
    writeRawGlobals(gAfterSst);
    w.record(rt::Eof, {});
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
    w.u8(static_cast<std::uint8_t>(biff::utf16Length(n.name)));
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

// ---- sheets --------------------------------------------------------------------------------

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

void XlsWriter::Impl::writeWorksheet(int index)
{
    const Sheet& s = wb.sheet(index);
    SheetPlan& plan = plans[static_cast<std::size_t>(index)];
    const PageSetup& ps = s.pageSetup();
    const auto& before = s.rawBeforeCells();
    const auto& after = s.rawAfterCells();

    // The rows that get a ROW record: those with cells or with row properties.
    rows.clear();
    const int rowCount = s.rowCount();
    int firstCellRow = -1, lastCellRow = -1, firstCellCol = kMaxCols, lastCellCol = -1;
    std::uint8_t maxRowLevel = 0;
    for (int r = 0; r < rowCount; ++r) {
        const std::vector<Cell>* cells = s.rowCells(r);
        int first = -1, last = -1;
        if (cells) {
            const int width = std::min<int>(static_cast<int>(cells->size()), kMaxCols);
            for (int c = 0; c < width; ++c)
                if (!(*cells)[static_cast<std::size_t>(c)].isVoid()) {
                    if (first < 0)
                        first = c;
                    last = c;
                }
        }
        const RowInfo* info = s.rowInfo(r);
        if (first < 0 && !info)
            continue;
        rows.push_back({r, first, last});
        if (info)
            maxRowLevel = std::max<std::uint8_t>(maxRowLevel, info->outlineLevel & 0x07);
        if (first >= 0) {
            if (firstCellRow < 0)
                firstCellRow = r;
            lastCellRow = r;
            firstCellCol = std::min(firstCellCol, first);
            lastCellCol = std::max(lastCellCol, last);
        }
    }

    std::size_t blocks = 0;
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (k == 0 || rows[k].row / kRowsPerBlock != rows[k - 1].row / kRowsPerBlock)
            ++blocks;

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
    w.zeros(4 * blocks);
    w.end();

    auto rawOr = [&](std::uint16_t type, std::initializer_list<std::uint8_t> fallback) {
        const RawRecord* r = findRaw(before, type);
        if (r && r->data.size() == fallback.size())
            w.record(type, r->data);
        else
            w.record(type, fallback);
    };
    rawOr(rt::CalcCount, {0x64, 0x00});
    rawOr(rt::CalcMode, {0x01, 0x00});
    rawOr(rt::CalcRefMode, {0x01, 0x00});
    rawOr(rt::CalcIter, {0x00, 0x00});
    rawOr(rt::CalcDelta, {0xFC, 0xA9, 0xF1, 0xD2, 0x4D, 0x62, 0x50, 0x3F}); // 0.001
    rawOr(rt::CalcSaveRecalc, {0x01, 0x00});
    w.record(rt::PrintRowCol, {static_cast<std::uint8_t>(ps.printHeadings ? 1 : 0), 0});
    w.record(rt::PrintGrid, {static_cast<std::uint8_t>(ps.printGridlines ? 1 : 0), 0});
    rawOr(rt::GridSet, {0x01, 0x00});

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
        wsbool = readU16(p);
    wsbool = static_cast<std::uint16_t>(ps.fitToPage ? (wsbool | 0x0100) : (wsbool & ~0x0100));
    w.record(rt::WsBool, {static_cast<std::uint8_t>(wsbool), static_cast<std::uint8_t>(wsbool >> 8)});
    writeRawSlot(before, wAfterWsBool);

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

    w.patchU32(defColWidthField, static_cast<std::uint32_t>(w.position()));
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
    writeRawSlot(before, wAfterColInfo);

    w.begin(rt::Dimensions);
    if (firstCellRow >= 0) {
        w.u32(static_cast<std::uint32_t>(firstCellRow));
        w.u32(static_cast<std::uint32_t>(lastCellRow + 1));
        w.u16(static_cast<std::uint16_t>(firstCellCol));
        w.u16(static_cast<std::uint16_t>(lastCellCol + 1));
    } else {
        w.zeros(12);
    }
    w.u16(0);
    w.end();

    // The cell table in blocks of up to 32 rows, each closed by a DBCELL.
    std::vector<std::uint32_t> dbcells;
    dbcells.reserve(blocks);
    for (std::size_t k = 0; k < rows.size();) {
        std::size_t end = k + 1;
        while (end < rows.size() && rows[end].row / kRowsPerBlock == rows[k].row / kRowsPerBlock)
            ++end;
        writeRowBlock(s, plan, k, end, dbcells);
        k = end;
    }
    for (std::size_t b = 0; b < dbcells.size(); ++b)
        w.patchU32(dbcellFields + 4 * b, dbcells[b]);

    placeRaw(after, false, plan);
    writeRawSlot(after, wAfterCells);

    // WINDOW2: the view as read, selected and shown when this is the active sheet.
    {
        std::uint8_t body[18] = {0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const std::uint8_t* p = rawBody(after, rt::Window2, 18);
        if (!p)
            p = rawBody(before, rt::Window2, 18);
        if (p)
            std::memcpy(body, p, 18);
        std::uint16_t flags = s.window2Flags();
        flags = static_cast<std::uint16_t>(index == activeTab ? (flags | 0x0600) : (flags & ~0x0600));
        body[0] = static_cast<std::uint8_t>(flags);
        body[1] = static_cast<std::uint8_t>(flags >> 8);
        w.record(rt::Window2, body);
    }
    writeRawSlot(after, wAfterWindow2);

    // MERGEDCELLS: ranges inside the sheet's limits that overlap no earlier range, at most
    // 1,026 to a record.
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
    writeRawSlot(after, wAfterMerged);
    w.record(rt::Eof, {});
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
    const std::vector<Cell>& cells = *s.rowCells(rp.row);
    const int r = rp.row;
    for (int c = rp.firstCol; c <= rp.lastCol; ++c) {
        const Cell& cell = cells[static_cast<std::size_t>(c)];
        if (cell.isVoid())
            continue;
        const std::uint16_t xf = xfOf(cell.xf);
        if (cell.hasFormula() && formulaVerbatim(s, plan, cell.formula, r, c)) {
            writeFormula(s, r, c, xf, cell);
            continue;
        }
        if (!isEmpty(cell.value)) {
            writeValue(r, c, xf, cell.value);
            continue;
        }
        // Formatted empty cells: a run of them becomes one MULBLANK.
        int end = c + 1;
        while (end <= rp.lastCol) {
            const Cell& n = cells[static_cast<std::size_t>(end)];
            if (n.isVoid() || !isEmpty(n.value) || (n.hasFormula() && formulaVerbatim(s, plan, n.formula, r, end)))
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
                w.u16(xfOf(cells[static_cast<std::size_t>(k)].xf));
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
        } else if (rkEncode(d, rk)) {
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
        head(rt::LabelSst);
        w.u32(cellStrings[cellStringAt++]);
        w.end();
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
        biff::utf8ToUtf16(*text, units);
        const bool compressed = std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x100; });
        const std::size_t charSize = compressed ? 1 : 2;
        w.begin(rt::String);
        w.u16(static_cast<std::uint16_t>(units.size()));
        w.u8(compressed ? 0 : 1);
        for (std::size_t k = 0; k < units.size(); ++k) {
            const bool pairStart = !compressed && units[k] >= 0xD800 && units[k] <= 0xDBFF;
            if (w.recordSize() + charSize * (pairStart ? 2 : 1) > biff::kMaxRecordData) {
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
