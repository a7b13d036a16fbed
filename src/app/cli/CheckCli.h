#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace cw::app {

struct CheckCliOptions {
    std::optional<std::string> filedOn; // dd/mm/yyyy
    std::optional<std::string> report;  // FILE.xls
};

// `certwright check`: prints what is wrong with the folder's TDS.txt and the interest and fee
// it will cost, and with a report file writes them there too. Returns the exit status: 0 when
// nothing is wrong but warnings, 1 with errors, 2 when the statement can't be read (or the
// report can't be saved, or --filed is no date).
int runCheck(const std::filesystem::path& folder, const CheckCliOptions& options, std::ostream& out, std::ostream& err);

} // namespace cw::app
