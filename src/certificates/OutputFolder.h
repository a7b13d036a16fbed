#pragma once

#include <filesystem>

namespace cw::certificates {

// Removes the output folder with everything in it, read-only files included. Every failure is
// ignored (a missing folder is the normal case); the folder is not made again.
void clearOutputFolder(const std::filesystem::path& folder);

} // namespace cw::certificates
