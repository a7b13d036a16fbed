// Certificates to PDF: COUNT certificates (copies of the sample statement's five, one with an
// annexure) read from .xls and written as PDF files by writeCertificatePdfs, as `certwright pdf`
// does: on one thread, on every core, signed with a .p12 (made with openssl), and merged into
// one file. With --libreoffice, LibreOffice converting the same certificates too.
//   bench_pdf [COUNT] [--libreoffice]     (COUNT default 1000)
#include "PrintTestSupport.h"
#include "printing/CertificateFolder.h"
#include "printing/CertificatePdfs.h"
#include "printing/PdfSigner.h"

#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool run(const QString& program, const QStringList& args, int timeoutMs = 600000)
{
    QProcess p;
    p.start(program, args);
    return p.waitForStarted(10000) && p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0;
}

struct Timing {
    double wall = 0, cpu = 0;
    int pages = 0;
};

// One run over the folder; PDFs removed afterwards so each run writes fresh files.
Timing timeRun(const fs::path& form16a, const std::vector<std::string>& names, const cw::printing::PdfRunOptions& options)
{
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const cw::printing::PdfRunResult r = cw::printing::writeCertificatePdfs(form16a, names, options);
    Timing t{seconds(Clock::now() - start), static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC, r.pages};
    if (!r.skipped.empty())
        std::cerr << cw::printing::skippedPrompt(r.skipped, "written as PDF") << "\n";
    for (const fs::path& f : r.files)
        fs::remove(f);
    return t;
}

void report(const char* what, const Timing& t, std::size_t count)
{
    std::cout << std::left << std::setw(34) << what << std::right << std::fixed << std::setprecision(2) << std::setw(8)
              << 1000.0 * t.wall / static_cast<double>(count) << " ms wall, " << std::setw(6)
              << 1000.0 * t.cpu / static_cast<double>(count) << " ms CPU per certificate (" << t.pages << " pages in "
              << t.wall << " s)\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::size_t count = 1000;
    bool libreOffice = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--libreoffice") == 0)
            libreOffice = true;
        else
            count = static_cast<std::size_t>(std::max(1, std::atoi(argv[i])));
    }

    const fs::path work = cw::printing::test::freshFolder("bench-pdf");
    const fs::path form16a = cw::printing::test::generateSampleCertificates(work / "app");
    const std::vector<std::string> samples = cw::printing::printListNames(form16a);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "9%05zu", i + 1); // digits only, after the samples
        fs::copy_file(form16a / (samples[i % samples.size()] + ".xls"), form16a / (std::string(name) + ".xls"));
        names.push_back(name);
    }
    std::cout << count << " certificates, " << std::thread::hardware_concurrency() << " cores\n";

    cw::printing::PdfRunOptions one;
    one.threads = 1;
    const Timing single = timeRun(form16a, names, one);
    report("one thread", single, count);
    const Timing all = timeRun(form16a, names, {});
    report("a thread per core", all, count);
    std::cout << "  " << std::setprecision(2) << single.wall / all.wall << " x the one-thread throughput\n";

    cw::printing::PdfRunOptions merged;
    merged.mergedFile = work / "merged.pdf";
    report("merged into one file, every core", timeRun(form16a, names, merged), count);

    if (run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", QString::fromStdString((work / "key.pem").string()),
                        "-out", QString::fromStdString((work / "cert.pem").string()), "-days", "30", "-subj", "/CN=Bench Signer"}) &&
        run("openssl", {"pkcs12", "-export", "-in", QString::fromStdString((work / "cert.pem").string()), "-inkey",
                        QString::fromStdString((work / "key.pem").string()), "-out", QString::fromStdString((work / "s.p12").string()),
                        "-passout", "pass:bench"})) {
        const auto signer = cw::printing::PdfSigner::fromPkcs12(work / "s.p12", "bench");
        cw::printing::PdfRunOptions signedRun;
        signedRun.signer = signer.get();
        const Timing s = timeRun(form16a, names, signedRun);
        report("signed (.p12), every core", s, count);
        std::cout << "  signing adds " << std::setprecision(2) << 1000.0 * (s.wall - all.wall) / static_cast<double>(count)
                  << " ms wall per certificate\n";
        signedRun.protect = true;
        report("protected and signed, every core", timeRun(form16a, names, signedRun), count);
    } else {
        std::cout << "signing: skipped (openssl is needed to make a key)\n";
    }

    if (libreOffice) {
        QStringList args = {"-env:UserInstallation=file://" + QString::fromStdString((work / "lo").string()),
                            "--headless", "--convert-to", "pdf", "--outdir", QString::fromStdString((work / "lo-out").string())};
        for (const std::string& n : samples)
            args << QString::fromStdString((form16a / (n + ".xls")).string());
        run("soffice", args); // sets up the profile
        const auto start = Clock::now();
        if (run("soffice", args))
            std::cout << "LibreOffice, " << samples.size() << " certificates in one run: "
                      << 1000.0 * seconds(Clock::now() - start) / static_cast<double>(samples.size()) << " ms per certificate\n";
    }
    return 0;
}
