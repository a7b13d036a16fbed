#include "host/biff/FormatTables.h"

#include "host/biff/Records.h"

#include <algorithm>

namespace cw::host::biff {

Font fillerFont(const std::vector<Font>& fonts)
{
    return fonts.empty() ? Font{} : fonts.front();
}

Xf fillerXf(std::size_t index)
{
    Xf x;
    x.isStyle = index < kMinXfs - 1;
    x.parent = x.isStyle ? 0xFFF : 0;
    x.usedAttrib = index == 0 || index == kMinXfs - 1 ? 0 : 0x3D;
    return x;
}

bool hasNormalStyle(const std::vector<RawRecord>& styles)
{
    return std::any_of(styles.begin(), styles.end(), [](const RawRecord& r) {
        return r.type == rt::Style && r.data.size() >= 4 && (r.data[1] & 0x80) && r.data[2] == 0;
    });
}

RawRecord normalStyle()
{
    return RawRecord{rt::Style, {0x00, 0x80, 0x00, 0xFF}}; // builtin 0 on XF 0, no outline level
}

} // namespace cw::host::biff
