#include "host/Sheet.h"
#include "host/Error.h"
#include "host/General.h"
#include "host/biff/SheetDrawing.h"

#include <algorithm>
#include <cmath>

namespace cw::host {

namespace {
const Value kEmptyValue{};

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

const Cell* Sheet::cell(int row, int col) const
{
    if (row < 0 || col < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    const auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    if (col >= static_cast<int>(cells.size()))
        return nullptr;
    const Cell& c = cells[static_cast<std::size_t>(col)];
    return c.isVoid() ? nullptr : &c;
}

Cell& Sheet::cellAt(int row, int col)
{
    checkCell(row, col);
    auto& cells = rowAt(row).cells;
    if (col >= static_cast<int>(cells.size()))
        cells.resize(static_cast<std::size_t>(col) + 1);
    return cells[static_cast<std::size_t>(col)];
}

const std::vector<Cell>* Sheet::rowCells(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    return &m_rows[static_cast<std::size_t>(row)].cells;
}

const Value& Sheet::value(int row, int col) const
{
    const Cell* c = cell(row, col);
    return c ? c->value : kEmptyValue;
}

const Value& Sheet::value(std::string_view a1) const
{
    CellRef r = cellRefOrThrow(a1);
    return value(r.row, r.col);
}

void Sheet::setValue(int row, int col, Value v)
{
    Cell& c = cellAt(row, col);
    // An empty text leaves the cell empty, as typing nothing into a spreadsheet does: a value
    // that sorts and counts like text would be a wrong answer to "is there a name?".
    if (const auto* text = std::get_if<std::string>(&v); text && text->empty())
        v = Value{};
    c.value = std::move(v);
    c.formula = kNoFormula;
}

void Sheet::setValue(std::string_view a1, Value v)
{
    CellRef r = cellRefOrThrow(a1);
    setValue(r.row, r.col, std::move(v));
}

void Sheet::setXf(int row, int col, std::uint16_t xf)
{
    cellAt(row, col).xf = xf;
}

int Sheet::rowCount() const
{
    for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r) {
        const Row& row = m_rows[static_cast<std::size_t>(r)];
        if (row.info.present)
            return r + 1;
        for (const Cell& c : row.cells)
            if (!c.isVoid())
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
    const auto* cells = rowCells(row);
    return cells ? static_cast<int>(cells->size()) : 0;
}

void Sheet::clearContents(const Range& r)
{
    int lastRow = std::min(r.lastRow, static_cast<int>(m_rows.size()) - 1);
    for (int row = std::max(r.firstRow, 0); row <= lastRow; ++row) {
        auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
        int lastCol = std::min(r.lastCol, static_cast<int>(cells.size()) - 1);
        for (int col = std::max(r.firstCol, 0); col <= lastCol; ++col) {
            Cell& c = cells[static_cast<std::size_t>(col)];
            c.value = std::monostate{};
            c.formula = kNoFormula;
        }
    }
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
                proto.cells[c].xf = above.cells[c].xf;
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
        const Cell* c = cell(r, col);
        if (c && !isEmpty(c->value))
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
        for (int col = std::max(r.firstCol, 0); col <= lastCol; ++col)
            if (const double* d = std::get_if<double>(&cells[static_cast<std::size_t>(col)].value))
                total += *d;
    }
    return total;
}

std::string Sheet::text(int row, int col) const
{
    return valueText(value(row, col));
}

std::optional<double> Sheet::number(int row, int col) const
{
    const Value& v = value(row, col);
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
