#pragma once

#include <QFont>

namespace cw::host {
struct Font;
}

namespace cw::printing {

// The font a sheet's rows and columns are sized by: as a 96 dpi screen shows it, in whole
// pixels.
QFont screenFont(const host::Font& font);

// The font a cell's text is drawn with on a painter that works in points: a font of N points
// measures N units on a device of `deviceDpi`. Unhinted and unkerned, so that text takes the
// same room on every device.
QFont pageFont(const host::Font& font, double deviceDpi);

// The default font at `pixelsPerPoint` pixels a point, unhinted: the measure of a digit's
// width, which column widths are counted in.
QFont digitMeasureFont(const host::Font& font, int pixelsPerPoint);

} // namespace cw::printing
