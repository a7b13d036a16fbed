#include "host/Error.h"
#include "host/SaveHooks.h"
#include "host/Workbook.h"
#include "host/biff/XlsWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>

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

namespace detail {
std::atomic<std::int64_t> failSaveAfterBytes{-1};
}

namespace fs = std::filesystem;

namespace {

constexpr const char* kHexDigits = "0123456789abcdef";

std::string reason(int err)
{
    return std::generic_category().message(err);
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

// A name beside the target that no other save picks: "." "~" and random hex digits, hidden
// on systems that hide dot files.
fs::path temporaryPath(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long tag = (static_cast<unsigned long long>(rd()) << 32) ^ now ^ (counter++ * 0x9E3779B97F4A7C15ull);
    std::string name = ".~";
    for (std::size_t i = temporaryDigits(target.filename().native().size()); i > 0; --i, tag >>= 4)
        name += kHexDigits[tag & 15];
    return target.parent_path() / name;
}

// The file a save writes: a link's target, so that a shared template stays shared.
fs::path savedFile(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_symlink(path, ec))
        return path;
    const fs::path target = fs::canonical(path, ec);
    return ec ? path : target;
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

// Unbuffered: the bytes go in whole-file writes anyway, and a buffer would split them in two
// system calls and ask for the file's block size first.
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

// A new temporary file beside `target`, or nothing with errno set.
std::FILE* openTemporary(const fs::path& target, fs::path& temp)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp = temporaryPath(target);
        errno = 0;
        if (std::FILE* f = openNew(temp))
            return f;
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

// Writes and flushes the bytes to a new file, and syncs it when asked; returns 0 or the errno
// of the failure.
int writeFile(std::FILE* f, const std::vector<std::uint8_t>& bytes, bool sync)
{
    const std::int64_t failAfter = detail::failSaveAfterBytes.load();
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        if (failAfter >= 0 && done + chunk > static_cast<std::uint64_t>(failAfter)) {
            chunk = static_cast<std::size_t>(failAfter) - std::min<std::size_t>(done, static_cast<std::size_t>(failAfter));
            std::fwrite(bytes.data() + done, 1, chunk, f);
            std::fflush(f);
            return ENOSPC;
        }
        errno = 0;
        if (std::fwrite(bytes.data() + done, 1, chunk, f) != chunk)
            return errno ? errno : EIO;
        done += chunk;
    }
    if (failAfter >= 0 && bytes.size() > static_cast<std::uint64_t>(failAfter))
        return ENOSPC;
    errno = 0;
    if (std::fflush(f) != 0)
        return errno ? errno : EIO;
    if (!sync)
        return 0;
#ifdef _WIN32
    if (_commit(_fileno(f)) != 0)
        return errno ? errno : EIO;
#else
    if (fsync(fileno(f)) != 0 && errno != EINVAL && errno != ENOTSUP)
        return errno;
#endif
    return 0;
}

// The replacement takes the old file's mode, owner and group, as an edit in place would keep
// them. An owner we may not give (someone else's file in a shared folder) stays ours.
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

// Puts the temporary file in the target's place in one step, replacing an old file.
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

} // namespace

std::vector<std::uint8_t> Workbook::toBytes() const
{
    return XlsWriter(*this).fileBytes();
}

void Workbook::checkCanSave(const fs::path& path)
{
    const fs::path file = savedFile(path);
    if (isReadOnly(file))
        throw Error(Error::Code::Io, "it is read-only", displayName(path));
    fs::path temp;
    std::FILE* f = openTemporary(file, temp);
    if (!f)
        throw Error(Error::Code::Io,
                    "its folder " + displayName(file.parent_path()) + " takes no new file (" + reason(errno ? errno : EIO) + ")",
                    displayName(path));
    std::fclose(f);
    std::error_code ec;
    fs::remove(temp, ec);
}

bool Workbook::isTemporaryName(std::string_view name, std::string_view target)
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

fs::path Workbook::temporaryPathFor(const fs::path& target)
{
    return temporaryPath(target);
}

void Workbook::removeTemporaryFiles(const fs::path& folder) noexcept
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

void Workbook::save(const fs::path& path, SaveMode mode) const
{
    saveBytes(toBytes(), path, mode);
}

void Workbook::saveBytes(const std::vector<std::uint8_t>& bytes, const fs::path& path, SaveMode mode)
{
    const std::string name = displayName(path);
    const fs::path file = mode == SaveMode::Durable ? savedFile(path) : path;
    std::error_code ec;

    if (mode == SaveMode::NewFile) {
        // A folder under the name is looked for only when the file can't be made: a run of
        // thousands of new files would otherwise ask once more per file.
        errno = 0;
        std::FILE* f = openNew(file);
        if (!f) {
            const int err = errno ? errno : EIO;
            if (fs::is_directory(file, ec))
                throw Error(Error::Code::Io, "a folder has that name", name);
            throw Error(Error::Code::Io, reason(err), name);
        }
        int err = writeFile(f, bytes, false);
        errno = 0;
        if (std::fclose(f) != 0 && err == 0)
            err = errno ? errno : EIO;
        if (err) {
            fs::remove(file, ec);
            throw Error(Error::Code::Io, reason(err), name);
        }
        return;
    }

    if (fs::is_directory(file, ec))
        throw Error(Error::Code::Io, "a folder has that name", name);
    if (isReadOnly(file))
        throw Error(Error::Code::Io, "it is read-only", name);
    fs::path temp;
    std::FILE* f = openTemporary(file, temp);
    if (!f)
        throw Error(Error::Code::Io, reason(errno ? errno : EIO), name);
    keepModeAndOwner(f, file);
    int err = writeFile(f, bytes, true);
    errno = 0;
    if (std::fclose(f) != 0 && err == 0)
        err = errno ? errno : EIO;
    const std::error_code failure = err ? std::error_code(err, std::generic_category()) : replace(temp, file);
    if (failure) {
        fs::remove(temp, ec);
        throw Error(Error::Code::Io, failure.message(), name);
    }
}

} // namespace cw::host
