#pragma once

#include <optional>
#include <string>
#include <string_view>

// The days the check counts with: the statement's dates, the due dates of deposit and of the
// statement, and the month count the interest is charged by.
namespace cw::check {

struct Day {
    int year = 0, month = 0, day = 0;
    // Days since a fixed day: the difference of two is the days between them.
    long serial() const;
    friend bool operator==(const Day& a, const Day& b) { return a.key() == b.key(); }
    friend bool operator<(const Day& a, const Day& b) { return a.key() < b.key(); }
    friend bool operator>(const Day& a, const Day& b) { return b < a; }

private:
    long key() const { return (year * 13L + month) * 32L + day; }
};

// "26.06.2024" (one or two digits for day and month), or nothing when it names no real day.
std::optional<Day> dottedDay(std::string_view text);
// "26/06/2024", as dates of filing are written.
std::optional<Day> slashedDay(std::string_view text);
std::string dottedText(const Day& d);   // "26.06.2024"
std::string slashedText(const Day& d);  // "26/06/2024"

// The months interest is charged for from `from` to `to`: calendar months, the month of each
// end counted whole, so 26 June to 9 July is two months and 20 March to 5 May three. A
// deduction on the last day of a month still counts that month. Nought when `to` is not
// after `from`.
int monthsCounted(const Day& from, const Day& to);

// The last day tax deducted on `deducted` may be deposited without interest: the 7th of the
// next month, and 30 April for tax deducted in March.
Day depositDueDate(const Day& deducted);

// The first day of the quarter (1 to 4, April to June first) of the financial year beginning
// in `firstYear`, and its last day.
Day quarterStart(int firstYear, int quarter);
Day quarterEnd(int firstYear, int quarter);

// The date by which a Form 26Q statement of the quarter is due, or nothing for a quarter
// whose due date is not known here.
std::optional<Day> statementDueDate(int firstYear, int quarter);

} // namespace cw::check
