#include "app/gui/MainWindow.h"

#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "app/gui/AboutDialog.h"
#include "ackn/gui/AcknDialog.h"
#include "app/AppFolderLock.h"
#include "app/GenerateCommand.h"
#include "app/gui/GuiReporter.h"
#include "widgets/MessageBox.h"
#include "app/TemplateInUseGuard.h"
#include "widgets/MailLink.h"
#include "app/gui/Pictures.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace cw::app {

using widgets::ClickableLabel;
using widgets::MessageBox;
using widgets::openMailTo;
namespace contact = widgets::contact;

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLabel* makeLabel(QLabel* label, const char* name, bool bold, qreal points, const QColor& colour)
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
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Certwright"));

    m_picture1 = new BackgroundPicture(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_picture1);

    m_frame1 = new QGroupBox(m_picture1);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    // The buttons sit on the window's own colour, so they look as the platform draws them.
    m_frame1->setAutoFillBackground(true);
    m_command1 = makeButton(m_frame1, "Command1", "&Generate Form 16A");
    m_cmdAcknSr = makeButton(m_frame1, "CmdAcknSr", "&Acknowledgement No./ Sr. No.");
    m_cmdPrint = makeButton(m_frame1, "CmdPrint", "&Print Certificates");
    m_cmdHelp = makeButton(m_frame1, "CmdHelp", "&Help");
    m_cmdExit = makeButton(m_frame1, "CmdExit", "E&xit");
    auto* buttons = new QVBoxLayout(m_frame1);
    for (QPushButton* button : {m_command1, m_cmdAcknSr, m_cmdPrint, m_cmdHelp, m_cmdExit}) {
        button->setMinimumHeight(button->sizeHint().height() * 5 / 4);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);

    m_picAbtMe = new AboutMePicture(m_picture1);
    m_picAbtMe->setObjectName(QStringLiteral("PicAbtMe"));

    const QColor white(Qt::white);
    const QColor paleBlue(0xc8, 0xdc, 0xf0);
    m_label1 = makeLabel(new QLabel(m_picture1), "Label1", true, 9, white);
    m_label2 = static_cast<ClickableLabel*>(makeLabel(new ClickableLabel(m_picture1), "Label2", false, 10,
                                                      QColor(0xff, 0xe0, 0x80)));
    QFont linkFont = m_label2->font();
    linkFont.setUnderline(true);
    m_label2->setFont(linkFont);
    m_label3 = makeLabel(new QLabel(m_picture1), "Label3", true, 10, white);
    m_label4 = makeLabel(new QLabel(m_picture1), "Label4", false, 9, paleBlue);
    QFont versionFont = m_label4->font();
    versionFont.setFamilies({QStringLiteral("Tahoma"), versionFont.family()});
    m_label4->setFont(versionFont);

    // Buttons on the left; the About picture and the notice on the right; the credit, the
    // contact link and the version along the bottom.
    auto* right = new QVBoxLayout;
    right->addWidget(m_picAbtMe, 0, Qt::AlignRight);
    right->addSpacing(fontMetrics().height());
    right->addWidget(m_label3);
    right->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_frame1, 0);
    top->addSpacing(fontMetrics().averageCharWidth() * 2);
    top->addLayout(right, 1);

    auto* bottom = new QHBoxLayout;
    auto* contact = new QVBoxLayout;
    contact->addWidget(m_label1);
    contact->addWidget(m_label2, 0, Qt::AlignLeft);
    bottom->addLayout(contact, 1);
    bottom->addWidget(m_label4, 0, Qt::AlignRight | Qt::AlignBottom);

    const int margin = fontMetrics().height();
    auto* content = new QVBoxLayout(m_picture1);
    content->setContentsMargins(margin, margin, margin, margin * 3 / 4);
    content->addLayout(top, 1);
    content->addSpacing(margin);
    content->addLayout(bottom);


    connect(m_command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(m_cmdAcknSr, &QPushButton::clicked, this, &MainWindow::CmdAcknSr_Click);
    connect(m_cmdPrint, &QPushButton::clicked, this, &MainWindow::CmdPrint_Click);
    connect(m_cmdHelp, &QPushButton::clicked, this, &MainWindow::CmdHelp_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &MainWindow::CmdExit_Click);
    connect(m_picAbtMe, &AboutMePicture::clicked, this, &MainWindow::PicAbtMe_Click);
    connect(m_label2, &ClickableLabel::clicked, this, &MainWindow::Label2_Click);

    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::setPrintWindowOpener(std::function<void(QWidget*)> opener)
{
    m_openPrintWindow = std::move(opener);
}

std::string MainWindow::helpText()
{
    return " Follow the Following steps to ensure correct Output:\r\r"
           "1. Please keep the TDS16A.xls and TDS.txt files in the same folder where the Certwright.exe resides.\r"
           "Rename the etds text file from which fvu file is generated as TDS.\r"
           "2. Dont rename any file or Sheet of TDS16A.xls, else the program will not run correctly.\r"
           "3. For more details, read the \"Read me First.txt\" file.\r";
}

void MainWindow::Form_Load()
{
    m_label1->setText(QStringLiteral("Developed by %1. For help, suggestions or a customised version, write to:")
                          .arg(QString::fromUtf8(contact::kDeveloperName)));
    m_label2->setText(QString::fromUtf8(contact::kSupportAddress));
    m_label3->setText(MessageBox::displayText(
        "A customised version of Certwright, suited to your office,\r"
        "can be had from the developer on request.\r"
        "\r"
        "The cost of the service will depend upon the size of customization."));
    m_label4->setText(QStringLiteral("Version 1.0"));
}

void MainWindow::Command1_Click()
{
    // Progress reports let events through; a second click meanwhile must not start a second run.
    if (m_running)
        return;
    m_running = true;
    const bool acknEnabled = m_cmdAcknSr->isEnabled();
    const bool printEnabled = m_cmdPrint->isEnabled();
    // The other commands read or print the template and the certificates this run rewrites.
    m_cmdAcknSr->setEnabled(false);
    m_cmdPrint->setEnabled(false);

    GenerateOutcome outcome;
    {
        GuiReporter reporter(this);
        const auto templatePath = m_appFolder / "TDS16A.xls";
        GenerateCommand command(m_appFolder, reporter, [&] { return templateInUse("TDS16A", templatePath); });
        command.setOldCertificatesRemover(removeInDetachedProcess); // the window stays responsive
        outcome = command.run();
    }
    m_running = false;

    switch (outcome) {
    case GenerateOutcome::Succeeded:
        m_cmdAcknSr->setEnabled(true);
        m_cmdPrint->setEnabled(true);
        break;
    case GenerateOutcome::InvalidStatement:
        // The template now holds the refused statement's sheets; the certificates of an earlier
        // run are untouched, but printing stays off until a run succeeds.
        m_cmdAcknSr->setEnabled(true);
        break;
    case GenerateOutcome::Failed:
        // Refused with its message; the template is as it was, so everything may be retried.
        m_cmdAcknSr->setEnabled(true);
        m_cmdPrint->setEnabled(true);
        break;
    case GenerateOutcome::EndProgram:
        // Template in use, statement missing or nothing to certify: the buttons are left as
        // the run found them, and the program ends.
        m_cmdAcknSr->setEnabled(acknEnabled);
        m_cmdPrint->setEnabled(printEnabled);
        endProgram();
        break;
    }
}

void MainWindow::CmdAcknSr_Click()
{
    // The dialog may save the template at any moment: no other writing command meanwhile.
    const AppFolderLock lock(m_appFolder);
    if (lock.refusal()) {
        MessageBox::show(this, *lock.refusal());
        return;
    }
    const auto templatePath = m_appFolder / "TDS16A.xls";
    if (auto inUse = templateInUse("TDS16A", templatePath)) {
        MessageBox::show(this, *inUse);
        endProgram();
        return;
    }
    ackn::AcknDialog dialog(templatePath, this);
    if (dialog.Form_Load())
        dialog.exec();
}

void MainWindow::CmdPrint_Click()
{
    if (m_openPrintWindow)
        m_openPrintWindow(this);
}

void MainWindow::CmdHelp_Click()
{
    MessageBox::show(this, {helpText(), "Help!", core::Icon::Information});
}

void MainWindow::CmdExit_Click()
{
    close();
}

void MainWindow::PicAbtMe_Click()
{
    AboutDialog about(this);
    about.exec();
}

void MainWindow::Label2_Click()
{
    openMailTo(this, m_label2->text());
}

void MainWindow::endProgram()
{
    emit programEnded(1);
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing mid-run would leave the template half written.
    if (m_running) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace cw::app
