// The main window's working-folder line shows the folder, opens it, and Help names it.
#include "app/gui/MainWindow.h"
#include "core/PathText.h"
#include "widgets/MessageBox.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

class TestWorkingFolderLine : public QObject {
    Q_OBJECT
    QList<QUrl> m_opened;
public slots:
    void open(const QUrl& url) { m_opened.append(url); }
private slots:
    void showsOpensAndNamesTheFolder()
    {
        // Characters that break the line's markup or the folder's URL unless each is escaped.
        QTemporaryDir scratch;
        const QString name = QStringLiteral("/A&B <Certwright> #1 ü%20"), folder = scratch.path() + name;
        std::vector<cw::core::Message> messages;
        cw::widgets::MessageBox::recordInstead(&messages);
        cw::app::MainWindow window(cw::core::pathFromText(folder.toStdString()));
        auto* line = window.findChild<QLabel*>(QStringLiteral("workingFolderLine"));
        QVERIFY(line);
        QTextDocument shown;
        shown.setHtml(line->text());
        // A long path is shortened in the middle, so the line may show only the folder's ends.
        const QString text = shown.toPlainText();
        QVERIFY2(text.startsWith(QStringLiteral("Working folder: ")) && text.endsWith(name), qPrintable(text));
        QVERIFY(text == QStringLiteral("Working folder: ") + folder || text.contains(QChar(0x2026)));
        QCOMPARE(line->toolTip(), folder);

        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
        emit line->linkActivated(QStringLiteral("folder"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0].toLocalFile(), folder);

        window.findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
        cw::widgets::MessageBox::recordInstead(nullptr);
        QCOMPARE(messages.size(), size_t(1));
        QVERIFY(messages[0].prompt.find("\rWorking folder: " + folder.toStdString() + "\r") != std::string::npos);
    }
};

QTEST_MAIN(TestWorkingFolderLine)
#include "test_working_folder_line.moc"
