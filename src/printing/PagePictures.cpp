// The pictures of a sheet on its printed pages: PNG and JPEG pictures at their anchors, scaled
// as the anchors say. Comments are not printed, as in a spreadsheet program's default; any
// other object leaves its place empty and is named once in the notes.

#include "printing/PageGrid.h"
#include "printing/PagePainting.h"
#include "printing/SheetPages.h"

#include "host/Sheet.h"
#include "host/Workbook.h"

#include <QPainter>

#include <algorithm>
#include <functional>

namespace cw::printing {

namespace {

const char* formatName(host::PictureFormat f)
{
    switch (f) {
    case host::PictureFormat::Emf: return "an EMF picture";
    case host::PictureFormat::Wmf: return "a WMF picture";
    case host::PictureFormat::Pict: return "a PICT picture";
    case host::PictureFormat::Dib: return "a bitmap (DIB)";
    case host::PictureFormat::Tiff: return "a TIFF picture";
    case host::PictureFormat::None: return "a picture whose data are missing";
    default: return "a picture that can't be read";
    }
}

// One edge of a picture on the page: the edge of its row (column) and the part of it the anchor
// gives. A row (column) off the page is placed by the sheet's own sizes on from the page's run
// of rows (columns) `lines[own...]`, so that a picture reaching past the page is cut, not moved.
double place(const std::vector<int>& lines, std::size_t own, const std::function<double(std::size_t)>& edgeAt,
             const std::function<double(int)>& size, int line, double part)
{
    for (std::size_t k = own; k < lines.size(); ++k)
        if (lines[k] == line)
            return edgeAt(k) + part * size(line);
    double at = line < lines[own] ? edgeAt(own) : edgeAt(lines.size());
    if (line < lines[own])
        for (int l = line; l < lines[own]; ++l)
            at -= size(l);
    else
        for (int l = lines.back() + 1; l < line; ++l)
            at += size(l);
    return at + part * size(line);
}

} // namespace

void SheetPages::loadPictures()
{
    const int index = m_book.indexOf(m_sheet.name());
    if (index < 0)
        return;
    for (const host::DrawingObject& o : m_book.drawingObjects(index)) {
        const std::string name = o.name.empty() ? "" : " \"" + o.name + "\"";
        if (o.kind == host::DrawingKind::Comment)
            continue;
        if (o.kind != host::DrawingKind::Picture) {
            m_notes.push_back("The " + host::kindName(o.kind) + name + " is not printed.");
            continue;
        }
        QImage image;
        if (o.format == host::PictureFormat::Png || o.format == host::PictureFormat::Jpeg)
            image.loadFromData(o.image.data(), static_cast<int>(o.image.size()));
        if (image.isNull()) {
            m_notes.push_back(std::string("The picture") + name + " is " + formatName(o.format) +
                              ", which can't be printed; its place on the page is left empty.");
            continue;
        }
        m_pictures.push_back({o.from, o.to, std::move(image)});
    }
}

void paintPictures(QPainter& painter, const PageGrid& grid, int index)
{
    const SheetPages& pages = grid.pages();
    // Rows repeated at the top of a later page are not the page's own: what lies on them was
    // printed with them the first time.
    std::size_t ownRow = 0;
    const std::vector<int>& titles = pages.titleRows();
    while (index > 0 && ownRow < grid.rowCount() && std::count(titles.begin(), titles.end(), grid.rows()[ownRow]))
        ++ownRow;
    if (ownRow == grid.rowCount() || grid.colCount() == 0)
        return;
    auto rowSize = [&](int r) { return pages.rowHeight(r); };
    auto colSize = [&](int c) { return pages.columnWidth(c); };
    auto top = [&](std::size_t i) { return grid.top(i); };
    auto left = [&](std::size_t j) { return grid.left(j); };
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (const SheetPages::Picture& p : pages.pictures()) {
        const bool onRows = std::any_of(grid.rows().begin() + static_cast<std::ptrdiff_t>(ownRow), grid.rows().end(),
                                        [&](int r) { return r >= p.from.row && r <= p.to.row; });
        const bool onCols = std::any_of(grid.cols().begin(), grid.cols().end(), [&](int c) { return c >= p.from.col && c <= p.to.col; });
        if (!onRows || !onCols)
            continue;
        const QPointF from(place(grid.cols(), 0, left, colSize, p.from.col, p.from.dx / 1024.0),
                           place(grid.rows(), ownRow, top, rowSize, p.from.row, p.from.dy / 256.0));
        const QPointF to(place(grid.cols(), 0, left, colSize, p.to.col, p.to.dx / 1024.0),
                         place(grid.rows(), ownRow, top, rowSize, p.to.row, p.to.dy / 256.0));
        if (QRectF(from, to).isValid())
            painter.drawImage(QRectF(from, to), p.image);
    }
}

} // namespace cw::printing
