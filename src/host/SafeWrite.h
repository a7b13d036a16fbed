#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

// Every file the program writes goes through here: a new file straight under a free name, or a
// replacement made under a temporary name beside the file and moved into its place in one step.
namespace cw::host {

// Puts bytes into a file open for writing; returns the system's reason when it can't. Writes use
// writeAll unless handed another, so a caller (a test of a full disk) can make one fail midway.
using ByteWriter = std::function<std::error_code(std::FILE* file, std::string_view bytes)>;
std::error_code writeAll(std::FILE* file, std::string_view bytes);

// What a replacement does with a link under the target's name.
enum class AtALink {
    WriteThrough, // to the file it ends at; the link stays: a shared template
    Replace,      // the link goes, the file it pointed at stays as it was: files of a folder of the
                  // program's own, where a link was put by somebody else
};

// A replacement for `target`, written under a temporary name beside the file it replaces. A
// link is written through to the file it ends at, and stays a link (unless AtALink::Replace); the replacement takes the
// old file's mode and, where the process may give them, its owner and group. Until commit()
// the old file stays byte for byte as it was; without commit() the temporary file goes.
// Failures throw Error(Io) naming `target` with the reason alone as message().
class FileReplacement {
public:
    // Refuses a folder under the name and a read-only file (its owner's write permission off is
    // a choice, even where the system would let us write); then makes the temporary file.
    explicit FileReplacement(const std::filesystem::path& target, AtALink links = AtALink::WriteThrough);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    const std::filesystem::path& target() const { return m_target; }
    // The file replaced: the target, or the file its links end at.
    const std::filesystem::path& file() const { return m_file; }

    // Writes the replacement's bytes; once.
    void write(std::string_view bytes, const ByteWriter& writer = {});
    // Gives it the old file's mode and owner, syncs it to the disk and renames it over the file.
    void commit();

private:
    [[noreturn]] void fail(const std::string& why);

    std::filesystem::path m_target;
    std::filesystem::path m_file;
    std::filesystem::path m_temporary;
    std::FILE* m_stream = nullptr;
    bool m_written = false;
};

// Replaces (or makes) `target` with `bytes` through a FileReplacement.
void replaceFile(const std::filesystem::path& target, std::string_view bytes, const ByteWriter& writer = {});

// Writes `bytes` straight under `target`, which must be free, without a sync: for files in a
// folder of the program's own that goes as a whole when anything fails. A failed write leaves no
// file under the name. Throws Error(Io) naming `target`.
void writeNewFile(const std::filesystem::path& target, std::string_view bytes, const ByteWriter& writer = {});

// Throws the Error a replacement of `target` would end with for want of permission, without
// changing anything: the file (through links) is read-only, or its folder takes no new file.
void checkCanReplace(const std::filesystem::path& target);

// Whether a file named `name` is a temporary file left beside `target` by an interrupted write:
// this version's names ("." "~" and hex digits, no longer than the target's name, so a path that
// takes the final name takes the temporary one too) and the earlier ".NAME.<16 hex digits>.tmp".
bool isTemporaryName(std::string_view name, std::string_view target);

// Removes from `folder` the files (not links, not folders) named as temporary files of any
// target are: what writes killed midway left. Only for a folder of the program's own, under its
// lock, where no write is under way.
void removeTemporaryFiles(const std::filesystem::path& folder) noexcept;

} // namespace cw::host
