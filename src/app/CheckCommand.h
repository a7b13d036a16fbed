#pragma once

#include "check/StatementCheck.h"

#include <filesystem>
#include <optional>

namespace cw::app {

// Today's date on this computer.
check::Day today();

// Checks the working folder's TDS.txt. The fee is counted to `filedOn` when given, else to the
// date of filing the acknowledgement register of TDS16A.xls holds for the statement's quarter,
// else to today. Throws import::StatementError when the statement can't be read.
check::CheckResult checkWorkingFolder(const std::filesystem::path& folder, const std::optional<check::Day>& filedOn);

} // namespace cw::app
