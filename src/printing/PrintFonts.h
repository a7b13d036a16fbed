#pragma once

#include <QFont>
#include <QStringList>

#include <string>

namespace cw::host {
struct Font;
}

namespace cw::printing {

// The families a workbook's font name is drawn with, first choice first. A sheet's column
// widths and row heights are counted in its fonts' measures, so the page breaks hold only with
// a family of the same advance widths. Where the named font is rarely installed (Linux), a
// free metric-compatible family is asked for by name rather than left to the machine's
// fallback: Arial and Helvetica as Liberation Sans, Times New Roman and Times as Liberation
// Serif, Courier New and Courier as Liberation Mono (each of identical widths). Verdana has no
// free twin; DejaVu Sans, the design it was drawn after, has its digit width (0.636 em). Tahoma
// has none either; Liberation Sans's digits (0.556 em) are the closest free ones (Tahoma's are
// 0.546 em). The named font itself follows, for machines that have it and not the twin; other
// names are asked for as they are.
QStringList printFamilies(const std::string& name);

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
