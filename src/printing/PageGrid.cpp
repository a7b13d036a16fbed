#include "printing/PageGrid.h"

#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/SheetPages.h"

namespace cw::printing {

PageGrid::PageGrid(const SheetPages& pages, int index)
    : m_pages(pages), m_book(pages.book()), m_sheet(pages.sheet()), m_rows(pages.pageRows(index)),
      m_cols(pages.pageColumns(index))
{
    m_top.push_back(0);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        m_rowIndex.emplace(m_rows[i], static_cast<int>(i));
        m_top.push_back(m_top.back() + pages.rowHeight(m_rows[i]));
    }
    m_left.push_back(0);
    for (std::size_t j = 0; j < m_cols.size(); ++j) {
        m_colIndex.emplace(m_cols[j], static_cast<int>(j));
        m_left.push_back(m_left.back() + pages.columnWidth(m_cols[j]));
    }

    m_mergeAt.assign(m_rows.size() * m_cols.size(), -1);
    for (const host::Range& m : m_sheet.mergedRanges()) {
        bool onPage = false;
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i] < m.firstRow || m_rows[i] > m.lastRow)
                continue;
            for (std::size_t j = 0; j < m_cols.size(); ++j) {
                if (m_cols[j] < m.firstCol || m_cols[j] > m.lastCol)
                    continue;
                if (!onPage) {
                    m_merges.push_back(m);
                    onPage = true;
                }
                m_mergeAt[i * m_cols.size() + j] = static_cast<int>(m_merges.size() - 1);
            }
        }
    }
}

QRectF PageGrid::cellRect(std::size_t i, std::size_t j) const
{
    return QRectF(m_left[j], m_top[i], m_left[j + 1] - m_left[j], m_top[i + 1] - m_top[i]);
}

bool PageGrid::sameMerge(std::size_t i, std::size_t j, std::size_t i2, std::size_t j2) const
{
    const int m = mergeAt(i, j);
    return m >= 0 && m == mergeAt(i2, j2);
}

QRectF PageGrid::mergeRect(const host::Range& m) const
{
    int i0 = -1, j0 = -1;
    for (int r = m.firstRow; r <= m.lastRow && i0 < 0; ++r)
        if (auto it = m_rowIndex.find(r); it != m_rowIndex.end())
            i0 = it->second;
    for (int c = m.firstCol; c <= m.lastCol && j0 < 0; ++c)
        if (auto it = m_colIndex.find(c); it != m_colIndex.end())
            j0 = it->second;
    double x = m_left[static_cast<std::size_t>(j0)], y = m_top[static_cast<std::size_t>(i0)], w = 0, h = 0;
    for (int c = m.firstCol; c < m_cols[static_cast<std::size_t>(j0)]; ++c)
        x -= m_pages.columnWidth(c);
    for (int r = m.firstRow; r < m_rows[static_cast<std::size_t>(i0)]; ++r)
        y -= m_pages.rowHeight(r);
    for (int c = m.firstCol; c <= m.lastCol; ++c)
        w += m_pages.columnWidth(c);
    for (int r = m.firstRow; r <= m.lastRow; ++r)
        h += m_pages.rowHeight(r);
    return QRectF(x, y, w, h);
}

QRectF PageGrid::visibleMergeRect(const host::Range& m) const
{
    QRectF visible;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        for (std::size_t j = 0; j < m_cols.size(); ++j)
            if (const int k = mergeAt(i, j); k >= 0 && m_merges[static_cast<std::size_t>(k)] == m)
                visible = visible.united(cellRect(i, j));
    return visible;
}

const host::Xf& PageGrid::xfAt(int row, int col) const
{
    static const host::Xf kPlain{};
    std::uint16_t index = host::kDefaultXf;
    if (m_sheet.hasCell(row, col)) {
        index = m_sheet.xfAt(row, col);
    } else if (const host::RowInfo* info = m_sheet.rowInfo(row); info && info->hasFormat) {
        index = info->xf;
    } else {
        for (const host::ColumnInfo& ci : m_sheet.columns())
            if (col >= ci.first && col <= ci.last) {
                index = ci.xf;
                break;
            }
    }
    const auto& xfs = m_book.xfs();
    return index < xfs.size() ? xfs[index] : kPlain;
}

bool PageGrid::isEmptyCell(int row, int col) const
{
    return !m_sheet.holdsValue(row, col);
}

} // namespace cw::printing
