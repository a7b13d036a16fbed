#pragma once

#include "printing/CertificateFolder.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

class QPrinter;

namespace cw::printing {

// Prints the named certificates of the output folder on `printer`, in the order given. On a
// printer each certificate is a job of its own, so every certificate starts on a fresh sheet
// even when printing on both sides; when the printer writes a PDF file, all of them go into
// that one file. A certificate that is missing or unreadable is skipped; the others still print.
BatchResult printCertificates(QPrinter& printer, const std::filesystem::path& outputFolder,
                              const std::vector<std::string>& names);

// `certwright print`: the named certificates of the application folder's Form16A folder (all
// when none are named) on the printer of that name, or the system's default printer. Needs a
// running QGuiApplication. Returns 0 when everything printed, 1 when something was skipped or
// could not be printed, 2 when there was no printer or nothing to print.
int runPrintCommand(const std::filesystem::path& appFolder, const std::string& printerName,
                    const std::vector<std::string>& names, std::ostream& out, std::ostream& err);

} // namespace cw::printing
