#include "host/General.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cw::host {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

CivilDate civilFromDays(long z)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long y = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp + (mp < 10 ? 3 : -9);
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

bool validDate(int y, int m, int d)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1)
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// d/m/yyyy or d-m-yyyy (one or two digits for day and month; two or four for the year).
std::optional<double> parseDayFirstDate(std::string_view s)
{
    auto readInt = [&](std::size_t& i, int minDigits, int maxDigits, int& out) {
        int n = 0, digits = 0;
        while (i < s.size() && isDigit(s[i]) && digits < maxDigits) {
            n = n * 10 + (s[i] - '0');
            ++digits;
            ++i;
        }
        out = n;
        return digits >= minDigits;
    };
    std::size_t i = 0;
    int day = 0, month = 0, year = 0;
    if (!readInt(i, 1, 2, day) || i >= s.size() || (s[i] != '/' && s[i] != '-'))
        return std::nullopt;
    char sep = s[i++];
    if (!readInt(i, 1, 2, month) || i >= s.size() || s[i] != sep)
        return std::nullopt;
    ++i;
    std::size_t yearStart = i;
    if (!readInt(i, 2, 4, year) || i != s.size())
        return std::nullopt;
    std::size_t yearDigits = i - yearStart;
    if (yearDigits == 3)
        return std::nullopt;
    if (yearDigits == 2)
        year += year < 30 ? 2000 : 1900; // the spreadsheet's two-digit year window
    return dateSerial(year, month, day);
}

} // namespace

std::optional<double> parseNumber(std::string_view text)
{
    std::string_view s = trimSpaces(text);
    if (s.empty())
        return std::nullopt;
    // "1234.50-": some accounting exports put the minus sign after the number.
    bool trailingMinus = s.size() > 1 && s.back() == '-';
    if (trailingMinus)
        s.remove_suffix(1);
    std::size_t i = 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') {
        if (trailingMinus)
            return std::nullopt; // "-5-" is not a number
        negative = s[i] == '-';
        ++i;
    }
    std::size_t mantissaStart = i;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++intDigits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && isDigit(s[j])) {
            ++j;
            ++expDigits;
        }
        if (expDigits == 0 || expDigits > 3)
            return std::nullopt;
        i = j;
    }
    if (i != s.size())
        return std::nullopt;
    std::string buf(s.substr(mantissaStart));
    char* end = nullptr;
    double v = std::strtod(buf.c_str(), &end);
    if (end != buf.c_str() + buf.size() || !std::isfinite(v))
        return std::nullopt;
    if (negative || trailingMinus)
        v = -v;
    if (v == 0.0)
        v = 0.0; // no negative zero
    return v;
}

GeneralResult parseGeneral(std::string_view text)
{
    if (text.empty())
        return {};
    // Leading zeros of a digits-only field are data (codes, ddmmyyyy dates), so it stays text.
    if (text.size() >= 2 && text[0] == '0') {
        bool allDigits = true;
        for (char c : text)
            allDigits = allDigits && isDigit(c);
        if (allDigits)
            return {Value{std::string(text)}, false};
    }
    if (auto n = parseNumber(text))
        return {Value{*n}, false};
    if (auto d = parseDayFirstDate(trimSpaces(text)))
        return {Value{*d}, true};
    return {Value{std::string(text)}, false};
}

std::string numberToText(double v)
{
    if (std::isnan(v))
        return "#NUM!";
    if (std::isinf(v))
        return v > 0 ? "#NUM!" : "-#NUM!";
    if (v == 0.0)
        return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s(buf);
    auto e = s.find('e');
    if (e == std::string::npos)
        return s;
    // %g gives "1.5e+20"; spreadsheets write "1.5E+20" with at least two exponent digits.
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    char sign = exp[0];
    std::string digits = exp.substr(1);
    while (digits.size() > 2 && digits[0] == '0')
        digits.erase(0, 1);
    return mant + "E" + sign + digits;
}

std::optional<double> dateSerial(int year, int month, int day)
{
    if (year < 1900 || year > 9999 || !validDate(year, month, day))
        return std::nullopt;
    long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // Serial 60 is the spreadsheet's 29 Feb 1900, a day that never was: dates from March 1900
    // count it, earlier ones do not.
    long base = (year == 1900 && month <= 2) ? daysFromCivil(1899, 12, 31) : daysFromCivil(1899, 12, 30);
    return static_cast<double>(days - base);
}

std::optional<CivilDate> serialToDate(double serial)
{
    if (!std::isfinite(serial) || serial < 1 || serial >= 2958466)
        return std::nullopt;
    long whole = static_cast<long>(std::floor(serial));
    if (whole == 60)
        return CivilDate{1900, 2, 29};
    long base = whole < 60 ? daysFromCivil(1899, 12, 31) : daysFromCivil(1899, 12, 30);
    return civilFromDays(base + whole);
}

std::optional<double> parseDayMonthYear(std::string_view text, char separator)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    int parts[3] = {0, 0, 0};
    std::size_t digits[3] = {0, 0, 0};
    std::size_t part = 0;
    for (char c : text) {
        if (c == separator) {
            if (++part > 2)
                return std::nullopt;
        } else if (isDigit(c) && digits[part] < 4) {
            parts[part] = parts[part] * 10 + (c - '0');
            ++digits[part];
        } else {
            return std::nullopt;
        }
    }
    if (part != 2 || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2 || digits[2] != 4)
        return std::nullopt;
    return dateSerial(parts[2], parts[1], parts[0]);
}

std::string dayMonthYearText(double serial)
{
    const auto d = serialToDate(serial);
    if (!d)
        return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d->day, d->month, d->year);
    return buf;
}

std::string valueText(const Value& v)
{
    switch (v.index()) {
    case 1: return numberToText(std::get<double>(v));
    case 2: return std::get<std::string>(v);
    case 3: return std::get<bool>(v) ? "TRUE" : "FALSE";
    case 4: return std::string(errorText(std::get<ErrorValue>(v)));
    default: return {};
    }
}


} // namespace cw::host
