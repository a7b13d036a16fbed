#include "app/AppFolderLock.h"

#include "core/PathText.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <QLockFile>
#include <QString>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace cw::app {

namespace fs = std::filesystem;

namespace {

// Why a folder takes no lock file, in the user's terms: each cause wants another remedy.
std::string whyNoLock(const fs::path& appFolder, int error)
{
    std::error_code ec;
    if (error == ENAMETOOLONG)
        return "its path is too long for the system. Choose a folder with a shorter path.";
    if (!fs::exists(appFolder, ec))
        return "it does not exist. Check the folder's name, or make the folder first.";
    if (!fs::is_directory(appFolder, ec))
        return "it is a file, not a folder. Give the folder that holds TDS.txt and TDS16A.xls.";
    if (error == ENOSPC || error == EDQUOT)
        return "the disk is full. Make room on it and try again.";
    return "it takes no lock file (" + std::generic_category().message(error) +
           "). Certwright makes the certificates and saves the template there, so it needs a folder it may write in.";
}

} // namespace

AppFolderLock::AppFolderLock(const fs::path& appFolder)
{
    std::error_code ec;
    fs::path shown = fs::absolute(appFolder, ec).lexically_normal();
    if (!shown.has_filename() && shown.has_relative_path())
        shown = shown.parent_path(); // no trailing separator in messages
    const std::string folder = core::pathText(ec ? appFolder : shown);
    const fs::path lockFile = appFolder / ".certwright.lock";
    bool held = false;
    int error = 0;
#ifdef _WIN32
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(core::pathText(lockFile)));
    // A run takes as long as the statement needs: only a dead owner makes a lock stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return;
    }
    held = lock->error() == QLockFile::LockFailedError;
    error = EACCES;
#else
    // The kernel's lock on an open file ends with its process, however that ends: no lock is
    // ever stale, and a process that reuses a dead owner's ID does not inherit its lock.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return;
    }
    error = errno;
    held = fd >= 0 && (error == EWOULDBLOCK || error == EAGAIN);
    if (fd >= 0)
        ::close(fd);
#endif
    if (held)
        m_refusal = core::Message{"Another Certwright is working in " + folder + ". Try again when it has finished.",
                                  "Running Error!", core::Icon::Information};
    else
        m_refusal = core::Message{"Certwright cannot write in the folder " + folder + ": " + whyNoLock(appFolder, error),
                                  "Error!", core::Icon::Information};
}

AppFolderLock::~AppFolderLock()
{
#ifndef _WIN32
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

} // namespace cw::app
