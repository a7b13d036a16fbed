#pragma once

#include "host/Cell.h"

#include <QRectF>

#include <unordered_map>
#include <vector>

namespace cw::host {
class Sheet;
class Workbook;
struct Xf;
} // namespace cw::host

namespace cw::printing {

class SheetPages;

// Where the cells of one laid-out page go, in points at 100% from the top-left corner of the
// printed block: the edges of the page's rows and columns, and the merged ranges that reach
// onto it. The painting steps share it.
class PageGrid {
public:
    PageGrid(const SheetPages& pages, int index);

    const host::Workbook& book() const { return m_book; }
    const host::Sheet& sheet() const { return m_sheet; }
    const SheetPages& pages() const { return m_pages; }

    // The sheet rows and columns of the page in print order; i and j below index them.
    const std::vector<int>& rows() const { return m_rows; }
    const std::vector<int>& cols() const { return m_cols; }
    std::size_t rowCount() const { return m_rows.size(); }
    std::size_t colCount() const { return m_cols.size(); }
    // Edges: top(i) of row i, top(rowCount()) the bottom of the block; likewise left(j).
    double top(std::size_t i) const { return m_top[i]; }
    double left(std::size_t j) const { return m_left[j]; }
    double width() const { return m_left.back(); }
    double height() const { return m_top.back(); }
    QRectF cellRect(std::size_t i, std::size_t j) const;

    // The merged ranges on the page, and the one position (i, j) lies in: an index into
    // merges(), or -1.
    const std::vector<host::Range>& merges() const { return m_merges; }
    int mergeAt(std::size_t i, std::size_t j) const { return m_mergeAt[i * m_cols.size() + j]; }
    // True when (i, j) and (i2, j2) lie in one merged range.
    bool sameMerge(std::size_t i, std::size_t j, std::size_t i2, std::size_t j2) const;
    // A merged range's whole rectangle, extended over the parts that fall on other pages, so
    // that its content is placed as on the whole sheet; and the part of it this page shows.
    QRectF mergeRect(const host::Range& m) const;
    QRectF visibleMergeRect(const host::Range& m) const;

    // The cell format in effect at a sheet position: the cell's, else its row's, else its
    // column's, else the default.
    const host::Xf& xfAt(int row, int col) const;
    bool isEmptyCell(int row, int col) const;

private:
    const SheetPages& m_pages;
    const host::Workbook& m_book;
    const host::Sheet& m_sheet;
    std::vector<int> m_rows, m_cols;
    std::vector<double> m_top, m_left;
    std::vector<int> m_mergeAt;
    std::vector<host::Range> m_merges;
    std::unordered_map<int, int> m_rowIndex, m_colIndex;
};

} // namespace cw::printing
