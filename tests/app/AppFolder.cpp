#include "AppFolder.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

AppFolder::AppFolder()
{
    const fs::path staged = CERTWRIGHT_APP_DIR;
    for (const char* name : {"TDS16A.xls", "TDS.txt"}) {
        std::error_code ec;
        fs::copy_file(staged / name, path() / name, ec);
        if (ec) {
            m_problem = "the staged application folder lacks " + (staged / name).string()
                        + " (build the whole project first: it generates the template and stages the sample)";
            return;
        }
        fs::permissions(path() / name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
}

fs::path AppFolder::path() const
{
    return fs::path(m_dir.path().toStdU16String());
}

std::string AppFolder::read(const std::string& name) const
{
    std::ifstream in(path() / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AppFolder::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream(path() / name, std::ios::binary | std::ios::trunc) << bytes;
}
