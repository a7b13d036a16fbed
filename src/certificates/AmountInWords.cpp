#include "certificates/AmountInWords.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace cw::certificates {

namespace {

constexpr std::array<const char*, 10> kDigits = {"", "One", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine"};
constexpr std::array<const char*, 10> kTeens = {"Ten", "Eleven", "Twelve", "Thirteen", "Fourteen",
                                               "Fifteen", "Sixteen", "Seventeen", "Eighteen", "Nineteen"};
// The tens words carry their own trailing space; with no unit after them it doubles up with
// the next word's leading space, and the printed texts keep that.
constexpr std::array<const char*, 10> kTens = {"", "", "Twenty ", "Thirty ", "Forty ", "Fifty ", "Sixty ", "Seventy ", "Eighty ", "Ninety "};
constexpr std::array<const char*, 5> kPlaces = {"", "", " Thousand ", " Lacs ", " Crores "};

constexpr double kLimit = 999999999.99;

int digitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// The amount as plain decimal text with at most 15 significant digits: no exponent, no
// point for a whole amount, and no zero in front of the point (".5"). Fifteen digits drop the
// binary noise of sums such as 1234.5600000000002.
std::string amountText(double amount)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", amount);
    std::string s(buf);
    if (s.find('e') != std::string::npos) {
        // Only amounts far below one paisa get here (large ones are over the limit): spell
        // them in fixed notation, which leaves no paise digits that count.
        std::snprintf(buf, sizeof buf, "%.20f", amount);
        s = buf;
    }
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    return s;
}

std::string digitInWords(int digit)
{
    return digit >= 1 && digit <= 9 ? kDigits[static_cast<std::size_t>(digit)] : "";
}

std::string tensInWords(std::string_view twoDigits)
{
    if (twoDigits.empty())
        return {};
    const int first = digitValue(twoDigits.front());
    const int last = digitValue(twoDigits.back());
    if (first == 1)
        return twoDigits.size() == 2 && last >= 0 ? kTeens[static_cast<std::size_t>(last)] : "";
    std::string words = first >= 0 ? kTens[static_cast<std::size_t>(first)] : "";
    return words + digitInWords(last);
}

std::string hundredsInWords(int value)
{
    if (value <= 0 || value > 999)
        return {};
    const int hundreds = value / 100;
    const int tens = value / 10 % 10;
    std::string words;
    if (hundreds != 0)
        words = digitInWords(hundreds) + " Hundred ";
    if (tens != 0)
        words += tensInWords(std::to_string(value % 100)); // two digits: the tens are not 0
    else
        words += digitInWords(value % 10);
    return words;
}

std::string spellPositive(double amount)
{
    const std::string text = amountText(amount);
    std::string rupeeDigits = text;
    std::string paiseWords;
    if (auto point = text.find('.'); point != std::string::npos) {
        // Digits past the second are dropped, not rounded.
        std::string paise = (text.substr(point + 1) + "00").substr(0, 2);
        paiseWords = tensInWords(paise);
        rupeeDigits = text.substr(0, point);
    }

    std::string words;
    std::string rest = rupeeDigits;
    for (int group = 1; group <= 4 && !rest.empty(); ++group) {
        const std::size_t width = group == 1 ? 3 : 2;
        const std::size_t take = std::min(width, rest.size());
        const std::string digits = rest.substr(rest.size() - take);
        rest.erase(rest.size() - take);
        const int n = std::stoi(digits);
        std::string groupWords;
        if (n > 99)
            groupWords = hundredsInWords(n);
        else if (n >= 10)
            groupWords = tensInWords(digits.substr(digits.size() - 2));
        else
            groupWords = digitInWords(n);
        if (!groupWords.empty())
            words = groupWords + kPlaces[static_cast<std::size_t>(group)] + words;
    }

    std::string result;
    if (words.empty())
        result = "No Rupees";
    else if (words == "One")
        result = "One Rupee";
    else
        result = " Rupees " + words;

    if (paiseWords == "One")
        result += " and One Paisa";
    else if (!paiseWords.empty())
        result += " and " + paiseWords + " Paisas";
    return result + " Only";
}

} // namespace

std::string amountInWords(double amount)
{
    if (!std::isfinite(amount) || std::fabs(amount) > kLimit)
        return "Digit excced Maximum limit";
    if (amount < 0) {
        // Never passed by the generator (totals of amounts paid and tax); a reversal entry
        // could make one, and it should read as what it is.
        std::string words = spellPositive(-amount);
        return (words.front() == ' ' ? "Minus" : "Minus ") + words;
    }
    return spellPositive(amount);
}

} // namespace cw::certificates
