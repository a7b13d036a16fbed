#include "app/WorkingFolder.h"

#include "app/GenerateCommand.h"
#include "core/AppFiles.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/SafeWrite.h"

#include <QStandardPaths>
#include <QString>

#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace cw::app {

namespace {

constexpr std::string_view kWorkingFolderName = "Certwright";
constexpr std::string_view kReadMeFile = "Read me First.txt";
constexpr const char* kProblemTitle = "Working Folder!";

core::Message problem(std::string prompt)
{
    return {std::move(prompt), kProblemTitle, core::Icon::Critical};
}

// Copies `source` to `target` through a temporary file beside the target (host::replaceFile), so
// an interrupted copy never leaves a half template that later starts would keep; an existing
// target stays as it is. The copy is the user's to change, whatever the installed file's mode.
std::optional<core::Message> copyIfMissing(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        return std::nullopt;
    const std::string name = core::pathText(target.filename());
    if (!fs::is_regular_file(source, ec))
        return problem("The installed copy of " + name + " is missing from " +
                       core::pathText(source.parent_path()) + ". Please reinstall Certwright.");

    std::ifstream in(source, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in)
        return problem("The installed copy of " + name + " in " + core::pathText(source.parent_path()) +
                       " cannot be read. Please reinstall Certwright.");
    try {
        host::replaceFile(target, bytes.str());
    } catch (const host::Error& e) {
        return problem(name + " could not be copied into " + core::pathText(target.parent_path()) + ": " +
                       e.message() + ".");
    }
    return std::nullopt;
}

} // namespace

fs::path workingFolderPath(const FolderPlaces& places)
{
    std::error_code ec;
    if (!places.programFolder.empty() && fs::exists(places.programFolder / core::kTemplateFile, ec))
        return places.programFolder;
    return places.documentsFolder / kWorkingFolderName;
}

WorkingFolder chooseWorkingFolder(const std::optional<fs::path>& given, const FolderPlaces& places)
{
    if (given)
        return {*given, std::nullopt};
    WorkingFolder folder{workingFolderPath(places), std::nullopt};
    if (folder.path == places.programFolder)
        return folder;
    // Without a home folder the name would land wherever the program was started from.
    if (!places.documentsFolder.is_absolute()) {
        folder.problem = problem("Certwright could not find your Documents folder. Please start it with "
                                 "--folder and the folder that holds TDS.txt and TDS16A.xls.");
        return folder;
    }

    std::error_code ec;
    fs::create_directories(folder.path, ec);
    if (ec || !fs::is_directory(folder.path)) {
        folder.problem = problem("The working folder " + core::pathText(folder.path) + " could not be made: " +
                                 (ec ? ec.message() : std::string("a file of that name is in the way")) + ".");
        return folder;
    }
    for (std::string_view name : {core::kTemplateFile, kReadMeFile}) {
        folder.problem = copyIfMissing(places.installedDataFolder / name, folder.path / name);
        if (folder.problem)
            break;
    }
    return folder;
}

fs::path installedDataFolder(const fs::path& programFolder)
{
    return programFolder.parent_path() / "share" / "certwright";
}

FolderPlaces runningProgramPlaces(const char* argv0)
{
    FolderPlaces places;
    places.programFolder = applicationFolder(argv0);
    places.documentsFolder = core::pathFromText(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toUtf8().toStdString());
    places.installedDataFolder = installedDataFolder(places.programFolder);
#ifdef CERTWRIGHT_INSTALLED_DATA_DIR
    // Where the program was moved away from its installation, the data stays where it was put.
    std::error_code ec;
    if (!fs::exists(places.installedDataFolder / core::kTemplateFile, ec))
        places.installedDataFolder = core::pathFromText(CERTWRIGHT_INSTALLED_DATA_DIR);
#endif
    return places;
}

} // namespace cw::app
