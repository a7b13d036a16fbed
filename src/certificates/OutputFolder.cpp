#include "certificates/OutputFolder.h"

namespace fs = std::filesystem;

namespace cw::certificates {

void clearOutputFolder(const fs::path& folder)
{
    std::error_code ec;
#ifdef _WIN32
    // Read-only files would stop the removal on Windows; clear the attribute first. Links are
    // left alone so nothing outside the folder changes.
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
#endif
    fs::remove_all(folder, ec);
}

} // namespace cw::certificates
