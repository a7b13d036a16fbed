#include "app/AppFolderLock.h"

#include "core/PathText.h"

#include <QLockFile>
#include <QString>

namespace cw::app {

AppFolderLock::AppFolderLock(const std::filesystem::path& appFolder)
{
    std::error_code ec;
    std::filesystem::path shown = std::filesystem::absolute(appFolder, ec).lexically_normal();
    if (!shown.has_filename() && shown.has_relative_path())
        shown = shown.parent_path(); // no trailing separator in messages
    const std::string folder = core::pathText(ec ? appFolder : shown);
    m_lock = std::make_unique<QLockFile>(QString::fromStdString(core::pathText(appFolder / ".certwright.lock")));
    // A run takes as long as the statement needs: only a dead owner makes a lock stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return;
    if (m_lock->error() == QLockFile::LockFailedError)
        m_refusal = core::Message{"Another Certwright is working in " + folder +
                                      ". Try again when it has finished.",
                                  "Running Error!", core::Icon::Information};
    else
        m_refusal = core::Message{"Certwright cannot write in the folder " + folder +
                                      ": it takes no lock file. Certwright makes the certificates and saves the "
                                      "template there, so it needs a folder it may write in.",
                                  "Error!", core::Icon::Information};
}

AppFolderLock::~AppFolderLock() = default;

} // namespace cw::app
