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
#include <unistd.h>
#endif

namespace cw::host {

namespace detail {
std::atomic<std::int64_t> failSaveAfterBytes{-1};
}

namespace fs = std::filesystem;

namespace {

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

// A name beside the target that no other save picks: the target's name, a random tag and
// ".tmp", hidden on systems that hide dot files.
fs::path temporaryPath(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long tag = (static_cast<unsigned long long>(rd()) << 32) ^ now ^ (counter++ * 0x9E3779B97F4A7C15ull);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", tag);
    fs::path name(".");
    name += target.filename();
    name += suffix;
    return target.parent_path() / name;
}

std::FILE* openNew(const fs::path& p)
{
#ifdef _WIN32
    return _wfopen(p.c_str(), L"wbx");
#else
    return std::fopen(p.c_str(), "wbx");
#endif
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

void Workbook::save(const fs::path& path, SaveMode mode) const
{
    const std::string file = displayName(path);
    const std::vector<std::uint8_t> bytes = toBytes();

    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw Error(Error::Code::Io, "could not save the workbook: a folder has that name", file);

    fs::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 8 && !f; ++attempt) {
        temp = temporaryPath(path);
        errno = 0;
        f = openNew(temp);
        if (!f && errno != EEXIST)
            break;
    }
    if (!f)
        throw Error(Error::Code::Io, "could not save the workbook: " + reason(errno ? errno : EIO), file);

    int err = writeFile(f, bytes, mode == SaveMode::Durable);
    errno = 0;
    if (std::fclose(f) != 0 && err == 0)
        err = errno ? errno : EIO;
    std::error_code failure = err ? std::error_code(err, std::generic_category()) : replace(temp, path);
    if (failure) {
        fs::remove(temp, ec);
        throw Error(Error::Code::Io, "could not save the workbook: " + failure.message(), file);
    }
}

} // namespace cw::host
