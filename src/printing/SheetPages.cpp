#include "printing/SheetPages.h"

#include "printing/NumberFormat.h"
#include "host/Sheet.h"
#include "host/Workbook.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace cw::printing {

using host::Border;
using host::HAlign;
using host::VAlign;
using host::Xf;

namespace {

constexpr double kPointsPerPixel = 0.75;  // 96 dpi screen pixels, as column widths are defined
constexpr double kTextPadding = 2.0;      // points between a cell's edge and its text
constexpr double kMinScale = 0.10;
constexpr double kMaxScale = 4.00;

QPageSize::PageSizeId paperSize(std::uint16_t code)
{
    // The paper codes a sheet's page setup uses (the printer driver's DMPAPER_* numbers).
    switch (code) {
    case 1: case 2: return QPageSize::Letter;
    case 3: return QPageSize::Tabloid;
    case 4: return QPageSize::Ledger;
    case 5: return QPageSize::Legal;
    case 6: return QPageSize::Statement;
    case 7: return QPageSize::Executive;
    case 8: return QPageSize::A3;
    case 11: return QPageSize::A5;
    case 12: return QPageSize::JisB4;
    case 13: return QPageSize::JisB5;
    case 14: return QPageSize::Folio;
    case 15: return QPageSize::Quarto;
    case 17: return QPageSize::Tabloid;
    case 20: return QPageSize::Comm10E;
    case 27: return QPageSize::DLE;
    case 28: return QPageSize::C5E;
    case 70: return QPageSize::A6;
    default: return QPageSize::A4; // A4 (9, 10) and anything unknown or undefined
    }
}

QColor toQColor(host::Rgb c) { return QColor(c.r, c.g, c.b); }

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

Edge stronger(const Border& a, const Border& b)
{
    const Border& w = borderRank(b.style) > borderRank(a.style) ? b : a;
    return Edge{w.style, w.color};
}

} // namespace

SheetPages::SheetPages(const host::Workbook& book, const host::Sheet& sheet)
    : m_book(book), m_sheet(sheet)
{
    const host::PageSetup& setup = sheet.pageSetup();
    QPageSize size(setup.noPrinterSettings ? QPageSize::A4 : paperSize(setup.paperSize));
    m_layout = QPageLayout(size, setup.portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
                           QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    m_layout.setMode(QPageLayout::FullPageMode);

    // Column widths are counted in the width of the default font's digits. The font's own
    // (unhinted) advance is used, measured at a large size for precision, rather than a
    // screen's whole pixels: text then keeps the room its column was given at any scale.
    QFont standard;
    double standardPoints = 10;
    if (const host::Font* f = book.font(0)) {
        standard.setFamily(QString::fromStdString(f->name));
        standard.setBold(f->bold());
        standard.setItalic(f->italic);
        standardPoints = std::max(1.0, f->heightTwips / 20.0);
    }
    constexpr int kMeasureScale = 100;
    standard.setPixelSize(static_cast<int>(std::lround(standardPoints * kMeasureScale)));
    standard.setHintingPreference(QFont::PreferNoHinting);
    QFontMetricsF digits(standard);
    double widest = 0;
    for (char d = '0'; d <= '9'; ++d)
        widest = std::max(widest, digits.horizontalAdvance(QChar(d)));
    m_digitWidth = widest > 0 ? widest / kMeasureScale : standardPoints * 0.55;

    QRectF paper = m_layout.fullRect(QPageLayout::Point);
    m_availWidth = std::max(36.0, paper.width() - (setup.leftMargin + setup.rightMargin) * 72.0);
    m_availHeight = std::max(36.0, paper.height() - (setup.topMargin + setup.bottomMargin) * 72.0);

    // The used range: every cell with a value or a format, and the merged ranges. A print
    // area that reaches past it (whole columns, say) prints only as far as it.
    int lastRow = sheet.rowCount() - 1, lastCol = sheet.colCount() - 1;
    for (const host::Range& m : sheet.mergedRanges()) {
        lastRow = std::max(lastRow, m.lastRow);
        lastCol = std::max(lastCol, m.lastCol);
    }
    if (sheet.printArea().empty() && lastRow >= 0 && lastCol >= 0)
        m_areas.push_back({0, lastRow, 0, lastCol});
    for (const host::Range& r : sheet.printArea()) {
        Block b{std::max(0, r.firstRow), std::min(r.lastRow, lastRow), std::max(0, r.firstCol), std::min(r.lastCol, lastCol)};
        if (b.firstRow <= b.lastRow && b.firstCol <= b.lastCol)
            m_areas.push_back(b);
    }
    int lastTitleRow = -1;
    if (const auto& titles = sheet.printTitleRows())
        lastTitleRow = std::min(titles->second, host::kMaxRows - 1);
    fitRowHeights(std::max(lastRow, lastTitleRow));
    if (const auto& titles = sheet.printTitleRows()) {
        for (int r = titles->first; r <= titles->second && r < host::kMaxRows; ++r)
            if (rowHeight(r) > 0)
                m_titleRows.push_back(r);
    }
    computeScale();
    m_pages = paginate(m_scale);
}

double SheetPages::columnWidth(int col) const
{
    for (const host::ColumnInfo& ci : m_sheet.columns()) {
        if (col < ci.first || col > ci.last)
            continue;
        if (ci.hidden)
            return 0;
        // Stored widths are 1/256 of a digit width, the cell's padding included.
        return ci.width / 256.0 * m_digitWidth;
    }
    // The default width counts digits only: add the cell's padding (5 screen pixels).
    return m_sheet.defaultColumnWidth() * m_digitWidth + 5 * kPointsPerPixel;
}

double SheetPages::rowHeight(int row) const
{
    if (row >= 0 && static_cast<std::size_t>(row) < m_rowHeights.size())
        return m_rowHeights[static_cast<std::size_t>(row)];
    return storedRowHeight(row);
}

double SheetPages::storedRowHeight(int row) const
{
    const host::RowInfo* info = m_sheet.rowInfo(row);
    if (info && info->present) {
        if (info->hidden)
            return 0;
        return info->heightTwips / 20.0;
    }
    if (m_sheet.defaultRowFlags() & 0x0002) // fDyZero: rows without a ROW record are hidden
        return 0;
    return m_sheet.defaultRowHeight() / 20.0;
}

QFont SheetPages::screenFont(std::uint16_t index) const
{
    // The font as a 96 dpi screen shows it, in whole pixels: the measure rows and columns
    // are sized by.
    QFont f;
    host::Font plain;
    const host::Font* hf = m_book.font(index);
    if (!hf)
        hf = &plain;
    f.setFamily(QString::fromStdString(hf->name));
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(hf->heightTwips / 20.0 * 96.0 / 72.0))));
    f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(hf->weight, 100, 900)));
    f.setItalic(hf->italic);
    return f;
}

double SheetPages::fontRowHeight(std::uint16_t index) const
{
    auto it = m_fontRowHeights.find(index);
    if (it != m_fontRowHeights.end())
        return it->second;
    QFontMetricsF fm(screenFont(index));
    // A line of text plus a pixel of space above and below, in whole pixels.
    double px = std::ceil(fm.ascent() + fm.descent() - 1e-6) + 2.0;
    return m_fontRowHeights.emplace(index, px * kPointsPerPixel).first->second;
}

void SheetPages::fitRowHeights(int lastRow)
{
    // A row whose height was never set explicitly takes the height its content needs, as a
    // spreadsheet program gives it once values are entered: the tallest font on the row, or
    // the lines of wrapped text (single cells only; merged cells do not size rows).
    const auto& xfs = m_book.xfs();
    m_rowHeights.assign(static_cast<std::size_t>(std::max(0, lastRow + 1)), 0.0);
    for (int row = 0; row <= lastRow; ++row) {
        double stored = storedRowHeight(row);
        m_rowHeights[static_cast<std::size_t>(row)] = stored;
        const host::RowInfo* info = m_sheet.rowInfo(row);
        if (stored <= 0 || (info && info->present && info->customHeight))
            continue;
        const std::vector<host::Cell>* cells = m_sheet.rowCells(row);
        if (!cells)
            continue;
        double need = 0;
        for (std::size_t col = 0; col < cells->size(); ++col) {
            const host::Cell& cell = (*cells)[col];
            if (host::isEmpty(cell.value) || cell.xf >= xfs.size())
                continue;
            bool inMerge = false, multiRowMerge = false;
            for (const host::Range& m : m_sheet.mergedRanges())
                if (m.contains(row, static_cast<int>(col))) {
                    inMerge = true;
                    multiRowMerge = m.rows() > 1;
                }
            if (multiRowMerge)
                continue;
            const host::Xf& xf = xfs[cell.xf];
            const double line = fontRowHeight(xf.font);
            double cellNeed = line;
            if (xf.wrap && !inMerge) {
                CellText ct = cellText(m_book, cell);
                QString text = QString::fromStdString(ct.text);
                text.replace(QLatin1Char('\n'), QChar::LineSeparator);
                QTextLayout layout(text, screenFont(xf.font));
                QTextOption option;
                option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
                layout.setTextOption(option);
                const double widthPx = columnWidth(static_cast<int>(col)) / kPointsPerPixel - 2 * kTextPadding / kPointsPerPixel;
                int lines = 0;
                layout.beginLayout();
                for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
                    l.setLineWidth(std::max(1.0, widthPx));
                    ++lines;
                }
                layout.endLayout();
                cellNeed = std::max(1, lines) * line;
            }
            need = std::max(need, cellNeed);
        }
        if (need > 0)
            m_rowHeights[static_cast<std::size_t>(row)] = std::min(409.5, need);
    }
}

void SheetPages::groups(const Block& b, double scale, std::vector<std::vector<int>>& colGroups,
                        std::vector<std::vector<int>>& rowGroups) const
{
    const double width = m_availWidth / scale;
    const double height = m_availHeight / scale;
    double titleHeight = 0;
    for (int r : m_titleRows)
        titleHeight += rowHeight(r);
    const int lastTitle = m_titleRows.empty() ? -1 : m_titleRows.back();

    colGroups.clear();
    rowGroups.clear();
    double used = 0;
    for (int c = b.firstCol; c <= b.lastCol; ++c) {
        double w = columnWidth(c);
        if (w <= 0)
            continue;
        if (colGroups.empty() || (used + w > width + 1e-6 && !colGroups.back().empty())) {
            colGroups.emplace_back();
            used = 0;
        }
        colGroups.back().push_back(c);
        used += w;
    }
    used = 0;
    double capacity = 0;
    for (int r = b.firstRow; r <= b.lastRow; ++r) {
        double h = rowHeight(r);
        if (h <= 0)
            continue;
        if (rowGroups.empty() || (used + h > capacity + 1e-6 && !rowGroups.back().empty())) {
            rowGroups.emplace_back();
            used = 0;
            // A page whose first row comes after the title rows carries the titles too.
            capacity = height - (r > lastTitle && lastTitle >= 0 ? titleHeight : 0.0);
        }
        rowGroups.back().push_back(r);
        used += h;
    }
}

std::vector<SheetPages::Page> SheetPages::paginate(double scale) const
{
    std::vector<Page> pages;
    const int lastTitle = m_titleRows.empty() ? -1 : m_titleRows.back();
    for (const Block& b : m_areas) {
        std::vector<std::vector<int>> colGroups, rowGroups;
        groups(b, scale, colGroups, rowGroups);
        if (colGroups.empty() || rowGroups.empty())
            continue;
        auto makePage = [&](const std::vector<int>& rows, const std::vector<int>& cols) {
            Page p;
            if (lastTitle >= 0 && rows.front() > lastTitle)
                p.rows = m_titleRows;
            p.rows.insert(p.rows.end(), rows.begin(), rows.end());
            p.cols = cols;
            pages.push_back(std::move(p));
        };
        if (m_sheet.pageSetup().leftToRight) {
            for (const auto& rows : rowGroups)
                for (const auto& cols : colGroups)
                    makePage(rows, cols);
        } else {
            for (const auto& cols : colGroups)
                for (const auto& rows : rowGroups)
                    makePage(rows, cols);
        }
    }
    return pages;
}

void SheetPages::computeScale()
{
    const host::PageSetup& setup = m_sheet.pageSetup();
    if (!setup.fitToPage) {
        m_scale = std::clamp((setup.scale ? setup.scale : 100) / 100.0, kMinScale, kMaxScale);
        return;
    }
    // Fit to N pages wide by M tall (0 = no limit): the largest whole percentage, never above
    // 100%, whose page breaks stay within the limits.
    double totalWidth = 0, totalHeight = 0, titleHeight = 0;
    for (int r : m_titleRows)
        titleHeight += rowHeight(r);
    for (const Block& b : m_areas) {
        double w = 0, h = 0;
        for (int c = b.firstCol; c <= b.lastCol; ++c)
            w += columnWidth(c);
        for (int r = b.firstRow; r <= b.lastRow; ++r)
            h += rowHeight(r);
        totalWidth = std::max(totalWidth, w);
        totalHeight = std::max(totalHeight, h);
    }
    double s = 1.0;
    if (setup.fitWidth > 0 && totalWidth > 0)
        s = std::min(s, setup.fitWidth * m_availWidth / totalWidth);
    if (setup.fitHeight > 0 && totalHeight > 0)
        s = std::min(s, setup.fitHeight * m_availHeight / (totalHeight + (setup.fitHeight - 1) * titleHeight));
    s = std::max(kMinScale, std::floor(s * 100.0 + 1e-9) / 100.0);

    auto fits = [&](double scale) {
        for (const Block& b : m_areas) {
            std::vector<std::vector<int>> colGroups, rowGroups;
            groups(b, scale, colGroups, rowGroups);
            if (setup.fitWidth > 0 && colGroups.size() > setup.fitWidth)
                return false;
            if (setup.fitHeight > 0 && rowGroups.size() > setup.fitHeight)
                return false;
        }
        return true;
    };
    while (s > kMinScale + 1e-9 && !fits(s))
        s = std::max(kMinScale, s - 0.01);
    m_scale = s;
}

namespace {

// Per-page drawing state: positions of the page's rows and columns and the merged ranges on it.
struct PageGrid {
    std::vector<int> rows, cols;
    std::vector<double> top, left;      // size rows+1 / cols+1: edges
    std::vector<int> mergeAt;           // rows x cols, index into merges or -1
    std::vector<host::Range> merges;
    std::unordered_map<int, int> rowIndex, colIndex;

    int merge(int i, int j) const { return mergeAt[static_cast<std::size_t>(i) * cols.size() + static_cast<std::size_t>(j)]; }
    QRectF cellRect(int i, int j) const { return QRectF(left[j], top[i], left[j + 1] - left[j], top[i + 1] - top[i]); }
};

} // namespace

void SheetPages::paint(QPainter& painter, int index) const
{
    const Page& page = m_pages.at(static_cast<std::size_t>(index));
    const host::PageSetup& setup = m_sheet.pageSetup();
    const auto& xfs = m_book.xfs();
    static const Xf kPlain{};

    PageGrid g;
    g.rows = page.rows;
    g.cols = page.cols;
    g.top.push_back(0);
    for (std::size_t i = 0; i < g.rows.size(); ++i) {
        g.rowIndex.emplace(g.rows[i], static_cast<int>(i));
        g.top.push_back(g.top.back() + rowHeight(g.rows[i]));
    }
    g.left.push_back(0);
    for (std::size_t j = 0; j < g.cols.size(); ++j) {
        g.colIndex.emplace(g.cols[j], static_cast<int>(j));
        g.left.push_back(g.left.back() + columnWidth(g.cols[j]));
    }
    const double contentWidth = g.left.back(), contentHeight = g.top.back();

    g.mergeAt.assign(g.rows.size() * g.cols.size(), -1);
    for (const host::Range& m : m_sheet.mergedRanges()) {
        bool any = false;
        for (std::size_t i = 0; i < g.rows.size(); ++i) {
            if (g.rows[i] < m.firstRow || g.rows[i] > m.lastRow)
                continue;
            for (std::size_t j = 0; j < g.cols.size(); ++j) {
                if (g.cols[j] < m.firstCol || g.cols[j] > m.lastCol)
                    continue;
                if (!any) {
                    g.merges.push_back(m);
                    any = true;
                }
                g.mergeAt[i * g.cols.size() + j] = static_cast<int>(g.merges.size() - 1);
            }
        }
    }

    // The rectangle of a merged range on this page, extended over the parts that fall on other
    // pages so that its content is placed as on the whole sheet.
    auto mergeRect = [&](const host::Range& m) {
        int i0 = -1, j0 = -1;
        for (int r = m.firstRow; r <= m.lastRow && i0 < 0; ++r)
            if (auto it = g.rowIndex.find(r); it != g.rowIndex.end())
                i0 = it->second;
        for (int c = m.firstCol; c <= m.lastCol && j0 < 0; ++c)
            if (auto it = g.colIndex.find(c); it != g.colIndex.end())
                j0 = it->second;
        double x = g.left[j0], y = g.top[i0], w = 0, h = 0;
        for (int c = m.firstCol; c < g.cols[j0]; ++c)
            x -= columnWidth(c);
        for (int r = m.firstRow; r < g.rows[i0]; ++r)
            y -= rowHeight(r);
        for (int c = m.firstCol; c <= m.lastCol; ++c)
            w += columnWidth(c);
        for (int r = m.firstRow; r <= m.lastRow; ++r)
            h += rowHeight(r);
        return QRectF(x, y, w, h);
    };

    auto xfIndexAt = [&](int row, int col) -> std::uint16_t {
        if (const host::Cell* c = m_sheet.cell(row, col))
            return c->xf;
        if (const host::RowInfo* info = m_sheet.rowInfo(row); info && info->hasFormat)
            return info->xf;
        for (const host::ColumnInfo& ci : m_sheet.columns())
            if (col >= ci.first && col <= ci.last)
                return ci.xf;
        return host::kDefaultXf;
    };
    auto xfAt = [&](int row, int col) -> const Xf& {
        std::uint16_t i = xfIndexAt(row, col);
        return i < xfs.size() ? xfs[i] : kPlain;
    };

    painter.save();
    double originX = setup.leftMargin * 72.0, originY = setup.topMargin * 72.0;
    if (setup.hCenter)
        originX += std::max(0.0, (m_availWidth - contentWidth * m_scale) / 2.0);
    if (setup.vCenter)
        originY += std::max(0.0, (m_availHeight - contentHeight * m_scale) / 2.0);
    painter.translate(originX, originY);
    painter.scale(m_scale, m_scale);
    // Lines on the outer edge are centred on it; leave them room.
    painter.setClipRect(QRectF(-3, -3, contentWidth + 6, contentHeight + 6), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    const std::size_t nRows = g.rows.size(), nCols = g.cols.size();

    // ---- fills ------------------------------------------------------------------------------
    for (std::size_t i = 0; i < nRows; ++i) {
        for (std::size_t j = 0; j < nCols; ++j) {
            int mi = g.merge(static_cast<int>(i), static_cast<int>(j));
            QRectF rect = g.cellRect(static_cast<int>(i), static_cast<int>(j));
            int row = g.rows[i], col = g.cols[j];
            if (mi >= 0) {
                const host::Range& m = g.merges[static_cast<std::size_t>(mi)];
                // A merged range takes the fill of its top-left cell throughout.
                row = m.firstRow;
                col = m.firstCol;
            }
            const Xf& xf = xfAt(row, col);
            if (xf.fillPattern == 0)
                continue;
            QColor fg = toQColor(m_book.color(xf.fillFg)), bg = toQColor(m_book.color(xf.fillBg));
            if (xf.fillPattern == 1) {
                painter.fillRect(rect, fg);
                continue;
            }
            painter.fillRect(rect, bg);
            Qt::BrushStyle pattern = Qt::Dense4Pattern;
            switch (xf.fillPattern) {
            case 3: pattern = Qt::Dense2Pattern; break;
            case 4: pattern = Qt::Dense6Pattern; break;
            case 17: pattern = Qt::Dense6Pattern; break;
            case 18: pattern = Qt::Dense7Pattern; break;
            case 5: case 11: pattern = Qt::HorPattern; break;
            case 6: case 12: pattern = Qt::VerPattern; break;
            case 7: case 13: pattern = Qt::FDiagPattern; break;
            case 8: case 14: pattern = Qt::BDiagPattern; break;
            case 9: case 15: pattern = Qt::CrossPattern; break;
            case 10: case 16: pattern = Qt::DiagCrossPattern; break;
            default: break;
            }
            painter.fillRect(rect, QBrush(fg, pattern));
        }
    }

    // ---- gridlines --------------------------------------------------------------------------
    if (setup.printGridlines) {
        QPen pen(QColor(0, 0, 0), 0.25);
        painter.setPen(pen);
        for (std::size_t i = 0; i <= nRows; ++i)
            for (std::size_t j = 0; j < nCols; ++j) {
                if (i > 0 && i < nRows && g.merge(static_cast<int>(i - 1), static_cast<int>(j)) >= 0 &&
                    g.merge(static_cast<int>(i - 1), static_cast<int>(j)) == g.merge(static_cast<int>(i), static_cast<int>(j)))
                    continue;
                painter.drawLine(QPointF(g.left[j], g.top[i]), QPointF(g.left[j + 1], g.top[i]));
            }
        for (std::size_t j = 0; j <= nCols; ++j)
            for (std::size_t i = 0; i < nRows; ++i) {
                if (j > 0 && j < nCols && g.merge(static_cast<int>(i), static_cast<int>(j - 1)) >= 0 &&
                    g.merge(static_cast<int>(i), static_cast<int>(j - 1)) == g.merge(static_cast<int>(i), static_cast<int>(j)))
                    continue;
                painter.drawLine(QPointF(g.left[j], g.top[i]), QPointF(g.left[j], g.top[i + 1]));
            }
    }

    // ---- text ---------------------------------------------------------------------------------
    const double deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 72.0;
    std::map<std::uint16_t, QFont> fonts;
    auto fontFor = [&](std::uint16_t index) -> const QFont& {
        auto it = fonts.find(index);
        if (it != fonts.end())
            return it->second;
        QFont f;
        const host::Font* hf = m_book.font(index);
        host::Font plain;
        if (!hf)
            hf = &plain;
        f.setFamily(QString::fromStdString(hf->name));
        // The painter works in points: a font of N points must measure N units on any device.
        f.setPointSizeF(std::max(1.0, hf->heightTwips / 20.0) * 72.0 / deviceDpi);
        f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(hf->weight, 100, 900)));
        f.setItalic(hf->italic);
        f.setUnderline(hf->underline != 0);
        f.setStrikeOut(hf->strikeout);
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setKerning(false);
        return fonts.emplace(index, f).first->second;
    };
    auto isEmptyCell = [&](int row, int col) {
        const host::Cell* c = m_sheet.cell(row, col);
        return !c || host::isEmpty(c->value);
    };

    auto drawText = [&](const CellText& ct, const Xf& xf, QRectF cell, int i, int j, bool merged) {
        const host::Font* hf = m_book.font(xf.font);
        const QFont& font = fontFor(xf.font);
        QFontMetricsF fm(font, painter.device());
        std::string s = ct.text;
        HAlign h = xf.hAlign;
        if (h == HAlign::General)
            h = ct.kind == ValueKind::Number ? HAlign::Right
                : (ct.kind == ValueKind::Boolean || ct.kind == ValueKind::Error) ? HAlign::Center
                                                                                   : HAlign::Left;
        bool wrap = xf.wrap || h == HAlign::Justify || h == HAlign::Distributed ||
                    xf.vAlign == VAlign::Justify || xf.vAlign == VAlign::Distributed;
        double indent = (h == HAlign::Left || h == HAlign::Right) ? xf.indent * m_digitWidth * 1.4 : 0.0;
        QRectF clip = cell;

        // Centre across selection: the run of empty cells to the right that carry the same
        // alignment forms one box.
        if (h == HAlign::CenterAcross && !merged) {
            for (std::size_t k = static_cast<std::size_t>(j) + 1; k < nCols; ++k) {
                int col = g.cols[k];
                if (!isEmptyCell(g.rows[static_cast<std::size_t>(i)], col) ||
                    xfAt(g.rows[static_cast<std::size_t>(i)], col).hAlign != HAlign::CenterAcross ||
                    g.merge(i, static_cast<int>(k)) >= 0)
                    break;
                cell.setRight(g.left[k + 1]);
            }
            clip = cell;
            h = HAlign::Center;
        }

        QColor color = toQColor(m_book.color(hf ? hf->colorIndex : 0x7FFF));
        painter.setFont(font);
        painter.setPen(color);
        QRectF inner = cell.adjusted(kTextPadding + (h == HAlign::Left ? indent : 0.0), 0,
                                     -kTextPadding - (h == HAlign::Right ? indent : 0.0), 0);

        if (!wrap) {
            for (char& c : s)
                if (c == '\n' || c == '\r')
                    c = ' ';
            QString text = QString::fromStdString(s);
            double width = fm.horizontalAdvance(text);
            if (xf.shrink && width > inner.width() && inner.width() > 0) {
                // Shrink to fit: a smaller font, so that the whole text shows in its box.
                QFont smaller = font;
                smaller.setPointSizeF(font.pointSizeF() * inner.width() / width * 0.995);
                painter.setFont(smaller);
                fm = QFontMetricsF(smaller, painter.device());
                width = fm.horizontalAdvance(text);
            } else if (ct.kind == ValueKind::Number && width > inner.width() + 0.01) {
                // A number never spills or shows cut: the cell shows '#' instead.
                double hash = std::max(0.1, fm.horizontalAdvance(QLatin1Char('#')));
                int n = std::max(1, static_cast<int>(inner.width() / hash));
                text = QString(n, QLatin1Char('#'));
                width = fm.horizontalAdvance(text);
            } else if (h == HAlign::Fill && width > 0) {
                int n = std::max(1, static_cast<int>(inner.width() / width));
                text = text.repeated(n);
                width = fm.horizontalAdvance(text);
                h = HAlign::Left;
            } else if (ct.kind == ValueKind::Text && !merged && width > inner.width()) {
                // Text flows over empty neighbours on the side(s) it is aligned away from.
                const double need = width - inner.width();
                int row = g.rows[static_cast<std::size_t>(i)];
                auto free = [&](int k) {
                    return k >= 0 && k < static_cast<int>(nCols) && g.merge(i, k) < 0 && isEmptyCell(row, g.cols[static_cast<std::size_t>(k)]);
                };
                if (h == HAlign::Left) {
                    for (int k = j + 1; clip.right() < cell.right() + need && free(k); ++k)
                        clip.setRight(g.left[static_cast<std::size_t>(k) + 1]);
                } else if (h == HAlign::Right) {
                    for (int k = j - 1; clip.left() > cell.left() - need && free(k); --k)
                        clip.setLeft(g.left[static_cast<std::size_t>(k)]);
                } else if (h == HAlign::Center) {
                    for (int k = 1; clip.width() < cell.width() + need && free(j - k) && free(j + k); ++k) {
                        clip.setLeft(g.left[static_cast<std::size_t>(j - k)]);
                        clip.setRight(g.left[static_cast<std::size_t>(j + k) + 1]);
                    }
                }
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
            painter.save();
            painter.setClipRect(clip, Qt::IntersectClip);
            painter.drawText(QPointF(x, y), text);
            painter.restore();
            return;
        }

        // Wrapped text: break into lines at the cell's width, then place the block vertically.
        QString text = QString::fromStdString(s);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout layout(text, font, painter.device());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        Qt::Alignment qa = Qt::AlignLeft;
        if (h == HAlign::Right)
            qa = Qt::AlignRight;
        else if (h == HAlign::Center || h == HAlign::Distributed)
            qa = Qt::AlignHCenter;
        else if (h == HAlign::Justify)
            qa = Qt::AlignJustify;
        option.setAlignment(qa);
        layout.setTextOption(option);
        layout.beginLayout();
        double blockHeight = 0;
        const double lineWidth = std::max(1.0, inner.width());
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
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
        painter.save();
        painter.setClipRect(cell, Qt::IntersectClip);
        layout.draw(&painter, QPointF(inner.left(), y));
        painter.restore();
    };

    for (std::size_t i = 0; i < nRows; ++i) {
        for (std::size_t j = 0; j < nCols; ++j) {
            if (g.merge(static_cast<int>(i), static_cast<int>(j)) >= 0)
                continue;
            const host::Cell* c = m_sheet.cell(g.rows[i], g.cols[j]);
            if (!c || host::isEmpty(c->value))
                continue;
            CellText ct = cellText(m_book, *c);
            if (ct.text.empty())
                continue;
            const Xf& xf = c->xf < xfs.size() ? xfs[c->xf] : kPlain;
            drawText(ct, xf, g.cellRect(static_cast<int>(i), static_cast<int>(j)), static_cast<int>(i),
                     static_cast<int>(j), false);
        }
    }
    for (const host::Range& m : g.merges) {
        const host::Cell* c = m_sheet.cell(m.firstRow, m.firstCol);
        if (!c || host::isEmpty(c->value))
            continue;
        CellText ct = cellText(m_book, *c);
        if (ct.text.empty())
            continue;
        const Xf& xf = c->xf < xfs.size() ? xfs[c->xf] : kPlain;
        QRectF rect = mergeRect(m);
        // Only the part of the merged range that lies on this page is drawn.
        QRectF visible;
        for (std::size_t i = 0; i < nRows; ++i)
            for (std::size_t j = 0; j < nCols; ++j)
                if (g.merge(static_cast<int>(i), static_cast<int>(j)) >= 0 &&
                    g.merges[static_cast<std::size_t>(g.merge(static_cast<int>(i), static_cast<int>(j)))] == m)
                    visible = visible.united(g.cellRect(static_cast<int>(i), static_cast<int>(j)));
        painter.save();
        painter.setClipRect(visible, Qt::IntersectClip);
        drawText(ct, xf, rect, 0, 0, true);
        painter.restore();
    }

    // ---- borders ------------------------------------------------------------------------------
    auto penFor = [&](const Edge& e) {
        QPen pen(toQColor(m_book.color(e.color)));
        pen.setCapStyle(Qt::SquareCap);
        double w = 0.5;
        switch (e.style) {
        case 2: case 8: case 10: case 12: case 13: w = 1.0; break; // medium family
        case 5: w = 1.5; break;                                   // thick
        case 7: w = 0.25; break;                                  // hair
        default: break;
        }
        pen.setWidthF(w);
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
    };
    auto drawEdge = [&](const Edge& e, QPointF a, QPointF b, bool horizontal) {
        if (e.style == 0)
            return;
        QPen pen = penFor(e);
        if (e.style == 6) { // double: two thin lines
            pen.setWidthF(0.4);
            painter.setPen(pen);
            QPointF off = horizontal ? QPointF(0, 0.7) : QPointF(0.7, 0);
            painter.drawLine(a - off, b - off);
            painter.drawLine(a + off, b + off);
            return;
        }
        painter.setPen(pen);
        painter.drawLine(a, b);
    };
    // Horizontal edges: between page rows i-1 and i, column by column, joined into runs.
    for (std::size_t i = 0; i <= nRows; ++i) {
        Edge run;
        double runStart = 0;
        for (std::size_t j = 0; j <= nCols; ++j) {
            Edge e;
            if (j < nCols) {
                int mAbove = i > 0 ? g.merge(static_cast<int>(i - 1), static_cast<int>(j)) : -1;
                int mBelow = i < nRows ? g.merge(static_cast<int>(i), static_cast<int>(j)) : -1;
                if (!(mAbove >= 0 && mAbove == mBelow)) {
                    Border above = i > 0 ? xfAt(g.rows[i - 1], g.cols[j]).bottom : Border{};
                    Border below = i < nRows ? xfAt(g.rows[i], g.cols[j]).top : Border{};
                    e = stronger(above, below);
                }
            }
            if (j == nCols || !(e == run)) {
                if (j > 0)
                    drawEdge(run, QPointF(runStart, g.top[i]), QPointF(g.left[j], g.top[i]), true);
                run = e;
                runStart = j < nCols ? g.left[j] : 0;
            }
        }
    }
    for (std::size_t j = 0; j <= nCols; ++j) {
        Edge run;
        double runStart = 0;
        for (std::size_t i = 0; i <= nRows; ++i) {
            Edge e;
            if (i < nRows) {
                int mLeft = j > 0 ? g.merge(static_cast<int>(i), static_cast<int>(j - 1)) : -1;
                int mRight = j < nCols ? g.merge(static_cast<int>(i), static_cast<int>(j)) : -1;
                if (!(mLeft >= 0 && mLeft == mRight)) {
                    Border left = j > 0 ? xfAt(g.rows[i], g.cols[j - 1]).right : Border{};
                    Border right = j < nCols ? xfAt(g.rows[i], g.cols[j]).left : Border{};
                    e = stronger(left, right);
                }
            }
            if (i == nRows || !(e == run)) {
                if (i > 0)
                    drawEdge(run, QPointF(g.left[j], runStart), QPointF(g.left[j], g.top[i]), false);
                run = e;
                runStart = i < nRows ? g.top[i] : 0;
            }
        }
    }
    painter.restore();
}

} // namespace cw::printing
