#pragma once

#include <string>

namespace cw::core {

// How a message is shown: the information icon for all but the missing statement file.
enum class Icon { Information, Critical };

// One message of a command: prompt, title, icon.
struct Message {
    std::string prompt;
    std::string title;
    Icon icon = Icon::Information;
};

// Where a command reports to: message boxes in the window, standard output/error on the
// command line, a recorder in tests. message() returns once the user has dismissed it.
class Reporter {
public:
    virtual ~Reporter() = default;
    virtual void message(const Message& m) = 0;
    // Certificates written so far of the total; total is known once the groups are counted.
    virtual void progress(int done, int total) { (void)done; (void)total; }
};

} // namespace cw::core
