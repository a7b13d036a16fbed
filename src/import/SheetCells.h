#pragma once

#include "host/Sheet.h"
#include "host/Workbook.h"

#include <cstdint>
#include <string>
#include <string_view>

// Small helpers the import and extraction steps share for reading and writing work-sheet cells.
namespace cw::import {

// The sheet of that name. Sheet names are unique ignoring letter case, so when no sheet has
// exactly this name the one that differs only in case is meant. Throws host::Error(NoSuchSheet).
host::Sheet& sheetByName(host::Workbook& wb, std::string_view name);

// The cell format the import gives a date: the builtin short-date format.
std::uint16_t dateXf(host::Workbook& wb);

// A cell holds at most 32,767 characters (UTF-16 units): longer text is cut there, as a
// spreadsheet program does.
inline constexpr std::size_t kMaxCellChars = 32767;
std::string_view clipToCell(std::string_view utf8);

// A field as a message quotes it: at most 40 characters, then "...", control characters as "?".
std::string fieldForMessage(std::string_view utf8);

// Characters, not bytes, of UTF-8 text: the length and the part from character `start` on,
// at most `count` characters (what there is when the text is shorter).
std::size_t utf8Length(std::string_view s);
std::string_view utf8Mid(std::string_view s, std::size_t start, std::size_t count);

} // namespace cw::import
