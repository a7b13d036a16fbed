#include "printing/PagePainting.h"

#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/NumberFormat.h"
#include "printing/PageGrid.h"
#include "printing/PrintFonts.h"
#include "printing/SheetPages.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <map>

namespace cw::printing {

using host::HAlign;
using host::VAlign;

namespace {

// How far glyphs may reach past their advances (side bearings, italic overhang).
double glyphBleed(const QFontMetricsF& fm)
{
    return fm.height() / 16;
}

// Draws the values of one page's cells: placed by their alignment, overflowing into empty
// neighbours as a spreadsheet program shows them, wrapped or shrunk where the format says.
class CellTextPainter {
public:
    CellTextPainter(QPainter& painter, const PageGrid& grid)
        : m_painter(painter), m_grid(grid),
          m_deviceDpi(painter.device() ? painter.device()->logicalDpiY() : 72.0)
    {
    }

    // The text of the cell at page position (i, j), or of a merged range (`merged`: i and j
    // are then unused) in the rectangle `cell`, of which only `visible` shows on this page.
    void draw(const CellText& ct, const host::Xf& xf, QRectF cell, QRectF visible, std::size_t i, std::size_t j,
              bool merged);

private:
    const QFont& fontFor(std::uint16_t index);
    void drawLine(const CellText& ct, const host::Xf& xf, HAlign h, const QFont& font, QRectF cell, QRectF visible,
                  QRectF inner, std::size_t i, std::size_t j, bool merged);
    void drawWrapped(const std::string& s, const host::Xf& xf, HAlign h, const QFont& font, QRectF cell, QRectF clip,
                     QRectF inner);
    // Draws through `drawing`, clipped to `clip` unless what it draws (`extent`) lies inside.
    template <typename Drawing>
    void drawClipped(QRectF clip, QRectF extent, Drawing&& drawing);
    // Widens `clip` over the empty neighbours a too-long text of cell (i, j) flows into.
    QRectF overflowClip(HAlign h, QRectF cell, double need, std::size_t i, std::size_t j) const;

    QPainter& m_painter;
    const PageGrid& m_grid;
    const double m_deviceDpi;
    std::map<std::uint16_t, QFont> m_fonts;
};

const QFont& CellTextPainter::fontFor(std::uint16_t index)
{
    auto it = m_fonts.find(index);
    if (it != m_fonts.end())
        return it->second;
    const host::Font* hf = m_grid.book().font(index);
    return m_fonts.emplace(index, pageFont(hf ? *hf : host::Font{}, m_deviceDpi)).first->second;
}

template <typename Drawing>
void CellTextPainter::drawClipped(QRectF clip, QRectF extent, Drawing&& drawing)
{
    // Most texts sit well inside their box, and a clip around them changes nothing on paper but
    // much in a PDF: the writer restates the whole graphics state for each one, which more
    // than doubled a page's drawing and made compressing it a fifth of a certificate's cost.
    if (clip.contains(extent)) {
        drawing();
        return;
    }
    m_painter.save();
    m_painter.setClipRect(clip, Qt::IntersectClip);
    drawing();
    m_painter.restore();
}

void CellTextPainter::draw(const CellText& ct, const host::Xf& xf, QRectF cell, QRectF visible, std::size_t i,
                           std::size_t j, bool merged)
{
    const host::Font* hf = m_grid.book().font(xf.font);
    const QFont& font = fontFor(xf.font);
    HAlign h = xf.hAlign;
    if (h == HAlign::General)
        h = ct.kind == ValueKind::Number ? HAlign::Right
            : (ct.kind == ValueKind::Boolean || ct.kind == ValueKind::Error) ? HAlign::Center
                                                                               : HAlign::Left;
    const bool wrap = xf.wrap || h == HAlign::Justify || h == HAlign::Distributed ||
                      xf.vAlign == VAlign::Justify || xf.vAlign == VAlign::Distributed;
    const double indent =
        (h == HAlign::Left || h == HAlign::Right) ? xf.indent * m_grid.pages().digitWidth() * 1.4 : 0.0;

    // Centre across selection: the run of empty cells to the right that carry the same
    // alignment forms one box.
    if (h == HAlign::CenterAcross && !merged) {
        const int row = m_grid.rows()[i];
        for (std::size_t k = j + 1; k < m_grid.colCount(); ++k) {
            const int col = m_grid.cols()[k];
            if (!m_grid.isEmptyCell(row, col) || m_grid.xfAt(row, col).hAlign != HAlign::CenterAcross ||
                m_grid.mergeAt(i, k) >= 0)
                break;
            cell.setRight(m_grid.left(k + 1));
        }
        h = HAlign::Center;
    }

    const host::Rgb color = m_grid.book().color(hf ? hf->colorIndex : 0x7FFF);
    m_painter.setFont(font);
    m_painter.setPen(QColor(color.r, color.g, color.b));
    const QRectF inner = cell.adjusted(kCellTextPadding + (h == HAlign::Left ? indent : 0.0), 0,
                                       -kCellTextPadding - (h == HAlign::Right ? indent : 0.0), 0);
    if (wrap)
        drawWrapped(ct.text, xf, h, font, cell, cell.intersected(visible), inner);
    else
        drawLine(ct, xf, h, font, cell, visible, inner, i, j, merged);
}

void CellTextPainter::drawLine(const CellText& ct, const host::Xf& xf, HAlign h, const QFont& font, QRectF cell,
                               QRectF visible, QRectF inner, std::size_t i, std::size_t j, bool merged)
{
    QRectF clip = cell;
    std::string s = ct.text;
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    QString text = QString::fromStdString(s);
    QFontMetricsF fm(font, m_painter.device());
    double width = fm.horizontalAdvance(text);
    if (xf.shrink && width > inner.width() && inner.width() > 0) {
        // Shrink to fit: a smaller font, so that the whole text shows in its box.
        QFont smaller = font;
        smaller.setPointSizeF(font.pointSizeF() * inner.width() / width * 0.995);
        m_painter.setFont(smaller);
        fm = QFontMetricsF(smaller, m_painter.device());
        width = fm.horizontalAdvance(text);
    } else if (ct.kind == ValueKind::Number && width > inner.width() + 0.01) {
        // A number never spills or shows cut: the cell shows '#' instead.
        const double hash = std::max(0.1, fm.horizontalAdvance(QLatin1Char('#')));
        text = QString(std::max(1, static_cast<int>(inner.width() / hash)), QLatin1Char('#'));
        width = fm.horizontalAdvance(text);
    } else if (h == HAlign::Fill && width > 0) {
        text = text.repeated(std::max(1, static_cast<int>(inner.width() / width)));
        width = fm.horizontalAdvance(text);
        h = HAlign::Left;
    } else if (ct.kind == ValueKind::Text && !merged && width > inner.width()) {
        clip = overflowClip(h, cell, width - inner.width(), i, j);
    }
    double x = inner.left();
    if (h == HAlign::Right)
        x = inner.right() - width;
    else if (h == HAlign::Center || h == HAlign::Distributed)
        x = inner.center().x() - width / 2.0;
    double y;
    if (xf.vAlign == VAlign::Top)
        y = cell.top() + 1.0 + fm.ascent();
    else if (xf.vAlign == VAlign::Center)
        y = cell.center().y() - (fm.ascent() + fm.descent()) / 2.0 + fm.ascent();
    else
        y = cell.bottom() - 1.0 - fm.descent();
    const double bleed = glyphBleed(fm);
    drawClipped(clip.intersected(visible), QRectF(x - bleed, y - fm.ascent(), width + 2 * bleed, fm.ascent() + fm.descent()),
                [&] { m_painter.drawText(QPointF(x, y), text); });
}

QRectF CellTextPainter::overflowClip(HAlign h, QRectF cell, double need, std::size_t i, std::size_t j) const
{
    // Text flows over empty neighbours on the side(s) it is aligned away from.
    QRectF clip = cell;
    const int row = m_grid.rows()[i];
    const int cols = static_cast<int>(m_grid.colCount());
    auto free = [&](int k) {
        return k >= 0 && k < cols && m_grid.mergeAt(i, static_cast<std::size_t>(k)) < 0 &&
               m_grid.isEmptyCell(row, m_grid.cols()[static_cast<std::size_t>(k)]);
    };
    const int col = static_cast<int>(j);
    if (h == HAlign::Left) {
        for (int k = col + 1; clip.right() < cell.right() + need && free(k); ++k)
            clip.setRight(m_grid.left(static_cast<std::size_t>(k) + 1));
    } else if (h == HAlign::Right) {
        for (int k = col - 1; clip.left() > cell.left() - need && free(k); --k)
            clip.setLeft(m_grid.left(static_cast<std::size_t>(k)));
    } else if (h == HAlign::Center) {
        for (int k = 1; clip.width() < cell.width() + need && free(col - k) && free(col + k); ++k) {
            clip.setLeft(m_grid.left(static_cast<std::size_t>(col - k)));
            clip.setRight(m_grid.left(static_cast<std::size_t>(col + k) + 1));
        }
    }
    return clip;
}

void CellTextPainter::drawWrapped(const std::string& s, const host::Xf& xf, HAlign h, const QFont& font,
                                  QRectF cell, QRectF clip, QRectF inner)
{
    // Break into lines at the cell's width, then place the block vertically.
    QString text = QString::fromStdString(s);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font, m_painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Qt::Alignment alignment = Qt::AlignLeft;
    if (h == HAlign::Right)
        alignment = Qt::AlignRight;
    else if (h == HAlign::Center || h == HAlign::Distributed)
        alignment = Qt::AlignHCenter;
    else if (h == HAlign::Justify)
        alignment = Qt::AlignJustify;
    option.setAlignment(alignment);
    layout.setTextOption(option);
    layout.beginLayout();
    double blockHeight = 0;
    const double lineWidth = std::max(1.0, inner.width());
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, blockHeight));
        blockHeight += line.height();
    }
    layout.endLayout();
    double y = cell.bottom() - 1.0 - blockHeight;
    if (xf.vAlign == VAlign::Top || xf.vAlign == VAlign::Justify || xf.vAlign == VAlign::Distributed)
        y = cell.top() + 1.0;
    else if (xf.vAlign == VAlign::Center)
        y = cell.center().y() - blockHeight / 2.0;
    const double bleed = glyphBleed(QFontMetricsF(font, m_painter.device()));
    const QRectF block = layout.boundingRect().translated(inner.left(), y);
    drawClipped(clip, block.adjusted(-bleed, 0, bleed, 0), [&] { layout.draw(&m_painter, QPointF(inner.left(), y)); });
}

} // namespace

void paintTexts(QPainter& painter, const PageGrid& grid)
{
    static const host::Xf kPlain{};
    static const QRectF kAnywhere(-1e9, -1e9, 2e9, 2e9);
    const auto& xfs = grid.book().xfs();
    CellTextPainter texts(painter, grid);
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
        for (std::size_t j = 0; j < grid.colCount(); ++j) {
            if (grid.mergeAt(i, j) >= 0)
                continue;
            const std::optional<host::Cell> c = grid.sheet().cell(grid.rows()[i], grid.cols()[j]);
            if (!c || host::isEmpty(c->value))
                continue;
            const CellText ct = cellText(grid.book(), *c);
            if (!ct.text.empty())
                texts.draw(ct, c->xf < xfs.size() ? xfs[c->xf] : kPlain, grid.cellRect(i, j), kAnywhere, i, j, false);
        }
    }
    for (const host::Range& m : grid.merges()) {
        const std::optional<host::Cell> c = grid.sheet().cell(m.firstRow, m.firstCol);
        if (!c || host::isEmpty(c->value))
            continue;
        const CellText ct = cellText(grid.book(), *c);
        if (ct.text.empty())
            continue;
        // Only the part of the merged range that lies on this page is drawn.
        texts.draw(ct, c->xf < xfs.size() ? xfs[c->xf] : kPlain, grid.mergeRect(m), grid.visibleMergeRect(m), 0, 0, true);
    }
}

} // namespace cw::printing
