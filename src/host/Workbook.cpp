#include "host/Workbook.h"
#include "host/Ascii.h"
#include "host/Error.h"
#include "host/General.h"
#include "host/biff/FormatTables.h"
#include "host/biff/Records.h"
#include "host/biff/SheetDrawing.h"

#include <algorithm>
#include <set>

namespace cw::host {

namespace {

// The default colours of palette indices 8..63 (indices 0..7 repeat 8..15).
constexpr std::uint32_t kDefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// Sheet names as a spreadsheet program allows them: 1 to 31 characters, none of []:*?/\ .
bool validSheetName(const std::string& name)
{
    if (name.empty())
        return false;
    // Count characters, not UTF-8 bytes.
    std::size_t chars = 0;
    for (unsigned char c : name)
        if ((c & 0xC0) != 0x80)
            ++chars;
    if (chars > 31)
        return false;
    if (name.front() == '\'' || name.back() == '\'')
        return false;
    return name.find_first_of("[]:*?/\\") == std::string::npos;
}

} // namespace

Workbook::Workbook()
{
    // The tables every BIFF8 workbook starts with: four default fonts, fifteen style XFs,
    // the default cell XF 15 and the "Normal" style.
    m_fonts.assign(4, Font{});
    Xf normal;
    normal.isStyle = true;
    normal.parent = 0xFFF;
    normal.usedAttrib = 0;
    m_xfs.push_back(normal);
    for (int i = 1; i < 15; ++i) {
        Xf s = normal;
        s.font = (i == 1 || i == 2) ? 1 : (i == 3 || i == 4) ? 2 : 0;
        s.usedAttrib = 0x3D; // style XFs mark the attributes they leave to the cell
        m_xfs.push_back(s);
    }
    Xf cellXf;
    cellXf.parent = 0;
    cellXf.usedAttrib = 0;
    m_xfs.push_back(cellXf);
    m_styles.push_back(biff::normalStyle());
}

Workbook::~Workbook() = default;
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;

Sheet& Workbook::sheet(int index)
{
    if (index < 0 || index >= sheetCount())
        throw Error(Error::Code::NoSuchSheet, "there is no sheet number " + std::to_string(index + 1));
    return *m_sheets[static_cast<std::size_t>(index)];
}

const Sheet& Workbook::sheet(int index) const
{
    return const_cast<Workbook*>(this)->sheet(index);
}

int Workbook::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_sheets.size(); ++i)
        if (m_sheets[i]->name() == name)
            return static_cast<int>(i);
    return -1;
}

Sheet* Workbook::findSheet(std::string_view name)
{
    int i = indexOf(name);
    return i < 0 ? nullptr : m_sheets[static_cast<std::size_t>(i)].get();
}

const Sheet* Workbook::findSheet(std::string_view name) const
{
    return const_cast<Workbook*>(this)->findSheet(name);
}

Sheet& Workbook::sheet(std::string_view name)
{
    Sheet* s = findSheet(name);
    if (!s)
        throw Error(Error::Code::NoSuchSheet, "the workbook has no sheet \"" + std::string(name) + "\"");
    return *s;
}

const Sheet& Workbook::sheet(std::string_view name) const
{
    return const_cast<Workbook*>(this)->sheet(name);
}

std::vector<std::string> Workbook::sheetNames() const
{
    std::vector<std::string> names;
    names.reserve(m_sheets.size());
    for (const auto& s : m_sheets)
        names.push_back(s->name());
    return names;
}

void Workbook::setActiveSheet(int index)
{
    if (index < 0 || index >= sheetCount())
        throw Error(Error::Code::NoSuchSheet, "there is no sheet number " + std::to_string(index + 1));
    m_active = index;
}

// Sheet-local names follow their sheet when sheets are inserted or removed.
static void shiftNames(std::vector<DefinedName>& names, int from, int delta)
{
    for (DefinedName& n : names)
        if (n.sheetIndex != 0 && static_cast<int>(n.sheetIndex) - 1 >= from)
            n.sheetIndex = static_cast<std::uint16_t>(n.sheetIndex + delta);
}

Sheet& Workbook::addSheet(std::string name)
{
    if (name.empty()) {
        for (int n = sheetCount() + 1;; ++n) {
            name = "Sheet" + std::to_string(n);
            bool clash = false;
            for (const auto& s : m_sheets)
                clash = clash || equalsIgnoringAsciiCase(s->name(), name);
            if (!clash)
                break;
        }
    } else {
        for (const auto& s : m_sheets)
            if (equalsIgnoringAsciiCase(s->name(), name))
                throw Error(Error::Code::BadName, "a sheet named \"" + name + "\" already exists");
        if (!validSheetName(name))
            throw Error(Error::Code::BadName, "\"" + name + "\" is not a valid sheet name");
    }
    int at = m_sheets.empty() ? 0 : std::clamp(m_active, 0, sheetCount());
    m_sheets.insert(m_sheets.begin() + at, std::make_unique<Sheet>(name));
    shiftNames(m_names, at, +1);
    m_active = at;
    m_structureChanged = true;
    return *m_sheets[static_cast<std::size_t>(at)];
}

void Workbook::renameSheet(int index, const std::string& newName)
{
    Sheet& s = sheet(index);
    if (!validSheetName(newName))
        throw Error(Error::Code::BadName, "\"" + newName + "\" is not a valid sheet name");
    for (std::size_t i = 0; i < m_sheets.size(); ++i)
        if (static_cast<int>(i) != index && equalsIgnoringAsciiCase(m_sheets[i]->name(), newName))
            throw Error(Error::Code::BadName, "a sheet named \"" + newName + "\" already exists");
    s.m_name = newName;
}

void Workbook::deleteSheet(int index)
{
    sheet(index); // throws when absent
    m_sheets.erase(m_sheets.begin() + index);
    std::erase_if(m_names, [&](const DefinedName& n) { return n.sheetIndex == index + 1; });
    shiftNames(m_names, index + 1, -1);
    if (m_active > index || m_active >= sheetCount())
        m_active = std::max(0, m_active - 1);
    m_structureChanged = true;
}

void Workbook::deleteSheets(const std::vector<std::string>& names)
{
    for (const std::string& n : names)
        if (indexOf(n) < 0)
            throw Error(Error::Code::NoSuchSheet, "the workbook has no sheet \"" + n + "\"");
    for (const std::string& n : names)
        deleteSheet(indexOf(n));
}

int Workbook::copySheet(int index, int target, bool after)
{
    const Sheet& src = sheet(index);
    sheet(target);
    // "Name (2)", "Name (3)", ... kept within 31 characters.
    std::string base = src.name();
    auto paren = base.rfind(" (");
    if (paren != std::string::npos && base.back() == ')')
        base = base.substr(0, paren);
    std::string name;
    for (int n = 2;; ++n) {
        std::string suffix = " (" + std::to_string(n) + ")";
        std::string stem = base;
        while (!stem.empty() && stem.size() + suffix.size() > 31)
            stem.pop_back();
        name = stem + suffix;
        bool clash = false;
        for (const auto& s : m_sheets)
            clash = clash || equalsIgnoringAsciiCase(s->name(), name);
        if (!clash)
            break;
    }
    auto copy = std::make_unique<Sheet>(src);
    copy->m_name = name;
    copy->m_visibility = Visibility::Visible;
    for (std::string& left : biff::leaveOutUncarried(*copy, src.name()))
        addWarning(std::move(left));
    int at = after ? target + 1 : target;
    m_sheets.insert(m_sheets.begin() + at, std::move(copy));
    shiftNames(m_names, at, +1);
    m_active = at;
    m_structureChanged = true;
    return at;
}

Workbook Workbook::moveSheetsToNewWorkbook(const std::vector<int>& indices)
{
    std::set<int> chosen(indices.begin(), indices.end());
    if (chosen.empty())
        throw Error(Error::Code::Invalid, "no sheets to move");
    for (int i : chosen)
        sheet(i);
    if (static_cast<int>(chosen.size()) == sheetCount())
        throw Error(Error::Code::Invalid, "a workbook must keep at least one sheet");

    Workbook out;
    // The new workbook carries the whole formatting tables, so every XF index stays valid.
    out.m_fonts = m_fonts;
    out.m_numFmts = m_numFmts;
    out.m_xfs = m_xfs;
    out.m_styles = m_styles;
    out.m_palette = m_palette;
    out.m_date1904 = m_date1904;
    out.m_structureChanged = true;
    bool drawings = false;
    for (int i : chosen) {
        Sheet& s = *m_sheets[static_cast<std::size_t>(i)];
        for (std::string& left : biff::leaveOutUncarried(s, s.name()))
            addWarning(std::move(left));
        for (const auto* list : {&s.rawAfterCells(), &s.rawBeforeCells()})
            drawings = drawings || std::any_of(list->begin(), list->end(), [](const RawRecord& r) {
                           return r.type == biff::rt::MsoDrawing;
                       });
    }
    // Their pictures are in this workbook's picture store: the new one takes the store along
    // (the writer keeps only the pictures its drawings use).
    if (drawings) {
        bool in = false;
        for (const RawRecord& r : m_rawGlobals) {
            in = r.type == biff::rt::MsoDrawingGroup || (in && r.type == biff::rt::Continue);
            if (in)
                out.m_rawGlobals.push_back(r);
        }
    }
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        out.m_sheets.insert(out.m_sheets.begin(), std::move(m_sheets[static_cast<std::size_t>(*it)]));
        m_sheets.erase(m_sheets.begin() + *it);
        std::erase_if(m_names, [&](const DefinedName& n) { return n.sheetIndex == *it + 1; });
        shiftNames(m_names, *it + 1, -1);
        if (m_active > *it)
            --m_active;
    }
    m_active = std::clamp(m_active, 0, sheetCount() - 1);
    m_structureChanged = true;
    out.m_active = 0;
    return out;
}

const Font* Workbook::font(std::uint16_t xfFontIndex) const
{
    if (xfFontIndex == 4)
        return nullptr;
    std::size_t i = xfFontIndex < 4 ? xfFontIndex : xfFontIndex - 1u;
    return i < m_fonts.size() ? &m_fonts[i] : nullptr;
}

std::uint16_t Workbook::addFont(const Font& f)
{
    auto toXfIndex = [](std::size_t i) { return static_cast<std::uint16_t>(i < 4 ? i : i + 1); };
    // Fonts 0..3 are the defaults; a new font gets its own record even when it looks the same,
    // unless one was added before.
    for (std::size_t i = 4; i < m_fonts.size(); ++i)
        if (m_fonts[i] == f)
            return toXfIndex(i);
    if (m_fonts.size() < 4 && f == Font{})
        return 0;
    while (m_fonts.size() < 4)
        m_fonts.push_back(Font{});
    if (m_fonts.size() >= 510)
        throw Error(Error::Code::Limit, "too many fonts for an .xls workbook");
    m_fonts.push_back(f);
    return toXfIndex(m_fonts.size() - 1);
}

std::string Workbook::numberFormat(std::uint16_t id) const
{
    auto it = m_numFmts.find(id);
    if (it != m_numFmts.end())
        return it->second;
    if (const char* b = builtinNumberFormat(id))
        return b;
    return "General";
}

std::uint16_t Workbook::addNumberFormat(const std::string& format)
{
    for (const auto& [id, f] : m_numFmts)
        if (f == format)
            return id;
    for (std::uint16_t id = 0; id < 164; ++id)
        if (const char* b = builtinNumberFormat(id); b && format == b && !m_numFmts.count(id))
            return id;
    std::uint16_t next = 164;
    if (!m_numFmts.empty())
        next = std::max<std::uint16_t>(164, static_cast<std::uint16_t>(m_numFmts.rbegin()->first + 1));
    m_numFmts[next] = format;
    return next;
}

std::uint16_t Workbook::addXf(const Xf& xf)
{
    for (std::size_t i = 0; i < m_xfs.size(); ++i)
        if (!m_xfs[i].isStyle && m_xfs[i] == xf)
            return static_cast<std::uint16_t>(i);
    // [MS-XLS]: at most 4,050 XF records in a BIFF8 file.
    if (m_xfs.size() >= 4050)
        throw Error(Error::Code::Limit, "too many cell formats for an .xls workbook");
    m_xfs.push_back(xf);
    return static_cast<std::uint16_t>(m_xfs.size() - 1);
}

bool Workbook::isDateXf(std::uint16_t xf) const
{
    if (xf >= m_xfs.size())
        return false;
    return isDateFormat(numberFormat(m_xfs[xf].numFmt));
}

Rgb Workbook::color(std::uint16_t index) const
{
    if (index == 0x40 || index == 0x7FFF || index == 0x51)
        return Rgb{0, 0, 0};       // automatic / window text
    if (index == 0x41 || index == 0x50)
        return Rgb{255, 255, 255}; // window background / tooltip
    std::size_t i = index < 8 ? index : static_cast<std::size_t>(index) - 8;
    if (i >= 56)
        return Rgb{0, 0, 0};
    if (m_palette && index >= 8)
        return (*m_palette)[i];
    std::uint32_t c = kDefaultPalette[i];
    return Rgb{static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)};
}

void Workbook::copyValues(const Sheet& src, const Range& block, Sheet& dst, CellRef dstTopLeft)
{
    if (dstTopLeft.row + block.rows() > kMaxRows || dstTopLeft.col + block.cols() > kMaxCols)
        throw Error(Error::Code::BadAddress, "the pasted block would reach outside sheet \"" + dst.name() + "\"");
    // Read the whole block first: source and target may be the same sheet and overlap.
    std::vector<Value> values;
    values.reserve(static_cast<std::size_t>(block.rows()) * static_cast<std::size_t>(block.cols()));
    for (int r = block.firstRow; r <= block.lastRow; ++r)
        for (int c = block.firstCol; c <= block.lastCol; ++c)
            values.push_back(src.value(r, c));
    std::size_t k = 0;
    for (int r = 0; r < block.rows(); ++r) {
        for (int c = 0; c < block.cols(); ++c, ++k) {
            Value& v = values[k];
            int tr = dstTopLeft.row + r, tc = dstTopLeft.col + c;
            if (isEmpty(v) && !dst.hasCell(tr, tc))
                continue; // nothing to clear, and no need to create the cell
            dst.setValue(tr, tc, std::move(v));
        }
    }
}

} // namespace cw::host
