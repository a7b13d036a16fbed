#pragma once

#include <string_view>

// The names of the files a Certwright application folder holds. Users find and keep these
// files by name, so they never change.
namespace cw::core {

inline constexpr std::string_view kStatementFile = "TDS.txt";
inline constexpr std::string_view kTemplateFile = "TDS16A.xls";
inline constexpr std::string_view kOutputFolder = "Form16A";

} // namespace cw::core
