// Certificates mailed to a real server the test starts on 127.0.0.1 (STARTTLS with its own
// certificate, AUTH required), every message it received read back: who got it, what was
// attached, what the PDFs show, and what the send log says after faults and reruns.
#include "CertificateRun.h"
#include "MailTestSupport.h"
#include "PrintTestSupport.h"
#include "core/CertificateLayout.h"
#include "mail/MailRun.h"
#include "mail/SendLog.h"

#include <QProcess>
#include <QRegularExpression>

#include <set>
#include <sstream>

namespace cw::test {
namespace {

struct MailFixture : ::testing::Test {
    CertificateRun run{fourDeductees()};
    TempFolder serverDir{"smtp"};

    void SetUp() override
    {
        printing::test::ensureGuiApplication();
        ASSERT_EQ(run.generate(), app::GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
        writeBytes(run.app / mail::kAddressBookCsv, bookCsv());
    }
    mail::MailOptions options(const SmtpServer& server, const std::string& password = kPassword) const
    {
        mail::MailOptions o;
        o.folder = run.app;
        o.smtp = {server.url, kUser, password, "office@example.test", serverDir / "server.pem"};
        o.backoffMs = 20;
        return o;
    }
    // Plans and sends; returns the exit status, the lines written in `out`.
    int send(const SmtpServer& server, std::string& out, bool resend = false) const
    {
        mail::MailOptions o = options(server);
        o.resend = resend;
        mail::MailPlan plan = mail::planMail(o);
        std::ostringstream text;
        const int status = mail::sendMail(plan, o, text);
        out = text.str();
        return status;
    }
    // Starts the command on the folder, its settings in `config`.
    void start(QProcess& certwright, const fs::path& config, const std::vector<std::string>& args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        certwright.setProcessEnvironment(env);
        certwright.setProcessChannelMode(QProcess::MergedChannels);
        QStringList list{"mail", "--folder", QString::fromStdString(run.app.string())};
        for (const std::string& a : args)
            list << QString::fromStdString(a);
        certwright.start(QString::fromStdString((fs::path(CERTWRIGHT_APP_DIR) / "certwright").string()), list);
    }
    std::multiset<std::string> sentStatuses() const
    {
        std::multiset<std::string> s;
        for (const mail::LoggedMessage& m : mail::SendLog(run.app / mail::kSendLogFile).messages())
            s.insert(m.pan + " " + m.status);
        return s;
    }
};

// The PAN the PDF shows, by its form in the PDF's text; each PDF must show exactly one.
std::string panShownIn(const fs::path& pdf)
{
    static const QRegularExpression form("\\b[A-Z]{5}[0-9]{4}[A-Z]\\b");
    std::set<std::string> pans;
    for (auto it = form.globalMatch(printing::test::pdfText(pdf)); it.hasNext();)
        pans.insert(it.next().captured().toStdString());
    pans.erase("AAACA1234Z"); // the deductor's own
    return pans.size() == 1 ? *pans.begin() : "several or none";
}

// The certificate file of a PAN, as the register lists it.
std::string fileOf(const CertificateRun& run, const std::string& pan)
{
    for (const mail::Deductee& d : mail::readRegister(run.output()).deductees)
        if (d.pan == pan)
            return d.certificates.at(0).file + ".xls";
    return "none";
}

TEST_F(MailFixture, EachDeducteeGetsItsOwnCertificatesOnceAndAgainWhenChanged)
{
    SmtpServer server(serverDir.path());
    std::string out;
    ASSERT_EQ(send(server, out), 0) << out;
    std::vector<Received> got = receivedIn(serverDir.path());
    ASSERT_EQ(got.size(), 4u) << out;
    std::map<std::string, std::string> names;
    for (const mail::Deductee& d : mail::readRegister(run.output()).deductees)
        names[d.pan] = d.name;
    std::set<std::string> attached;
    for (const Received& m : got) {
        ASSERT_FALSE(m.attachments.empty());
        const std::string pan = panShownIn(m.attachments.begin()->second);
        SCOPED_TRACE(pan);
        ASSERT_TRUE(kBook.count(pan));
        EXPECT_EQ(m.envelope, (std::vector<std::string>{"office@example.test", kBook.at(pan)}));
        EXPECT_NE(m.headers.find("To: " + names.at(pan) + " <" + kBook.at(pan) + ">\n"), std::string::npos) << m.headers;
        EXPECT_NE(m.headers.find("Subject: Form 16A for F.Y. 2007-08 Q1 from ACME TRADERS\n"), std::string::npos) << m.headers;
        EXPECT_EQ(m.attachments.size(), pan == "AAAPA1234A" ? 2u : 1u);
        for (const auto& [name, file] : m.attachments) {
            EXPECT_EQ(panShownIn(file), pan) << name;
            const std::string number = name.substr(9, 3); // "Form 16A 004.pdf"
            EXPECT_TRUE(printing::test::pdfText(file).contains(QString::fromStdString("Certificate No. " + number + "/")))
                << name;
            attached.insert(number);
        }
    }
    EXPECT_EQ(attached.size(), run.files().size()); // every certificate once

    // A second run sends nothing; a certificate made again with other bytes is sent again, saying
    // it replaces the earlier one; --resend sends every one again, replacing none.
    ASSERT_EQ(send(server, out), 0);
    EXPECT_EQ(receivedIn(serverDir.path()).size(), 4u);
    EXPECT_NE(out.find("already sent on "), std::string::npos) << out;
    const std::string pan = "AAAPB1234B", file = fileOf(run, pan);
    Workbook changed = run.certificate(file);
    changed.sheet(0).setValue(core::layout::form::kDeductorName.a1, std::string("ACME TRADERS (CORRECTED)"));
    changed.save(run.output() / file);
    ASSERT_EQ(send(server, out), 0) << out;
    got = receivedIn(serverDir.path());
    ASSERT_EQ(got.size(), 5u) << out;
    EXPECT_EQ(got[4].envelope.at(1), kBook.at(pan));
    EXPECT_EQ(got[4].attachments.count("Form 16A " + file.substr(0, 3) + ".pdf"), 1u);
    EXPECT_NE(got[4].body.find("replaces the one sent earlier"), std::string::npos) << got[4].body;
    ASSERT_EQ(send(server, out, true), 0) << out;
    got = receivedIn(serverDir.path());
    ASSERT_EQ(got.size(), 9u) << out;
    for (std::size_t i = 5; i < got.size(); ++i)
        EXPECT_EQ(got[i].body.find("replaces"), std::string::npos) << got[i].body;
}

// A recipient the server refuses and a certificate that shows another PAN than the register's
// are each reported, and the others sent; the server going away stops the run, and the next
// one sends what is left, every deductee ending with exactly one message.
TEST_F(MailFixture, FaultsAreReportedAndRerunsSendEachDeducteeOnce)
{
    {
        SmtpServer server(serverDir.path(), {"--refuse", kBook.at("AAAPC1234C")});
        const std::string file = fileOf(run, "AAAPD1234D");
        const std::string kept = readBytes(run.output() / file);
        Workbook wrong = run.certificate(file); // now showing BALAJI's PAN
        wrong.sheet(0).setValue(core::layout::form::kDeducteePan.a1, std::string("AAAPB1234B"));
        wrong.save(run.output() / file);
        std::string out;
        EXPECT_EQ(send(server, out), 1);
        EXPECT_NE(out.find("AAAPC1234C  CHETAN RAO  refused to chetan@example.test  "), std::string::npos) << out;
        EXPECT_NE(out.find(": 550 5.1.1 <chetan@example.test>: no such mailbox here"), std::string::npos) << out;
        EXPECT_NE(out.find(file + " shows PAN \"AAAPB1234B\", the register AAAPD1234D"), std::string::npos) << out;
        EXPECT_EQ(receivedIn(serverDir.path()).size(), 2u);
        EXPECT_EQ(sentStatuses(), (std::multiset<std::string>{"AAAPA1234A sent", "AAAPB1234B sent", "AAAPC1234C refused"}));
        writeBytes(run.output() / file, kept);
    }
    fs::remove_all(serverDir / "mail");
    fs::remove(run.app / mail::kSendLogFile);
    std::string out;
    {
        SmtpServer server(serverDir.path(), {"--stop-after", "3"});
        EXPECT_EQ(send(server, out), 1) << out;
        EXPECT_TRUE(server.gone());
    }
    EXPECT_EQ(receivedIn(serverDir.path()).size(), 3u) << out;
    SmtpServer server(serverDir.path());
    EXPECT_EQ(send(server, out), 0) << out;
    std::multiset<std::string> recipients;
    for (const Received& m : receivedIn(serverDir.path()))
        recipients.insert(m.envelope.at(1));
    EXPECT_EQ(recipients.size(), 4u) << out;
    for (const auto& [pan, address] : kBook)
        EXPECT_EQ(recipients.count(address), 1u) << address;
}

// The command's exit status: 2, before anything is sent, for what keeps it from sending; the
// server's settings remembered for the next run, the password never.
TEST_F(MailFixture, CommandStopsBeforeSendingAndRemembersAllButThePassword)
{
    SmtpServer server(serverDir.path());
    TempFolder home("mail-home");
    writeBytes(home / "right", std::string(kPassword) + "\n");
    writeBytes(home / "wrong", "not it\n");
    const std::string ca = (serverDir / "server.pem").string(), csv = (home / "log.csv").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::size_t received;
        const char* says;
    } runs[] = {
        {{"--dry-run"}, 0, 0, "AAAPA1234A  ASHA TRADERS  asha@example.test  001/2007-08, 002/2007-08"},
        {{"--smtp", "ftp://127.0.0.1", "--from", "office@example.test"}, 2, 0, "\"ftp://127.0.0.1\" is not a mail server"},
        {{"--smtp", "smtp://127.0.0.1:1", "--user", kUser, "--password-file", home / "right", "--from", "office@example.test",
          "--ca-file", ca}, 2, 0, "no connection to smtp://127.0.0.1:1: Couldn't connect to server"},
        {{"--smtp", server.url, "--user", ""}, 2, 0, "530 5.7.0 Authentication required"},
        {{"--user", kUser}, 2, 0, "is read from a terminal or from --password-file FILE"},
        {{"--password-file", home / "wrong"}, 2, 0, "refused the login of \"office\": Login denied ("},
        {{"--password-file", home / "right"}, 0, 4, "4 message(s) sent"},
        {{"--log", "--csv", csv}, 0, 4, "5 message(s) written to"}, // the sender's refusal is one
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args.front());
        QProcess certwright;
        start(certwright, home / "config", r.args);
        ASSERT_TRUE(certwright.waitForFinished(120000));
        const std::string out = certwright.readAll().toStdString();
        EXPECT_EQ(certwright.exitCode(), r.status) << out;
        EXPECT_NE(out.find(r.says), std::string::npos) << out;
        EXPECT_EQ(receivedIn(serverDir.path()).size(), r.received);
        if (r.status == 2 && fs::exists(run.app / mail::kSendLogFile)) {
            for (const std::string& s : sentStatuses())
                EXPECT_EQ(s.find(" sent"), std::string::npos) << s;
        }
        if (r.args.front() == "--dry-run") {
            EXPECT_FALSE(fs::exists(run.app / mail::kSendLogFile)); // a dry run writes nothing
        }
    }
    const std::string settings = readBytes(home / "config/Certwright/Certwright.conf");
    EXPECT_NE(settings.find(server.url), std::string::npos) << settings;
    EXPECT_EQ(settings.find(kPassword), std::string::npos) << settings;
    const std::string log = readBytes(csv);
    // A row per message and certificate: each certificate sent once.
    std::size_t sent = 0;
    for (std::size_t at = log.find(",sent,250 "); at != std::string::npos; at = log.find(",sent,250 ", at + 1))
        ++sent;
    EXPECT_EQ(sent, run.files().size()) << log;
    EXPECT_NE(log.find(",failed,530 5.7.0 Authentication required,"), std::string::npos) << log;
}

// Killed while the server has a message but has not answered: the next run sends every
// message not logged as sent, the one in flight again, and the log marks it.
TEST_F(MailFixture, AKilledRunLosesNoneAndMarksTheOneThatMayArriveTwice)
{
    TempFolder home("mail-home");
    writeBytes(home / "right", std::string(kPassword) + "\n");
    {
        SmtpServer server(serverDir.path(), {"--hang-after", "2"});
        QProcess certwright;
        start(certwright, home / "config", {"--smtp", server.url, "--user", kUser, "--password-file", home / "right",
                                            "--from", "office@example.test", "--ca-file", serverDir / "server.pem"});
        for (int i = 0; i < 600 && receivedIn(serverDir.path()).size() < 3; ++i)
            certwright.waitForFinished(100);
        ASSERT_EQ(receivedIn(serverDir.path()).size(), 3u) << certwright.readAll().toStdString();
        certwright.kill();
        certwright.waitForFinished();
    }
    EXPECT_EQ(sentStatuses().count(std::string("AAAPC1234C ") + mail::status::kSending), 1u);
    SmtpServer server(serverDir.path());
    std::string out;
    EXPECT_EQ(send(server, out), 0) << out;
    std::multiset<std::string> recipients;
    for (const Received& m : receivedIn(serverDir.path()))
        recipients.insert(m.envelope.at(1));
    for (const auto& [pan, address] : kBook)
        EXPECT_EQ(recipients.count(address), pan == "AAAPC1234C" ? 2u : 1u) << address;
    const std::vector<mail::LoggedMessage> log = mail::SendLog(run.app / mail::kSendLogFile).messages();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2].status, mail::status::kUnsure);
    EXPECT_EQ(log[3].pan, "AAAPC1234C"); // sent again first, in the register's order
    EXPECT_EQ(log[3].status, mail::status::kSent);
    EXPECT_NE(log[3].note.find("may arrive twice"), std::string::npos) << log[3].note;
    EXPECT_EQ(log[4].note, "");
}

// Protected PDFs open only with the PAN of the deductee they went to; a deductee with no address
// is reported after the others were sent, and the run says it is not done.
TEST_F(MailFixture, ProtectedAttachmentsOpenWithTheirDeducteesPanAndNoAddressIsReported)
{
    std::string csv = "PAN;E-mail\n";
    for (const auto& [pan, address] : kBook)
        if (pan != "AAAPD1234D")
            csv += pan + ";" + address + "\n";
    writeBytes(run.app / mail::kAddressBookCsv, csv);
    SmtpServer server(serverDir.path());
    mail::MailOptions o = options(server);
    o.protect = true;
    mail::MailPlan plan = mail::planMail(o);
    std::ostringstream out;
    EXPECT_EQ(mail::sendMail(plan, o, out), 1);
    EXPECT_NE(out.str().find("AAAPD1234D  DEEPA NAIR  no address in Deductee addresses.csv"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("3 message(s) sent, 0 deductee(s) already sent, 1 not sent"), std::string::npos) << out.str();
    const std::vector<Received> got = receivedIn(serverDir.path());
    ASSERT_EQ(got.size(), 3u);
    for (const Received& m : got) {
        const std::string pan = std::find_if(kBook.begin(), kBook.end(), [&](const auto& e) { return e.second == m.envelope.at(1); })->first;
        for (const auto& [name, file] : m.attachments) {
            EXPECT_EQ(printing::test::pdfPageCount(file), -1) << name;
            EXPECT_GT(printing::test::pdfPageCount(file, pan), 0) << name;
            EXPECT_EQ(printing::test::pdfPageCount(file, "AAAPD1234D"), -1) << name;
        }
    }
}

} // namespace
} // namespace cw::test
