#pragma once

#include <iosfwd>
#include <string>

namespace cw::app {

// `certwright inspect FILE.xls`: what the workbook engine reads from a file, one item per line,
// UTF-8, fields separated by a TAB. First the sheets, in workbook order:
//
//   sheet<TAB>N<TAB>NAME<TAB>VISIBILITY<TAB>KIND
//
// N counts from 1; VISIBILITY is "visible", "hidden" or "very hidden"; KIND is "worksheet",
// "chart", "macro sheet" or "module". Then every worksheet cell that holds a value or a
// formula, sheet by sheet, row by row, left to right:
//
//   SHEET!A1<TAB>TYPE<TAB>VALUE
//
//   number   the number in plain decimal form, up to 15 significant digits ("42", "-3.5",
//            "1.5E+20"); a date is its serial number
//   text     the text, with backslash, TAB, line feed and carriage return written as \\ \t \n \r
//   boolean  TRUE or FALSE
//   error    the error as a spreadsheet shows it (#DIV/0!, #N/A, ...)
//   formula  the cached result: its type, one space, its value as above ("number 42",
//            "text Total", "boolean TRUE", "error #N/A")
//
// Sheet names are escaped like text. Returns 0; on a file the engine cannot read, prints its
// message (naming the file and the reason) to `err` and returns 1.
int runInspect(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace cw::app
