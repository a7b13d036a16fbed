// The About window: its six texts, the fixed mail link and the keys that close it or not.
#include "app/gui/AboutDialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>
#include <QtTest>

using cw::app::AboutDialog;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TestFrmAbout : public QObject {
    Q_OBJECT
private slots:
    void showsItsSixTexts();
    void mailLinkIsTheFixedAddressWhateverTheLabelShows();
    void escClosesEnterDoesNot();
};

void TestFrmAbout::showsItsSixTexts()
{
    AboutDialog about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Me"));
    QVERIFY(about.isModal());
    auto text = [&](const char* name) {
        auto* label = about.findChild<QLabel*>(name);
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    };
    QCOMPARE(text("Label1"), QStringLiteral("About Certwright"));
    QVERIFY(text("Label2").startsWith(QStringLiteral(
        "The software has been developed to generate Form 16A (TDS Certificates) from the text file which is used to "
        "generate fvu file for filing online etds return with TIN.")));
    QVERIFY(text("Label2").endsWith(QStringLiteral("has the right to reject the request for customization without assigning any reason.")));
    QCOMPARE(text("Label3"), QStringLiteral("About Me"));
    QCOMPARE(text("Label4"), QStringLiteral("Name:\tCertwright Developers\nCity:\tBengaluru, India\n"
                                            "Email : support@certwright.example"));
    QCOMPARE(text("Label5"), QStringLiteral("Disclaimer"));
    // The disclaimer keeps its double blanks and the blank before the comma.
    const QStringList disclaimer = text("Label6").split(QLatin1Char('\n'));
    QCOMPARE(disclaimer.size(), 3);
    QVERIFY(disclaimer[0].startsWith(QStringLiteral("Every efforts has been made to  avoid errors")));
    QVERIFY(disclaimer[0].contains(QStringLiteral("discrepancy is found , it may be brought")));
    QCOMPARE(disclaimer[1], QStringLiteral("The developer will not be responsible for the damages etc in any form or method there from."));
    QCOMPARE(disclaimer[2], QStringLiteral("Users are requested to  cross check the provisions of the law  to avoid any doubt."));

    for (const char* heading : {"Label1", "Label3", "Label5"}) {
        const QFont font = about.findChild<QLabel*>(heading)->font();
        QVERIFY2(font.bold(), heading);
        QCOMPARE(font.pointSizeF(), 9.75);
    }
}

void TestFrmAbout::mailLinkIsTheFixedAddressWhateverTheLabelShows()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    AboutDialog about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto* label4 = about.findChild<QLabel*>("Label4");
    label4->setText(QStringLiteral("someone.else@example.org"));
    QTest::mouseClick(label4, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    QCOMPARE(AboutDialog::mailLink(), QStringLiteral("mailto:support@certwright.example"));
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].toString(), QStringLiteral("mailto:support@certwright.example"));
}

void TestFrmAbout::escClosesEnterDoesNot()
{
    AboutDialog about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Return);
    QTest::keyClick(&about, Qt::Key_Enter);
    QTest::keyClick(&about, Qt::Key_A);
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestFrmAbout)
#include "test_about_dialog.moc"
