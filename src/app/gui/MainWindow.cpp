#include "app/gui/MainWindow.h"
#include "core/AppFiles.h"

#include "ackn/gui/AcknDialog.h"
#include "app/AppFolderLock.h"
#include "app/CheckCommand.h"
#include "app/GenerateCommand.h"
#include "app/TemplateInUseGuard.h"
#include "app/gui/AboutDialog.h"
#include "app/gui/CheckWindow.h"
#include "app/gui/GuiReporter.h"
#include "app/gui/Pictures.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "core/Version.h"
#include "mail/MailSettings.h"
#include "mail/gui/MailWindow.h"
#include "widgets/Buttons.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MailLink.h"
#include "widgets/MessageBox.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

namespace cw::app {

// What a check run hands back to the window: the result, or the message of why it has none.
struct CheckRun {
    std::optional<check::CheckResult> result;
    std::optional<core::Message> failure;
};

// A Generate run: its reporter, how it ended, and the buttons as it found them.
struct GenerateRun {
    std::unique_ptr<GuiReporter> reporter;
    GenerateOutcome outcome = GenerateOutcome::Failed;
    bool acknEnabled = false;
    bool printEnabled = false;
};

using widgets::ClickableLabel;
using widgets::MessageBox;
using widgets::openMailTo;
namespace contact = widgets::contact;

namespace {

QLabel* styleLabel(QLabel* label, const char* name, bool bold, qreal points, const QColor& colour)
{
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setBold(bold);
    font.setPointSizeF(points);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

} // namespace

MainWindow::MainWindow(std::filesystem::path appFolder, QWidget* parent)
    : QWidget(parent)
    , m_appFolder(std::move(appFolder))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Certwright"));

    auto* background = new BackgroundPicture(this);
    background->setObjectName(QStringLiteral("background"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(background);

    auto* buttonFrame = new QGroupBox(background);
    buttonFrame->setObjectName(QStringLiteral("buttonFrame"));
    // The buttons sit on the window's own colour, so they look as the platform draws them.
    buttonFrame->setAutoFillBackground(true);
    m_generateButton = widgets::pushButton("generateButton", "&Generate Form 16A", buttonFrame);
    m_checkButton = widgets::pushButton("checkButton", "&Check Statement", buttonFrame);
    m_acknButton = widgets::pushButton("acknButton", "&Acknowledgement No./ Sr. No.", buttonFrame);
    m_printButton = widgets::pushButton("printButton", "&Print Certificates", buttonFrame);
    QPushButton* mailButton = widgets::pushButton("mailButton", "&E-mail Certificates", buttonFrame);
    QPushButton* helpButton = widgets::pushButton("helpButton", "&Help", buttonFrame);
    QPushButton* exitButton = widgets::pushButton("exitButton", "E&xit", buttonFrame);
    auto* buttons = new QVBoxLayout(buttonFrame);
    for (QPushButton* button : {m_generateButton, m_checkButton, m_acknButton, m_printButton, mailButton, helpButton, exitButton}) {
        button->setMinimumHeight(button->sizeHint().height() * 5 / 4);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);

    auto* aboutPicture = new AboutMePicture(background);
    aboutPicture->setObjectName(QStringLiteral("aboutPicture"));

    const QColor white(Qt::white);
    auto* credit = styleLabel(new QLabel(background), "creditLabel", true, 9, white);
    credit->setText(QStringLiteral("Developed by %1. For help, suggestions or a customised version, write to:")
                        .arg(QString::fromUtf8(contact::kDeveloperName)));
    m_supportLink = new ClickableLabel(background);
    styleLabel(m_supportLink, "supportLink", false, 10, QColor(0xff, 0xe0, 0x80));
    QFont linkFont = m_supportLink->font();
    linkFont.setUnderline(true);
    m_supportLink->setFont(linkFont);
    m_supportLink->setText(QString::fromUtf8(contact::kSupportAddress));
    auto* notice = styleLabel(new QLabel(background), "noticeLabel", true, 10, white);
    notice->setText(MessageBox::displayText("A customised version of Certwright, suited to your office,\r"
                                            "can be had from the developer on request.\r"
                                            "\r"
                                            "The cost of the service will depend upon the size of customization."));
    auto* version = styleLabel(new QLabel(background), "versionLabel", false, 9, QColor(0xc8, 0xdc, 0xf0));
    QFont versionFont = version->font();
    versionFont.setFamilies({QStringLiteral("Tahoma"), versionFont.family()});
    version->setFont(versionFont);
    version->setText(QStringLiteral("Version %1").arg(QLatin1String(core::kVersion)));

    // Where the files are, in one line whose link opens the folder in the file manager. A long
    // path is shortened in the middle so that it never widens the window; the tip shows it whole.
    auto* folderLine = styleLabel(new QLabel(background), "workingFolderLine", false, 9, white);
    const QString folder = QDir::toNativeSeparators(QString::fromUtf8(core::pathText(m_appFolder)));
    const QString shown =
        folderLine->fontMetrics().elidedText(folder, Qt::ElideMiddle, fontMetrics().averageCharWidth() * 72);
    folderLine->setTextFormat(Qt::RichText);
    folderLine->setText(QStringLiteral("Working folder: <a href=\"folder\" style=\"color:#ffe080\">%1</a>")
                            .arg(shown.toHtmlEscaped()));
    folderLine->setToolTip(folder);
    folderLine->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    // Buttons on the left; the About picture and the notice on the right; the credit, the
    // contact link and the version along the bottom.
    auto* right = new QVBoxLayout;
    right->addWidget(aboutPicture, 0, Qt::AlignRight);
    right->addSpacing(fontMetrics().height());
    right->addWidget(notice);
    right->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(buttonFrame, 0);
    top->addSpacing(fontMetrics().averageCharWidth() * 2);
    top->addLayout(right, 1);

    auto* bottom = new QHBoxLayout;
    auto* contactLines = new QVBoxLayout;
    contactLines->addWidget(credit);
    contactLines->addWidget(m_supportLink, 0, Qt::AlignLeft);
    bottom->addLayout(contactLines, 1);
    bottom->addWidget(version, 0, Qt::AlignRight | Qt::AlignBottom);

    const int margin = fontMetrics().height();
    auto* content = new QVBoxLayout(background);
    content->setContentsMargins(margin, margin, margin, margin * 3 / 4);
    content->addLayout(top, 1);
    content->addSpacing(margin);
    content->addWidget(folderLine);
    content->addSpacing(margin / 2);
    content->addLayout(bottom);

    connect(m_generateButton, &QPushButton::clicked, this, &MainWindow::generate);
    connect(m_checkButton, &QPushButton::clicked, this, &MainWindow::checkStatement);
    connect(m_acknButton, &QPushButton::clicked, this, &MainWindow::editAcknowledgements);
    connect(m_printButton, &QPushButton::clicked, this, &MainWindow::printCertificates);
    connect(mailButton, &QPushButton::clicked, this, &MainWindow::emailCertificates);
    connect(helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(aboutPicture, &AboutMePicture::clicked, this, &MainWindow::showAbout);
    connect(m_supportLink, &ClickableLabel::clicked, this, &MainWindow::mailSupport);
    connect(folderLine, &QLabel::linkActivated, this, &MainWindow::openWorkingFolder);
}

MainWindow::~MainWindow()
{
    if (m_checkThread)
        m_checkThread->wait();
    if (m_generateThread) {
        // The run finishes the template it is writing, without the window.
        m_generateRun->reporter->abandon();
        m_generateThread->wait();
        delete m_generateThread;
    }
}

void MainWindow::setPrintWindowOpener(std::function<void(QWidget*)> opener)
{
    m_openPrintWindow = std::move(opener);
}

void MainWindow::setReportChooser(std::function<std::filesystem::path(QWidget*)> chooser)
{
    m_chooseReport = std::move(chooser);
}

std::string MainWindow::helpText()
{
    return " Follow the Following steps to ensure correct Output:\r\r"
           "1. Please keep the TDS16A.xls and TDS.txt files in the same folder where the Certwright.exe resides.\r"
           "Rename the etds text file from which fvu file is generated as TDS.\r"
           "2. Dont rename any file or Sheet of TDS16A.xls, else the program will not run correctly.\r"
           "3. For more details, read the \"Read me First.txt\" file.\r";
}

void MainWindow::generate()
{
    // A second click while a run is under way must not start a second run.
    if (m_generateThread)
        return;
    auto run = std::make_shared<GenerateRun>();
    run->acknEnabled = m_acknButton->isEnabled();
    run->printEnabled = m_printButton->isEnabled();
    run->reporter = std::make_unique<GuiReporter>(this);
    m_generateRun = run;
    // The other commands read or print the template and the certificates this run rewrites.
    m_acknButton->setEnabled(false);
    m_printButton->setEnabled(false);

    // The guard reads the desktop's window titles over a connection of its own, and the old
    // certificates go in a process of their own: neither needs the window's thread.
    m_generateThread = QThread::create([run, folder = m_appFolder] {
        const auto templatePath = folder / core::kTemplateFile;
        GenerateCommand command(folder, *run->reporter, [templatePath] { return templateInUse("TDS16A", templatePath); });
        command.setOldCertificatesRemover(removeInDetachedProcess);
        run->outcome = command.run();
    });
    connect(m_generateThread, &QThread::finished, this, &MainWindow::finishGenerate);
    m_generateThread->start();
}

void MainWindow::finishGenerate()
{
    // Queued after the run's last progress report, so none is left to reach the reporter.
    m_generateThread->deleteLater();
    m_generateThread = nullptr;
    const std::shared_ptr<GenerateRun> run = std::move(m_generateRun);
    run->reporter.reset();

    switch (run->outcome) {
    case GenerateOutcome::Succeeded:
        m_acknButton->setEnabled(true);
        m_printButton->setEnabled(true);
        break;
    case GenerateOutcome::InvalidStatement:
        // The template now holds the refused statement's sheets; the certificates of an earlier
        // run are untouched, but printing stays off until a run succeeds.
        m_acknButton->setEnabled(true);
        break;
    case GenerateOutcome::Failed:
        // Refused with its message; the template is as it was, so everything may be retried.
        m_acknButton->setEnabled(true);
        m_printButton->setEnabled(true);
        break;
    case GenerateOutcome::EndProgram:
        // Template in use, statement missing or nothing to certify: the buttons are left as
        // the run found them, and the program ends.
        m_acknButton->setEnabled(run->acknEnabled);
        m_printButton->setEnabled(run->printEnabled);
        break;
    }
    if (run->outcome == GenerateOutcome::EndProgram)
        endProgram();
    emit generateFinished(run->outcome);
}

void MainWindow::checkStatement()
{
    if (m_checkThread)
        return;
    m_checkButton->setEnabled(false);
    auto run = std::make_shared<CheckRun>();
    m_checkRun = run;
    // The check only reads: it needs no folder lock, and a large statement must not freeze the window.
    m_checkThread = QThread::create([run, folder = m_appFolder] {
        try {
            run->result = checkWorkingFolder(folder, std::nullopt);
        } catch (const core::Failure& e) {
            run->failure = e.message();
        } catch (const std::exception& e) {
            run->failure = core::Message{std::string("The statement could not be checked: ") + e.what(),
                                         core::kErrorTitle, core::Icon::Information};
        }
    });
    connect(m_checkThread, &QThread::finished, this, &MainWindow::showCheck);
    m_checkThread->start();
}

void MainWindow::showCheck()
{
    m_checkThread->deleteLater();
    m_checkThread = nullptr;
    m_checkButton->setEnabled(true);
    const std::shared_ptr<CheckRun> run = std::move(m_checkRun);
    if (!run->result) {
        MessageBox::show(this, *run->failure);
        return;
    }
    const std::filesystem::path folder = m_appFolder;
    CheckWindow::ReportChooser chooser = m_chooseReport;
    if (!chooser)
        chooser = [folder](QWidget* parent) { return chooseReportFile(parent, folder); };
    auto* window = new CheckWindow(std::move(*run->result), std::move(chooser), this);
    window->show();
}

void MainWindow::editAcknowledgements()
{
    // The dialog may save the template at any moment: no other writing command meanwhile.
    const AppFolderLock lock(m_appFolder);
    if (lock.refusal()) {
        MessageBox::show(this, *lock.refusal());
        return;
    }
    const auto templatePath = m_appFolder / core::kTemplateFile;
    if (auto inUse = templateInUse("TDS16A", templatePath)) {
        MessageBox::show(this, *inUse);
        endProgram();
        return;
    }
    ackn::AcknDialog dialog(templatePath, this);
    if (dialog.load())
        dialog.exec();
}

void MainWindow::printCertificates()
{
    // The print window saves PDFs into Form16A, which a generate elsewhere would replace.
    const AppFolderLock lock(m_appFolder);
    if (lock.refusal()) {
        MessageBox::show(this, *lock.refusal());
        return;
    }
    if (m_openPrintWindow)
        m_openPrintWindow(this);
}

void MainWindow::emailCertificates()
{
    // The window makes PDFs from Form16A and writes the send log while it is open.
    const AppFolderLock lock(m_appFolder);
    if (lock.refusal()) {
        MessageBox::show(this, *lock.refusal());
        return;
    }
    const std::unique_ptr<mail::Keyring> keyring = mail::systemKeyring();
    mail::MailWindow window(m_appFolder, *keyring, this);
    window.exec();
}

void MainWindow::showHelp()
{
    MessageBox::show(this, {helpText() + "\rWorking folder: " + core::pathText(m_appFolder) +
                                "\r\rForm16A is the program's own output: every Generate replaces it whole. Keep "
                                "signed PDFs and your own files in another folder.\r",
                            "Help!", core::Icon::Information});
}

void MainWindow::showAbout()
{
    AboutDialog about(this);
    about.exec();
}

void MainWindow::mailSupport()
{
    openMailTo(this, m_supportLink->text());
}

void MainWindow::openWorkingFolder()
{
    const QString folder = QString::fromUtf8(core::pathText(m_appFolder));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        MessageBox::show(this, {"No file manager could open the working folder " + core::pathText(m_appFolder) + ".",
                                "Working Folder!", core::Icon::Information});
}

void MainWindow::endProgram()
{
    emit programEnded(1);
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing mid-run would leave the template half written.
    if (m_generateThread) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace cw::app
