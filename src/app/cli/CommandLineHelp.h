#pragma once

#include "app/cli/PdfCli.h"

#include <CLI/CLI.hpp>

#include <string>

namespace cw::app {

// `certwright --help` lists every command with its options, one line each, followed by the
// footer; `certwright COMMAND --help` shows that command alone. Call before adding commands:
// they take the help flag and the layout from the program.
void useCommandListHelp(CLI::App& program);

// The options that name a signing key, as every command that signs takes them: --sign (with
// this help), --sign-cert, which excludes it, --nss-dir, and the password file under the
// command's own option name and help.
void addSigningOptions(CLI::App* command, SigningKey& key, const std::string& signHelp,
                       const std::string& passwordOption, const std::string& passwordHelp);

} // namespace cw::app
