// The acknowledgement dialog over a copy of the real template: what it shows on opening, what
// OK, Cancel and Esc leave in the workbook, the keyboard order, and the entries it refuses.
#include "WindowTests.h"
#include "ackn/AcknRegister.h"
#include "ackn/gui/AcknDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

using namespace cw::test;
using cw::ackn::AcknDialog;

namespace {

// The boxes in keyboard order.
const char* const kBoxes[] = {"prnEdit1",  "prnEdit2",  "prnEdit3",  "prnEdit4",  "dateEdit1",
                              "dateEdit2", "dateEdit3", "dateEdit4", "serialEdit"};

QLineEdit* box(QWidget* dialog, const char* name) { return child<QLineEdit>(dialog, name); }
void type(QLineEdit* box, const QString& text)
{
    box->selectAll();
    QTest::keyClicks(box, text);
}

} // namespace

class TestAcknDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchAppFolder> m_folder;
    MessageRecorder m_recorder;

    std::unique_ptr<AcknDialog> open() const
    {
        auto dialog = std::make_unique<AcknDialog>(m_folder->templatePath());
        if (!dialog->load())
            return nullptr;
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        return QTest::qWaitForWindowActive(dialog.get()) ? std::move(dialog) : nullptr;
    }
    std::string templateBytes() const { return readBytes(m_folder->templatePath()); }

private slots:
    void init() { m_folder = std::make_unique<ScratchAppFolder>(), m_recorder.messages.clear(); }

    void okSavesWhatWasTypedAndTheNextOpeningShowsIt()
    {
        const QString typed[] = {"111111111111111", "222222222222222", "", "444444444444444",
                                 "10/07/2008", "15/10/2008", "", "14/05/2009", "7"};
        auto dialog = open();
        QVERIFY(dialog);
        for (int i = 0; i < 9; ++i)
            type(box(dialog.get(), kBoxes[i]), typed[i]);
        QTest::mouseClick(child(dialog.get(), "okButton"), Qt::LeftButton);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(cw::ackn::loadAcknRegister(m_folder->templatePath()).prn[1], std::string("222222222222222"));
        auto again = open();
        QVERIFY(again);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(box(again.get(), kBoxes[i])->text(), typed[i]);
    }

    void tabGoesDownTheAcknowledgementsThenTheDates()
    {
        auto dialog = open();
        QVERIFY(dialog);
        QStringList order;
        for (int i = 0; i < 12; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QStringList expected(std::begin(kBoxes), std::end(kBoxes));
        QCOMPARE(order, expected << "okButton" << "cancelButton" << "prnEdit1");
    }

    void openingCancelEscAndEnterLeaveTheWorkbookAsItWas()
    {
        const std::string before = templateBytes();
        for (bool cancel : {true, false}) {
            auto dialog = open();
            QVERIFY(dialog);
            QLineEdit* date = box(dialog.get(), "dateEdit3");
            type(date, QStringLiteral("01/01/2009"));
            if (cancel) {
                QTest::mouseClick(child(dialog.get(), "cancelButton"), Qt::LeftButton);
            } else {
                QTest::keyClick(date, Qt::Key_Return);
                QVERIFY2(dialog->isVisible(), "Enter in a box must not save");
                QTest::keyClick(date, Qt::Key_Escape);
            }
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        }
        QVERIFY(templateBytes() == before);
        QVERIFY(m_recorder.messages.empty());
    }

    void okRefusesABadEntryNamingItsBoxAndSavesNothing()
    {
        const std::string before = templateBytes();
        const char* const cases[][3] = {{"serialEdit", "12a", "The certificate number to start from"},
                                        {"dateEdit2", "31/02/2009", "The date of filing of quarter 2"},
                                        {"dateEdit4", "2009-05-14", "The date of filing of quarter 4"}};
        for (const auto& [name, text, promptStart] : cases) {
            m_recorder.messages.clear();
            auto dialog = open();
            QVERIFY(dialog);
            type(box(dialog.get(), name), QString::fromLatin1(text));
            QTest::mouseClick(child(dialog.get(), "okButton"), Qt::LeftButton);
            QVERIFY2(dialog->isVisible(), text);
            QCOMPARE(m_recorder.messages.size(), size_t(1));
            QVERIFY2(m_recorder.messages[0].prompt.rfind(promptStart, 0) == 0, text);
            // The focus goes to the named box, its entry selected for retyping.
            QCOMPARE(QApplication::focusWidget(), box(dialog.get(), name));
            QCOMPARE(box(dialog.get(), name)->selectedText(), QString::fromLatin1(text));
        }
        QVERIFY(templateBytes() == before);
    }

    void missingTemplateIsReportedAndTheDialogNotShown()
    {
        std::filesystem::remove(m_folder->templatePath());
        AcknDialog dialog(m_folder->templatePath());
        QVERIFY(!dialog.load());
        QCOMPARE(m_recorder.messages.size(), size_t(1));
        QVERIFY(m_recorder.messages[0].prompt.find("TDS16A.xls") != std::string::npos);
        QVERIFY(!std::filesystem::exists(m_folder->templatePath()));
    }

    void supportLinkMailsWhatItShows()
    {
        auto dialog = open();
        QVERIFY(dialog);
        auto* link = child<QLabel>(dialog.get(), "supportLink");
        link->setText(QStringLiteral("tds.help@branch.example"));
        QCOMPARE(linksMailedBy(link), QList<QUrl>{QUrl(QStringLiteral("MailTo:tds.help@branch.example"))});
        QVERIFY(dialog->isVisible());
    }
};

QTEST_MAIN(TestAcknDialog)
#include "test_ackn_dialog.moc"
