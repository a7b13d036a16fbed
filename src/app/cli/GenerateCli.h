#pragma once

#include <filesystem>
#include <functional>
#include <ostream>

namespace cw::app {

// `certwright generate`: the Generate command on `folder`. The message of a successful run is
// printed to `out`, the messages of every other run to `err`, each as its prompt text.
// Returns the exit status: 0 when the certificates were generated, 1 otherwise.
// With `progress`, the certificates written so far are shown there on one line that is
// rewritten in place (for a terminal).
int runGenerate(const std::filesystem::path& folder, std::ostream& out, std::ostream& err,
                std::ostream* progress = nullptr);

// Runs a command and returns its exit status; an exception it lets out, whatever it is,
// becomes a message on `err` and the status 1, so that no input ever aborts the program.
int exitStatusOf(const std::function<int()>& command, std::ostream& err);

// Whether standard output is a terminal, where a progress line can be rewritten in place.
bool standardOutputIsTerminal();

} // namespace cw::app
