#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cw::printing {

// The certificate workbooks of the output folder as the print window lists them: every file
// whose extension is ".xls" (in any letter case, as the platform's file search finds them), in
// file-name order, each named by its file name with every ".xls" removed (letter case counts).
// Only certificates are listed (isCertificateName): the register beside them, or a workbook the
// user put there, is never printed or mailed as a certificate. A folder that is missing or
// cannot be read gives what could be read, possibly nothing.
std::vector<std::string> printListNames(const std::filesystem::path& outputFolder);

// Why the output folder may not be used: it is a link (to another folder, to /etc), through which
// the PDFs and their temporary files would be written outside the working folder. Nothing when it
// is a folder of its own or absent.
std::optional<std::string> linkedFolderRefusal(const std::filesystem::path& outputFolder);

// True for the name of a certificate workbook: its serial number, digits only ("007", "1000").
// Only such names are turned into file names, so that a name given on the command line never
// reaches outside the output folder nor takes a workbook that is no certificate.
bool isCertificateName(const std::string& name);

// The file a listed name stands for: the folder, the name and ".xls".
std::filesystem::path certificatePath(const std::filesystem::path& outputFolder, const std::string& name);

// A certificate that could not be printed, and why.
struct Skipped {
    std::string name;
    std::string reason;
};

// What a run over several certificates did.
struct BatchResult {
    std::vector<std::string> done;
    std::vector<Skipped> skipped;
    int pages = 0;
    std::vector<std::string> notes; // what the pages left out, each said once
};

// The one message shown after a run that skipped certificates: names each and why. `done` says
// what the others were ("printed", "written as PDF").
std::string skippedPrompt(const std::vector<Skipped>& skipped, const std::string& done = "printed");

} // namespace cw::printing
