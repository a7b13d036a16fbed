// Replays saved inputs through the fuzz target without libFuzzer, so that every input that once
// crashed the reader stays a test:  fuzz_xls_replay DIR_OR_FILE...
// Also writes the bare Workbook streams of .xls files as fuzzing seeds:
//   fuzz_xls_replay --extract OUTDIR FILE.xls...

#include "host/Error.h"
#include "host/biff/Ole2Reader.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int extract(const fs::path& outDir, int argc, char** argv, int first)
{
    int written = 0;
    for (int i = first; i < argc; ++i) {
        const fs::path file = argv[i];
        try {
            const auto stream = cw::host::biff::workbookStreamFromFile(file, file.string());
            std::ofstream out(outDir / (file.filename().string() + ".stream"), std::ios::binary);
            out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
            ++written;
        } catch (const cw::host::Error&) {
            // a rejected file has no stream to offer; the file itself is a seed already
        }
    }
    std::cout << written << " streams written to " << outDir.string() << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--extract")
        return extract(argv[2], argc, argv, 3);

    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p = argv[i];
        if (fs::is_directory(p)) {
            for (const auto& e : fs::directory_iterator(p))
                if (e.is_regular_file() && e.path().filename().string().rfind("README", 0) != 0)
                    inputs.push_back(e.path());
        } else if (fs::exists(p)) {
            inputs.push_back(p);
        } else {
            std::cerr << "no such input: " << p.string() << '\n';
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& p : inputs) {
        std::cout << "replay " << p.filename().string() << std::endl;
        const auto bytes = readFile(p);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::cout << inputs.size() << " passed, 0 failed" << '\n';
    return 0;
}
