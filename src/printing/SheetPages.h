#pragma once

#include <QPageLayout>
#include <QRectF>

#include <cstdint>
#include <map>
#include <vector>

class QPainter;

namespace cw::host {
struct Range;
class Sheet;
class Workbook;
} // namespace cw::host

namespace cw::printing {

// Points between a cell's edge and its text: kept clear when text is placed or wrapped.
constexpr double kCellTextPadding = 2.0;

// One worksheet cut into printed pages the way a spreadsheet program prints it: the print area
// (or the used range), the sheet's paper, orientation, margins and centring, its scale or its
// fit-to-pages setting, print title rows repeated at the top of every page, and page breaks
// where the rows (or columns) no longer fit. Layout uses the sheet's own measures only, so the
// same sheet gives the same pages on every device.
class SheetPages {
public:
    SheetPages(const host::Workbook& book, const host::Sheet& sheet);

    // The paper and orientation of every page of the sheet, with no margins: the sheet's margins
    // are applied by paint(), so the device must draw from the paper's corner (full page).
    const QPageLayout& pageLayout() const { return m_layout; }
    int count() const { return static_cast<int>(m_pages.size()); }
    // The print scale in use (1.0 = 100%), after fit-to-pages.
    double scale() const { return m_scale; }

    // Draws one page (the painting steps are in PagePainting). The painter's coordinates must
    // be points with the origin at the paper's top-left corner; the painter's state is left as
    // it was found.
    void paint(QPainter& painter, int index) const;

    // Where a range of cells lies on a page, in points from the paper's top-left corner; an
    // empty rectangle when the page does not show it.
    QRectF rangeOnPage(int index, const host::Range& range) const;

    const host::Workbook& book() const { return m_book; }
    const host::Sheet& sheet() const { return m_sheet; }
    // Points: the widest digit of the default font, the unit column widths are counted in.
    double digitWidth() const { return m_digitWidth; }

    // Measures in points at 100%, as laid out (hidden rows and columns are 0).
    double columnWidth(int col) const;
    double rowHeight(int row) const;

    // The rows and columns a page shows, in print order (title rows first).
    const std::vector<int>& pageRows(int index) const { return m_pages.at(static_cast<std::size_t>(index)).rows; }
    const std::vector<int>& pageColumns(int index) const { return m_pages.at(static_cast<std::size_t>(index)).cols; }

private:
    struct Page {
        std::vector<int> rows;
        std::vector<int> cols;
    };
    struct Block {
        int firstRow, lastRow, firstCol, lastCol;
    };

    // The columns and rows of one area split into pages at `scale`.
    void groups(const Block& b, double scale, std::vector<std::vector<int>>& colGroups,
                std::vector<std::vector<int>>& rowGroups) const;
    std::vector<Page> paginate(double scale) const;
    void computeScale();
    double storedRowHeight(int row) const;
    void fitRowHeights(int lastRow);
    // The top-left corner of a page's block of cells on the paper, in points.
    QPointF blockOrigin(double blockWidth, double blockHeight) const;
    double fontRowHeight(std::uint16_t index) const;

    const host::Workbook& m_book;
    const host::Sheet& m_sheet;
    QPageLayout m_layout;
    double m_digitWidth = 5.5;    // points: the widest digit of the default font
    std::vector<Block> m_areas;   // print area blocks, or the used range
    std::vector<int> m_titleRows; // visible rows repeated at the top of each page
    double m_availWidth = 0;      // printable width and height of the paper, points
    double m_availHeight = 0;
    double m_scale = 1.0;
    std::vector<Page> m_pages;
    std::vector<double> m_rowHeights;   // laid-out heights of rows up to the last used one
    mutable std::map<std::uint16_t, double> m_fontRowHeights;
};

} // namespace cw::printing
