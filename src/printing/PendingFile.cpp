#include "printing/PendingFile.h"

#include "core/PathText.h"
#include "host/Workbook.h"

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

std::FILE* openNew(const fs::path& p, const char* mode)
{
#ifdef _WIN32
    const std::wstring m(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(p.c_str(), m.c_str());
#else
    return std::fopen(p.c_str(), mode);
#endif
}

[[noreturn]] void fail(const fs::path& target, const std::string& why)
{
    throw std::runtime_error(core::pathText(target) + ": cannot be written (" + why + ")");
}

} // namespace

PendingFile::PendingFile(fs::path target) : m_target(std::move(target))
{
    // Named as the workbook engine names its temporary files, so that one clean-up finds both.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = host::Workbook::temporaryPathFor(m_target);
        errno = 0;
        if (std::FILE* f = openNew(candidate, "wbx")) {
            std::fclose(f);
            m_path = candidate;
            return;
        }
        if (errno != EEXIST)
            fail(m_target, std::generic_category().message(errno ? errno : EIO));
    }
    fail(m_target, "no free temporary name");
}

PendingFile::~PendingFile()
{
    if (!m_committed && !m_path.empty()) {
        std::error_code ec;
        fs::remove(m_path, ec);
    }
}

void PendingFile::write(std::string_view bytes)
{
    std::FILE* f = openNew(m_path, "wb");
    if (!f)
        fail(m_target, std::generic_category().message(errno ? errno : EIO));
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    const int err = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        fail(m_target, std::generic_category().message(err ? err : EIO));
}

void PendingFile::commit()
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(m_target, ec)))
        fail(m_target, "a folder has that name");
    fs::rename(m_path, m_target, ec);
    if (ec)
        fail(m_target, ec.message());
    m_committed = true;
}

} // namespace cw::printing
