#include "host/Cell.h"
#include "host/Error.h"

#include <cctype>

namespace cw::host {

std::string_view errorText(ErrorValue e)
{
    switch (e) {
    case ErrorValue::Null: return "#NULL!";
    case ErrorValue::Div0: return "#DIV/0!";
    case ErrorValue::Value: return "#VALUE!";
    case ErrorValue::Ref: return "#REF!";
    case ErrorValue::Name: return "#NAME?";
    case ErrorValue::Num: return "#NUM!";
    case ErrorValue::NA: return "#N/A";
    }
    return "#N/A";
}

std::string columnName(int col)
{
    std::string s;
    int n = col + 1;
    while (n > 0) {
        int rem = (n - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + rem));
        n = (n - 1) / 26;
    }
    return s;
}

std::string toA1(int row, int col)
{
    return columnName(col) + std::to_string(row + 1);
}

std::string toA1(const Range& r)
{
    std::string s = toA1(r.firstRow, r.firstCol);
    if (r.lastRow != r.firstRow || r.lastCol != r.firstCol)
        s += ":" + toA1(r.lastRow, r.lastCol);
    return s;
}

std::optional<CellRef> parseCellRef(std::string_view a1)
{
    std::size_t i = 0;
    if (i < a1.size() && a1[i] == '$')
        ++i;
    int col = 0;
    std::size_t letters = 0;
    while (i < a1.size() && std::isalpha(static_cast<unsigned char>(a1[i]))) {
        col = col * 26 + (std::toupper(static_cast<unsigned char>(a1[i])) - 'A' + 1);
        if (++letters > 3)
            return std::nullopt;
        ++i;
    }
    if (letters == 0 || col > kMaxCols)
        return std::nullopt;
    if (i < a1.size() && a1[i] == '$')
        ++i;
    long row = 0;
    std::size_t digits = 0;
    while (i < a1.size() && std::isdigit(static_cast<unsigned char>(a1[i]))) {
        row = row * 10 + (a1[i] - '0');
        if (++digits > 7)
            return std::nullopt;
        ++i;
    }
    if (digits == 0 || i != a1.size() || row < 1 || row > kMaxRows)
        return std::nullopt;
    return CellRef{static_cast<int>(row - 1), col - 1};
}

std::optional<Range> parseRange(std::string_view a1)
{
    auto colon = a1.find(':');
    if (colon == std::string_view::npos) {
        auto c = parseCellRef(a1);
        if (!c)
            return std::nullopt;
        return Range{c->row, c->col, c->row, c->col};
    }
    auto a = parseCellRef(a1.substr(0, colon));
    auto b = parseCellRef(a1.substr(colon + 1));
    if (!a || !b)
        return std::nullopt;
    return Range{std::min(a->row, b->row), std::min(a->col, b->col), std::max(a->row, b->row),
                 std::max(a->col, b->col)};
}

CellRef cellRefOrThrow(std::string_view a1)
{
    auto c = parseCellRef(a1);
    if (!c)
        throw Error(Error::Code::BadAddress, "\"" + std::string(a1) + "\" is not a cell address");
    return *c;
}

Range rangeOrThrow(std::string_view a1)
{
    auto r = parseRange(a1);
    if (!r)
        throw Error(Error::Code::BadAddress, "\"" + std::string(a1) + "\" is not a cell range");
    return *r;
}

} // namespace cw::host
