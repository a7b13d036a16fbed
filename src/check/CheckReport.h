#pragma once

#include "check/StatementCheck.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// What the check found, as the command line prints it, the window shows it and the report
// workbook keeps it.
namespace cw::check {

std::string severityText(Severity s); // "error", "warning"

// Where a finding is: "Line 12, field 10".
std::string placeText(const Finding& f);

// The summary as label and value, in the order all three show it: deductor, TAN, year,
// quarter, the counts, the interest of each kind, the fee and the total payable.
std::vector<std::pair<std::string, std::string>> summaryLines(const CheckResult& r);

// The findings, one a line, then the summary.
void printCheck(const CheckResult& r, std::ostream& out);

// Writes the report: sheets "Summary", "Findings" and "Interest". Replaces the file as a whole
// or leaves it as it was; throws core::Failure naming the file when it can't be saved.
void writeCheckReport(const std::filesystem::path& file, const CheckResult& r);

} // namespace cw::check
