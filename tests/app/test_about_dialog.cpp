// The About window: its fixed mail link, and the keys that close it or not.
#include "WindowTests.h"
#include "app/gui/AboutDialog.h"

#include <QtTest>

class TestAboutDialog : public QObject {
    Q_OBJECT
private slots:
    void mailsItsFixedAddressAndOnlyEscCloses()
    {
        cw::app::AboutDialog about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        // The label shows more than the address; the link is the address alone.
        const QList<QUrl> mailed = cw::test::linksMailedBy(cw::test::child(&about, "developerLink"));
        QCOMPARE(mailed.value(0).toString(), QStringLiteral("mailto:support@certwright.example"));

        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_A})
            QTest::keyClick(&about, key);
        QVERIFY(about.isVisible());
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "test_about_dialog.moc"
