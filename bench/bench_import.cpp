// Import of a statement of 100,000 deductee records: TDS.txt read and parsed into "Textdata",
// then the deductor row and the deductee rows. Build in Release. The first run meets fresh
// memory, as the program does; the best of the next four shows the work alone. Processor time
// (std::clock) is printed beside the wall time: on a busy machine it is the steadier figure.
#include "SyntheticStatement.h"

#include "import/DeductorRow.h"
#include "import/DeducteeRows.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

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
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path folder = fs::temp_directory_path() / "certwright-bench-import";
    fs::create_directories(folder);
    {
        std::ofstream out(folder / "TDS.txt", std::ios::binary);
        out << cw::test::largeStatement(records).text();
    }

    double import[5], extract[5], importCpu[5], extractCpu[5];
    int rows = 0;
    for (int run = 0; run < 5; ++run) {
        cw::host::Workbook wb;
        wb.addSheet("Form 16A");
        cw::import::GenerationContext ctx;
        ctx.appFolder = folder;
        ctx.workbook = &wb;
        cw::import::prepareWorkSheets(ctx);
        ctx.deductorSheet = &wb.sheet(cw::import::kDeductorSheet);
        ctx.deducteeSheet = &wb.sheet(cw::import::kDeducteeSheet);
        cw::import::writeSheetHeadings(ctx);

        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        cw::import::importStatement(ctx);
        const auto t1 = Clock::now();
        const std::clock_t c1 = std::clock();
        cw::import::fillDeductorRow(ctx);
        cw::import::fillDeducteeRows(ctx);
        const auto t2 = Clock::now();
        const std::clock_t c2 = std::clock();
        import[run] = std::chrono::duration<double>(t1 - t0).count();
        extract[run] = std::chrono::duration<double>(t2 - t1).count();
        importCpu[run] = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
        extractCpu[run] = static_cast<double>(c2 - c1) / CLOCKS_PER_SEC;
        rows = ctx.deducteeSheet->rowCount() - 1;
    }
    std::printf("statement: %d deductee records, %.1f MB\n", records,
                static_cast<double>(fs::file_size(folder / "TDS.txt")) / 1e6);
    fs::remove_all(folder);
    auto best = [](const double* t) { return *std::min_element(t + 1, t + 5); };
    std::printf("importStatement (read + parse into Textdata): first %.3f s (processor %.3f s), "
                "best of next four %.3f s (processor %.3f s)\n",
                import[0], importCpu[0], best(import), best(importCpu));
    std::printf("fillDeductorRow + fillDeducteeRows:   first %.3f s (processor %.3f s), "
                "best of next four %.3f s (processor %.3f s); %d deductee rows\n",
                extract[0], extractCpu[0], best(extract), best(extractCpu), rows);
    return rows == records ? 0 : 1;
}
