// Rendering certificates to PDF: 1,000 certificates read from .xls and written as PDF files,
// time per certificate, beside LibreOffice converting the same certificates.
//   bench_pdf [COUNT]     (default 1000)
#include "printing/CertificateFolder.h"
#include "PrintTestSupport.h"
#include "host/Workbook.h"
#include "printing/WorkbookPrinter.h"

#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// LibreOffice converting `files` in one run; seconds, or -1 when it is not there.
double libreOffice(const fs::path& profile, const fs::path& out, const std::vector<fs::path>& files)
{
    QStringList args = {"-env:UserInstallation=file://" + QString::fromStdString(profile.string()), "--headless",
                        "--convert-to", "pdf", "--outdir", QString::fromStdString(out.string())};
    for (const fs::path& f : files)
        args << QString::fromStdString(f.string());
    QProcess p;
    auto start = Clock::now();
    p.start("soffice", args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return seconds(Clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    const fs::path work = fs::temp_directory_path() / ("certwright-bench-pdf-" + std::to_string(app.applicationPid()));
    fs::remove_all(work);
    const fs::path form16a = cw::printing::test::generateSampleCertificates(work / "app");
    const std::vector<std::string> names = cw::printing::printListNames(form16a);
    const fs::path out = work / "pdf";
    fs::create_directories(out);

    // Each certificate is read from its .xls and written to a PDF file of its own, as
    // `certwright pdf` does; the sample's five certificates (one with an annexure) in turn.
    int pages = 0;
    const std::clock_t cpuStart = std::clock();
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string& name = names[static_cast<std::size_t>(i) % names.size()];
        cw::host::Workbook book = cw::host::Workbook::open(form16a / (name + ".xls"));
        pages += cw::printing::writePdf(book, out / (std::to_string(i) + ".pdf"));
    }
    const double ours = seconds(Clock::now() - start);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::cout << "certwright: " << count << " certificates (" << pages << " pages) in " << ours << " s: "
              << 1000.0 * ours / count << " ms per certificate (" << 1000.0 * cpu / count << " ms of CPU)\n";

    // LibreOffice: one certificate (a program start each time, as for a single file), then all
    // five sample certificates in one run.
    const fs::path profile = work / "lo-profile", loOut = work / "lo";
    fs::create_directories(loOut);
    libreOffice(profile, loOut, {form16a / "001.xls"}); // first run sets up the profile
    const double one = libreOffice(profile, loOut, {form16a / "004.xls"});
    std::vector<fs::path> all;
    for (const std::string& n : names)
        all.push_back(form16a / (n + ".xls"));
    const double five = libreOffice(profile, loOut, all);
    if (one < 0 || five < 0) {
        std::cout << "LibreOffice: not available (soffice)\n";
    } else {
        std::cout << "LibreOffice: one certificate in " << one << " s; " << all.size() << " certificates in one run in "
                  << five << " s: " << 1000.0 * five / static_cast<double>(all.size()) << " ms per certificate\n";
        std::cout << "ratio: LibreOffice's single certificate takes " << one / (ours / count) << " times ours\n";
    }
    fs::remove_all(work);
    return 0;
}
