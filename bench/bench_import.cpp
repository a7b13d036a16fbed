// Reading a statement of 100,000 deductee records: TDS.txt read and split into lines, then
// read into checked records. Build in Release. The first run meets fresh
// memory, as the program does; the best of the next four shows the work alone. Processor time
// (std::clock) is printed beside the wall time: on a busy machine it is the steadier figure.
#include "SyntheticStatement.h"

#include "import/Statement.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path folder = fs::temp_directory_path() / "certwright-bench-import";
    fs::create_directories(folder);
    {
        std::ofstream out(folder / "TDS.txt", std::ios::binary);
        out << cw::test::largeStatement(count).text();
    }

    double read[5], records[5], readCpu[5], recordsCpu[5];
    std::size_t payments = 0;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        const cw::import::StatementText text = cw::import::StatementText::read(folder / "TDS.txt");
        const auto t1 = Clock::now();
        const std::clock_t c1 = std::clock();
        const cw::import::Statement statement = cw::import::readStatement(text);
        const auto t2 = Clock::now();
        const std::clock_t c2 = std::clock();
        read[run] = std::chrono::duration<double>(t1 - t0).count();
        records[run] = std::chrono::duration<double>(t2 - t1).count();
        readCpu[run] = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
        recordsCpu[run] = static_cast<double>(c2 - c1) / CLOCKS_PER_SEC;
        payments = statement.payments.size();
    }
    std::printf("statement: %d deductee records, %.1f MB\n", count,
                static_cast<double>(fs::file_size(folder / "TDS.txt")) / 1e6);
    fs::remove_all(folder);
    auto best = [](const double* t) { return *std::min_element(t + 1, t + 5); };
    std::printf("StatementText::read (the file and its lines): first %.3f s (processor %.3f s), "
                "best of next four %.3f s (processor %.3f s)\n",
                read[0], readCpu[0], best(read), best(readCpu));
    std::printf("readStatement (checked records):             first %.3f s (processor %.3f s), "
                "best of next four %.3f s (processor %.3f s); %zu payments\n",
                records[0], recordsCpu[0], best(records), best(recordsCpu), payments);
    return payments == static_cast<std::size_t>(count) ? 0 : 1;
}
