#pragma once

#include "core/Messages.h"

#include <filesystem>
#include <memory>
#include <optional>

class QLockFile;

namespace cw::app {

// One command that writes (Generate, the acknowledgement entries) works in an application
// folder at a time, whether it runs from the window or the command line: two at once would
// interleave their certificates, or one would save an older copy of the template over the
// other's. The lock is the system's lock on the open file ".certwright.lock" in the folder,
// which ends with the process that holds it.
class AppFolderLock {
public:
    explicit AppFolderLock(const std::filesystem::path& appFolder);
    ~AppFolderLock();
    AppFolderLock(const AppFolderLock&) = delete;
    AppFolderLock& operator=(const AppFolderLock&) = delete;

    // Why the command may not go on: another Certwright is working in the folder, or the
    // folder takes no lock file. Nothing when the lock is held.
    const std::optional<core::Message>& refusal() const { return m_refusal; }

private:
    std::unique_ptr<QLockFile> m_lock; // Windows
    int m_fd = -1;                     // elsewhere
    std::optional<core::Message> m_refusal;
};

} // namespace cw::app
