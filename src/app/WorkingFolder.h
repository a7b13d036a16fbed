#pragma once

#include "core/Messages.h"

#include <filesystem>
#include <optional>

namespace cw::app {

// The places the working folder is chosen from.
struct FolderPlaces {
    // The running program's own folder.
    std::filesystem::path programFolder;
    // The user's documents folder; the working folder is "Certwright" inside it.
    std::filesystem::path documentsFolder;
    // Where an installation keeps the template and the read-me to copy from.
    std::filesystem::path installedDataFolder;
};

// The folder the program reads TDS.txt and TDS16A.xls from and writes Form16A into.
struct WorkingFolder {
    std::filesystem::path path;
    // Set when the folder could not be made or given its files; the program cannot work then.
    std::optional<core::Message> problem;
};

// The folder given on the command line, as it is; else the program's own folder where it holds
// TDS16A.xls (the portable layout); else Documents/Certwright, made when missing and given the
// template and the read-me where they are missing. Files already there are never replaced: the
// template holds the user's acknowledgement numbers.
WorkingFolder chooseWorkingFolder(const std::optional<std::filesystem::path>& given, const FolderPlaces& places);

// The working folder's path by the same rules, without making or copying anything.
std::filesystem::path workingFolderPath(const FolderPlaces& places);

// The installed data folder that belongs to a program in `programFolder`: share/certwright
// beside the program's bin folder, so an installation works under any prefix.
std::filesystem::path installedDataFolder(const std::filesystem::path& programFolder);

// The places of the running program: its folder (argv0 where the platform cannot say), the
// user's documents folder as the desktop names it, and the installed data folder.
FolderPlaces runningProgramPlaces(const char* argv0);

} // namespace cw::app
