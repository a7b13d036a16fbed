// The acknowledgement dialog over a copy of the real template: what it shows on opening, what
// OK, Cancel and Esc leave in the workbook, the tab order, and the entries it refuses.
#include "ackn/AcknRegister.h"
#include "AppFolder.h"
#include "ackn/gui/AcknDialog.h"
#include "widgets/MessageBox.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include <memory>

using cw::ackn::AcknEntries;
using cw::ackn::AcknDialog;
using cw::widgets::MessageBox;
using cw::core::Message;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TestFrmAckn : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithCaptionsAndTheSheetsEntries();
    void tabGoesDownTheAcknowledgementsThenTheDates();
    void okSavesWhatWasTypedAndASecondOpeningShowsIt();
    void cancelAndEscLeaveTheWorkbookAsItWas();
    void okRefusesABadEntryNamingItsBoxAndSavesNothing();
    void missingTemplateIsReportedAndTheDialogNotShown();
    void supportLabelMailsWhatItShows();

private:
    std::unique_ptr<AcknDialog> open();
    static QLineEdit* box(QWidget* dialog, int n) { return dialog->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(n)); }
    static QPushButton* button(QWidget* dialog, const char* name) { return dialog->findChild<QPushButton*>(name); }
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    std::unique_ptr<AppFolder> m_folder;
    std::vector<Message> m_messages;
};

void TestFrmAckn::init()
{
    m_folder = std::make_unique<AppFolder>();
    QVERIFY2(m_folder->ok(), m_folder->problem().c_str());
    m_messages.clear();
    MessageBox::recordInstead(&m_messages);
}

void TestFrmAckn::cleanup()
{
    MessageBox::recordInstead(nullptr);
    m_folder.reset();
}

std::unique_ptr<AcknDialog> TestFrmAckn::open()
{
    auto dialog = std::make_unique<AcknDialog>(m_folder->templatePath());
    if (!dialog->Form_Load())
        return nullptr;
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    if (!QTest::qWaitForWindowActive(dialog.get()))
        return nullptr;
    return dialog;
}

void TestFrmAckn::opensWithCaptionsAndTheSheetsEntries()
{
    AcknEntries stored;
    stored.serial = "41";
    stored.prn = {"123456789012345", "", "223456789012345", "323456789012345"};
    stored.filedOn = {"15/07/2008", "", "15/01/2009", "15/05/2009"};
    QVERIFY(!cw::ackn::saveAcknRegister(m_folder->templatePath(), stored));
    const std::string before = m_folder->read("TDS16A.xls");

    auto dialog = open();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Acknowledgement No."));
    QCOMPARE(dialog->findChild<QGroupBox*>("Frame1")->title(), QStringLiteral("Enter Acknowledgement Numbers"));
    QCOMPARE(dialog->findChild<QGroupBox*>("Frame2")->title(), QStringLiteral("Enter Certificate Serial Number"));
    const char* captions[] = {"Quarter No.", "Acknowledgement (PRN) No.", "Date of Filing\n(dd/mm/yyyy)", "1", "2", "3",
                              "4", "Enter Certificate Number to start from", "support@certwright.example"};
    for (int i = 0; i < 9; ++i) {
        auto* label = dialog->findChild<QLabel*>(QStringLiteral("Label%1").arg(i + 1));
        QVERIFY(label);
        QCOMPARE(label->text(), QString::fromUtf8(captions[i]));
    }
    QCOMPARE(button(dialog.get(), "CmdOK")->text(), QStringLiteral("&OK"));
    QCOMPARE(button(dialog.get(), "CmdExit")->text(), QStringLiteral("Cancel/E&xit"));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize()); // a fixed-size dialog

    QCOMPARE(box(dialog.get(), 9)->text(), QStringLiteral("41"));
    for (int q = 0; q < 4; ++q) {
        QCOMPARE(box(dialog.get(), 1 + q)->text(), QString::fromStdString(stored.prn[q]));
        QCOMPARE(box(dialog.get(), 5 + q)->text(), QString::fromStdString(stored.filedOn[q]));
    }
    QCOMPARE(QApplication::focusWidget(), box(dialog.get(), 1));
    dialog->reject();
    // Opening reads only.
    QVERIFY(m_folder->read("TDS16A.xls") == before);
    auto again = open();
    QVERIFY(again);
    QCOMPARE(again->entries(), stored);
    QVERIFY(m_messages.empty());
}

void TestFrmAckn::tabGoesDownTheAcknowledgementsThenTheDates()
{
    auto dialog = open();
    QVERIFY(dialog);
    QStringList order;
    for (int i = 0; i < 12; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8", "Text9",
                                 "CmdOK", "CmdExit", "Text1"}));
}

void TestFrmAckn::okSavesWhatWasTypedAndASecondOpeningShowsIt()
{
    auto dialog = open();
    QVERIFY(dialog);
    const QString typed[] = {"111111111111111", "222222222222222", "", "444444444444444",
                             "10/07/2008",      "15/10/2008",      "", "14/05/2009", "7"};
    for (int i = 0; i < 9; ++i)
        type(box(dialog.get(), i + 1), typed[i]);
    QTest::mouseClick(button(dialog.get(), "CmdOK"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(m_messages.empty());

    const AcknEntries saved = cw::ackn::loadAcknRegister(m_folder->templatePath());
    QCOMPARE(saved.serial, std::string("7"));
    QCOMPARE(saved.prn[0], std::string("111111111111111"));
    QCOMPARE(saved.prn[2], std::string(""));
    QCOMPARE(saved.filedOn[1], std::string("15/10/2008"));

    auto second = open();
    QVERIFY(second);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(box(second.get(), i + 1)->text(), typed[i]);
}

void TestFrmAckn::cancelAndEscLeaveTheWorkbookAsItWas()
{
    const std::string before = m_folder->read("TDS16A.xls");
    {
        auto dialog = open();
        QVERIFY(dialog);
        type(box(dialog.get(), 2), QStringLiteral("999999999999999"));
        type(box(dialog.get(), 9), QStringLiteral("12"));
        QTest::mouseClick(button(dialog.get(), "CmdExit"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    }
    {
        auto dialog = open();
        QVERIFY(dialog);
        QLineEdit* date = box(dialog.get(), 7);
        date->setFocus();
        type(date, QStringLiteral("01/01/2009"));
        QTest::keyClick(date, Qt::Key_Return); // Enter in a box does not save
        QVERIFY(dialog->isVisible());
        QTest::keyClick(date, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    }
    QVERIFY(m_folder->read("TDS16A.xls") == before);
    QVERIFY(m_messages.empty());
}

void TestFrmAckn::okRefusesABadEntryNamingItsBoxAndSavesNothing()
{
    const std::string before = m_folder->read("TDS16A.xls");
    struct Case {
        int box;
        const char* text;
    } cases[] = {{9, "12a"}, {9, "-3"}, {6, "31/02/2009"}, {8, "2009-05-14"}};
    for (const auto& c : cases) {
        m_messages.clear();
        auto dialog = open();
        QVERIFY(dialog);
        type(box(dialog.get(), c.box), QString::fromLatin1(c.text));
        QTest::mouseClick(button(dialog.get(), "CmdOK"), Qt::LeftButton);
        QVERIFY2(dialog->isVisible(), c.text);
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].title, std::string("Invalid Entry!"));
        QVERIFY(m_messages[0].icon == cw::core::Icon::Information);
        const std::string expectedBox = c.box == 9 ? "The certificate number to start from"
                                                    : "The date of filing of quarter " + std::to_string(c.box - 4);
        QVERIFY2(m_messages[0].prompt.rfind(expectedBox, 0) == 0, m_messages[0].prompt.c_str());
        QCOMPARE(QApplication::focusWidget(), box(dialog.get(), c.box));
        QCOMPARE(box(dialog.get(), c.box)->selectedText(), QString::fromLatin1(c.text));
        QVERIFY2(m_folder->read("TDS16A.xls") == before, c.text);
    }
}

void TestFrmAckn::missingTemplateIsReportedAndTheDialogNotShown()
{
    std::filesystem::remove(m_folder->templatePath());
    AcknDialog dialog(m_folder->templatePath());
    QVERIFY(!dialog.Form_Load());
    QCOMPARE(m_messages.size(), size_t(1));
    QVERIFY2(m_messages[0].prompt.find("TDS16A.xls") != std::string::npos, m_messages[0].prompt.c_str());
    QVERIFY(m_messages[0].icon == cw::core::Icon::Critical);
    QVERIFY(!std::filesystem::exists(m_folder->templatePath()));
}

void TestFrmAckn::supportLabelMailsWhatItShows()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    auto dialog = open();
    QVERIFY(dialog);
    auto* label9 = dialog->findChild<QLabel*>("Label9");
    QTest::mouseClick(label9, Qt::LeftButton);
    label9->setText(QStringLiteral("tds.help@branch.example"));
    QTest::mouseClick(label9, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls[0], QUrl(QStringLiteral("MailTo:support@certwright.example")));
    QCOMPARE(catcher.urls[1].path(), QStringLiteral("tds.help@branch.example"));
    QVERIFY(dialog->isVisible());
}

QTEST_MAIN(TestFrmAckn)
#include "test_ackn_dialog.moc"
