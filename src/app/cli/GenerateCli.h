#pragma once

#include <filesystem>
#include <ostream>

namespace cw::app {

// `certwright generate`: the Generate command on `folder`. The message of a successful run is
// printed to `out`, the messages of every other run to `err`, each as its prompt text.
// Returns the exit status: 0 when the certificates were generated, 1 otherwise.
int runGenerate(const std::filesystem::path& folder, std::ostream& out, std::ostream& err);

} // namespace cw::app
