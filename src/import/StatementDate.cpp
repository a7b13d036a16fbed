#include "import/StatementDate.h"

#include "import/SheetCells.h"

namespace cw::import {

std::string statementDateText(std::string_view digits)
{
    std::size_t dayLen = 0, monthLen = 0;
    switch (utf8Length(digits)) {
    case 8: dayLen = 2; monthLen = 2; break;
    case 7: dayLen = 1; monthLen = 2; break;
    case 6: dayLen = 1; monthLen = 1; break;
    default: return {};
    }
    std::string out(utf8Mid(digits, 0, dayLen));
    out += '.';
    out += utf8Mid(digits, dayLen, monthLen);
    out += '.';
    out += utf8Mid(digits, dayLen + monthLen, 4);
    return out;
}

} // namespace cw::import
