#pragma once

#include <CLI/CLI.hpp>

namespace cw::app {

// `certwright --help` lists every command with its options, one line each, followed by the
// footer; `certwright COMMAND --help` shows that command alone. Call before adding commands:
// they take the help flag and the layout from the program.
void useCommandListHelp(CLI::App& program);

} // namespace cw::app
