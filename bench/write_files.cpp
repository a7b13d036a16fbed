// write_files FROM TO: the baseline for the certificate run. Reads every file of folder FROM
// into memory, then times writing the same bytes as files of the same names into the new
// folder TO with plain writes (open, write, close), and prints the seconds, files and bytes.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: write_files FROM TO\n";
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> files;
    std::uintmax_t bytes = 0;
    for (const auto& e : fs::directory_iterator(argv[1])) {
        std::ifstream in(e.path(), std::ios::binary);
        files.emplace_back(e.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        bytes += files.back().second.size();
    }
    const auto t0 = std::chrono::steady_clock::now();
    fs::create_directories(argv[2]);
    for (const auto& [name, data] : files) {
        std::ofstream out(fs::path(argv[2]) / name, std::ios::binary);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::cerr << "write_files: cannot write " << name << "\n";
            return 1;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.3f s for %zu files, %ju bytes\n", seconds, files.size(), bytes);
    return 0;
}
