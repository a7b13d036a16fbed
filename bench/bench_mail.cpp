// E-mail end to end: N deductees' certificates generated from a synthetic statement, then made
// into PDFs and sent, one message each, to the test's mail server on 127.0.0.1 over STARTTLS
// with AUTH, as `certwright mail` sends them. Reports messages per second and peak memory.
//   bench_mail [N]     (N default 1000)
#include "SyntheticStatement.h"
#include "TestSupport.h"
#include "app/GenerateCommand.h"
#include "mail/MailRun.h"

#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long peakKb()
{
#ifndef _WIN32
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return -1;
#endif
}

// A PAN of the PAN form for deductee i.
std::string panOf(int i)
{
    char pan[11];
    std::snprintf(pan, sizeof pan, "AB%cPZ%04dK", 'A' + (i / 10000) % 26, i % 10000);
    return pan;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    cw::test::TempFolder work("bench-mail");
    const fs::path folder = work / "app";
    fs::create_directories(folder);
    fs::copy_file(fs::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls", folder / "TDS16A.xls");
    cw::test::Statement statement;
    std::string book = "PAN,Name,E-mail\n";
    for (int i = 0; i < n; ++i) {
        if (i % 50 == 0)
            statement.challans.emplace_back();
        cw::test::Deductee d;
        d.name = "DEDUCTEE NUMBER " + std::to_string(i);
        d.pan = panOf(i);
        d.amount = std::to_string(10000 + i);
        statement.challans.back().deductees.push_back(d);
        book += d.pan + ",," + "d" + std::to_string(i) + "@example.test\n";
    }
    cw::test::writeBytes(folder / "TDS.txt", statement.text());
    cw::test::writeBytes(folder / cw::mail::kAddressBookCsv, book);
    cw::test::RecordingReporter reporter;
    if (cw::app::GenerateCommand(folder, reporter).run() != cw::app::GenerateOutcome::Succeeded) {
        std::cerr << "bench_mail: generate failed: " << reporter.lastPrompt() << "\n";
        return 1;
    }

    fs::create_directories(work / "smtp");
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start("/usr/bin/python3", {QString::fromStdString((fs::path(CERTWRIGHT_SOURCE_DIR) / "tests/mail/smtp_server.py").string()),
                                      QString::fromStdString((work / "smtp").string()), "--user", "bench", "--password", "bench"});
    while (server.waitForReadyRead(30000) && !server.canReadLine()) {
    }
    const QString line = QString::fromUtf8(server.readLine()).trimmed();
    if (!line.startsWith("PORT ")) {
        std::cerr << "bench_mail: the mail server did not start (python3-aiosmtpd?)\n";
        return 1;
    }

    cw::mail::MailOptions options;
    options.folder = folder;
    options.smtp = {"smtp://127.0.0.1:" + line.mid(5).toStdString(), "bench", "bench", "office@example.test",
                    work / "smtp" / "server.pem"};
    const long before = peakKb();
    const auto start = Clock::now();
    cw::mail::MailPlan plan = cw::mail::planMail(options);
    std::ostringstream out;
    const int status = cw::mail::sendMail(plan, options, out);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    server.closeWriteChannel();
    server.waitForFinished(30000);
    if (status != 0) {
        std::cerr << out.str() << "bench_mail: not every message was sent\n";
        return 1;
    }
    std::cout << n << " deductees, one message each, PDFs made for them: " << seconds << " s, " << n / seconds
              << " messages/s; peak memory " << peakKb() / 1024 << " MB (" << before / 1024 << " MB before sending)\n";
    return 0;
}
