// "E-mail Certificates" against a real mail server on 127.0.0.1: the settings kept in the user's
// settings and the password only in the keyring, every deductee's outcome shown as it is sent,
// Cancel, a refused password asked for again, the folder locked while the window is open; another
// folder of PDFs made elsewhere listed and sent by their PANs, and signed alone.
#include "MailTestSupport.h"
#include "WindowTests.h"
#include "app/AppFolderLock.h"
#include "app/gui/MainWindow.h"
#include "mail/MailSettings.h"
#include "mail/SendLog.h"
#include "mail/gui/MailSettingsDialog.h"
#include "mail/gui/MailWindow.h"
#include "mail/gui/SignPdfsDialog.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using namespace cw;
using namespace cw::test;

namespace {

// The keyring as the window uses it, in memory: the desktop's own is tested on its own.
struct MemoryKeyring : mail::Keyring {
    std::map<std::string, std::string> kept;
    std::optional<std::string> read(const std::string& account) override
    {
        const auto it = kept.find(account);
        return it == kept.end() ? std::nullopt : std::optional(it->second);
    }
    void write(const std::string& account, const std::string& password) override { kept[account] = password; }
    void remove(const std::string& account) override { kept.erase(account); }
};

std::string cell(const QTableWidget* table, int row, int column) { return table->item(row, column)->text().toStdString(); }

} // namespace

class TestMailWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TempFolder> m_config, m_serverDir;
    std::unique_ptr<CertificateRun> m_run;
    std::unique_ptr<SmtpServer> m_server;
    std::vector<core::Message> m_messages;
    MemoryKeyring m_keyring;

    mail::MailSettings settings(int rate = 0) const
    {
        mail::MailSettings s = mail::loadMailSettings();
        s.url = m_server->url;
        s.user = kUser;
        s.from = "office@example.test";
        s.caFile = m_serverDir->path() / "server.pem";
        s.ratePerMinute = rate;
        s.rememberPassword = true;
        return s;
    }
    // The window once it shows the folder's deductees.
    std::unique_ptr<mail::MailWindow> openWindow()
    {
        auto w = std::make_unique<mail::MailWindow>(m_run->app, m_keyring);
        QSignalSpy shown(w.get(), &mail::MailWindow::planShown);
        if (!shown.wait(60000))
            qFatal("the mail window never showed its deductees");
        return w;
    }
    static bool sendAndWait(mail::MailWindow& w)
    {
        QSignalSpy finished(&w, &mail::MailWindow::sendFinished);
        child<QPushButton>(&w, "sendButton")->click();
        return finished.wait(120000);
    }
    std::vector<std::string> outcomes(const mail::MailWindow& w) const
    {
        const auto* table = child<QTableWidget>(&w, "deducteeTable");
        std::vector<std::string> all;
        for (int row = 0; row < table->rowCount(); ++row)
            all.push_back(cell(table, row, 5));
        return all;
    }

private slots:
    void initTestCase()
    {
        m_config = std::make_unique<TempFolder>("mail-config");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config->path().string()));
        widgets::MessageBox::recordInstead(&m_messages);
        m_run = std::make_unique<CertificateRun>(fourDeductees());
        QCOMPARE(m_run->generate(), app::GenerateOutcome::Succeeded);
        writeBytes(m_run->app / mail::kAddressBookCsv, bookCsv());
    }
    void init()
    {
        m_messages.clear();
        m_server.reset();
        m_serverDir = std::make_unique<TempFolder>("mail-server");
        m_server = std::make_unique<SmtpServer>(m_serverDir->path());
        fs::remove(m_run->app / mail::kSendLogFile);
        m_keyring.kept = {{mail::keyringAccount(m_server->url, kUser), kPassword}};
        mail::saveMailSettings(settings());
    }

    void settingsAreCheckedKeptAndThePasswordGoesOnlyToTheKeyring()
    {
        m_keyring.kept.clear();
        mail::saveMailSettings({});
        mail::MailSettingsDialog dialog(m_keyring, "");
        child<QLineEdit>(&dialog, "serverHost")->setText("127.0.0.1");
        child<QComboBox>(&dialog, "serverSecurity")->setCurrentIndex(1);
        QCOMPARE(child<QSpinBox>(&dialog, "serverPort")->value(), 465); // the usual port follows
        child<QComboBox>(&dialog, "serverSecurity")->setCurrentIndex(0);
        child<QLineEdit>(&dialog, "serverUser")->setText(kUser);
        child<QLineEdit>(&dialog, "serverPassword")->setText(kPassword);
        child<QCheckBox>(&dialog, "rememberPassword")->setChecked(true);
        child<QLineEdit>(&dialog, "senderAddress")->setText("office at example");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(m_messages.size(), std::size_t(1));
        QVERIFY(m_messages[0].prompt.find("\"office at example\" is not an e-mail address") != std::string::npos);
        child<QLineEdit>(&dialog, "senderAddress")->setText("office@example.test");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(mail::loadMailSettings().url, std::string("smtp://127.0.0.1:587"));
        QCOMPARE(m_keyring.kept.at(mail::keyringAccount("smtp://127.0.0.1:587", kUser)), std::string(kPassword));
        const std::string file = readBytes(m_config->path() / "Certwright/Certwright.conf");
        QVERIFY(file.find("127.0.0.1:587") != std::string::npos);
        QVERIFY(file.find(kPassword) == std::string::npos);

        mail::MailSettingsDialog again(m_keyring, "");
        QCOMPARE(child<QLineEdit>(&again, "serverHost")->text(), QString("127.0.0.1"));
        child<QCheckBox>(&again, "rememberPassword")->setChecked(false);
        again.accept();
        QVERIFY(m_keyring.kept.empty()); // forgotten with the tick
    }

    void sendsEachDeducteeOnceAndShowsEachOutcome()
    {
        const auto w = openWindow();
        const auto* table = child<QTableWidget>(w.get(), "deducteeTable");
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(cell(table, 0, 0), std::string("AAAPA1234A"));
        QCOMPARE(cell(table, 0, 2), kBook.at("AAAPA1234A"));
        QCOMPARE(cell(table, 0, 3), std::string("001/2007-08, 002/2007-08"));
        QCOMPARE(outcomes(*w), std::vector<std::string>(4, "to send"));
        QVERIFY(sendAndWait(*w));
        QCOMPARE(receivedIn(m_serverDir->path()).size(), std::size_t(4));
        for (int row = 0; row < 4; ++row) {
            QVERIFY2(cell(table, row, 5).rfind("sent: 250", 0) == 0, cell(table, row, 5).c_str());
            QVERIFY(!cell(table, row, 4).empty()); // last sent
        }
        QVERIFY(child<QLabel>(w.get(), "sendSummary")->text().contains("4 message(s) sent"));
        QVERIFY(m_messages.empty());
        QVERIFY(sendAndWait(*w));
        QCOMPARE(receivedIn(m_serverDir->path()).size(), std::size_t(4));
        for (const std::string& o : outcomes(*w))
            QVERIFY2(o.rfind("already sent on ", 0) == 0, o.c_str());
    }

    void cancelStopsTheRunAndTheNextSendsTheRest()
    {
        mail::saveMailSettings(settings(30)); // two seconds apart: Cancel comes between two messages
        const auto w = openWindow();
        QSignalSpy finished(w.get(), &mail::MailWindow::sendFinished);
        child<QPushButton>(w.get(), "sendButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(child<QProgressBar>(w.get(), "sendProgress")->value() >= 1, 60000);
        QVERIFY(w->busy());
        w->reject(); // Close waits for the run
        child<QPushButton>(w.get(), "cancelSendButton")->click();
        QVERIFY(finished.wait(60000));
        const std::size_t first = receivedIn(m_serverDir->path()).size();
        QVERIFY(first >= 1 && first < 4);
        const std::vector<std::string> after = outcomes(*w);
        QCOMPARE(std::count(after.begin(), after.end(), "not sent"), std::ptrdiff_t(4 - first));
        mail::saveMailSettings(settings());
        QVERIFY(sendAndWait(*w));
        std::multiset<std::string> recipients;
        for (const Received& m : receivedIn(m_serverDir->path()))
            recipients.insert(m.envelope.at(1));
        for (const auto& [pan, address] : kBook)
            QCOMPARE(recipients.count(address), std::size_t(1));
    }

    void aRefusedPasswordSendsNothingAndIsAskedForAgain()
    {
        m_keyring.kept.begin()->second = "not it";
        const auto w = openWindow();
        QVERIFY(sendAndWait(*w));
        QCOMPARE(m_messages.size(), std::size_t(1));
        QVERIFY2(m_messages[0].prompt.find("refused the login of \"office\"") != std::string::npos, m_messages[0].prompt.c_str());
        QCOMPARE(receivedIn(m_serverDir->path()).size(), std::size_t(0));
        for (const mail::LoggedMessage& m : mail::SendLog(m_run->app / mail::kSendLogFile).messages())
            QVERIFY(m.status != mail::status::kSent);
        bool asked = false;
        onNextModal([&](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            asked = input != nullptr;
            if (input)
                input->setTextValue(kPassword), input->accept();
        });
        QVERIFY(sendAndWait(*w));
        QVERIFY(asked);
        QCOMPARE(receivedIn(m_serverDir->path()).size(), std::size_t(4));
        QCOMPARE(m_keyring.kept.begin()->second, std::string(kPassword)); // the right one is kept now
    }

    void withoutAnAddressBookItSaysWhereToPutOne()
    {
        const fs::path book = m_run->app / mail::kAddressBookCsv, away = m_run->app / "away.csv";
        fs::rename(book, away);
        const auto w = openWindow();
        fs::rename(away, book);
        QVERIFY(child<QLabel>(w.get(), "mailCaption")->text().contains("No address book"));
        QVERIFY(!child<QPushButton>(w.get(), "sendButton")->isEnabled());
        QCOMPARE(child<QTableWidget>(w.get(), "deducteeTable")->rowCount(), 0);
    }

    void anotherFolderListsSendsAndSignsItsPdfs()
    {
        TempFolder pdfs("portal-pdfs");
        QProcess make;
        make.start("/usr/bin/python3", {QString::fromStdString((fs::path(CERTWRIGHT_SOURCE_DIR) / "tests/portal/make_portal_pdfs.py").string()),
                                        QString::fromStdString(pdfs.path().string()), "--mail"});
        if (!make.waitForFinished(60000) || make.exitCode() != 0)
            QSKIP("python3-reportlab is missing");
        const auto w = openWindow();
        auto* source = child<QComboBox>(w.get(), "certificatesFrom");
        const auto* table = child<QTableWidget>(w.get(), "deducteeTable");
        const int form16a = table->rowCount();
        fs::path chosen; // none at first: Form16A stays
        w->setFolderChooser([&](QWidget*, const QString&) { return chosen; });
        emit source->activated(source->count() - 1);
        QCOMPARE(source->currentIndex(), 0);
        chosen = pdfs.path();
        QSignalSpy shown(w.get(), &mail::MailWindow::planShown);
        emit source->activated(source->count() - 1);
        QVERIFY(shown.wait(60000));
        std::map<std::string, std::string> rows;
        for (int row = 0; row < table->rowCount(); ++row)
            rows[cell(table, row, 0)] = cell(table, row, 3);
        QCOMPARE(rows.size(), std::size_t(5)); // A B C, PANNOTAVBL, one the book lacks
        QCOMPARE(rows["AAAPA1234A"], std::string("QWERTYU, QWERTYU"));
        for (const char* refused : {"letter.pdf", "nopan.pdf", "twopans.pdf"})
            QVERIFY(child<QLabel>(w.get(), "mailCaption")->text().contains(refused));
        QVERIFY(sendAndWait(*w));
        const std::vector<Received> got = receivedIn(m_serverDir->path());
        QCOMPARE(got.size(), std::size_t(3));
        for (const Received& r : got)
            QVERIFY(r.attachments.count("asha.pdf") ? r.envelope[1] == "asha@example.test" : r.envelope[1] != "asha@example.test");
        source->setCurrentIndex(0);
        emit source->activated(0);
        QVERIFY(shown.wait(60000));
        QCOMPARE(table->rowCount(), form16a);

        const fs::path key = pdfs.path() / "key.pem", cert = pdfs.path() / "cert.pem", p12 = pdfs.path() / "key" / "signer.p12";
        fs::create_directory(p12.parent_path());
        std::string out;
        if (runCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + shellQuote(key) + " -out " + shellQuote(cert) +
                           " -days 30 -subj /CN=Signer 2>/dev/null && openssl pkcs12 -export -in " + shellQuote(cert) + " -inkey " +
                           shellQuote(key) + " -out " + shellQuote(p12) + " -passout pass:pw", out) != 0)
            QSKIP("openssl is missing");
        mail::SignPdfsDialog sign([](QWidget*, const QString&) { return fs::path(); }, pdfs.path());
        child<QLineEdit>(&sign, "signKeyFile")->setText(QString::fromStdString(p12.string()));
        child<QLineEdit>(&sign, "signKeyPassword")->setText("pw");
        QCOMPARE(child<QLineEdit>(&sign, "signKeyPassword")->echoMode(), QLineEdit::Password);
        QSignalSpy signedAll(&sign, &mail::SignPdfsDialog::signingFinished);
        child<QPushButton>(&sign, "signButton")->click();
        QVERIFY(signedAll.wait(120000));
        QStringList lines;
        for (int i = 0; i < child<QListWidget>(&sign, "signResults")->count(); ++i)
            lines << child<QListWidget>(&sign, "signResults")->item(i)->text();
        QVERIFY2(lines.filter("Signed/asha.pdf: PAN AAAPA1234A").size() == 1 && lines.filter("letter.pdf: no label").size() == 1 &&
                     lines.last().startsWith("6 of 9 PDF file(s) signed"),
                 qPrintable(lines.join('\n')));
        QVERIFY(fs::exists(pdfs.path() / "Signed" / "chetan.pdf"));
        // A certificate of the NSS database or a token instead of a file: its nickname is asked for.
        child<QRadioButton>(&sign, "signWithNickname")->setChecked(true);
        QVERIFY(!child<QLineEdit>(&sign, "signKeyFile")->isEnabled());
        child<QPushButton>(&sign, "signButton")->click();
        QCOMPARE(signedAll.count(), 2);
        QCOMPARE(child<QListWidget>(&sign, "signResults")->item(0)->text(), QString("Give the nickname of the certificate to sign with."));
    }

    void theMainWindowOpensItHoldingTheFolderLock()
    {
        app::MainWindow main(m_run->app);
        bool opened = false, locked = false;
        onNextModal([&](QWidget* modal) {
            opened = modal && modal->objectName() == "mailWindow";
            locked = app::AppFolderLock(m_run->app).refusal().has_value();
            if (modal)
                modal->close();
        });
        child<QPushButton>(&main, "mailButton")->click();
        QVERIFY(opened);
        QVERIFY(locked);
        QVERIFY(!app::AppFolderLock(m_run->app).refusal());
    }
};

QTEST_MAIN(TestMailWindow)
#include "test_mail_window.moc"
