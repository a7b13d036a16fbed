#pragma once

#include <filesystem>
#include <string>

namespace cw::core {

// A path or file name as UTF-8 text, for messages and for Qt.
inline std::string pathText(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// A path from UTF-8 text.
inline std::filesystem::path pathFromText(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace cw::core
