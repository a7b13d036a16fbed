#include "import/SheetCells.h"

#include "host/Error.h"
#include "host/Ascii.h"
#include "host/General.h"


namespace cw::import {

namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of character `n` (or the end of the text).
std::size_t charOffset(std::string_view s, std::size_t n)
{
    std::size_t i = 0;
    while (i < s.size() && n > 0) {
        ++i;
        while (i < s.size() && isContinuation(s[i]))
            ++i;
        --n;
    }
    return i;
}

} // namespace

host::Sheet& sheetByName(host::Workbook& wb, std::string_view name)
{
    if (host::Sheet* s = wb.findSheet(name))
        return *s;
    for (int i = 0; i < wb.sheetCount(); ++i)
        if (host::equalsIgnoringAsciiCase(wb.sheet(i).name(), name))
            return wb.sheet(i);
    throw host::Error(host::Error::Code::NoSuchSheet,
                      "The template workbook has no sheet \"" + std::string(name) + "\".");
}

std::uint16_t dateXf(host::Workbook& wb)
{
    host::Xf xf = wb.xfs()[host::kDefaultXf];
    xf.numFmt = 14; // the builtin short date
    return wb.addXf(xf);
}

std::string_view clipToCell(std::string_view s)
{
    if (s.size() <= kMaxCellChars)
        return s;
    std::size_t units = 0, i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t u = len == 4 ? 2 : 1; // outside the BMP: a surrogate pair
        if (units + u > kMaxCellChars)
            break;
        units += u;
        i += len;
    }
    return s.substr(0, i);
}

std::string fieldForMessage(std::string_view s)
{
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (chars == 40) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 1;
        while (i + len < s.size() && isContinuation(s[i + len]))
            ++len;
        if (c < 0x20 || c == 0x7F)
            out += '?';
        else
            out.append(s.substr(i, len));
        i += len;
        ++chars;
    }
    return out;
}

std::size_t utf8Length(std::string_view s)
{
    std::size_t n = 0;
    for (char c : s)
        n += isContinuation(c) ? 0 : 1;
    return n;
}

std::string_view utf8Mid(std::string_view s, std::size_t start, std::size_t count)
{
    std::size_t from = charOffset(s, start);
    std::string_view rest = s.substr(from);
    return rest.substr(0, charOffset(rest, count));
}

} // namespace cw::import
