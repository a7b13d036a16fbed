#include "certificates/OutputFolder.h"

#include "core/AppFiles.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/SafeWrite.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#endif

namespace fs = std::filesystem;

namespace cw::certificates {

using host::Error;

namespace {

constexpr char kFresh = 'N';
constexpr char kAside = 'O';
constexpr const char* kHexDigits = "0123456789abcdef";

// ".~N1a2b": a folder of a run, fresh (N) or set aside (O).
bool isRunFolderName(const std::string& name, char kind)
{
    return name.size() == 7 && name.compare(0, 3, std::string(".~") + kind) == 0 &&
           name.find_first_not_of(kHexDigits, 3) == std::string::npos;
}

// A free name for a run folder in `appFolder`.
fs::path runFolderPath(const fs::path& appFolder, char kind)
{
    static std::mt19937 rng{std::random_device{}()};
    for (;;) {
        std::string name = std::string(".~") + kind;
        for (unsigned tag = rng(), i = 0; i < 4; ++i, tag >>= 4)
            name += kHexDigits[tag & 15];
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(appFolder / name, ec)))
            return appFolder / name;
    }
}

} // namespace

void removeRunFolder(const fs::path& folder) noexcept
{
    try {
        std::error_code ec;
#ifdef _WIN32
        // Read-only files would stop the removal on Windows: clear the attribute first.
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code ignored;
            if (!it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        }
#endif
        fs::remove_all(folder, ec);
    } catch (...) {
        // Out of memory on the way: what is left goes at the next run.
    }
}

namespace {

// Exchanges two folders in one step where the system can; false where it can't.
bool exchangeFolders(const fs::path& a, const fs::path& b, std::error_code& ec)
{
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        ec.assign(errno, std::generic_category());
#else
    (void)a;
    (void)b;
    (void)ec;
#endif
    return false;
}

Error folderError(const fs::path& folder, const std::string& what)
{
    return Error(Error::Code::Io, "The folder " + core::pathText(folder) + " " + what);
}

// Earlier versions saved each certificate through ".NNN.xls.<16 hex digits>.tmp".
bool isCertificateTemporary(const std::string& name)
{
    const auto end = name.find(".xls.");
    if (end == std::string::npos || end < 2)
        return false;
    const std::string certificate = name.substr(1, end + 3);
    return certificate.find_first_not_of("0123456789") == certificate.size() - 4 &&
           host::isTemporaryName(name, certificate);
}

void removeFilesIn(const fs::path& folder, const std::function<bool(const std::string&)>& ours)
{
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && !it->is_symlink(ignored) && ours(it->path().filename().string()))
            fs::remove(it->path(), ignored);
    }
}

} // namespace

OutputFolderReplacement::OutputFolderReplacement(const fs::path& appFolder)
    : m_appFolder(appFolder)
    , m_output(appFolder / core::kOutputFolder)
{
    std::error_code ec;
    const fs::file_status output = fs::symlink_status(m_output, ec);
    if (fs::exists(output) && !fs::is_directory(output))
        throw Error(Error::Code::Io, core::pathText(m_output) + (fs::is_symlink(output) ? " is a link" : " is a file") +
                                         ", not a folder. The certificates go into a folder of that name: move it away "
                                         "and try again.");
    m_fresh = runFolderPath(appFolder, kFresh);
    if (!fs::create_directory(m_fresh, ec) || ec)
        throw folderError(appFolder, "takes no new folder for the certificates (" + ec.message() + ").");
}

OutputFolderReplacement::~OutputFolderReplacement()
{
    if (!m_committed)
        removeRunFolder(m_fresh);
}

fs::path OutputFolderReplacement::commit()
{
    std::error_code ec;
    fs::path old;
    if (!fs::exists(fs::symlink_status(m_output, ec))) {
        fs::rename(m_fresh, m_output, ec);
    } else if (exchangeFolders(m_fresh, m_output, ec)) {
        old = m_fresh; // the old certificates, now under the fresh folder's name
    } else if (!ec) {
        old = runFolderPath(m_appFolder, kAside);
        fs::rename(m_output, old, ec);
        if (!ec) {
            fs::rename(m_fresh, m_output, ec);
            std::error_code back;
            if (ec)
                fs::rename(old, m_output, back);
        }
    }
    if (ec)
        throw folderError(m_output, "could not be replaced by the new certificates (" + ec.message() +
                                        "). It holds the certificates of the last complete run.");
    m_committed = true;
    return old;
}

std::vector<fs::path> clearLeftovers(const fs::path& appFolder)
{
    std::error_code ec;
    std::vector<fs::path> runFolders;
    std::vector<fs::path> setAside;
    for (auto it = fs::directory_iterator(appFolder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (!it->is_directory(ignored) || it->is_symlink(ignored))
            continue;
        if (isRunFolderName(name, kAside))
            setAside.push_back(it->path());
        else if (isRunFolderName(name, kFresh))
            runFolders.push_back(it->path());
    }
    // Killed between the two renames of a replacement: the old Form16A is the folder set aside
    // last, and it comes back.
    const fs::path output = appFolder / core::kOutputFolder;
    if (!fs::exists(fs::symlink_status(output, ec)) && !setAside.empty()) {
        auto newest = std::max_element(setAside.begin(), setAside.end(), [](const fs::path& a, const fs::path& b) {
            std::error_code e;
            return fs::last_write_time(a, e) < fs::last_write_time(b, e);
        });
        std::error_code renamed;
        fs::rename(*newest, output, renamed);
        if (!renamed)
            setAside.erase(newest);
    }
    runFolders.insert(runFolders.end(), setAside.begin(), setAside.end());

    const auto templateTemporary = [](const std::string& name) {
        return host::isTemporaryName(name, std::string(core::kTemplateFile));
    };
    removeFilesIn(appFolder, templateTemporary);
    // A linked template is saved beside the file the link points to, and so are its leftovers.
    const fs::path templateFile = fs::canonical(appFolder / core::kTemplateFile, ec);
    if (!ec && templateFile.parent_path() != fs::canonical(appFolder, ec)) {
        const std::string target = templateFile.filename().string();
        removeFilesIn(templateFile.parent_path(),
                      [&target](const std::string& name) { return host::isTemporaryName(name, target); });
    }
    if (fs::is_directory(fs::symlink_status(output, ec))) {
        removeFilesIn(output, isCertificateTemporary);
        host::removeTemporaryFiles(output);
    }
    return runFolders;
}

} // namespace cw::certificates
