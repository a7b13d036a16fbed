// "Check Statement" clicked as a user would: the findings window shows what the check found,
// saves its report where the user chose, and a missing statement is said in a message.
#include "WindowTests.h"
#include "app/CheckCommand.h"
#include "app/gui/CheckWindow.h"
#include "app/gui/MainWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace cw::test;
using cw::app::CheckWindow;
using cw::app::MainWindow;
namespace fs = std::filesystem;

class TestCheckWindow : public QObject {
    Q_OBJECT
private slots:
    void showsTheFindingsAndSavesTheReport()
    {
        ScratchAppFolder folder;
        MessageRecorder recorder;
        MainWindow window(folder.path());
        const fs::path report = folder / "chosen.xls";
        window.setReportChooser([&](QWidget*) { return report; });
        window.show();
        child<QPushButton>(&window, "checkButton")->click();
        QTRY_VERIFY(window.findChild<CheckWindow*>(QStringLiteral("checkWindow")));
        auto* shown = window.findChild<CheckWindow*>(QStringLiteral("checkWindow"));
        QVERIFY(child<QPushButton>(&window, "checkButton")->isEnabled());

        const cw::check::CheckResult expected = cw::app::checkWorkingFolder(folder.path(), std::nullopt);
        QCOMPARE(child<QTableWidget>(shown, "findingsTable")->rowCount(), int(expected.findings.size()));
        const QString summary = child<QLabel>(shown, "summaryLabel")->text();
        QVERIFY2(summary.contains(QStringLiteral("Errors: %1").arg(expected.errors)), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("Total payable: ")), qPrintable(summary));

        child<QPushButton>(shown, "saveReportButton")->click();
        QVERIFY(fs::file_size(report) > 0);
        QVERIFY(recorder.messages.empty());
    }

    void aMissingStatementIsSaid()
    {
        ScratchAppFolder folder;
        MessageRecorder recorder;
        fs::remove(folder.statementPath());
        MainWindow window(folder.path());
        window.show();
        child<QPushButton>(&window, "checkButton")->click();
        QTRY_COMPARE(recorder.messages.size(), size_t(1));
        QVERIFY2(recorder.messages[0].prompt.find("TDS.txt") != std::string::npos, recorder.messages[0].prompt.c_str());
        QVERIFY(!window.findChild<CheckWindow*>(QStringLiteral("checkWindow")));
    }
};

QTEST_MAIN(TestCheckWindow)
#include "test_check_window.moc"
