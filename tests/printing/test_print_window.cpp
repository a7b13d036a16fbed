// The print window over certificates the real Generate command wrote: the list, what Print does
// with nothing, some or a missing certificate marked, the printer dialog's Cancel, the contact
// link, Exit and Esc.
#include "WindowTests.h"
#include "app/GenerateCommand.h"
#include "printing/gui/PrintDialog.h"

#include <QListWidget>
#include <QPrinter>
#include <QtTest>

using namespace cw::test;
namespace fs = std::filesystem;

namespace {

// The window with its printer dialog replaced: the chosen printer writes a PDF file.
class PrintToPdf : public cw::printing::PrintDialog {
public:
    PrintToPdf(const fs::path& appFolder, fs::path pdf, bool accept = true)
        : PrintDialog(appFolder), pdf(std::move(pdf)), accept(accept) {}
    fs::path pdf;
    bool accept;
    int dialogs = 0;
    std::vector<fs::path> opened;

protected:
    void openFile(const fs::path& file) override { opened.push_back(file); }
    bool choosePrinter(QPrinter& printer) override
    {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        return accept;
    }
};

// Qt's PDF writer gives every page a dictionary of its own.
int pageCount(const fs::path& pdf)
{
    const std::string bytes = readBytes(pdf);
    int pages = 0;
    for (auto at = bytes.find("/Type /Page\n"); at != std::string::npos; at = bytes.find("/Type /Page\n", at + 1))
        ++pages;
    return pages;
}

void click(QWidget* window, const char* name) { QTest::mouseClick(child(window, name), Qt::LeftButton); }

} // namespace

class TestPrintWindow : public QObject {
    Q_OBJECT

    ScratchAppFolder m_app; // certificates 001 to 010, 011.xls.xls, the register, other files
    MessageRecorder m_recorder;

    void mark(PrintToPdf& window, std::initializer_list<int> rows)
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* list = child<QListWidget>(&window, "certificateList");
        for (int row : rows) {
            list->scrollToItem(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        }
    }

private slots:
    void initTestCase()
    {
        RecordingReporter reporter;
        QVERIFY(cw::app::GenerateCommand(m_app.path(), reporter).run() == cw::app::GenerateOutcome::Succeeded);
        const fs::path form16a = m_app / "Form16A"; // 001 to 005; 004 carries an annexure
        for (const char* copy : {"006.xls", "007.xls", "008.xls", "009.xls", "010.xls"})
            fs::copy_file(form16a / "001.xls", form16a / copy);
        fs::copy_file(form16a / "002.xls", form16a / "011.xls.xls");
        writeBytes(form16a / "notes.txt", "not a certificate");
        fs::create_directories(form16a / "folder.xls");
    }
    void init() { m_recorder.messages.clear(); }

    void listsCertificatesAndPrintsNothingUnmarked()
    {
        TempFolder empty;
        PrintToPdf nothingListed(empty.path(), m_app / "none.pdf");
        click(&nothingListed, "printButton");
        QCOMPARE(m_recorder.messages.size(), size_t(1));
        QCOMPARE(m_recorder.messages[0].title, std::string("Nothing Selected!"));

        PrintToPdf allUnmarked(m_app.path(), m_app / "none.pdf");
        const std::vector<std::string> listed = {"001", "002", "003", "004", "005", "006",
                                                 "007", "008", "009", "010", "011"};
        QCOMPARE(allUnmarked.items(), listed); // in file-name order, every ".xls" removed, no register
        click(&allUnmarked, "selectAllButton");
        QCOMPARE(allUnmarked.markedItems(), listed);
        click(&allUnmarked, "deselectAllButton");
        click(&allUnmarked, "printButton");
        QCOMPARE(m_recorder.messages.size(), size_t(1)); // unmarked again: nothing to say
        QCOMPARE(nothingListed.dialogs + allUnmarked.dialogs, 0);
        QVERIFY(!fs::exists(m_app / "none.pdf"));
    }

    void printsTheMarkedCertificatesOnceAPrinterIsChosen()
    {
        PrintToPdf window(m_app.path(), m_app / "marked.pdf", false);
        mark(window, {0, 3, 5, 5}); // 001, 004, and 006 marked and unmarked again
        QCOMPARE(window.markedItems(), (std::vector<std::string>{"001", "004"}));
        click(&window, "printButton"); // the printer dialog cancelled
        QVERIFY(!fs::exists(window.pdf));
        window.accept = true;
        click(&window, "printButton");
        QCOMPARE(window.dialogs, 2);
        QCOMPARE(pageCount(window.pdf), 3); // 004 with its annexure page
        QVERIFY(m_recorder.messages.empty());
    }

    void aMissingCertificateIsNamedAndTheOthersPrint()
    {
        PrintToPdf window(m_app.path(), m_app / "partial.pdf");
        mark(window, {10, 1}); // "011" stands for 011.xls, which is not there; 002 is
        click(&window, "printButton");
        QCOMPARE(pageCount(window.pdf), 1);
        QCOMPARE(m_recorder.messages.size(), size_t(1));
        const std::string& prompt = m_recorder.messages[0].prompt;
        QVERIFY2(prompt.find("011: ") != std::string::npos && prompt.find("002") == std::string::npos, prompt.c_str());
    }

    void openRegisterOpensTheRunsRegisterWhenThereIsOne()
    {
        PrintToPdf window(m_app.path(), {});
        QVERIFY(child(&window, "openRegisterButton")->isEnabled());
        click(&window, "openRegisterButton");
        QCOMPARE(window.opened, (std::vector<fs::path>{m_app / "Form16A" / "Register.xls"}));
        TempFolder none;
        fs::create_directories(none / "Form16A");
        PrintToPdf without(none.path(), {});
        QVERIFY(!child(&without, "openRegisterButton")->isEnabled());
    }

    void contactLinkMailsAndExitAndEscClose()
    {
        PrintToPdf window(m_app.path(), {});
        mark(window, {});
        const QList<QUrl> mailed = linksMailedBy(child(&window, "supportLink"));
        QCOMPARE(mailed, QList<QUrl>{QUrl(QStringLiteral("MailTo:support@certwright.example"))});
        click(&window, "exitButton");
        QVERIFY(!window.isVisible());
        mark(window, {});
        QTest::keyClick(child(&window, "certificateList"), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestPrintWindow)
#include "test_print_window.moc"
