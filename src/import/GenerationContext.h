#pragma once

#include "core/AppFiles.h"
#include "core/Messages.h"
#include "host/Sheet.h"
#include "host/Workbook.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cw::import {

struct StatementLayout;

// The state the Generate command owns and the import and certificate steps work on: the
// application folder, the opened template workbook and its three work sheets. Sheet pointers
// stay valid while sheets are added or removed (the workbook owns each sheet separately).
struct GenerationContext {
    std::filesystem::path appFolder;
    host::Workbook* workbook = nullptr;        // the opened TDS16A.xls
    host::Sheet* deductorSheet = nullptr;      // "DeductorDetails"
    host::Sheet* deducteeSheet = nullptr;      // "DeducteeDetails"
    host::Sheet* textSheet = nullptr;          // "Textdata"
    core::Reporter* reporter = nullptr;
    const StatementLayout* layout = nullptr;   // chosen by checkStatement
    // The number of fields of each line of TDS.txt as written: "Textdata" keeps no cell for
    // empty fields at the end of a line.
    std::vector<std::uint16_t> lineFields;

    std::filesystem::path statementPath() const { return appFolder / core::kStatementFile; }
    std::filesystem::path templatePath() const { return appFolder / core::kTemplateFile; }
    std::filesystem::path outputFolder() const { return appFolder / core::kOutputFolder; }
};

} // namespace cw::import
