#pragma once

#include "GenerationContext.h"

#include <filesystem>

namespace cw::app {

// How a Generate run ended, as far as the main window's buttons and life are concerned.
enum class GeneratePath {
    Generated,        // certificates written
    NotForm26Q,       // the statement was refused; the template was saved with its sheets
    EndedBeforeStart, // template in use or statement missing: nothing was touched; the program ends
    Ended,            // no deductee records or a failed workbook operation; the program ends
};

// Runs the Generate command on `appFolder`, in-use guard first, reporting to `reporter`.
GeneratePath runGenerate(const std::filesystem::path& appFolder, import::Reporter& reporter);

} // namespace cw::app
