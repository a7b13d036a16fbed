// Writing certificates: a formatted one-page workbook is read (or built) once, then its first
// sheet is copied and moved to a workbook of its own and saved, 1,000 times, as the generator
// does for each certificate. For comparison the same bytes are written with plain file writes
// in the same run, with and without a sync to the disk.
//
//   bench_xls_write [TEMPLATE.xls] [COUNT]

#include "host/Error.h"
#include "host/Workbook.h"
#include "host/biff/XlsWriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace cw::host;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A certificate-like page: title rows in a large bold font, a bordered table of 20 payments
// with amounts and dates, merged cells, widths, a print area fitted to one page.
Workbook buildTemplate()
{
    Workbook wb;
    Sheet& s = wb.addSheet("Form 16A");
    Font bold;
    bold.weight = 700;
    bold.heightTwips = 280;
    Xf title = wb.xfs()[kDefaultXf];
    title.font = wb.addFont(bold);
    title.hAlign = HAlign::Center;
    Xf boxed = wb.xfs()[kDefaultXf];
    boxed.left.style = boxed.right.style = boxed.top.style = boxed.bottom.style = 1;
    Xf amount = boxed;
    amount.numFmt = wb.addNumberFormat("#,##0.00");
    Xf date = boxed;
    date.numFmt = wb.addNumberFormat("dd/mm/yyyy");
    const auto xTitle = wb.addXf(title), xBoxed = wb.addXf(boxed), xAmount = wb.addXf(amount), xDate = wb.addXf(date);
    s.setValue(0, 0, std::string("FORM NO. 16A"));
    s.setXf(0, 0, xTitle);
    s.merge(Range{0, 0, 0, 8});
    s.setValue(1, 0, std::string("[See rule 31(1)(b)] Certificate under section 203 of the Income-tax Act, 1961"));
    s.merge(Range{1, 0, 1, 8});
    const char* labels[] = {"Name and address of the deductor", "Name and address of the deductee", "PAN of the deductor",
                            "TAN of the deductor", "PAN of the deductee", "Period", "Assessment year"};
    for (int k = 0; k < 7; ++k) {
        s.setValue(3 + k, 0, std::string(labels[k]));
        s.merge(Range{3 + k, 0, 3 + k, 3});
        s.setValue(3 + k, 4, std::string("value ") + std::to_string(k));
        s.merge(Range{3 + k, 4, 3 + k, 8});
        for (int c = 0; c <= 8; ++c)
            s.setXf(3 + k, c, xBoxed);
    }
    for (int r = 0; r < 20; ++r) {
        const int row = 12 + r;
        s.setValue(row, 0, static_cast<double>(r + 1));
        s.setValue(row, 1, 12500.0 + r * 10);
        s.setValue(row, 2, 125.0 + r);
        s.setValue(row, 3, 0.0);
        s.setValue(row, 4, 125.0 + r);
        s.setValue(row, 5, std::string("0510032"));
        s.setValue(row, 6, 45200.0 + r);
        s.setValue(row, 7, std::string("0000") + std::to_string(r));
        for (int c = 0; c <= 8; ++c)
            s.setXf(row, c, c == 6 ? xDate : (c >= 1 && c <= 4) ? xAmount : xBoxed);
    }
    s.setValue(33, 0, std::string("Rupees Twelve Thousand Five Hundred Only"));
    s.merge(Range{33, 0, 33, 8});
    s.setColumnWidth(0, 0, 6);
    s.setColumnWidth(1, 4, 13);
    s.setColumnWidth(5, 8, 11);
    s.printArea() = {Range{0, 0, 40, 8}};
    s.pageSetup().fitToPage = true;
    wb.addSheet("AcknDetails").setValue(0, 0, std::string("Q1"));
    wb.setActiveSheet(wb.indexOf("Form 16A"));
    return wb;
}

bool writePlain(const fs::path& p, const std::vector<std::uint8_t>& bytes, bool sync)
{
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
#ifndef _WIN32
    if (sync)
        ok = fsync(fileno(f)) == 0 && ok;
#else
    (void)sync;
#endif
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        Workbook source = argc > 1 && std::string(argv[1]) != "-" ? Workbook::open(argv[1]) : buildTemplate();
        const int count = argc > 2 ? std::stoi(argv[2]) : 1000;
        const fs::path out = fs::temp_directory_path() / "cw-bench-xls-write";
        fs::remove_all(out);
        fs::create_directories(out);

        // Serializing one certificate workbook, in isolation.
        const int sheet = source.activeSheet();
        Workbook one = source.moveSheetsToNewWorkbook({source.copySheet(sheet, sheet, true)});
        const int reps = 2000;
        auto t0 = Clock::now();
        std::size_t streamBytes = 0;
        for (int i = 0; i < reps; ++i)
            streamBytes = XlsWriter(one).workbookStream().size();
        const double streamMs = msSince(t0) / reps;
        t0 = Clock::now();
        std::vector<std::uint8_t> fileBytes;
        for (int i = 0; i < reps; ++i)
            fileBytes = one.toBytes();
        const double fileMs = msSince(t0) / reps;

        // The generator's loop: copy, move to a new workbook, save.
        double copyMoveMs = 0, saveMs = 0;
        std::vector<std::vector<std::uint8_t>> written;
        written.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            t0 = Clock::now();
            const int copy = source.copySheet(sheet, sheet, true);
            Workbook cert = source.moveSheetsToNewWorkbook({copy});
            copyMoveMs += msSince(t0);
            char name[32];
            std::snprintf(name, sizeof name, "%03d.xls", i + 1);
            t0 = Clock::now();
            cert.save(out / name, cw::host::SaveMode::NewFile);
            saveMs += msSince(t0);
            written.push_back(cert.toBytes());
        }

        // The same bytes with plain writes, with and without sync.
        double plainMs = 0, plainSyncMs = 0;
        for (int i = 0; i < count; ++i) {
            const fs::path p = out / ("plain" + std::to_string(i) + ".bin");
            t0 = Clock::now();
            if (!writePlain(p, written[static_cast<std::size_t>(i)], false))
                throw std::runtime_error("plain write failed: " + p.string());
            plainMs += msSince(t0);
        }
        for (int i = 0; i < count; ++i) {
            const fs::path p = out / ("synced" + std::to_string(i) + ".bin");
            t0 = Clock::now();
            if (!writePlain(p, written[static_cast<std::size_t>(i)], true))
                throw std::runtime_error("plain write failed: " + p.string());
            plainSyncMs += msSince(t0);
        }

        std::printf("certificate workbook: %zu-byte stream, %zu-byte file\n", streamBytes, fileBytes.size());
        std::printf("serialize (BIFF8 stream only):     %8.4f ms per workbook\n", streamMs);
        std::printf("serialize (with OLE2 container):   %8.4f ms per workbook\n", fileMs);
        std::printf("%d certificates:\n", count);
        std::printf("  copy sheet + move to new book:   %8.4f ms per file\n", copyMoveMs / count);
        std::printf("  save as a new file (certificates): %7.4f ms per file\n", saveMs / count);
        std::printf("  plain write of the same bytes:   %8.4f ms per file\n", plainMs / count);
        std::printf("  plain write + sync:              %8.4f ms per file\n", plainSyncMs / count);
        fs::remove_all(out);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_xls_write: %s\n", e.what());
        return 1;
    }
}
