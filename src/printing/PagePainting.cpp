#include "printing/PagePainting.h"

#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/PageGrid.h"
#include "printing/SheetPages.h"

#include <QPainter>

#include <algorithm>

namespace cw::printing {

namespace {

QColor toQColor(host::Rgb c) { return QColor(c.r, c.g, c.b); }

Qt::BrushStyle fillBrush(std::uint8_t pattern)
{
    switch (pattern) {
    case 3: return Qt::Dense2Pattern;
    case 4: case 17: return Qt::Dense6Pattern;
    case 18: return Qt::Dense7Pattern;
    case 5: case 11: return Qt::HorPattern;
    case 6: case 12: return Qt::VerPattern;
    case 7: case 13: return Qt::FDiagPattern;
    case 8: case 14: return Qt::BDiagPattern;
    case 9: case 15: return Qt::CrossPattern;
    case 10: case 16: return Qt::DiagCrossPattern;
    default: return Qt::Dense4Pattern;
    }
}

// Border line styles ranked by how a spreadsheet program lets one edge win over its
// neighbour's: the heavier line is drawn.
int borderRank(std::uint8_t style)
{
    static const int rank[] = {0, 6, 11, 5, 2, 12, 13, 1, 10, 4, 9, 3, 7, 8};
    return style < std::size(rank) ? rank[style] : 0;
}

struct Edge {
    std::uint8_t style = 0;
    std::uint8_t color = 0x40;
    bool operator==(const Edge&) const = default;
};

Edge stronger(const host::Border& a, const host::Border& b)
{
    const host::Border& w = borderRank(b.style) > borderRank(a.style) ? b : a;
    return Edge{w.style, w.color};
}

QPen borderPen(const host::Workbook& book, const Edge& e)
{
    QPen pen(toQColor(book.color(e.color)));
    pen.setCapStyle(Qt::SquareCap);
    double width = 0.5;
    switch (e.style) {
    case 2: case 8: case 10: case 12: case 13: width = 1.0; break; // medium family
    case 5: width = 1.5; break;                                   // thick
    case 7: width = 0.25; break;                                  // hair
    default: break;
    }
    pen.setWidthF(width);
    QList<qreal> dashes;
    switch (e.style) {
    case 3: case 8: dashes = {4, 2}; break;                   // dashed
    case 4: dashes = {1, 1.5}; break;                         // dotted
    case 9: case 10: case 13: dashes = {5, 2, 1.5, 2}; break; // dash-dot
    case 11: case 12: dashes = {5, 2, 1.5, 2, 1.5, 2}; break; // dash-dot-dot
    default: break;
    }
    if (!dashes.isEmpty()) {
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(dashes);
    }
    return pen;
}

void drawEdge(QPainter& painter, const host::Workbook& book, const Edge& e, QPointF a, QPointF b, bool horizontal)
{
    if (e.style == 0)
        return;
    QPen pen = borderPen(book, e);
    if (e.style == 6) { // double: two thin lines
        pen.setWidthF(0.4);
        painter.setPen(pen);
        const QPointF off = horizontal ? QPointF(0, 0.7) : QPointF(0.7, 0);
        painter.drawLine(a - off, b - off);
        painter.drawLine(a + off, b + off);
        return;
    }
    painter.setPen(pen);
    painter.drawLine(a, b);
}

} // namespace

void SheetPages::paint(QPainter& painter, int index) const
{
    const PageGrid grid(*this, index);
    const host::PageSetup& setup = m_sheet.pageSetup();
    painter.save();
    painter.translate(blockOrigin(grid.width(), grid.height()));
    painter.scale(m_scale, m_scale);
    // Lines on the outer edge are centred on it; leave them room.
    painter.setClipRect(QRectF(-3, -3, grid.width() + 6, grid.height() + 6), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    paintFills(painter, grid);
    if (setup.printGridlines)
        paintGridlines(painter, grid);
    paintTexts(painter, grid);
    paintBorders(painter, grid);
    painter.restore();
}

QPointF SheetPages::blockOrigin(double blockWidth, double blockHeight) const
{
    const host::PageSetup& setup = m_sheet.pageSetup();
    double x = setup.leftMargin * 72.0, y = setup.topMargin * 72.0;
    if (setup.hCenter)
        x += std::max(0.0, (m_availWidth - blockWidth * m_scale) / 2.0);
    if (setup.vCenter)
        y += std::max(0.0, (m_availHeight - blockHeight * m_scale) / 2.0);
    return QPointF(x, y);
}

QRectF SheetPages::rangeOnPage(int index, const host::Range& range) const
{
    const PageGrid grid(*this, index);
    QRectF area;
    for (std::size_t i = 0; i < grid.rowCount(); ++i)
        for (std::size_t j = 0; j < grid.colCount(); ++j)
            if (range.contains(grid.rows()[i], grid.cols()[j]))
                area = area.united(grid.cellRect(i, j));
    if (area.isNull())
        return {};
    const QPointF origin = blockOrigin(grid.width(), grid.height());
    return QRectF(origin + area.topLeft() * m_scale, area.size() * m_scale);
}

void paintFills(QPainter& painter, const PageGrid& grid)
{
    const host::Workbook& book = grid.book();
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
        for (std::size_t j = 0; j < grid.colCount(); ++j) {
            int row = grid.rows()[i], col = grid.cols()[j];
            if (const int m = grid.mergeAt(i, j); m >= 0) {
                // A merged range takes the fill of its top-left cell throughout.
                row = grid.merges()[static_cast<std::size_t>(m)].firstRow;
                col = grid.merges()[static_cast<std::size_t>(m)].firstCol;
            }
            const host::Xf& xf = grid.xfAt(row, col);
            if (xf.fillPattern == 0)
                continue;
            const QRectF rect = grid.cellRect(i, j);
            const QColor fg = toQColor(book.color(xf.fillFg));
            if (xf.fillPattern == 1) {
                painter.fillRect(rect, fg);
                continue;
            }
            painter.fillRect(rect, toQColor(book.color(xf.fillBg)));
            painter.fillRect(rect, QBrush(fg, fillBrush(xf.fillPattern)));
        }
    }
}

void paintGridlines(QPainter& painter, const PageGrid& grid)
{
    const std::size_t rows = grid.rowCount(), cols = grid.colCount();
    painter.setPen(QPen(QColor(0, 0, 0), 0.25));
    // No line runs through the inside of a merged range.
    for (std::size_t i = 0; i <= rows; ++i)
        for (std::size_t j = 0; j < cols; ++j)
            if (i == 0 || i == rows || !grid.sameMerge(i - 1, j, i, j))
                painter.drawLine(QPointF(grid.left(j), grid.top(i)), QPointF(grid.left(j + 1), grid.top(i)));
    for (std::size_t j = 0; j <= cols; ++j)
        for (std::size_t i = 0; i < rows; ++i)
            if (j == 0 || j == cols || !grid.sameMerge(i, j - 1, i, j))
                painter.drawLine(QPointF(grid.left(j), grid.top(i)), QPointF(grid.left(j), grid.top(i + 1)));
}

void paintBorders(QPainter& painter, const PageGrid& grid)
{
    const host::Workbook& book = grid.book();
    const std::size_t rows = grid.rowCount(), cols = grid.colCount();
    const std::vector<int>& r = grid.rows();
    const std::vector<int>& c = grid.cols();
    // Horizontal edges: between page rows i-1 and i, column by column, joined into runs of one
    // style so that dashes run on unbroken.
    for (std::size_t i = 0; i <= rows; ++i) {
        Edge run;
        double runStart = 0;
        for (std::size_t j = 0; j <= cols; ++j) {
            Edge e;
            if (j < cols && (i == 0 || i == rows || !grid.sameMerge(i - 1, j, i, j))) {
                const host::Border above = i > 0 ? grid.xfAt(r[i - 1], c[j]).bottom : host::Border{};
                const host::Border below = i < rows ? grid.xfAt(r[i], c[j]).top : host::Border{};
                e = stronger(above, below);
            }
            if (j == cols || !(e == run)) {
                if (j > 0)
                    drawEdge(painter, book, run, QPointF(runStart, grid.top(i)), QPointF(grid.left(j), grid.top(i)), true);
                run = e;
                runStart = j < cols ? grid.left(j) : 0;
            }
        }
    }
    for (std::size_t j = 0; j <= cols; ++j) {
        Edge run;
        double runStart = 0;
        for (std::size_t i = 0; i <= rows; ++i) {
            Edge e;
            if (i < rows && (j == 0 || j == cols || !grid.sameMerge(i, j - 1, i, j))) {
                const host::Border left = j > 0 ? grid.xfAt(r[i], c[j - 1]).right : host::Border{};
                const host::Border right = j < cols ? grid.xfAt(r[i], c[j]).left : host::Border{};
                e = stronger(left, right);
            }
            if (i == rows || !(e == run)) {
                if (i > 0)
                    drawEdge(painter, book, run, QPointF(grid.left(j), runStart), QPointF(grid.left(j), grid.top(i)), false);
                run = e;
                runStart = i < rows ? grid.top(i) : 0;
            }
        }
    }
}

} // namespace cw::printing
