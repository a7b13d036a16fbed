// The main window clicked through as a user would: what each Generate outcome leaves on the
// buttons, the window and the disk; a long run with the window answering meanwhile; the
// acknowledgement guard; About; the contact link; Exit.
#include "SyntheticStatement.h"
#include "WindowTests.h"
#include "app/GenerateCommand.h"
#include "app/gui/MainWindow.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace cw::test;
using cw::app::MainWindow;
namespace fs = std::filesystem;

// A user's installation with the window open.
struct Window {
    ScratchAppFolder folder;
    MessageRecorder recorder;
    MainWindow window{folder.path()};
    QSignalSpy ended{&window, &MainWindow::programEnded};
    QSignalSpy finished{&window, &MainWindow::generateFinished};
    Window()
    {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }
    // Clicks Generate and waits for the run to end; false when it never does.
    bool generate()
    {
        button("generateButton")->click();
        return finished.wait(300000);
    }
    QPushButton* button(const char* name) { return child<QPushButton>(&window, name); }
    const std::vector<cw::core::Message>& messages() const { return recorder.messages; }
};

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void generateOutcomes()
    {
        enum Statement { Sample, OtherForm, None };
        const struct {
            Statement statement;
            bool templateOpenElsewhere;
            const char* promptStart; // %1: the application folder
            bool programEnds;
            bool printEnabled;
        } cases[] = {
            {Sample, false, "Certificates Successfully Generated and saved to %1/Form16A", false, true},
            {OtherForm, false, "The text file is not a valid Form 26Q text file.", false, false},
            {None, false, "Text file TDS not found at %1 .", true, true},
            {None, true, "%1/TDS16A.xls is open by Asha Rao", true, true}, // the guard comes first
        };
        for (const auto& c : cases) {
            Window w;
            std::string statement = readBytes(w.folder.statementPath());
            if (c.statement == OtherForm) // the letter case counts
                writeBytes(w.folder.statementPath(), statement.replace(statement.find("^26Q^"), 5, "^26q^"));
            if (c.statement == None)
                fs::remove(w.folder.statementPath());
            if (c.templateOpenElsewhere)
                writeBytes(w.folder / ".~lock.TDS16A.xls#", "Asha Rao,ACCOUNTS,asha,06.12.2024 10:15,file:///x;");
            const std::string templateBefore = readBytes(w.folder.templatePath());

            QVERIFY(w.generate());
            QCOMPARE(w.messages().size(), size_t(1));
            const QString prompt = QString::fromStdString(w.messages()[0].prompt);
            const QString folder = QString::fromStdString(w.folder.path().string());
            QVERIFY2(prompt.startsWith(QString::fromLatin1(c.promptStart).arg(folder)), qPrintable(prompt));
            QCOMPARE(w.ended.count(), c.programEnds ? 1 : 0);
            QCOMPARE(w.window.isVisible(), !c.programEnds);
            QVERIFY2(w.button("acknButton")->isEnabled(), c.promptStart);
            QCOMPARE(w.button("printButton")->isEnabled(), c.printEnabled);
            QCOMPARE(fs::exists(w.folder / "Form16A" / "001.xls"), c.statement == Sample);
            if (c.programEnds) // before anything was touched
                QVERIFY2(readBytes(w.folder.templatePath()) == templateBefore, c.promptStart);
        }
    }

    // The run goes on its own thread: the window keeps turning its event loop, refuses to close
    // and to start a second run, and the message box comes while the run waits for its OK.
    void aLongRunLeavesTheWindowAnswering()
    {
        Window w;
        writeBytes(w.folder.statementPath(), largeStatement(3000).text());
        cw::widgets::MessageBox::recordInstead(nullptr); // real boxes: the run must wait for OK
        int turnsDuringRun = 0;
        bool closeRefused = true, boxWhileRunning = false;
        QStringList boxes;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->text();
                boxWhileRunning = w.finished.count() == 0;
                box->accept();
            }
            if (w.finished.count() > 0)
                return;
            closeRefused = !w.window.close() && closeRefused;
            ++turnsDuringRun;
            w.button("generateButton")->click();
        });
        probe.start(5);
        const bool ended = w.generate();
        QTest::qWait(0); // a box the run did not wait for is still open here
        probe.stop();
        cw::widgets::MessageBox::recordInstead(&w.recorder.messages);
        QVERIFY(ended);
        QVERIFY(turnsDuringRun > 0);
        QVERIFY(closeRefused);
        QVERIFY(w.window.isVisible());
        QCOMPARE(boxes.size(), 1); // one run only, its box answered before its end
        QVERIFY2(boxes[0].startsWith(QStringLiteral("Certificates Successfully Generated")), qPrintable(boxes[0]));
        QVERIFY(boxWhileRunning);
        QCOMPARE(w.finished.count(), 1);
        QCOMPARE(w.finished[0][0].value<cw::app::GenerateOutcome>(), cw::app::GenerateOutcome::Succeeded);
        QVERIFY(!w.window.findChild<QProgressDialog*>(QStringLiteral("GenerateProgress")));
        QVERIFY(w.button("printButton")->isEnabled());
        QVERIFY(fs::exists(w.folder / "Form16A" / "997.xls"));
    }

    void acknowledgementButtonOpensTheDialogOnlyPastTheGuard()
    {
        Window w;
        QString opened;
        const auto noteAndClose = [&](QWidget* modal) {
            opened = modal ? modal->objectName() : QStringLiteral("nothing");
            if (modal)
                modal->close();
        };
        onNextModal(noteAndClose);
        w.button("acknButton")->click();
        QCOMPARE(opened, QStringLiteral("acknDialog"));

        writeBytes(w.folder / "~$TDS16A.xls", std::string(1, '\x04') + "Ravi" + std::string(157, ' '));
        onNextModal(noteAndClose);
        w.button("acknButton")->click();
        QTest::qWait(0);
        QCOMPARE(opened, QStringLiteral("nothing"));
        QCOMPARE(w.messages().size(), size_t(1));
        QVERIFY(w.messages()[0].prompt.find(" is open by Ravi ") != std::string::npos);
        QCOMPARE(w.ended.count(), 1);
    }

    void contactLinkMailsWhatItShows()
    {
        Window w;
        auto* link = child<QLabel>(&w.window, "supportLink");
        QCOMPARE(linksMailedBy(link), QList<QUrl>{QUrl(QStringLiteral("MailTo:support@certwright.example"))});
        link->setText(QStringLiteral("accounts@branch.example"));
        QCOMPARE(linksMailedBy(link).value(0).path(), QStringLiteral("accounts@branch.example"));
    }

    void aboutReturnsToTheWindowAndExitEndsWithoutError()
    {
        Window w;
        QString opened;
        onNextModal([&](QWidget* modal) {
            opened = modal ? modal->objectName() : QString();
            if (modal)
                QTest::keyClick(modal, Qt::Key_Escape);
        });
        QTest::mouseClick(child(&w.window, "aboutPicture"), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("aboutDialog"));
        QVERIFY(w.window.isVisible());
        w.button("exitButton")->click();
        QVERIFY(!w.window.isVisible());
        QCOMPARE(w.ended.count(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
