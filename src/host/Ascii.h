#pragma once

#include <string>
#include <string_view>

namespace cw::host {

// Letter case as the file format and sheet names compare it: A-Z only, whatever the locale.
// Bytes of multi-byte UTF-8 characters are left alone, so non-ASCII letters compare exactly.
constexpr char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

// <0, 0, >0 as a is before, equal to or after b, ignoring ASCII case; a prefix comes first.
inline int compareIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(asciiLower(a[i]));
        const auto cb = static_cast<unsigned char>(asciiLower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && compareIgnoringAsciiCase(a, b) == 0;
}

} // namespace cw::host
