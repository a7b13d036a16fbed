// The signing steps alone, on one thread, over one certificate's PDF (a sample certificate
// written by writeCertificatePdfs): protecting it (AES-256), signing it, signing the protected
// file opened by its password (as a file made elsewhere is) and by its file key, and both at
// once as `certwright pdf --protect --sign` does; and the password hashes of protecting alone,
// one file's and a batch of 16 files' (as each thread splits its batch), per file. What each
// adds to a certificate, apart from laying it out.
//   bench_sign [COUNT]     (COUNT default 500)
#include "PrintTestSupport.h"
#include "printing/CertificateFolder.h"
#include "printing/CertificatePdfs.h"
#include "printing/PdfSigner.h"
#include "printing/PdfTools.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForStarted(10000) && p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// `count` steps of `filesPerStep` files each, timed per file.
void time(const char* what, std::size_t count, const std::function<void()>& step, std::size_t filesPerStep = 1)
{
    step(); // first use: NSS and qpdf set themselves up
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    for (std::size_t i = 0; i < count; ++i)
        step();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count() / static_cast<double>(filesPerStep);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC / static_cast<double>(filesPerStep);
    std::cout << std::left << std::setw(34) << what << std::right << std::fixed << std::setprecision(3) << std::setw(8)
              << 1000.0 * wall / static_cast<double>(count) << " ms wall, " << std::setw(7)
              << 1000.0 * cpu / static_cast<double>(count) << " ms CPU each\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::size_t count = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 500;

    const fs::path work = cw::printing::test::freshFolder("bench-sign");
    const fs::path form16a = cw::printing::test::generateSampleCertificates(work / "app");
    const std::string name = cw::printing::printListNames(form16a).front();
    cw::printing::writeCertificatePdfs(form16a, {name});
    QFile in(QString::fromStdString((form16a / (name + ".pdf")).string()));
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray pdf = in.readAll();
    const QString key = QString::fromStdString((work / "key.pem").string()), cert = QString::fromStdString((work / "cert.pem").string());
    if (!run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "30", "-subj",
                         "/CN=Bench Signer"}) ||
        !run("openssl", {"pkcs12", "-export", "-in", cert, "-inkey", key, "-out", QString::fromStdString((work / "s.p12").string()),
                         "-passout", "pass:bench"})) {
        std::cout << "openssl is needed to make a key\n";
        return 0;
    }
    const auto signer = cw::printing::PdfSigner::fromPkcs12(work / "s.p12", "bench");
    const std::string pan = "ABCDE1234F";
    const cw::printing::SignaturePlace place{0, QRectF(0.6, 0.8, 0.3, 0.05), 7, "Bench"};
    std::cout << count << " times over a PDF of " << pdf.size() << " bytes, RSA-2048\n";

    time("protect", count, [&] { cw::printing::protectPdf(pdf, pan); });
    time("sign", count, [&] { signer->sign(pdf, place); });
    const cw::printing::ProtectedPdf protectedPdf = cw::printing::protectPdf(pdf, pan);
    time("sign, opened by password", count, [&] { signer->sign(protectedPdf.bytes, place, pan); });
    time("sign, opened by its key", count, [&] { signer->sign(protectedPdf, place); });
    time("protect and sign", count, [&] { signer->sign(cw::printing::protectPdf(pdf, pan), place); });
    time("password hashes, one file", count, [&] { cw::printing::protectionKeys({pan}); });
    const std::vector<std::string> batch(16, pan);
    time("password hashes, 16 files at once", (count + 15) / 16, [&] { cw::printing::protectionKeys(batch); }, batch.size());
    return 0;
}
