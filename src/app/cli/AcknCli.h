#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace cw::app {

// The values `certwright ackn` was given; an option not given leaves its entry as it is.
struct AcknOptions {
    std::optional<std::string> serial;
    std::array<std::optional<std::string>, 4> prn;
    std::array<std::optional<std::string>, 4> filedOn;
    // Called once the register is read, before it is changed: a test runs a second command
    // there to show that the two cannot interleave.
    std::function<void()> afterRead;

    bool anyValue() const;
};

// `certwright ackn`: shows the acknowledgement register of TDS16A.xls in `folder`, or with
// values changes those entries, checks them all and saves. A rejected entry is named (by its
// option) on `err` and nothing is saved. Returns the exit status: 0 on success, 1 otherwise.
int runAckn(const std::filesystem::path& folder, const AcknOptions& options, std::ostream& out, std::ostream& err);

} // namespace cw::app
