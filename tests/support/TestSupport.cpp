#include "TestSupport.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace cw::test {

TempFolder::TempFolder(const std::string& purpose)
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        m_path = fs::temp_directory_path() /
                 ("certwright-" + purpose + "-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directories(m_path, ec))
            return;
        if (ec)
            throw std::runtime_error("cannot make a scratch folder " + m_path.string() + ": " + ec.message());
    }
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // Tests make read-only files and folders on purpose; make them writable so they go too.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::error_code ec;
    if (file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

fs::path sharedDir()
{
    const fs::path dir = CERTWRIGHT_SHARED_DIR;
    if (!fs::is_directory(dir / "xls-corpus"))
        throw std::runtime_error("the shared test material is missing at " + dir.string() +
                                 ": put the shared folder beside the checkout or configure with "
                                 "-DCERTWRIGHT_SHARED_DIR=/path/to/shared");
    return dir;
}

fs::path corpusDir() { return sharedDir() / "xls-corpus"; }
fs::path readerCheck() { return sharedDir() / "tools" / "xls-readers" / "check"; }

std::vector<CorpusFile> corpusFiles(const std::string& kind)
{
    std::ifstream in(corpusDir() / "MANIFEST.tsv");
    std::vector<CorpusFile> out;
    std::string line;
    std::getline(in, line); // the heading row
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        for (std::string c; std::getline(ss, c, '\t');)
            cols.push_back(c);
        if (cols.size() >= 9 && cols[7] == kind)
            out.push_back({cols[0], cols[7], cols[8]});
    }
    return out;
}

std::string shellQuote(const fs::path& p)
{
    std::string out = "'";
    for (char c : p.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int runCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    const int status = pclose(pipe);
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace cw::test
