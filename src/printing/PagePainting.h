#pragma once

class QPainter;

namespace cw::printing {

class PageGrid;

// The steps that draw one page, in the order SheetPages::paint() takes them: each works on a
// painter already placed at the block's top-left corner and scaled to points at 100%.
void paintFills(QPainter& painter, const PageGrid& grid);
void paintGridlines(QPainter& painter, const PageGrid& grid);
void paintTexts(QPainter& painter, const PageGrid& grid);
void paintBorders(QPainter& painter, const PageGrid& grid);

} // namespace cw::printing
