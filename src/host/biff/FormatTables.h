#pragma once

#include "host/Format.h"

#include <cstddef>
#include <vector>

namespace cw::host::biff {

// The least a BIFF8 workbook holds: four fonts, sixteen XFs (the 15 style XFs and the default
// cell XF 15 that every cell without a format of its own uses) and the "Normal" style. Some writers make files
// with fewer; the reader completes such tables just as the writer does, so that the model never
// names a format its tables do not hold.
constexpr std::size_t kMinFonts = 4;
constexpr std::size_t kMinXfs = 16;

// The font that fills the font table up to kMinFonts: a copy of the first, or the default.
Font fillerFont(const std::vector<Font>& fonts);
// The XF that fills the table at `index` (below kMinXfs): a style XF, or the default cell XF.
Xf fillerXf(std::size_t index);
// Whether the STYLE records name the builtin "Normal" style, and that record on XF 0.
bool hasNormalStyle(const std::vector<RawRecord>& styles);
RawRecord normalStyle();

} // namespace cw::host::biff
