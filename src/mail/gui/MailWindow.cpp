#include "mail/gui/MailWindow.h"

#include "core/AppFiles.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "mail/MailRun.h"
#include "mail/MailSettings.h"
#include "mail/SendLog.h"
#include "mail/gui/MailSettingsDialog.h"
#include "mail/gui/SendLogDialog.h"
#include "widgets/Buttons.h"
#include "mail/gui/SignPdfsDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace cw::mail {

// What a worker hands back: the plan (and after a send, each deductee's outcome), or why there is none.
struct MailWindowRun {
    MailOptions options;
    std::optional<MailPlan> plan;
    std::map<std::string, std::string> lastSent; // by PAN, from the log
    std::optional<core::Message> failure;
    bool loginFailed = false;
    std::string summary;
    std::atomic<bool> cancelled{false};
};

namespace {

constexpr const char* kTitle = "E-mail Certificates";
enum Column { Pan, Name, Addresses, Certificates, LastSent, Outcome, Columns };

std::map<std::string, std::string> lastSentIn(const fs::path& folder)
{
    std::map<std::string, std::string> last;
    std::error_code ec;
    if (!fs::is_regular_file(folder / kSendLogFile, ec))
        return last;
    for (const LoggedMessage& m : SendLog(folder / kSendLogFile).messages())
        if (m.status == status::kSent)
            last[m.pan] = m.time; // the log lists them oldest first
    return last;
}

// What the Outcome column says of a deductee before and after a send.
std::string outcomeOf(const DeducteePlan& d, const fs::path& book)
{
    if (!d.status.empty())
        return d.status + (d.detail.empty() ? "" : ": " + d.detail);
    if (!d.alreadySentOn.empty())
        return "already sent on " + d.alreadySentOn;
    if (!d.fault.empty())
        return "not to be sent: " + d.fault;
    if (!d.addressee)
        return "no address in " + core::pathText(book.filename());
    return "to send";
}

// Runs `work` on the run, a failure kept as the message the window shows.
template <class Work>
void guarded(MailWindowRun& run, Work work)
{
    try {
        work();
    } catch (const core::Failure& f) {
        run.failure = f.message();
    } catch (const SmtpError& e) {
        run.loginFailed = e.loginRefused; // no connection says nothing of the password
        run.failure = core::Message{std::string("Nothing was sent: ") + e.what(), kTitle, core::Icon::Critical};
    } catch (const std::exception& e) {
        run.failure = core::Message{std::string("The certificates could not be sent: ") + e.what(), kTitle, core::Icon::Critical};
    }
}

} // namespace

MailWindow::MailWindow(fs::path folder, Keyring& keyring, QWidget* parent)
    : QDialog(parent)
    , m_folder(std::move(folder))
    , m_keyring(keyring)
{
    setObjectName(QStringLiteral("mailWindow"));
    setWindowTitle(QString::fromLatin1(kTitle));
    m_chooser = [](QWidget* parent, const QString& caption) {
        return core::pathFromText(QFileDialog::getExistingDirectory(parent, caption).toStdString());
    };
    m_source = new QComboBox(this);
    m_source->setObjectName(QStringLiteral("certificatesFrom"));
    m_source->addItem(QString::fromLatin1(core::kOutputFolder));
    m_source->addItem(QStringLiteral("another folder…"));
    auto* sourceLabel = new QLabel(QStringLiteral("Certificates &from:"), this);
    sourceLabel->setBuddy(m_source);
    auto* source = new QHBoxLayout;
    source->addWidget(sourceLabel);
    source->addWidget(m_source, 1);
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("mailCaption"));
    m_caption->setWordWrap(true);
    m_table = new QTableWidget(0, Columns, this);
    m_table->setObjectName(QStringLiteral("deducteeTable"));
    m_table->setHorizontalHeaderLabels({"PAN", "Name", "Addresses", "Certificates", "Last sent", "Outcome"});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("sendProgress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->hide(); // until a send starts
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("sendSummary"));
    m_summary->setWordWrap(true);

    m_settingsButton = widgets::pushButton("mailSettingsButton", "Se&ttings…", this);
    m_sendButton = widgets::pushButton("sendButton", "&Send", this);
    m_cancelButton = widgets::pushButton("cancelSendButton", "&Cancel", this);
    m_logButton = widgets::pushButton("sendLogButton", "Send &Log…", this);
    m_signButton = widgets::pushButton("signPdfsButton", "Si&gn PDFs…", this);
    m_closeButton = widgets::pushButton("closeMailButton", "Cl&ose", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_settingsButton);
    buttons->addWidget(m_logButton);
    buttons->addWidget(m_signButton);
    buttons->addStretch(1);
    for (QPushButton* b : {m_sendButton, m_cancelButton, m_closeButton})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(source);
    layout->addWidget(m_caption);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_progress);
    layout->addWidget(m_summary);
    layout->addLayout(buttons);
    resize(fontMetrics().averageCharWidth() * 150, fontMetrics().height() * 32);

    connect(m_settingsButton, &QPushButton::clicked, this, &MailWindow::editSettings);
    connect(m_sendButton, &QPushButton::clicked, this, &MailWindow::send);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->cancelled = true;
        m_cancelButton->setEnabled(false);
        m_summary->setText(QStringLiteral("Stopping after the message under way…"));
    });
    connect(m_logButton, &QPushButton::clicked, this, &MailWindow::showLog);
    connect(m_signButton, &QPushButton::clicked, this, &MailWindow::signPdfs);
    connect(m_source, qOverload<int>(&QComboBox::activated), this, &MailWindow::chooseSource);
    connect(m_closeButton, &QPushButton::clicked, this, &MailWindow::reject);
    loadPlan();
}

MailWindow::~MailWindow()
{
    // Closed while the folder was being read: the reading ends on its own, its outcome unused.
    if (m_thread) {
        m_run->cancelled = true;
        m_thread->wait();
        delete m_thread;
    }
}

void MailWindow::setBusy(bool busy)
{
    m_settingsButton->setEnabled(!busy);
    m_sendButton->setEnabled(!busy && m_run && m_run->plan);
    m_cancelButton->setEnabled(busy);
    m_logButton->setEnabled(!busy);
    m_signButton->setEnabled(!busy);
    m_source->setEnabled(!busy);
    m_closeButton->setEnabled(!busy);
}

void MailWindow::chooseSource(int index)
{
    if (index == m_source->count() - 1) { // "another folder…"
        const fs::path folder = m_chooser(this, QStringLiteral("The folder of certificate PDFs"));
        if (folder.empty()) {
            m_source->setCurrentIndex(m_sourceIndex);
            return;
        }
        const QString text = QString::fromStdString(core::pathText(folder));
        index = m_source->findText(text);
        if (index < 0)
            m_source->insertItem(index = m_source->count() - 1, text);
        m_source->setCurrentIndex(index);
    }
    if (index == m_sourceIndex)
        return;
    m_sourceIndex = index;
    m_pdfFolder = index == 0 ? fs::path() : core::pathFromText(m_source->itemText(index).toStdString());
    loadPlan();
}

void MailWindow::signPdfs()
{
    SignPdfsDialog dialog(m_chooser, m_pdfFolder, this);
    dialog.exec();
}

void MailWindow::loadPlan()
{
    // The register, the address book and every certificate's PAN are read: a large folder must
    // not freeze the window.
    m_run = std::make_shared<MailWindowRun>();
    m_run->options = optionsOf(loadMailSettings(), m_folder);
    m_run->options.dryRun = true; // plans without making the log
    m_run->options.pdfFolder = m_pdfFolder;
    m_caption->setText(QStringLiteral("Reading the certificates of %1…").arg(m_source->currentText()));
    m_thread = QThread::create([run = m_run] {
        guarded(*run, [&] {
            run->plan = planMail(run->options);
            run->lastSent = lastSentIn(run->options.folder);
        });
    });
    setBusy(true);
    m_cancelButton->setEnabled(false);
    connect(m_thread, &QThread::finished, this, &MailWindow::planLoaded);
    m_thread->start();
}

void MailWindow::planLoaded()
{
    m_thread->deleteLater();
    m_thread = nullptr;
    showPlan();
}

void MailWindow::showPlan()
{
    setBusy(false);
    m_rows.clear();
    if (!m_run->plan) {
        m_table->setRowCount(0);
        m_caption->setText(widgets::MessageBox::displayText(m_run->failure->prompt));
        emit planShown();
        return;
    }
    const MailPlan& plan = *m_run->plan;
    m_caption->setText(QStringLiteral("Form 16A for F.Y. %1 %2 from %3, to the addresses of %4.")
                           .arg(QString::fromStdString(plan.list.financialYear), QString::fromStdString(plan.list.quarter),
                                QString::fromStdString(plan.list.deductor),
                                QString::fromStdString(core::pathText(plan.bookFile.filename()))));
    for (const std::string& refused : plan.refused)
        m_caption->setText(m_caption->text() + QStringLiteral("\nNot to be sent: ") + QString::fromStdString(refused));
    m_table->setRowCount(static_cast<int>(plan.deductees.size()));
    int row = 0;
    for (const DeducteePlan& d : plan.deductees) {
        const auto last = m_run->lastSent.find(d.deductee.pan);
        const std::string texts[Columns] = {d.deductee.pan, d.deductee.name, d.addressee ? addressText(*d.addressee) : "",
                                            certificateNumbers(d.toSend.empty() ? d.deductee.certificates : d.toSend),
                                            last == m_run->lastSent.end() ? "" : last->second, outcomeOf(d, plan.bookFile)};
        for (int column = 0; column < Columns; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(QString::fromStdString(texts[column])));
        m_rows[d.deductee.pan] = row++;
    }
    m_table->resizeColumnsToContents();
    // Wide enough for every column where the screen allows, so that no outcome is cut off.
    int wanted = m_table->verticalScrollBar()->sizeHint().width() + 4 * m_table->frameWidth();
    for (int column = 0; column < Columns; ++column)
        wanted += m_table->columnWidth(column);
    const int room = screen() ? screen()->availableGeometry().width() * 9 / 10 : wanted;
    if (const int more = std::min(wanted, room) - m_table->viewport()->width(); more > 0)
        resize(width() + more, height());
    emit planShown();
}

void MailWindow::editSettings()
{
    MailSettingsDialog dialog(m_keyring, m_password, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_password = dialog.password();
    loadPlan(); // the protection and the templates may have changed nothing shown, but the log may have
}

bool MailWindow::askPassword(const MailSettings& settings)
{
    if (settings.user.empty() || !m_password.empty())
        return true;
    const std::string account = keyringAccount(settings.url, settings.user);
    // A kept password the server refused is not tried again: the user is asked.
    if (settings.rememberPassword && !m_keptPasswordRefused) {
        try {
            if (auto kept = m_keyring.read(account)) {
                m_password = *kept;
                return true;
            }
        } catch (const KeyringError& e) {
            m_summary->setText(QString::fromStdString(e.what()));
        }
    }
    bool ok = false;
    const QString typed = QInputDialog::getText(
        this, QStringLiteral("Password"),
        QString::fromStdString("Password of \"" + settings.user + "\" at " + settings.url + ":"), QLineEdit::Password,
        QString(), &ok);
    if (!ok)
        return false;
    m_password = typed.toStdString();
    if (settings.rememberPassword) {
        try {
            m_keyring.write(account, m_password);
            m_keptPasswordRefused = false;
        } catch (const KeyringError& e) {
            m_summary->setText(QString::fromStdString(e.what()));
        }
    }
    return true;
}

void MailWindow::send()
{
    if (m_thread)
        return;
    const MailSettings settings = loadMailSettings();
    if (const std::string problem = mailSettingsProblem(settings); !problem.empty()) {
        widgets::MessageBox::show(this, {"Nothing was sent: " + problem + ". Give it in Settings.", kTitle, core::Icon::Information});
        return;
    }
    if (!askPassword(settings))
        return;
    m_run = std::make_shared<MailWindowRun>();
    m_run->options = optionsOf(settings, m_folder);
    m_run->options.smtp.password = m_password;
    m_run->options.pdfFolder = m_pdfFolder;
    // Each row's outcome reaches the window as it happens; Cancel stops after the message under way.
    QPointer<MailWindow> window(this);
    m_run->options.progress = [window, run = m_run.get()](const DeducteePlan& d, std::size_t done, std::size_t total) {
        const std::string pan = d.deductee.pan, outcome = d.status + (d.detail.empty() ? "" : ": " + d.detail);
        QMetaObject::invokeMethod(
            window, [window, pan, outcome, done, total] { if (window) window->showOutcome(pan, outcome, done, total); },
            Qt::QueuedConnection);
        return !run->cancelled.load();
    };
    m_progress->setRange(0, 0);
    m_progress->show();
    m_summary->setText(QStringLiteral("Making the PDFs and sending…"));
    m_thread = QThread::create([run = m_run] {
        guarded(*run, [&] {
            run->plan = planMail(run->options);
            std::ostringstream lines;
            sendMail(*run->plan, run->options, lines);
            const std::string text = lines.str();
            const std::size_t last = text.find_last_of('\n', text.size() - 2);
            run->summary = text.substr(last == std::string::npos ? 0 : last + 1);
        });
        guarded(*run, [&] { run->lastSent = lastSentIn(run->options.folder); });
    });
    setBusy(true);
    connect(m_thread, &QThread::finished, this, &MailWindow::finishSend);
    m_thread->start();
}

void MailWindow::showOutcome(const std::string& pan, const std::string& outcome, std::size_t done, std::size_t total)
{
    m_progress->setRange(0, static_cast<int>(total));
    m_progress->setValue(static_cast<int>(done));
    if (const auto row = m_rows.find(pan); row != m_rows.end())
        m_table->item(row->second, Outcome)->setText(QString::fromStdString(outcome));
}

void MailWindow::finishSend()
{
    m_thread->deleteLater();
    m_thread = nullptr;
    const std::shared_ptr<MailWindowRun> run = m_run;
    if (run->loginFailed) {
        m_password.clear(); // asked again at the next Send
        m_keptPasswordRefused = true;
    }
    m_progress->setRange(0, 1);
    m_progress->setValue(run->failure ? 0 : 1);
    showPlan();
    m_summary->setText(QString::fromStdString(run->failure ? run->failure->prompt : run->summary).trimmed());
    if (run->failure)
        widgets::MessageBox::show(this, *run->failure);
    emit sendFinished();
}

void MailWindow::showLog()
{
    SendLogDialog log(m_folder, {}, this);
    log.exec();
}

void MailWindow::reject()
{
    // The run writes the log as each message goes; it ends at Cancel, not at Close. Reading the
    // folder may be left: the window waits for it as it goes.
    if (m_thread && !m_run->options.dryRun)
        return;
    QDialog::reject();
}

} // namespace cw::mail
