#include "host/SafeWrite.h"

#include "host/Error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cw::host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHexDigits = "0123456789abcdef";
// As many links as the system itself follows before it gives up.
constexpr int kMostLinks = 40;

std::string reason(int err)
{
    return std::generic_category().message(err);
}

int lastError()
{
    return errno ? errno : EIO;
}

// The name a message shows: the path as given, in UTF-8 on every platform.
std::string displayName(const fs::path& path)
{
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

// The hex digits of a temporary name for a target named with `length` characters: as many as
// keep the temporary name no longer than the final one, from 4 to 16.
std::size_t temporaryDigits(std::size_t length)
{
    return std::clamp<std::size_t>(length > 2 ? length - 2 : 0, 4, 16);
}

// A name beside the file that no other write picks: "." "~" and random hex digits, hidden on
// systems that hide dot files. A name taken meanwhile is caught by the exclusive create.
fs::path temporaryPath(const fs::path& file)
{
    std::random_device rd;
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long tag = ((static_cast<unsigned long long>(rd()) << 32) | rd()) ^ now;
    std::string name = ".~";
    for (std::size_t i = temporaryDigits(file.filename().native().size()); i > 0; --i, tag >>= 4)
        name += kHexDigits[tag & 15];
    return file.parent_path() / name;
}

// The file a write replaces: where the target's links end, so that a shared file stays shared
// and the links stay links. A link to nothing yet is written through, as opening it would be.
fs::path linkedFile(const fs::path& target, std::error_code& ec)
{
    fs::path file = target;
    for (int links = 0; links <= kMostLinks; ++links) {
        std::error_code missing;
        if (!fs::is_symlink(fs::symlink_status(file, missing)))
            return file;
        const fs::path next = fs::read_symlink(file, ec);
        if (ec)
            return file;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return file;
}

// A file without its owner's write permission is read-only on purpose, even to a user (an
// administrator) whom the system would let write it.
bool isReadOnly(const fs::path& file)
{
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (ec || !fs::exists(st))
        return false;
    if ((st.permissions() & fs::perms::owner_write) == fs::perms::none)
        return true;
#ifdef _WIN32
    return false;
#else
    return access(file.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
#endif
}

// Unbuffered: the bytes go in large writes anyway, and a buffer would split them in two system
// calls and ask for the file's block size first. Nothing, with errno set, when the name is taken.
std::FILE* openNew(const fs::path& p)
{
#ifdef _WIN32
    std::FILE* f = _wfopen(p.c_str(), L"wbx");
#else
    std::FILE* f = std::fopen(p.c_str(), "wbx");
#endif
    if (f)
        std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

// A new temporary file beside `file`, or nothing with errno set.
std::FILE* openTemporary(const fs::path& file, fs::path& temporary)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        temporary = temporaryPath(file);
        errno = 0;
        if (std::FILE* f = openNew(temporary))
            return f;
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

// Closes the stream, syncing it to the disk first when asked; the first failure's reason.
std::error_code close(std::FILE* f, bool sync)
{
    int err = 0;
    errno = 0;
    if (std::fflush(f) != 0)
        err = lastError();
#ifdef _WIN32
    if (sync && !err && _commit(_fileno(f)) != 0)
        err = lastError();
#else
    // A file system that can't sync (a pipe, some network mounts) has nothing more to give.
    if (sync && !err && fsync(fileno(f)) != 0 && errno != EINVAL && errno != ENOTSUP)
        err = errno;
#endif
    errno = 0;
    if (std::fclose(f) != 0 && !err)
        err = lastError();
    return err ? std::error_code(err, std::generic_category()) : std::error_code{};
}

// The replacement takes the old file's mode, owner and group, as an edit in place would keep
// them: after its bytes, since a write clears the set-user and set-group bits. An owner we may
// not give (someone else's file in a shared folder) stays ours.
void keepModeAndOwner(std::FILE* replacement, const fs::path& old)
{
#ifdef _WIN32
    (void)replacement;
    (void)old;
#else
    struct stat st {};
    if (stat(old.c_str(), &st) != 0)
        return;
    const int fd = fileno(replacement);
    if (fchown(fd, st.st_uid, st.st_gid) != 0)
        (void)!fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    (void)!fchmod(fd, st.st_mode & 07777);
#endif
}

// Puts the temporary file in the file's place in one step, replacing an old file.
std::error_code replace(const fs::path& from, const fs::path& to)
{
#ifdef _WIN32
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return {};
#else
    std::error_code ec;
    fs::rename(from, to, ec);
    return ec;
#endif
}

std::error_code writeWith(const ByteWriter& writer, std::FILE* f, std::string_view bytes)
{
    return writer ? writer(f, bytes) : writeAll(f, bytes);
}

} // namespace

std::error_code writeAll(std::FILE* file, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        errno = 0;
        if (std::fwrite(bytes.data() + done, 1, chunk, file) != chunk)
            return std::error_code(lastError(), std::generic_category());
        done += chunk;
    }
    return {};
}

FileReplacement::FileReplacement(const fs::path& target, AtALink links) : m_target(target)
{
    std::error_code ec, absent; // a target not there yet is no failure
    m_file = links == AtALink::Replace && fs::is_symlink(fs::symlink_status(target, absent)) ? target : linkedFile(target, ec);
    if (ec)
        fail(ec.message());
    if (fs::is_directory(m_file, ec))
        fail("a folder has that name");
    if (isReadOnly(m_file))
        fail("it is read-only");
    m_stream = openTemporary(m_file, m_temporary);
    if (!m_stream)
        fail(reason(lastError()));
}

FileReplacement::~FileReplacement()
{
    if (m_stream)
        std::fclose(m_stream);
    std::error_code ignored;
    if (!m_temporary.empty())
        fs::remove(m_temporary, ignored);
}

void FileReplacement::fail(const std::string& why)
{
    if (m_stream)
        std::fclose(m_stream);
    m_stream = nullptr;
    std::error_code ignored;
    if (!m_temporary.empty())
        fs::remove(m_temporary, ignored);
    m_temporary.clear();
    throw Error(Error::Code::Io, why, displayName(m_target));
}

void FileReplacement::write(std::string_view bytes, const ByteWriter& writer)
{
    if (!m_stream || m_written)
        throw Error(Error::Code::Invalid, "a replacement is written once", displayName(m_target));
    m_written = true;
    if (const std::error_code err = writeWith(writer, m_stream, bytes))
        fail(err.message());
}

void FileReplacement::commit()
{
    if (!m_stream)
        throw Error(Error::Code::Invalid, "a replacement is committed once", displayName(m_target));
    keepModeAndOwner(m_stream, m_file);
    std::FILE* f = m_stream;
    m_stream = nullptr;
    std::error_code err = close(f, true);
    if (!err)
        err = replace(m_temporary, m_file);
    if (err)
        fail(err.message());
    m_temporary.clear();
}

void replaceFile(const fs::path& target, std::string_view bytes, const ByteWriter& writer)
{
    FileReplacement replacement(target);
    replacement.write(bytes, writer);
    replacement.commit();
}

void writeNewFile(const fs::path& target, std::string_view bytes, const ByteWriter& writer)
{
    const std::string name = displayName(target);
    std::error_code ec;
    // A folder under the name is looked for only when the file can't be made: a run of
    // thousands of new files would otherwise ask once more per file.
    errno = 0;
    std::FILE* f = openNew(target);
    if (!f) {
        const int err = lastError();
        if (fs::is_directory(target, ec))
            throw Error(Error::Code::Io, "a folder has that name", name);
        throw Error(Error::Code::Io, reason(err), name);
    }
    std::error_code err = writeWith(writer, f, bytes);
    const std::error_code closed = close(f, false);
    if (!err)
        err = closed;
    if (err) {
        fs::remove(target, ec);
        throw Error(Error::Code::Io, err.message(), name);
    }
}

void checkCanReplace(const fs::path& target)
{
    const std::string name = displayName(target);
    std::error_code ec;
    const fs::path file = linkedFile(target, ec);
    if (ec)
        throw Error(Error::Code::Io, ec.message(), name);
    if (isReadOnly(file))
        throw Error(Error::Code::Io, "it is read-only", name);
    fs::path temporary;
    std::FILE* f = openTemporary(file, temporary);
    if (!f)
        throw Error(Error::Code::Io,
                    "its folder " + displayName(file.parent_path()) + " takes no new file (" + reason(lastError()) + ")",
                    name);
    std::fclose(f);
    fs::remove(temporary, ec);
}

bool isTemporaryName(std::string_view name, std::string_view target)
{
    auto hex = [](std::string_view s) {
        return !s.empty() && s.find_first_not_of(kHexDigits) == std::string_view::npos;
    };
    if (name.size() == 2 + temporaryDigits(target.size()) && name.substr(0, 2) == ".~" && hex(name.substr(2)))
        return true;
    constexpr std::size_t kOldTag = 1 + 16 + 4; // ".<16 hex digits>.tmp"
    return name.size() == 1 + target.size() + kOldTag && name[0] == '.' && name.substr(1, target.size()) == target &&
           name[1 + target.size()] == '.' && hex(name.substr(2 + target.size(), 16)) &&
           name.substr(name.size() - 4) == ".tmp";
}

void removeTemporaryFiles(const fs::path& folder) noexcept
{
    try {
        std::error_code ec;
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            std::error_code ignored;
            if (name.size() >= 6 && name.size() <= 18 && name.compare(0, 2, ".~") == 0 &&
                name.find_first_not_of(kHexDigits, 2) == std::string::npos && it->is_regular_file(ignored) &&
                !it->is_symlink(ignored))
                fs::remove(it->path(), ignored);
        }
    } catch (...) {
        // Out of memory on the way: what is left goes next time.
    }
}

} // namespace cw::host
