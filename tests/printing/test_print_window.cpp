#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "printing/gui/PrintDialog.h"
#include "widgets/MessageBox.h"
#include "PrintTestSupport.h"

#include <QDesktopServices>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>

#include <fstream>

namespace fs = std::filesystem;
using cw::core::Icon;
using cw::core::Message;
using cw::printing::PrintDialog;

namespace {

// The window with its printer dialog replaced: the "chosen printer" writes a PDF file.
class RecordingFrmPrint : public PrintDialog {
public:
    using PrintDialog::PrintDialog;
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
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
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
    std::vector<Message> m_messages;

private slots:
    void init()
    {
        m_messages.clear();
        cw::widgets::MessageBox::recordInstead(&m_messages);
    }
    void cleanup() { cw::widgets::MessageBox::recordInstead(nullptr); }

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
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].prompt, std::string("No items selected!"));
        QCOMPARE(m_messages[0].title, std::string("Nothing Selected!"));
        QVERIFY(m_messages[0].icon == Icon::Information);
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
        QVERIFY(m_messages.empty());
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
        QVERIFY(m_messages.empty());
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
        QVERIFY(m_messages.empty());
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
        QCOMPARE(m_messages.size(), size_t(1));
        QVERIFY(m_messages[0].prompt.find("a: ") != std::string::npos);
        QVERIFY(m_messages[0].prompt.find("a.xls") != std::string::npos);
        QVERIFY(m_messages[0].prompt.find("002") == std::string::npos);
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
        cw::widgets::ClickableLabel* label = w.supportLabel();
        QCOMPARE(label->text(), QString(cw::widgets::contact::kSupportAddress));
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pointSize(), 11);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        QTest::mouseClick(label, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls[0].path(), label->text());
        QVERIFY(m_messages.empty());
    }
};

QTEST_MAIN(TestPrintWindow)
#include "test_print_window.moc"
