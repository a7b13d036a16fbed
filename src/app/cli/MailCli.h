#pragma once

#include "app/cli/PdfCli.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace cw::app {

// What `certwright mail` is asked to do. Options left out come from the user's settings.
struct MailCommand {
    bool log = false;                       // --log: print the send log instead
    std::filesystem::path csv;              // --csv, with --log
    std::filesystem::path addresses;        // --addresses
    std::optional<std::string> smtp, user, from;
    std::optional<std::filesystem::path> caFile;
    std::optional<int> rate;
    std::filesystem::path passwordFile;     // --password-file: the mail server's password
    bool dryRun = false, resend = false, protect = false;
    SigningKey key;                         // its password file is --sign-password-file
    std::vector<std::string> names;
    std::filesystem::path pdfs;             // --pdfs: certificate PDFs made elsewhere, not Form16A
    std::filesystem::path inputPasswordFile; // --input-password: opens encrypted ones
};

// Adds the `mail` command and its options to the program; they fill in `command`.
CLI::App* addMailCommand(CLI::App& program, MailCommand& command, std::string& folder);

// `certwright mail`: one message per deductee with its certificates as PDFs, or (--log) the
// send log. Returns 0 when every deductee with certificates has its message now or from
// before, 1 when any had no address, was refused or failed, 2 before anything is sent for bad
// options or settings, an address book that can't be used, a failed login or no connection.
int runMail(const std::filesystem::path& appFolder, const MailCommand& command, std::ostream& out, std::ostream& err);

} // namespace cw::app
