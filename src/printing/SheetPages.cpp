#include "printing/SheetPages.h"

#include "printing/NumberFormat.h"
#include "printing/PrintFonts.h"
#include "host/Sheet.h"
#include "host/Workbook.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace cw::printing {

namespace {

constexpr double kPointsPerPixel = 0.75;  // 96 dpi screen pixels, as column widths are defined
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
    const host::Font* standardFont = book.font(0);
    const host::Font standard = standardFont ? *standardFont : host::Font{};
    constexpr int kMeasureScale = 100;
    const double standardPoints = std::max(1.0, standard.heightTwips / 20.0);
    QFontMetricsF digits(digitMeasureFont(standard, kMeasureScale));
    double widest = 0;
    for (char d = '0'; d <= '9'; ++d)
        widest = std::max(widest, digits.horizontalAdvance(QChar(d)));
    m_digitWidth = widest > 0 ? widest / kMeasureScale : standardPoints * 0.55;

    QRectF paper = m_layout.fullRect(QPageLayout::Point);
    m_availWidth = std::max(36.0, paper.width() - (setup.leftMargin + setup.rightMargin) * 72.0);
    m_availHeight = std::max(36.0, paper.height() - (setup.topMargin + setup.bottomMargin) * 72.0);

    // The used range: every cell with a value or a format, the merged ranges and the pictures.
    // A print area that reaches past it (whole columns, say) prints only as far as it.
    int lastRow = sheet.rowCount() - 1, lastCol = sheet.colCount() - 1;
    for (const host::Range& m : sheet.mergedRanges()) {
        lastRow = std::max(lastRow, m.lastRow);
        lastCol = std::max(lastCol, m.lastCol);
    }
    loadPictures(); // pictures count in the used range, as cells do
    for (const Picture& p : m_pictures) {
        lastRow = std::max(lastRow, p.to.row);
        lastCol = std::max(lastCol, p.to.col);
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

double SheetPages::fontRowHeight(std::uint16_t index) const
{
    auto it = m_fontRowHeights.find(index);
    if (it != m_fontRowHeights.end())
        return it->second;
    const host::Font* font = m_book.font(index);
    QFontMetricsF fm(screenFont(font ? *font : host::Font{}));
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
        double need = 0;
        for (int col = 0; col < m_sheet.rowWidth(row); ++col) {
            const std::optional<host::Cell> found = m_sheet.cell(row, col);
            if (!found || host::isEmpty(found->value) || found->xf >= xfs.size())
                continue;
            const host::Cell& cell = *found;
            bool inMerge = false, multiRowMerge = false;
            for (const host::Range& m : m_sheet.mergedRanges())
                if (m.contains(row, col)) {
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
                const host::Font* font = m_book.font(xf.font);
                QTextLayout layout(text, screenFont(font ? *font : host::Font{}));
                QTextOption option;
                option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
                layout.setTextOption(option);
                const double widthPx = columnWidth(col) / kPointsPerPixel - 2 * kCellTextPadding / kPointsPerPixel;
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

} // namespace cw::printing
