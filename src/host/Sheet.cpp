#include "host/Sheet.h"
#include "host/Error.h"
#include "host/General.h"
#include "host/biff/SheetDrawing.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cmath>

namespace cw::host {

namespace {
constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

double scaledValue(std::uint32_t payload, std::uint8_t scale)
{
    return static_cast<double>(static_cast<std::int32_t>(payload)) / kPowersOfTen[scale];
}

// A number that is exactly a 32-bit integer over 10^scale, scale 0 to 4, when decoded as above:
// whole numbers, amounts in rupees and paise, date serials. The test is on the bits, so what
// is read back is the same double (and -0 is left to the number pool).
bool scaledForm(double d, std::uint32_t& payload, std::uint8_t& scale)
{
    if (!std::isfinite(d) || std::fabs(d) > 2e9)
        return false;
    for (std::uint8_t k = 0; k < std::size(kPowersOfTen); ++k) {
        const double m = std::nearbyint(d * kPowersOfTen[k]);
        if (std::fabs(m) > 2147483647.0)
            return false;
        const auto p = static_cast<std::uint32_t>(static_cast<std::int32_t>(m));
        if (std::bit_cast<std::uint64_t>(scaledValue(p, k)) == std::bit_cast<std::uint64_t>(d)) {
            payload = p;
            scale = k;
            return true;
        }
    }
    return false;
}

void checkCell(int row, int col)
{
    if (row < 0 || row >= kMaxRows || col < 0 || col >= kMaxCols)
        throw Error(Error::Code::BadAddress, "cell (" + std::to_string(row + 1) + ", " +
                                                 std::to_string(col + 1) + ") lies outside the sheet");
}

bool overlaps(const Range& a, const Range& b)
{
    return a.firstRow <= b.lastRow && b.firstRow <= a.lastRow && a.firstCol <= b.lastCol &&
           b.firstCol <= a.lastCol;
}

// Row-wise shift of a range for an insertion of `count` rows at `row`: ranges below move,
// ranges that span the insertion point grow, as a spreadsheet program does.
void shiftRange(Range& r, int row, int count)
{
    if (r.firstRow >= row) {
        r.firstRow += count;
        r.lastRow += count;
    } else if (r.lastRow >= row) {
        r.lastRow += count;
    }
    r.lastRow = std::min(r.lastRow, kMaxRows - 1);
    r.firstRow = std::min(r.firstRow, kMaxRows - 1);
}
} // namespace

Sheet::Sheet(std::string name, SheetKind kind)
    : m_name(std::move(name))
    , m_kind(kind)
{
}

Sheet::Row& Sheet::rowAt(int row)
{
    if (row >= static_cast<int>(m_rows.size()))
        m_rows.resize(static_cast<std::size_t>(row) + 1);
    return m_rows[static_cast<std::size_t>(row)];
}

const Sheet::Slot* Sheet::slot(int row, int col) const
{
    if (row < 0 || col < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    const auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    if (col >= static_cast<int>(cells.size()))
        return nullptr;
    const Slot& s = cells[static_cast<std::size_t>(col)];
    return s.isVoid() ? nullptr : &s;
}

Sheet::Slot& Sheet::slotAt(int row, int col)
{
    checkCell(row, col);
    auto& cells = rowAt(row).cells;
    if (col >= static_cast<int>(cells.size()))
        cells.resize(static_cast<std::size_t>(col) + 1);
    return cells[static_cast<std::size_t>(col)];
}

Value Sheet::decode(const Slot& s) const
{
    switch (s.kind) {
    case SlotKind::Empty: return {};
    case SlotKind::Scaled: return scaledValue(s.payload, s.scale);
    case SlotKind::Number: return m_numbers[s.payload];
    case SlotKind::Text: return std::string(m_texts.text(s.payload));
    case SlotKind::Bool: return s.payload != 0;
    case SlotKind::Error: return static_cast<ErrorValue>(s.payload);
    case SlotKind::Formula: return m_formulaCells[s.payload].result;
    }
    return {};
}

bool Sheet::holdsValue(const Slot& s) const
{
    return s.kind == SlotKind::Formula ? !isEmpty(m_formulaCells[s.payload].result) : s.kind != SlotKind::Empty;
}

void Sheet::release(const Slot& s)
{
    switch (s.kind) {
    case SlotKind::Number: m_unusedPoolBytes += sizeof(double); break;
    case SlotKind::Text: m_unusedPoolBytes += m_texts.text(s.payload).size() + 1; break;
    case SlotKind::Formula: m_unusedPoolBytes += sizeof(FormulaCell); break;
    default: break;
    }
}

void Sheet::store(Slot& s, Value v, std::uint32_t formula)
{
    release(s);
    s.scale = 0;
    s.payload = 0;
    if (formula != kNoFormula) {
        s.kind = SlotKind::Formula;
        s.payload = static_cast<std::uint32_t>(m_formulaCells.size());
        m_formulaCells.push_back({std::move(v), formula});
        return;
    }
    switch (v.index()) {
    case 0: s.kind = SlotKind::Empty; break;
    case 1: {
        const double d = std::get<double>(v);
        if (scaledForm(d, s.payload, s.scale)) {
            s.kind = SlotKind::Scaled;
        } else {
            s.kind = SlotKind::Number;
            s.payload = static_cast<std::uint32_t>(m_numbers.size());
            m_numbers.push_back(d);
        }
        break;
    }
    case 2:
        s.kind = SlotKind::Text;
        s.payload = m_texts.intern(std::get<std::string>(v));
        break;
    case 3:
        s.kind = SlotKind::Bool;
        s.payload = std::get<bool>(v) ? 1 : 0;
        break;
    case 4:
        s.kind = SlotKind::Error;
        s.payload = static_cast<std::uint32_t>(std::get<ErrorValue>(v));
        break;
    }
}

void Sheet::compactPoolsIfWasteful()
{
    const std::size_t held = m_texts.bytes() + m_numbers.size() * sizeof(double) +
                             m_formulaCells.size() * sizeof(FormulaCell);
    if (m_unusedPoolBytes < (std::size_t{1} << 20) || m_unusedPoolBytes * 2 < held)
        return;
    TextPool texts;
    std::vector<double> numbers;
    std::vector<FormulaCell> formulaCells;
    for (Row& row : m_rows) {
        for (Slot& s : row.cells) {
            if (s.kind == SlotKind::Text) {
                s.payload = texts.intern(m_texts.text(s.payload));
            } else if (s.kind == SlotKind::Number) {
                numbers.push_back(m_numbers[s.payload]);
                s.payload = static_cast<std::uint32_t>(numbers.size() - 1);
            } else if (s.kind == SlotKind::Formula) {
                formulaCells.push_back(std::move(m_formulaCells[s.payload]));
                s.payload = static_cast<std::uint32_t>(formulaCells.size() - 1);
            }
        }
    }
    m_texts = std::move(texts);
    m_numbers = std::move(numbers);
    m_formulaCells = std::move(formulaCells);
    m_unusedPoolBytes = 0;
}

std::optional<Cell> Sheet::cell(int row, int col) const
{
    const Slot* s = slot(row, col);
    if (!s)
        return std::nullopt;
    return Cell{decode(*s), s->xf, s->kind == SlotKind::Formula ? m_formulaCells[s->payload].formula : kNoFormula};
}

bool Sheet::hasCell(int row, int col) const
{
    return slot(row, col) != nullptr;
}

bool Sheet::holdsValue(int row, int col) const
{
    const Slot* s = slot(row, col);
    return s && holdsValue(*s);
}

std::optional<bool> Sheet::sameText(int rowA, int colA, int rowB, int colB) const
{
    const Slot* a = slot(rowA, colA);
    const Slot* b = slot(rowB, colB);
    if (!a || !b || a->kind != SlotKind::Text || b->kind != SlotKind::Text)
        return std::nullopt;
    return a->payload == b->payload;
}

Value Sheet::value(int row, int col) const
{
    const Slot* s = slot(row, col);
    return s ? decode(*s) : Value{};
}

std::optional<std::string_view> Sheet::textAt(int row, int col) const
{
    const Slot* s = slot(row, col);
    if (s && s->kind == SlotKind::Text)
        return m_texts.text(s->payload);
    if (s && s->kind == SlotKind::Formula)
        if (const auto* text = std::get_if<std::string>(&m_formulaCells[s->payload].result))
            return std::string_view(*text);
    return std::nullopt;
}

std::uint16_t Sheet::xfAt(int row, int col) const
{
    const Slot* s = slot(row, col);
    return s ? s->xf : kDefaultXf;
}

std::uint32_t Sheet::formulaAt(int row, int col) const
{
    const Slot* s = slot(row, col);
    return s && s->kind == SlotKind::Formula ? m_formulaCells[s->payload].formula : kNoFormula;
}

Value Sheet::value(std::string_view a1) const
{
    CellRef r = cellRefOrThrow(a1);
    return value(r.row, r.col);
}

void Sheet::setValue(int row, int col, Value v)
{
    checkCell(row, col);
    compactPoolsIfWasteful();
    // An empty text leaves the cell empty, as typing nothing into a spreadsheet does: a value
    // that sorts and counts like text would be a wrong answer to "is there a name?".
    if (const auto* text = std::get_if<std::string>(&v); text && text->empty())
        v = Value{};
    store(slotAt(row, col), std::move(v), kNoFormula);
}

void Sheet::setValue(std::string_view a1, Value v)
{
    CellRef r = cellRefOrThrow(a1);
    setValue(r.row, r.col, std::move(v));
}

void Sheet::setXf(int row, int col, std::uint16_t xf)
{
    slotAt(row, col).xf = xf;
}

void Sheet::setCell(int row, int col, Cell cell)
{
    checkCell(row, col);
    compactPoolsIfWasteful();
    Slot& s = slotAt(row, col);
    store(s, std::move(cell.value), cell.formula);
    s.xf = cell.xf;
}

void Sheet::reserveRow(int row, int width)
{
    checkCell(row, 0);
    rowAt(row).cells.reserve(static_cast<std::size_t>(std::clamp(width, 0, kMaxCols)));
}

void Sheet::reorderRows(int firstRow, const std::vector<int>& order)
{
    const auto n = static_cast<int>(order.size());
    if (n == 0)
        return;
    rowAt(firstRow + n - 1);
    std::vector<std::vector<Slot>> cells(order.size());
    for (int i = 0; i < n; ++i)
        cells[static_cast<std::size_t>(i)] = std::move(m_rows[static_cast<std::size_t>(firstRow + order[static_cast<std::size_t>(i)])].cells);
    for (int i = 0; i < n; ++i)
        m_rows[static_cast<std::size_t>(firstRow + i)].cells = std::move(cells[static_cast<std::size_t>(i)]);
}

int Sheet::rowCount() const
{
    for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r) {
        const Row& row = m_rows[static_cast<std::size_t>(r)];
        if (row.info.present)
            return r + 1;
        for (const Slot& s : row.cells)
            if (!s.isVoid())
                return r + 1;
    }
    return 0;
}

int Sheet::colCount() const
{
    int n = 0;
    for (const Row& row : m_rows) {
        for (int c = static_cast<int>(row.cells.size()) - 1; c >= n; --c) {
            if (!row.cells[static_cast<std::size_t>(c)].isVoid()) {
                n = c + 1;
                break;
            }
        }
    }
    return n;
}

int Sheet::rowWidth(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return 0;
    return static_cast<int>(m_rows[static_cast<std::size_t>(row)].cells.size());
}

void Sheet::clearContents(const Range& r)
{
    int lastRow = std::min(r.lastRow, static_cast<int>(m_rows.size()) - 1);
    for (int row = std::max(r.firstRow, 0); row <= lastRow; ++row) {
        auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
        int lastCol = std::min(r.lastCol, static_cast<int>(cells.size()) - 1);
        for (int col = std::max(r.firstCol, 0); col <= lastCol; ++col)
            store(cells[static_cast<std::size_t>(col)], Value{}, kNoFormula);
    }
    compactPoolsIfWasteful();
}

void Sheet::clearRows(int firstRow, int lastRow)
{
    clearContents(Range{firstRow, 0, lastRow, kMaxCols - 1});
}

void Sheet::insertRows(int row, int count)
{
    if (count <= 0)
        return;
    if (row < 0 || row >= kMaxRows)
        throw Error(Error::Code::BadAddress, "row " + std::to_string(row + 1) + " lies outside the sheet");
    int used = rowCount();
    if (used + count > kMaxRows && used > row)
        throw Error(Error::Code::Limit, "inserting " + std::to_string(count) + " rows into sheet \"" +
                                            m_name + "\" would push cells past the last row");
    if (row < static_cast<int>(m_rows.size())) {
        // The new rows carry the row format and the cell formats of the row above them.
        Row proto;
        if (row > 0) {
            const Row& above = m_rows[static_cast<std::size_t>(row - 1)];
            proto.info = above.info;
            proto.cells.resize(above.cells.size());
            for (std::size_t c = 0; c < above.cells.size(); ++c)
                proto.cells[c].xf = above.cells[c].xf; // formats only: the slots hold no value
        }
        m_rows.insert(m_rows.begin() + row, static_cast<std::size_t>(count), proto);
        if (static_cast<int>(m_rows.size()) > kMaxRows)
            m_rows.resize(kMaxRows);
    }
    for (Range& r : m_merged)
        shiftRange(r, row, count);
    biff::insertDrawingRows(*this, row, count);
    for (Range& r : m_printArea)
        shiftRange(r, row, count);
    if (m_titleRows) {
        Range t{m_titleRows->first, 0, m_titleRows->second, 0};
        shiftRange(t, row, count);
        m_titleRows = std::make_pair(t.firstRow, t.lastRow);
    }
}

int Sheet::lastNonEmptyUp(int col, int fromRow) const
{
    int r = std::min(fromRow, static_cast<int>(m_rows.size()) - 1);
    for (; r >= 0; --r) {
        const Slot* s = slot(r, col);
        if (s && holdsValue(*s))
            return r;
    }
    return -1;
}

double Sheet::sum(const Range& r) const
{
    double total = 0;
    int lastRow = std::min(r.lastRow, static_cast<int>(m_rows.size()) - 1);
    for (int row = std::max(r.firstRow, 0); row <= lastRow; ++row) {
        const auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
        int lastCol = std::min(r.lastCol, static_cast<int>(cells.size()) - 1);
        for (int col = std::max(r.firstCol, 0); col <= lastCol; ++col) {
            const Slot& s = cells[static_cast<std::size_t>(col)];
            if (s.kind == SlotKind::Scaled || s.kind == SlotKind::Number ||
                (s.kind == SlotKind::Formula && isNumber(m_formulaCells[s.payload].result)))
                total += std::get<double>(decode(s));
        }
    }
    return total;
}

std::string Sheet::text(int row, int col) const
{
    return valueText(value(row, col));
}

std::optional<double> Sheet::number(int row, int col) const
{
    const Value v = value(row, col);
    if (isEmpty(v))
        return 0.0;
    if (const double* d = std::get_if<double>(&v))
        return *d;
    if (const std::string* s = std::get_if<std::string>(&v)) {
        if (s->empty())
            return 0.0;
        return parseNumber(*s);
    }
    return std::nullopt;
}

void Sheet::setColumnWidth(int firstCol, int lastCol, double characters)
{
    if (firstCol < 0 || lastCol >= kMaxCols || firstCol > lastCol)
        throw Error(Error::Code::BadAddress, "column range outside the sheet");
    // Flatten to one entry per column, set, and join neighbours that agree again.
    std::vector<std::optional<ColumnInfo>> per(kMaxCols);
    for (const ColumnInfo& ci : m_columns)
        for (int c = std::max(ci.first, 0); c <= std::min(ci.last, kMaxCols - 1); ++c)
            per[static_cast<std::size_t>(c)] = ci;
    const auto width = static_cast<std::uint16_t>(std::clamp(std::lround(characters * 256.0), 0L, 65535L));
    for (int c = firstCol; c <= lastCol; ++c) {
        auto& slot = per[static_cast<std::size_t>(c)];
        if (!slot)
            slot = ColumnInfo{};
        slot->width = width;
        slot->customWidth = true;
    }
    m_columns.clear();
    for (int c = 0; c < kMaxCols; ++c) {
        auto& slot = per[static_cast<std::size_t>(c)];
        if (!slot)
            continue;
        ColumnInfo ci = *slot;
        ci.first = ci.last = c;
        if (!m_columns.empty()) {
            ColumnInfo& prev = m_columns.back();
            if (prev.last == c - 1 && prev.width == ci.width && prev.xf == ci.xf &&
                prev.hidden == ci.hidden && prev.customWidth == ci.customWidth &&
                prev.bestFit == ci.bestFit && prev.outlineLevel == ci.outlineLevel &&
                prev.collapsed == ci.collapsed) {
                prev.last = c;
                continue;
            }
        }
        m_columns.push_back(ci);
    }
}

const RowInfo* Sheet::rowInfo(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    const RowInfo& info = m_rows[static_cast<std::size_t>(row)].info;
    return info.present ? &info : nullptr;
}

RowInfo& Sheet::rowInfoAt(int row)
{
    checkCell(row, 0);
    RowInfo& info = rowAt(row).info;
    if (!info.present) {
        info.present = true;
        info.heightTwips = m_defaultRowHeight;
    }
    return info;
}

void Sheet::setRowHeight(int row, double points)
{
    RowInfo& info = rowInfoAt(row);
    info.heightTwips = static_cast<std::uint16_t>(std::clamp(std::lround(points * 20.0), 0L, 8192L));
    info.customHeight = true;
}

void Sheet::merge(const Range& r)
{
    if (r.firstRow < 0 || r.firstCol < 0 || r.lastRow >= kMaxRows || r.lastCol >= kMaxCols ||
        r.firstRow > r.lastRow || r.firstCol > r.lastCol)
        throw Error(Error::Code::BadAddress, "merged range " + toA1(r) + " lies outside the sheet");
    for (const Range& m : m_merged)
        if (overlaps(m, r))
            throw Error(Error::Code::Invalid, "merged range " + toA1(r) + " overlaps " + toA1(m) +
                                                  " on sheet \"" + m_name + "\"");
    m_merged.push_back(r);
}

void Sheet::setShowGridlines(bool on)
{
    if (on)
        m_window2Flags |= 0x0002;
    else
        m_window2Flags &= static_cast<std::uint16_t>(~0x0002);
}

} // namespace cw::host
