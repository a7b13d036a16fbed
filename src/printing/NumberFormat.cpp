#include "printing/NumberFormat.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace cw::printing {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// Splits a format code into its sections at ";" outside quotes, escapes and brackets.
std::vector<std::string> splitSections(const std::string& format)
{
    std::vector<std::string> sections(1);
    bool inQuote = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (inQuote) {
            sections.back() += c;
            if (c == '"')
                inQuote = false;
            continue;
        }
        if (c == '"') {
            inQuote = true;
        } else if ((c == '\\' || c == '_' || c == '*') && i + 1 < format.size()) {
            sections.back() += c;
            c = format[++i];
        } else if (c == '[') {
            auto close = format.find(']', i);
            if (close != std::string::npos) {
                sections.back() += format.substr(i, close - i + 1);
                i = close;
                continue;
            }
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

// One piece of a section: a literal, or a format code letter run.
struct Token {
    enum Kind { Literal, Code } kind = Literal;
    std::string text;
};

// Breaks a section into literals and codes. Bracketed parts are dropped (colours, conditions,
// locale tags) except elapsed-time codes, which become plain hour/minute/second codes.
std::vector<Token> tokenize(const std::string& section)
{
    std::vector<Token> out;
    auto literal = [&](const std::string& s) {
        if (!out.empty() && out.back().kind == Token::Literal)
            out.back().text += s;
        else
            out.push_back({Token::Literal, s});
    };
    for (std::size_t i = 0; i < section.size(); ++i) {
        char c = section[i];
        if (c == '"') {
            auto close = section.find('"', i + 1);
            if (close == std::string::npos)
                close = section.size();
            literal(section.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '\\' && i + 1 < section.size()) {
            literal(std::string(1, section[++i]));
        } else if (c == '_' && i + 1 < section.size()) {
            ++i;
            literal(" ");
        } else if (c == '*' && i + 1 < section.size()) {
            ++i; // a fill character: the text is drawn once, unpadded
        } else if (c == '[') {
            auto close = section.find(']', i);
            if (close == std::string::npos)
                close = section.size();
            std::string inside = section.substr(i + 1, close - i - 1);
            if (!inside.empty() && inside.find_first_not_of(inside[0]) == std::string::npos &&
                (lower(inside[0]) == 'h' || lower(inside[0]) == 'm' || lower(inside[0]) == 's'))
                out.push_back({Token::Code, inside});
            i = close;
        } else if (std::string("0#?.,%Ee").find(c) != std::string::npos ||
                   std::string("dmyhsDMYHS").find(c) != std::string::npos) {
            // Runs of the same code letter form one token ("yyyy", "mm").
            std::size_t j = i;
            if (std::string("dmyhsDMYHS").find(c) != std::string::npos) {
                while (j + 1 < section.size() && lower(section[j + 1]) == lower(c))
                    ++j;
            } else if ((c == 'E' || c == 'e') && j + 1 < section.size() &&
                       (section[j + 1] == '+' || section[j + 1] == '-')) {
                ++j;
            } else if (c == 'E' || c == 'e') {
                literal(std::string(1, c));
                continue;
            }
            out.push_back({Token::Code, section.substr(i, j - i + 1)});
            i = j;
        } else if ((c == 'A' || c == 'a') && (equalsNoCase(section.substr(i, 5), "AM/PM"))) {
            out.push_back({Token::Code, "AM/PM"});
            i += 4;
        } else if ((c == 'A' || c == 'a') && equalsNoCase(section.substr(i, 3), "A/P")) {
            out.push_back({Token::Code, section.substr(i, 3)});
            i += 2;
        } else if (c == '@') {
            out.push_back({Token::Code, "@"});
        } else {
            literal(std::string(1, c));
        }
    }
    return out;
}

bool isDateCode(const Token& t)
{
    if (t.kind != Token::Code || t.text.empty())
        return false;
    char c = lower(t.text[0]);
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's' || t.text == "AM/PM" ||
           equalsNoCase(t.text, "A/P");
}

const char* const kMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                               "August", "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string twoDigits(int v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string formatDate(double value, const std::vector<Token>& tokens, bool date1904)
{
    double serial = value + (date1904 ? 1462.0 : 0.0);
    if (serial < 0)
        return "#"; // a negative date cannot be shown; the renderer fills the cell with '#'
    // Round to the second first, so 0.99999999 of a day shows as the next midnight.
    double secondsTotal = std::round(serial * 86400.0);
    double days = std::floor(secondsTotal / 86400.0);
    long secs = static_cast<long>(secondsTotal - days * 86400.0);
    int hour = static_cast<int>(secs / 3600), minute = static_cast<int>(secs / 60 % 60),
        second = static_cast<int>(secs % 60);
    host::CivilDate date{1900, 1, 0};
    if (days >= 1) {
        auto d = host::serialToDate(days);
        if (!d)
            return "#";
        date = *d;
    }
    // Serial 0 shows as 0 January 1900, as a spreadsheet program does; weekday of serial 1 is Sunday.
    int weekday = static_cast<int>(static_cast<long>(days) % 7);
    if (weekday < 0)
        weekday += 7;
    weekday = (weekday + 6) % 7; // serial 1 -> Sunday (index 0)

    bool twelveHour = std::any_of(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.kind == Token::Code && (t.text == "AM/PM" || equalsNoCase(t.text, "A/P"));
    });

    std::string out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Literal) {
            out += t.text;
            continue;
        }
        char c = lower(t.text[0]);
        std::size_t n = t.text.size();
        if (c == 'y') {
            out += n <= 2 ? twoDigits(date.year % 100) : std::to_string(date.year);
        } else if (c == 'd') {
            if (n == 1)
                out += std::to_string(date.day);
            else if (n == 2)
                out += twoDigits(date.day);
            else if (n == 3)
                out += std::string(kDays[weekday]).substr(0, 3);
            else
                out += kDays[weekday];
        } else if (c == 'm') {
            // Minutes when it follows an hour code or precedes a seconds code.
            bool minutes = false;
            for (std::size_t k = i; k-- > 0;) {
                if (tokens[k].kind != Token::Code)
                    continue;
                minutes = lower(tokens[k].text[0]) == 'h';
                break;
            }
            for (std::size_t k = i + 1; !minutes && k < tokens.size(); ++k) {
                if (tokens[k].kind != Token::Code)
                    continue;
                minutes = lower(tokens[k].text[0]) == 's';
                break;
            }
            if (minutes && n <= 2)
                out += n == 1 ? std::to_string(minute) : twoDigits(minute);
            else if (n == 1)
                out += std::to_string(date.month);
            else if (n == 2)
                out += twoDigits(date.month);
            else if (n == 3)
                out += std::string(kMonths[date.month - 1]).substr(0, 3);
            else if (n == 4)
                out += kMonths[date.month - 1];
            else
                out += kMonths[date.month - 1][0];
        } else if (c == 'h') {
            int h = hour;
            if (twelveHour)
                h = hour % 12 == 0 ? 12 : hour % 12;
            out += n == 1 ? std::to_string(h) : twoDigits(h);
        } else if (c == 's') {
            out += n == 1 ? std::to_string(second) : twoDigits(second);
        } else if (t.text == "AM/PM") {
            out += hour < 12 ? "AM" : "PM";
        } else if (equalsNoCase(t.text, "A/P")) {
            out += hour < 12 ? t.text.substr(0, 1) : t.text.substr(2, 1);
        } else {
            out += t.text; // a stray number code inside a date format
        }
    }
    return out;
}

// `magnitude` (non-negative) in fixed notation with `decimals` digits after the point, rounded
// half away from zero on its 15-significant-digit decimal form, as a spreadsheet program does:
// 1.005 shows as 1.01 and 0.5 as 1, where binary rounding would give 1.00 and 0.
std::string fixedDecimal(double magnitude, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", magnitude);
    std::string text = buf;
    auto e = text.find('e');
    int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits;
    for (std::size_t i = 0; i < e; ++i)
        if (text[i] >= '0' && text[i] <= '9')
            digits += text[i];
    // digits d0 d1 ... stand for d0.d1d2... x 10^exponent; the point sits after `point` digits.
    int point = exponent + 1;
    if (point < 0) {
        digits.insert(0, static_cast<std::size_t>(-point), '0');
        point = 0;
    }
    int keep = point + decimals;
    if (static_cast<int>(digits.size()) < keep)
        digits.append(static_cast<std::size_t>(keep - static_cast<int>(digits.size())), '0');
    bool up = keep < static_cast<int>(digits.size()) && digits[static_cast<std::size_t>(std::max(keep, 0))] >= '5' && keep >= 0;
    digits.resize(static_cast<std::size_t>(std::max(keep, 0)));
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
            } else {
                ++digits[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            ++point;
        }
    }
    std::string intPart = digits.substr(0, static_cast<std::size_t>(point));
    std::string fracPart = digits.substr(static_cast<std::size_t>(point));
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    if (intPart.empty())
        intPart = "0";
    return decimals > 0 ? intPart + "." + fracPart : intPart;
}

std::string groupThousands(const std::string& digits)
{
    std::string out;
    int count = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        out.insert(out.begin(), digits[i]);
        if (++count % 3 == 0 && i > 0)
            out.insert(out.begin(), ',');
    }
    return out;
}

// A number section: [prefix] digits [.decimals] [E+exp] [suffix]. `value` is non-negative
// unless the section is the only one (then the sign is written in front).
std::string formatDecimal(double value, const std::vector<Token>& tokens)
{
    std::size_t firstCode = tokens.size(), lastCode = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Token::Code) {
            firstCode = std::min(firstCode, i);
            lastCode = i;
        }
    }
    std::string prefix, suffix, pattern;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i < firstCode)
            prefix += tokens[i].text;
        else if (i > lastCode)
            suffix += tokens[i].text;
        else if (tokens[i].kind == Token::Code)
            pattern += tokens[i].text;
        // literals between digit codes ("00-00") are rare in our formats; they are dropped
    }

    bool percent = pattern.find('%') != std::string::npos;
    if (percent)
        value *= 100.0;
    auto ePos = pattern.find_first_of("Ee");
    std::string mantissaPattern = ePos == std::string::npos ? pattern : pattern.substr(0, ePos);
    std::string expPattern = ePos == std::string::npos ? std::string() : pattern.substr(ePos + 2);

    auto dot = mantissaPattern.find('.');
    std::string intPattern = mantissaPattern.substr(0, dot);
    std::string fracPattern = dot == std::string::npos ? std::string() : mantissaPattern.substr(dot + 1);
    // Commas right after the last integer digit code scale by 1000 each; a comma between digit
    // codes turns on thousands grouping.
    while (!intPattern.empty() && intPattern.back() == ',' && fracPattern.empty()) {
        value /= 1000.0;
        intPattern.pop_back();
    }
    bool grouping = intPattern.find(',') != std::string::npos;
    auto countOf = [](const std::string& s, const char* set) {
        return static_cast<int>(std::count_if(s.begin(), s.end(), [&](char c) {
            return std::string(set).find(c) != std::string::npos;
        }));
    };
    int minInt = countOf(intPattern, "0");
    int spaceInt = countOf(intPattern, "?");
    int fracDigits = countOf(fracPattern, "0#?");
    int fracRequired = 0; // digits up to the last '0' or '?' placeholder always show
    for (std::size_t k = 0; k < fracPattern.size(); ++k)
        if (fracPattern[k] == '0' || fracPattern[k] == '?')
            fracRequired = static_cast<int>(k) + 1;

    bool negative = std::signbit(value) && value != 0.0;
    double magnitude = std::fabs(value);
    int exponent = 0;
    if (ePos != std::string::npos && magnitude != 0.0) {
        exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        int intDigits = std::max(1, minInt + countOf(intPattern, "#?"));
        if (intDigits > 1)
            exponent = static_cast<int>(std::floor(static_cast<double>(exponent) / intDigits)) * intDigits;
        magnitude /= std::pow(10.0, exponent);
    }

    std::string fixed = fixedDecimal(magnitude, fracDigits);
    if (ePos != std::string::npos && fixed.rfind("10", 0) == 0 && minInt <= 1 && magnitude >= 9.5) {
        // Rounding carried into a new digit: renormalise the mantissa.
        magnitude /= 10.0;
        ++exponent;
        fixed = fixedDecimal(magnitude, fracDigits);
    }
    auto point = fixed.find('.');
    std::string intDigits = fixed.substr(0, point);
    std::string fracDigitsText = point == std::string::npos ? std::string() : fixed.substr(point + 1);
    // Optional fraction digits ('#') drop their trailing zeros.
    while (static_cast<int>(fracDigitsText.size()) > fracRequired && !fracDigitsText.empty() &&
           fracDigitsText.back() == '0')
        fracDigitsText.pop_back();
    if (intDigits == "0" && minInt == 0)
        intDigits.clear();
    while (static_cast<int>(intDigits.size()) < minInt)
        intDigits.insert(intDigits.begin(), '0');
    if (grouping)
        intDigits = groupThousands(intDigits);
    while (static_cast<int>(intDigits.size()) < minInt + spaceInt)
        intDigits.insert(intDigits.begin(), ' ');

    std::string number = intDigits;
    if (dot != std::string::npos)
        number += "." + fracDigitsText;
    if (percent)
        suffix.insert(0, "%");
    if (ePos != std::string::npos) {
        char sign = exponent < 0 ? '-' : (pattern[ePos + 1] == '+' ? '+' : '\0');
        std::string expDigits = std::to_string(std::abs(exponent));
        int minExp = countOf(expPattern, "0");
        while (static_cast<int>(expDigits.size()) < minExp)
            expDigits.insert(expDigits.begin(), '0');
        number += std::string(1, pattern[ePos]);
        if (sign)
            number += sign;
        number += expDigits;
    }
    // A value that rounds to zero shows no minus sign.
    bool allZero = number.find_first_of("123456789") == std::string::npos;
    return (negative && !allZero ? "-" : "") + prefix + number + suffix;
}

} // namespace

std::string formatNumber(double value, const std::string& format, bool date1904)
{
    if (std::isnan(value) || std::isinf(value))
        return "#NUM!";
    std::vector<std::string> sections = splitSections(format);
    std::string section = sections[0];
    bool explicitSign = false; // the section itself shows the sign (or hides it)
    if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
        section = sections[1];
        value = -value;
        explicitSign = true;
    } else if (value == 0 && sections.size() >= 3) {
        section = sections[2];
    }
    std::vector<Token> tokens = tokenize(section);
    bool hasCode = std::any_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind == Token::Code; });

    // "General" (or an empty section) shows the number's own plain text.
    std::string bare;
    for (const Token& t : tokens)
        bare += t.text;
    auto generalAt = [&]() {
        std::string low;
        for (char c : section)
            low += lower(c);
        return low.find("general");
    }();
    if (generalAt != std::string::npos || section.empty() || !hasCode) {
        std::string text = host::numberToText(value);
        if (!hasCode && generalAt == std::string::npos && !section.empty())
            return bare; // a section of literals only, e.g. "-" for zero
        if (generalAt != std::string::npos) {
            // Literals around the word stay: "Rs. "General.
            std::string before, after;
            for (const Token& t : tokenize(section.substr(0, generalAt)))
                before += t.text;
            for (const Token& t : tokenize(section.substr(generalAt + 7)))
                after += t.text;
            return before + text + after;
        }
        return text;
    }
    if (std::any_of(tokens.begin(), tokens.end(), isDateCode))
        return formatDate(explicitSign ? -value : value, tokens, date1904);
    if (std::any_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind == Token::Code && t.text == "@"; }))
        return host::numberToText(value);
    return formatDecimal(value, tokens);
}

CellText cellText(const host::Workbook& book, const host::Cell& cell)
{
    CellText out;
    const auto& xfs = book.xfs();
    std::string format = cell.xf < xfs.size() ? book.numberFormat(xfs[cell.xf].numFmt) : "General";
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out.kind = ValueKind::Empty;
            } else if constexpr (std::is_same_v<T, double>) {
                out.kind = ValueKind::Number;
                out.text = formatNumber(v, format, book.date1904());
            } else if constexpr (std::is_same_v<T, std::string>) {
                out.kind = ValueKind::Text;
                out.text = v;
                // A fourth section with "@" wraps text in literals ("Rs. "@).
                std::vector<std::string> sections = splitSections(format);
                if (sections.size() >= 4) {
                    std::string shown;
                    for (const Token& t : tokenize(sections[3]))
                        shown += t.kind == Token::Code && t.text == "@" ? v : t.text;
                    out.text = shown;
                }
            } else if constexpr (std::is_same_v<T, bool>) {
                out.kind = ValueKind::Boolean;
                out.text = v ? "TRUE" : "FALSE";
            } else {
                out.kind = ValueKind::Error;
                out.text = std::string(host::errorText(v));
            }
        },
        cell.value);
    return out;
}

} // namespace cw::printing
