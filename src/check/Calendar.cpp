#include "check/Calendar.h"

#include "host/General.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace cw::check {

namespace {

std::optional<Day> parsed(std::string_view text, char separator)
{
    const std::optional<double> serial = host::parseDayMonthYear(text, separator);
    if (!serial)
        return std::nullopt;
    const std::optional<host::CivilDate> d = host::serialToDate(*serial);
    if (!d)
        return std::nullopt;
    return Day{d->year, d->month, d->day};
}

std::string text(const Day& d, char separator)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d%c%02d%c%04d", d.day, separator, d.month, separator, d.year);
    return buffer;
}

int lastDayOf(int year, int month)
{
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// The due dates of Form 26Q statements under rule 31A as it reads from 1 June 2016 (31 July,
// 31 October, 31 January, 31 May), with the dates extended for a quarter where they were.
// Before 2016-17 the due dates differed for offices of Government and for other deductors,
// which the statement does not tell apart here; quarters whose dates were moved by the
// pandemic's relaxations in several steps are left out rather than guessed.
struct YearDueDates {
    int firstYear;
    // Day and month of each quarter's due date, {0, 0} where it is not known here; Q3's and
    // Q4's fall in the next calendar year.
    std::array<std::array<int, 2>, 4> due;
};
constexpr std::array<YearDueDates, 10> kDueDates = {{
    {2016, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2017, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2018, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2019, {{{31, 7}, {31, 10}, {31, 1}, {0, 0}}}},
    {2020, {{{0, 0}, {0, 0}, {0, 0}, {15, 7}}}}, // Q4 extended to 15 July 2021
    {2021, {{{0, 0}, {31, 10}, {31, 1}, {31, 5}}}},
    {2022, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2023, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2024, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
    {2025, {{{31, 7}, {31, 10}, {31, 1}, {31, 5}}}},
}};

} // namespace

long Day::serial() const
{
    const std::optional<double> s = host::dateSerial(year, month, day);
    return s ? std::lround(*s) : 0;
}

std::optional<Day> dottedDay(std::string_view text) { return parsed(text, '.'); }
std::optional<Day> slashedDay(std::string_view text) { return parsed(text, '/'); }
std::string dottedText(const Day& d) { return text(d, '.'); }
std::string slashedText(const Day& d) { return text(d, '/'); }

int monthsCounted(const Day& from, const Day& to)
{
    if (!(from < to))
        return 0;
    return (to.year * 12 + to.month) - (from.year * 12 + from.month) + 1;
}

Day depositDueDate(const Day& deducted)
{
    if (deducted.month == 3)
        return {deducted.year, 4, 30};
    return deducted.month == 12 ? Day{deducted.year + 1, 1, 7} : Day{deducted.year, deducted.month + 1, 7};
}

Day quarterStart(int firstYear, int quarter)
{
    return quarter == 4 ? Day{firstYear + 1, 1, 1} : Day{firstYear, 1 + quarter * 3, 1};
}

Day quarterEnd(int firstYear, int quarter)
{
    const Day start = quarterStart(firstYear, quarter);
    return {start.year, start.month + 2, lastDayOf(start.year, start.month + 2)};
}

std::optional<Day> statementDueDate(int firstYear, int quarter)
{
    if (quarter < 1 || quarter > 4)
        return std::nullopt;
    for (const YearDueDates& y : kDueDates) {
        if (y.firstYear != firstYear)
            continue;
        const auto [day, month] = y.due[static_cast<std::size_t>(quarter - 1)];
        if (!day)
            return std::nullopt;
        return Day{quarter >= 3 ? firstYear + 1 : firstYear, month, day};
    }
    return std::nullopt;
}

} // namespace cw::check
