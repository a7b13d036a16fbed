#pragma once

#include "Sheet.h"
#include "Workbook.h"

#include <filesystem>
#include <string>

namespace cw::import {

// How a message is shown: the information icon for all but the missing statement file.
enum class Icon { Information, Critical };

// One message of the Generate command (and the other commands): prompt, title, icon.
struct Message {
    std::string prompt;
    std::string title;
    Icon icon = Icon::Information;
};

// Where the pipeline reports to: message boxes in the window, standard output/error on the
// command line, a recorder in tests. message() returns once the user has dismissed it.
class Reporter {
public:
    virtual ~Reporter() = default;
    virtual void message(const Message& m) = 0;
    // Certificates written so far of the total; total is known once the groups are counted.
    virtual void progress(int done, int total) { (void)done; (void)total; }
};

// The state the Generate command owns and the import and certificate steps work on: the
// application folder, the opened template workbook and its three work sheets. Sheet pointers
// stay valid while sheets are added or removed (the workbook owns each sheet separately).
struct GenerationContext {
    std::filesystem::path appFolder;
    host::Workbook* workbook = nullptr;        // the opened TDS16A.xls
    host::Sheet* deductorSheet = nullptr;      // "DeductorDetails"
    host::Sheet* deducteeSheet = nullptr;      // "DeducteeDetails"
    host::Sheet* textSheet = nullptr;          // "Textdata"
    Reporter* reporter = nullptr;

    std::filesystem::path statementPath() const { return appFolder / "TDS.txt"; }
    std::filesystem::path templatePath() const { return appFolder / "TDS16A.xls"; }
    std::filesystem::path outputFolder() const { return appFolder / "Form16A"; }
};

} // namespace cw::import
