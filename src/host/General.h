#pragma once

#include "host/Cell.h"

#include <optional>
#include <string>
#include <string_view>

namespace cw::host {

// What a spreadsheet's "General" format makes of text typed or imported into a cell:
//  - a number (optional sign, digits with an optional decimal point, an optional exponent; a
//    trailing minus makes it negative) becomes a number;
//  - a day-first date, d/m/yyyy or d-m-yyyy (also with a two-digit year), becomes a date
//    serial in the 1900 date system (the caller gives the cell a date format);
//  - everything else stays text, exactly as written.
// One deliberate difference from a spreadsheet program: a field made only of digits, two or
// more long and beginning with "0", stays text. BSR codes, challan serial numbers and
// ddmmyyyy dates would otherwise lose their leading zeros.
struct GeneralResult {
    Value value;
    bool isDate = false;
};
GeneralResult parseGeneral(std::string_view text);

// A number's plain decimal text: up to 15 significant digits, no grouping; whole numbers below
// 1e15 never use an exponent ("100000", "-3.5", "0.25"); very large or very small numbers use
// the spreadsheet form "1.5E+20", "1E-07".
std::string numberToText(double v);

// A value as a cell shows it in the General format: numbers by numberToText, TRUE/FALSE,
// the error's text; empty for an empty cell.
std::string valueText(const Value& v);

// Parses a whole text as a number the way parseGeneral does (no date, no leading-zero rule).
std::optional<double> parseNumber(std::string_view text);

// Serial day number of a calendar date in the 1900 date system (with its 29 Feb 1900), and
// back. std::nullopt for dates that do not exist or lie outside 1900-01-01 .. 9999-12-31.
std::optional<double> dateSerial(int year, int month, int day);
struct CivilDate {
    int year = 0, month = 0, day = 0;
};
std::optional<CivilDate> serialToDate(double serial);

// A date written day first, d<separator>m<separator>yyyy (one or two digits for day and month,
// four for the year, spaces around it ignored), as a date serial; nothing when it is not
// written so or names no real day. The statement's dates, the certificate dates and the dates
// of filing are all written this way.
std::optional<double> parseDayMonthYear(std::string_view text, char separator = '/');
// A date serial as "dd/mm/yyyy"; empty when it is no day of the calendar.
std::string dayMonthYearText(double serial);

} // namespace cw::host
