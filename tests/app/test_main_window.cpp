// The main window, clicked through as a user would: Generate's paths with their exact messages
// and the button states after each, the acknowledgement guard, help, About, the mail link and Exit.
#include "AppFolder.h"
#include "app/gui/AboutDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/GuiReporter.h"
#include "core/PathText.h"
#include "widgets/MessageBox.h"
#include "widgets/MailLink.h"

#include <QDesktopServices>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

using cw::app::MainWindow;
using cw::widgets::MessageBox;
using cw::core::Icon;
using cw::core::Message;

namespace fs = std::filesystem;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TestFrmCertwright : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithItsCaptionsAndLabels();
    void generateWritesCertificatesAndKeepsAllButtonsOn();
    void wrongFormStatementLeavesPrintOffUntilARunSucceeds();
    void missingStatementEndsTheProgramTouchingNothing();
    void templateOpenElsewhereEndsGenerateBeforeAnything();
    void acknowledgementButtonRunsTheGuardFirst();
    void helpShowsFiveLinesWithAnEmptyLineUnderTheFirst();
    void aboutPictureOpensAboutModallyAndEscReturns();
    void contactLabelMailsWhatItShows();
    void accessKeysAreAltAndTheMarkedLetter();
    void exitClosesWithoutEndingInError();
    void progressReportsFeedOneDialog();

private:
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(name); }
    QLabel* label(const char* name) const { return m_window->findChild<QLabel*>(name); }
    void clickGenerate() { button("Command1")->click(); }

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QSignalSpy> m_ended;
    std::vector<Message> m_messages;
};

void TestFrmCertwright::init()
{
    m_folder = std::make_unique<AppFolder>();
    QVERIFY2(m_folder->ok(), m_folder->problem().c_str());
    m_messages.clear();
    MessageBox::recordInstead(&m_messages);
    m_window = std::make_unique<MainWindow>(m_folder->path());
    m_ended = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::programEnded);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestFrmCertwright::cleanup()
{
    m_ended.reset();
    m_window.reset();
    MessageBox::recordInstead(nullptr);
    m_folder.reset();
}

void TestFrmCertwright::opensWithItsCaptionsAndLabels()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Certwright"));
    const std::pair<const char*, const char*> captions[] = {
        {"Command1", "&Generate Form 16A"}, {"CmdAcknSr", "&Acknowledgement No./ Sr. No."},
        {"CmdPrint", "&Print Certificates"}, {"CmdHelp", "&Help"}, {"CmdExit", "E&xit"}};
    for (const auto& [name, caption] : captions) {
        QVERIFY2(button(name), name);
        QCOMPARE(button(name)->text(), QString::fromLatin1(caption));
        QVERIFY2(button(name)->isEnabled(), name);
    }
    for (const char* name : {"PicAbtMe", "Picture1", "Frame1"})
        QVERIFY2(m_window->findChild<QWidget*>(name), name);
    QCOMPARE(m_window->findChild<QWidget*>("PicAbtMe")->size(), QSize(90, 70));

    QCOMPARE(label("Label1")->text(),
             QStringLiteral("Developed by Certwright Developers. For help, suggestions or a customised version, write to:"));
    QVERIFY(label("Label1")->font().bold());
    QCOMPARE(label("Label2")->text(), QStringLiteral("support@certwright.example"));
    QVERIFY(!label("Label2")->font().bold());
    QCOMPARE(label("Label2")->font().pointSizeF(), 10.0);
    // Four lines: two about customisation, an empty one, then the cost.
    const QStringList notice = label("Label3")->text().split(QLatin1Char('\n'));
    QCOMPARE(notice.size(), 4);
    QVERIFY(notice[2].isEmpty());
    QCOMPARE(notice[3], QStringLiteral("The cost of the service will depend upon the size of customization."));
    QVERIFY(label("Label3")->font().bold());
    QCOMPARE(label("Label3")->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(label("Label4")->text(), QStringLiteral("Version 1.0"));
    QVERIFY(m_messages.empty());
}

void TestFrmCertwright::generateWritesCertificatesAndKeepsAllButtonsOn()
{
    clickGenerate();
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].prompt,
             "Certificates Successfully Generated and saved to " + (m_folder->path() / "Form16A").string());
    QCOMPARE(m_messages[0].title, std::string("Done!"));
    QVERIFY(m_messages[0].icon == Icon::Information);
    QVERIFY(button("Command1")->isEnabled());
    QVERIFY(button("CmdAcknSr")->isEnabled());
    QVERIFY(button("CmdPrint")->isEnabled());
    QCOMPARE(m_ended->count(), 0);
    QVERIFY(m_window->isVisible());
    QVERIFY(fs::exists(m_folder->path() / "Form16A" / "001.xls"));
}

void TestFrmCertwright::wrongFormStatementLeavesPrintOffUntilARunSucceeds()
{
    const std::string good = m_folder->read("TDS.txt");
    std::string wrong = good;
    const auto at = wrong.find("^26Q^");
    QVERIFY(at != std::string::npos);
    wrong.replace(at, 5, "^26q^"); // the same letters in another case are another form
    m_folder->write("TDS.txt", wrong);

    clickGenerate();
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].prompt,
             std::string("The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file."));
    QCOMPARE(m_messages[0].title, std::string("Invalid Text File!"));
    QVERIFY(m_messages[0].icon == Icon::Information);
    QVERIFY(button("Command1")->isEnabled());
    QVERIFY(button("CmdAcknSr")->isEnabled());
    QVERIFY(!button("CmdPrint")->isEnabled());
    QCOMPARE(m_ended->count(), 0);
    QVERIFY(!fs::exists(m_folder->path() / "Form16A"));

    m_folder->write("TDS.txt", good);
    clickGenerate();
    QCOMPARE(m_messages.size(), size_t(2));
    QCOMPARE(m_messages[1].title, std::string("Done!"));
    QVERIFY(button("CmdAcknSr")->isEnabled());
    QVERIFY(button("CmdPrint")->isEnabled());
}

void TestFrmCertwright::missingStatementEndsTheProgramTouchingNothing()
{
    fs::remove(m_folder->statementPath());
    const std::string templateBefore = m_folder->read("TDS16A.xls");

    clickGenerate();
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].prompt, "Text file TDS not found at " + m_folder->path().string() + " .");
    QCOMPARE(m_messages[0].title, std::string("File Not Found!"));
    QVERIFY(m_messages[0].icon == Icon::Critical);
    QCOMPARE(m_ended->count(), 1);
    QVERIFY(!m_window->isVisible());
    QVERIFY(button("CmdAcknSr")->isEnabled());
    QVERIFY(button("CmdPrint")->isEnabled());
    QVERIFY(m_folder->read("TDS16A.xls") == templateBefore);
    QVERIFY(!fs::exists(m_folder->path() / "Form16A"));
}

void TestFrmCertwright::templateOpenElsewhereEndsGenerateBeforeAnything()
{
    // A spreadsheet program holding the template leaves its lock file beside it.
    m_folder->write(".~lock.TDS16A.xls#", "Asha Rao,ACCOUNTS,asha,06.12.2024 10:15,file:///home/asha/.config/libreoffice/4;");
    fs::remove(m_folder->statementPath()); // the guard comes before the statement test
    const std::string templateBefore = m_folder->read("TDS16A.xls");

    clickGenerate();
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].title, std::string("Running Error!"));
    QVERIFY(m_messages[0].icon == Icon::Information);
    QVERIFY(m_messages[0].prompt.rfind(m_folder->templatePath().string() + " is open by Asha Rao", 0) == 0);
    QCOMPARE(m_ended->count(), 1);
    QVERIFY(!m_window->isVisible());
    QVERIFY(button("CmdAcknSr")->isEnabled());
    QVERIFY(button("CmdPrint")->isEnabled());
    QVERIFY(m_folder->read("TDS16A.xls") == templateBefore);
}

void TestFrmCertwright::acknowledgementButtonRunsTheGuardFirst()
{
    m_folder->write("~$TDS16A.xls", std::string(1, '\x04') + "Ravi" + std::string(157, ' '));
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogShown = true;
            modal->close();
        }
    });
    button("CmdAcknSr")->click();
    QVERIFY(!dialogShown);
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].title, std::string("Running Error!"));
    QVERIFY(m_messages[0].prompt.find(" is open by Ravi ") != std::string::npos);
    QCOMPARE(m_ended->count(), 1);
    QVERIFY(!m_window->isVisible());
}

void TestFrmCertwright::helpShowsFiveLinesWithAnEmptyLineUnderTheFirst()
{
    button("CmdHelp")->click();
    QCOMPARE(m_messages.size(), size_t(1));
    QCOMPARE(m_messages[0].prompt,
             std::string(" Follow the Following steps to ensure correct Output:\r\r"
                         "1. Please keep the TDS16A.xls and TDS.txt files in the same folder where the Certwright.exe resides.\r"
                         "Rename the etds text file from which fvu file is generated as TDS.\r"
                         "2. Dont rename any file or Sheet of TDS16A.xls, else the program will not run correctly.\r"
                         "3. For more details, read the \"Read me First.txt\" file.\r"
                         "\rWorking folder: " + cw::core::pathText(m_folder->path()) + "\r"));
    QCOMPARE(m_messages[0].title, std::string("Help!"));
    QVERIFY(m_messages[0].icon == Icon::Information);
    // What the box shows: the carriage returns as line breaks, no trailing empty line.
    QCOMPARE(MessageBox::displayText(m_messages[0].prompt).split(QLatin1Char('\n')).size(), 8);
    QCOMPARE(m_ended->count(), 0);
}

void TestFrmCertwright::aboutPictureOpensAboutModallyAndEscReturns()
{
    QString title;
    QString heading;
    bool closedByEsc = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        title = modal->windowTitle();
        if (auto* label1 = modal->findChild<QLabel*>("Label1"))
            heading = label1->text();
        QTest::keyClick(modal, Qt::Key_Escape);
        closedByEsc = !modal->isVisible();
    });
    QTest::mouseClick(m_window->findChild<QWidget*>("PicAbtMe"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("About Me"));
    QCOMPARE(heading, QStringLiteral("About Certwright"));
    QVERIFY(closedByEsc);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_ended->count(), 0);
}

void TestFrmCertwright::contactLabelMailsWhatItShows()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    QTest::mouseClick(label("Label2"), Qt::LeftButton);
    // Whatever the label shows at the time is sent, unchanged.
    label("Label2")->setText(QStringLiteral("accounts@branch.example"));
    QTest::mouseClick(label("Label2"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    QCOMPARE(cw::widgets::mailToLink(QStringLiteral("support@certwright.example")),
             QStringLiteral("MailTo:support@certwright.example"));
    QCOMPARE(catcher.urls.size(), 2);
    // URL schemes are case-insensitive; Qt hands the handler the normalised "mailto".
    QCOMPARE(catcher.urls[0], QUrl(QStringLiteral("MailTo:support@certwright.example")));
    QCOMPARE(catcher.urls[0].path(), QStringLiteral("support@certwright.example"));
    QCOMPARE(catcher.urls[1].path(), QStringLiteral("accounts@branch.example"));
    QVERIFY(m_messages.empty());
}

void TestFrmCertwright::accessKeysAreAltAndTheMarkedLetter()
{
    // The ampersand of each caption becomes Alt plus the letter after it.
    const std::pair<const char*, const char*> keys[] = {
        {"Command1", "Alt+G"}, {"CmdAcknSr", "Alt+A"}, {"CmdPrint", "Alt+P"}, {"CmdHelp", "Alt+H"}, {"CmdExit", "Alt+X"}};
    for (const auto& [name, key] : keys)
        QCOMPARE(button(name)->shortcut(), QKeySequence(QString::fromLatin1(key)));
}

void TestFrmCertwright::exitClosesWithoutEndingInError()
{
    button("CmdExit")->click();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_ended->count(), 0);
    QVERIFY(m_messages.empty());
}

void TestFrmCertwright::progressReportsFeedOneDialog()
{
    cw::app::GuiReporter reporter(m_window.get());
    reporter.progress(0, 0); // the total not known yet: nothing to show
    QVERIFY(!reporter.progressDialog());
    reporter.progress(1, 40);
    QProgressDialog* dialog = reporter.progressDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(dialog->maximum(), 40);
    reporter.progress(17, 40);
    QCOMPARE(reporter.progressDialog(), dialog);
    QCOMPARE(dialog->value(), 17);
    QCOMPARE(dialog->labelText(), QStringLiteral("Certificates written: 17 of 40"));
    reporter.progress(40, 40);
    QVERIFY(!dialog->isVisible());

    // A long run updates in steps, but always shows where it stands at the end.
    cw::app::GuiReporter big(m_window.get());
    for (int done = 1; done <= 20000; ++done)
        big.progress(done, 20000);
    QCOMPARE(big.progressDialog()->labelText(), QStringLiteral("Certificates written: 20000 of 20000"));
}

QTEST_MAIN(TestFrmCertwright)
#include "test_main_window.moc"
