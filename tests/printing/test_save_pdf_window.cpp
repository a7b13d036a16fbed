// The print window's "Save as PDF…": the marked certificates merged or one file each, signed
// with a .p12, a wrong password shown before any PDF is written, Cancel while the PDFs are written.
#include "PrintTestSupport.h"
#include "SyntheticStatement.h"
#include "TestSupport.h"
#include "WindowTests.h"
#include "app/GenerateCommand.h"
#include "printing/gui/PrintDialog.h"
#include "printing/gui/SavePdfDialog.h"
#include "printing/gui/SigningKeyBox.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

namespace fs = std::filesystem;
using cw::printing::SavePdfDialog;

class TestSavePdfWindow : public QObject {
    Q_OBJECT

    fs::path m_app, m_form16a;
    std::vector<cw::core::Message> m_messages;

    // A self-signed key in a .p12, made with openssl; empty when openssl is missing.
    fs::path makeKey()
    {
        const fs::path p12 = m_app / "signer.p12";
        std::string out;
        const std::string key = cw::test::shellQuote(m_app / "key.pem"), cert = cw::test::shellQuote(m_app / "cert.pem");
        if (cw::test::runCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + key + " -out " + cert +
                                     " -days 30 -subj /CN=Window\\ Signer && openssl pkcs12 -export -in " + cert +
                                     " -inkey " + key + " -out " + cw::test::shellQuote(p12) + " -passout pass:pw",
                                 out) != 0)
            return {};
        return p12;
    }

private slots:
    void initTestCase()
    {
        m_app = cw::printing::test::freshFolder("save-pdf");
        m_form16a = cw::printing::test::generateSampleCertificates(m_app);
        cw::widgets::MessageBox::recordInstead(&m_messages);
    }
    void init() { m_messages.clear(); }

    void savesTheMarkedCertificatesMergedOrOneFileEach()
    {
        SavePdfDialog merged(m_form16a, {"004", "001"});
        merged.mergedChoice()->setChecked(true);
        QVERIFY(!merged.protectBox()->isEnabled());
        merged.mergedFileEdit()->setText(QString::fromStdString((m_app / "both.pdf").string()));
        const auto r = merged.save();
        QCOMPARE(r.done, (std::vector<std::string>{"004", "001"}));
        QCOMPARE(cw::printing::test::pdfPageCount(m_app / "both.pdf"), 3);

        SavePdfDialog each(m_form16a, {"002", "404"});
        const auto r2 = each.save();
        QCOMPARE(r2.done, std::vector<std::string>{"002"});
        QCOMPARE(cw::printing::test::pdfPageCount(m_form16a / "002.pdf"), 1);
        QCOMPARE(m_messages.size(), size_t(1)); // 404 named as skipped
        QVERIFY(m_messages[0].prompt.find("404") != std::string::npos);
    }

    void signsWithAKeyFileAndRefusesAWrongPasswordBeforeWriting()
    {
        const fs::path p12 = makeKey();
        if (p12.empty())
            QSKIP("openssl is needed to make a key");
        SavePdfDialog wrong(m_form16a, {"003"});
        wrong.signingKey()->pkcs12Choice()->setChecked(true);
        wrong.signingKey()->pkcs12Edit()->setText(QString::fromStdString(p12.string()));
        wrong.signingKey()->passwordEdit()->setText(QStringLiteral("not it"));
        QVERIFY(wrong.save().done.empty());
        QCOMPARE(m_messages.size(), size_t(1));
        QVERIFY(m_messages[0].prompt.find("password") != std::string::npos);
        QVERIFY(!fs::exists(m_form16a / "003.pdf"));

        SavePdfDialog right(m_form16a, {"003"});
        right.signingKey()->pkcs12Choice()->setChecked(true);
        right.signingKey()->pkcs12Edit()->setText(QString::fromStdString(p12.string()));
        right.signingKey()->passwordEdit()->setText(QStringLiteral("pw"));
        right.protectBox()->setChecked(true);
        QCOMPARE(right.save().done, std::vector<std::string>{"003"});
        std::string out;
        QCOMPARE(cw::test::runCommand("pdfsig -upw AAAFR4321K " + cw::test::shellQuote(m_form16a / "003.pdf"), out), 0);
        QVERIFY2(out.find("Signature is Valid") != std::string::npos, out.c_str());
        QVERIFY2(out.find("Window Signer") != std::string::npos, out.c_str());
    }

    // The PDFs are written on a thread of their own; Cancel at the first report stops the run
    // well before its end, and a merged file is then not written at all.
    void cancelStopsTheRunUnderWay()
    {
        const fs::path app = cw::printing::test::freshFolder("save-pdf-cancel");
        cw::printing::test::generateSampleCertificates(app);
        cw::test::writeBytes(app / "TDS.txt", cw::test::largeStatement(300).text());
        cw::test::RecordingReporter reporter;
        QCOMPARE(cw::app::GenerateCommand(app, reporter).run(), cw::app::GenerateOutcome::Succeeded);

        SavePdfDialog dialog(app / "Form16A", {});
        dialog.mergedChoice()->setChecked(true);
        dialog.mergedFileEdit()->setText(QString::fromStdString((app / "all.pdf").string()));
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            auto* progress = dialog.findChild<QProgressDialog*>();
            if (progress && progress->value() > 0)
                progress->findChild<QPushButton*>()->click();
        });
        probe.start(1);
        const auto r = dialog.save();
        QVERIFY(r.cancelled);
        QVERIFY2(r.done.size() < 300, std::to_string(r.done.size()).c_str());
        QVERIFY(!fs::exists(app / "all.pdf"));
        QVERIFY(!dialog.findChild<QProgressDialog*>());
    }

    void theButtonAsksForMarkedCertificates()
    {
        cw::printing::PrintDialog window(m_app);
        QTest::mouseClick(cw::test::child(&window, "savePdfButton"), Qt::LeftButton);
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].prompt, std::string("No items selected!"));
    }
};

QTEST_MAIN(TestSavePdfWindow)
#include "test_save_pdf_window.moc"
