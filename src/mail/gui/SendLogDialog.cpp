#include "mail/gui/SendLogDialog.h"

#include "core/PathText.h"
#include "mail/MailRun.h"
#include "mail/SendLog.h"
#include "printing/PendingFile.h"
#include "widgets/MessageBox.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

// The log's messages, none when nothing was sent yet; throws core::Failure for a damaged log.
std::vector<LoggedMessage> loggedIn(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_regular_file(folder / kSendLogFile, ec))
        return {};
    return SendLog(folder / kSendLogFile).messages();
}

} // namespace

SendLogDialog::SendLogDialog(const fs::path& folder, FileChooser chooseCsv, QWidget* parent)
    : QDialog(parent)
    , m_folder(folder)
    , m_chooseCsv(std::move(chooseCsv))
{
    setObjectName(QStringLiteral("sendLogDialog"));
    setWindowTitle(QStringLiteral("Send Log"));
    auto* table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("logTable"));
    table->setColumnCount(7);
    table->setHorizontalHeaderLabels({"Time", "PAN", "Name", "Addresses", "Certificates", "Status", "Server's reply"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    auto* summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("logSummary"));
    try {
        const std::vector<LoggedMessage> messages = loggedIn(folder);
        table->setRowCount(static_cast<int>(messages.size()));
        for (int row = 0; row < table->rowCount(); ++row) {
            const LoggedMessage& m = messages[static_cast<std::size_t>(row)];
            std::string numbers;
            for (const LoggedCertificate& c : m.certificates)
                numbers += (numbers.empty() ? "" : ", ") + c.number;
            const std::string reply = m.reply + (m.note.empty() ? "" : (m.reply.empty() ? "" : "; ") + m.note);
            int column = 0;
            for (const std::string* text : std::initializer_list<const std::string*>{&m.time, &m.pan, &m.name, &m.addresses, &numbers, &m.status, &reply})
                table->setItem(row, column++, new QTableWidgetItem(QString::fromStdString(*text)));
        }
        summary->setText(messages.empty() ? QStringLiteral("Nothing was sent from this folder yet.")
                                          : QStringLiteral("%1 message(s)").arg(messages.size()));
    } catch (const std::exception& e) {
        summary->setText(QString::fromStdString(e.what()));
    }
    table->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* exportButton = buttons->addButton(QStringLiteral("&Export CSV…"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("exportLogButton"));
    exportButton->setEnabled(table->rowCount() > 0);
    connect(exportButton, &QPushButton::clicked, this, &SendLogDialog::exportCsv);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addWidget(summary);
    layout->addWidget(buttons);
    resize(fontMetrics().averageCharWidth() * 140, fontMetrics().height() * 30);
}

void SendLogDialog::exportCsv()
{
    fs::path file;
    if (m_chooseCsv) {
        file = m_chooseCsv(this);
    } else {
        const QString chosen = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export Send Log"), QString::fromStdString(core::pathText(m_folder / "Mail log.csv")),
            QStringLiteral("CSV files (*.csv)"));
        file = core::pathFromText(chosen.toStdString());
    }
    if (file.empty())
        return;
    try {
        printing::PendingFile csv(file);
        csv.write(logCsv(loggedIn(m_folder)));
        csv.commit();
        widgets::MessageBox::show(this, {"The send log was written to " + core::pathText(file) + ".", "Send Log",
                                         core::Icon::Information});
    } catch (const std::exception& e) {
        widgets::MessageBox::show(this, {std::string("The send log could not be written: ") + e.what(), "Send Log",
                                         core::Icon::Critical});
    }
}

} // namespace cw::mail
