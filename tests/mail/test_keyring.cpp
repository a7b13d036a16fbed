// The desktop's keyring, as "Remember password" keeps the mail server's password, and the
// command reading it from there; run inside with-keyring, which starts a Secret Service.
#include "MailTestSupport.h"
#include "PrintTestSupport.h"
#include "mail/MailSettings.h"
#include "mail/SendLog.h"

#include <QProcess>

namespace cw::test {
namespace {

TEST(Keyring, KeepsReadsAndForgetsAPasswordByServerAndUser)
{
    printing::test::ensureGuiApplication();
    const auto keyring = mail::systemKeyring();
    const std::string account = mail::keyringAccount("smtp://127.0.0.1", "office"), other = mail::keyringAccount("smtps://127.0.0.1", "office");
    EXPECT_EQ(account, "office at smtp://127.0.0.1:587");
    keyring->remove(account);
    EXPECT_EQ(keyring->read(account), std::nullopt);
    keyring->write(account, "pässwörd with spaces");
    keyring->write(other, "another");
    EXPECT_EQ(keyring->read(account), "pässwörd with spaces");
    keyring->remove(account);
    EXPECT_EQ(keyring->read(account), std::nullopt);
    EXPECT_EQ(keyring->read(other), "another");
}

// Started with no password file and no terminal: the remembered password logs in; with no
// keyring to be reached, the command says so and asks for a password file, sending nothing.
TEST(Keyring, TheCommandLogsInWithTheRememberedPassword)
{
    printing::test::ensureGuiApplication();
    CertificateRun run{fourDeductees()};
    ASSERT_EQ(run.generate(), app::GenerateOutcome::Succeeded);
    writeBytes(run.app / mail::kAddressBookCsv, bookCsv());
    TempFolder serverDir("keyring-smtp");
    SmtpServer server(serverDir.path());
    mail::MailSettings settings;
    settings.url = server.url;
    settings.user = kUser;
    settings.from = "office@example.test";
    settings.caFile = serverDir / "server.pem";
    settings.rememberPassword = true;
    mail::saveMailSettings(settings);
    mail::systemKeyring()->write(mail::keyringAccount(server.url, kUser), kPassword);

    for (const bool reachable : {false, true}) {
        QProcess certwright;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!reachable)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QString::fromStdString((serverDir / "no-bus").string()));
        certwright.setProcessEnvironment(env);
        certwright.setProcessChannelMode(QProcess::MergedChannels);
        certwright.start(QString::fromStdString((fs::path(CERTWRIGHT_APP_DIR) / "certwright").string()),
                         {"mail", "--folder", QString::fromStdString(run.app.string())});
        certwright.closeWriteChannel();
        ASSERT_TRUE(certwright.waitForFinished(120000));
        const std::string out = certwright.readAll().toStdString();
        EXPECT_EQ(certwright.exitCode(), reachable ? 0 : 2) << out;
        EXPECT_NE(out.find(reachable ? "4 message(s) sent" : "keyring could not be used"), std::string::npos) << out;
        EXPECT_EQ(receivedIn(serverDir.path()).size(), reachable ? 4u : 0u) << out;
        EXPECT_EQ(out.find(kPassword), std::string::npos) << out;
    }
}

} // namespace
} // namespace cw::test
