#pragma once

#include <string>
#include <string_view>

namespace cw::import {

// A statement date of digits, day month year, as dotted text: eight characters give
// dd.mm.yyyy, seven d.mm.yyyy, six d.m.yyyy; any other length gives an empty text. The
// characters are cut by position and not checked.
std::string statementDateText(std::string_view digits);

} // namespace cw::import
