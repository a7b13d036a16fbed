#include "FrmPrint.h"
#include "PrintTestSupport.h"
#include "RealCertificates.h"

#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>

#include <fstream>

namespace fs = std::filesystem;
using cw::import::Icon;
using cw::import::Message;
using cw::printing::FrmPrint;

namespace {

// The window with its printer dialog, message boxes and mail link replaced by recorders; the
// "chosen printer" writes a PDF file.
class RecordingFrmPrint : public FrmPrint {
public:
    using FrmPrint::FrmPrint;
    std::vector<Message> messages;
    std::vector<QString> mails;
    int dialogs = 0;
    bool acceptDialog = true;
    QString pdf;

protected:
    bool choosePrinter(QPrinter& printer) override
    {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return acceptDialog;
    }
    void showMessage(const Message& m) override { messages.push_back(m); }
    void openMail(const QString& address) override { mails.push_back(address); }
};

void clickItem(QListWidget* list, int row)
{
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

} // namespace

class TestPrintWindow : public QObject {
    Q_OBJECT

private:
    fs::path m_app;     // certificates 001 to 010, a name holding ".xls" twice, other files
    fs::path m_empty;   // no Form16A folder at all

private slots:
    void initTestCase()
    {
        m_app = cw::printing::test::freshFolder("print-window");
        fs::path form16a = cw::printing::test::generateSampleCertificates(m_app);
        // The sample gives 001 to 005 (004 with an annexure); 006 to 010 are copies of 001.
        for (int n = 6; n <= 10; ++n)
            fs::copy_file(form16a / "001.xls", form16a / QString("%1.xls").arg(n, 3, 10, QChar('0')).toStdString());
        fs::copy_file(form16a / "002.xls", form16a / "a.xls.xls");
        std::ofstream(form16a / "notes.txt") << "not a certificate";
        fs::create_directories(form16a / "folder.xls");
        m_empty = cw::printing::test::freshFolder("print-window-empty");
    }

    void listsCertificatesInFileNameOrderWithoutXls()
    {
        RecordingFrmPrint w(m_app);
        const std::vector<std::string> expected = {"001", "002", "003", "004", "005", "006", "007",
                                                   "008", "009", "010", "a"};
        QCOMPARE(w.items(), expected);
        QCOMPARE(w.windowTitle(), QString("Print Certificates"));
        QVERIFY(w.markedItems().empty());
        QCOMPARE(w.list()->currentRow(), -1);
    }

    void emptyFolderPrintShowsTheMessage()
    {
        RecordingFrmPrint w(m_empty);
        QCOMPARE(w.list()->count(), 0);
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        QCOMPARE(w.messages.size(), size_t(1));
        QCOMPARE(w.messages[0].prompt, std::string("No items selected!"));
        QCOMPARE(w.messages[0].title, std::string("Nothing Selected!"));
        QVERIFY(w.messages[0].icon == Icon::Information);
        QCOMPARE(w.dialogs, 0);
    }

    void selectAllThenDeselectAllPrintsNothingSilently()
    {
        RecordingFrmPrint w(m_app);
        w.pdf = QString::fromStdString((m_app / "nothing.pdf").string());
        QTest::mouseClick(w.selectAllButton(), Qt::LeftButton);
        QCOMPARE(w.markedItems().size(), w.items().size());
        QVERIFY(w.list()->currentRow() != -1);
        QTest::mouseClick(w.deselectAllButton(), Qt::LeftButton);
        QVERIFY(w.markedItems().empty());
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        QVERIFY(w.messages.empty());
        QCOMPARE(w.dialogs, 0);
        QVERIFY(!fs::exists(m_app / "nothing.pdf"));
    }

    void printsTheMarkedCertificatesOnTheChosenPrinter()
    {
        RecordingFrmPrint w(m_app);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        fs::path pdf = m_app / "marked.pdf";
        w.pdf = QString::fromStdString(pdf.string());
        clickItem(w.list(), 0);  // 001: one page
        clickItem(w.list(), 3);  // 004: a page and its annexure
        clickItem(w.list(), 5);  // 006, then unmarked again
        clickItem(w.list(), 5);
        QCOMPARE(w.markedItems(), (std::vector<std::string>{"001", "004"}));
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        QCOMPARE(w.dialogs, 1);
        QVERIFY(w.messages.empty());
        QCOMPARE(cw::printing::test::pdfPageCount(pdf), 3);
        QString text = cw::printing::test::pdfText(pdf);
        QVERIFY(text.contains("ANNEXURE TO FORM NO. 16A"));
    }

    void cancellingThePrinterDialogPrintsNothing()
    {
        RecordingFrmPrint w(m_app);
        fs::path pdf = m_app / "cancelled.pdf";
        w.pdf = QString::fromStdString(pdf.string());
        w.acceptDialog = false;
        QTest::mouseClick(w.selectAllButton(), Qt::LeftButton);
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        QCOMPARE(w.dialogs, 1);
        QVERIFY(!fs::exists(pdf));
        QVERIFY(w.messages.empty());
    }

    void aCertificateThatCannotBeFoundIsNamedAndTheOthersPrint()
    {
        RecordingFrmPrint w(m_app);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        fs::path pdf = m_app / "partial.pdf";
        w.pdf = QString::fromStdString(pdf.string());
        clickItem(w.list(), 10); // "a": its file was a.xls.xls, so a.xls is not there
        clickItem(w.list(), 1);  // 002
        QTest::mouseClick(w.printButton(), Qt::LeftButton);
        QCOMPARE(cw::printing::test::pdfPageCount(pdf), 1);
        QCOMPARE(w.messages.size(), size_t(1));
        QVERIFY(w.messages[0].prompt.find("a: ") != std::string::npos);
        QVERIFY(w.messages[0].prompt.find("a.xls") != std::string::npos);
        QVERIFY(w.messages[0].prompt.find("002") == std::string::npos);
    }

    void exitAndEscapeClose()
    {
        RecordingFrmPrint w(m_app);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.exitButton(), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.list()->setFocus();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void supportLabelShowsTheAddressAndStartsAMail()
    {
        RecordingFrmPrint w(m_app);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLabel* label = w.supportLabel();
        QVERIFY(label->text().contains('@'));
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pointSize(), 11);
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(w.mails.size(), size_t(1));
        QCOMPARE(w.mails[0], label->text());
    }
};

QTEST_MAIN(TestPrintWindow)
#include "test_print_window.moc"
