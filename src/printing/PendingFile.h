#pragma once

#include <filesystem>
#include <string_view>

namespace cw::printing {

// A new file beside `target`, to be moved into its place in one step once it is complete: a
// rename, which replaces a link at the target rather than writing through it, and never leaves
// a half-written target. Its name is hidden and named as the workbook engine's temporary files
// are. Removed unless committed; what a killed run left, the next writing run removes.
class PendingFile {
public:
    // Throws std::runtime_error naming the target when the folder cannot take a new file.
    explicit PendingFile(std::filesystem::path target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    const std::filesystem::path& target() const { return m_target; }

    // Replaces the file's contents. Throws std::runtime_error naming the target.
    void write(std::string_view bytes);
    // Moves the file into the target's place. Throws std::runtime_error naming the target.
    void commit();

private:
    std::filesystem::path m_target;
    std::filesystem::path m_path;
    bool m_committed = false;
};

} // namespace cw::printing
