#include "app/gui/CheckWindow.h"

#include "check/CheckReport.h"
#include "core/AppFiles.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "widgets/MessageBox.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace cw::app {

namespace {

QTableWidgetItem* textItem(const std::string& text)
{
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A number that sorts as a number; empty for nought.
QTableWidgetItem* numberItem(int n)
{
    auto* item = new QTableWidgetItem;
    if (n)
        item->setData(Qt::DisplayRole, n);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

CheckWindow::CheckWindow(check::CheckResult result, ReportChooser chooser, QWidget* parent)
    : QDialog(parent)
    , m_result(std::move(result))
    , m_chooser(std::move(chooser))
{
    setObjectName(QStringLiteral("checkWindow"));
    setWindowTitle(QStringLiteral("Check Statement"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_table = new QTableWidget(static_cast<int>(m_result.findings.size()), 6, this);
    m_table->setObjectName(QStringLiteral("findingsTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Line"), QStringLiteral("Field"), QStringLiteral("Severity"),
                                        QStringLiteral("PAN"), QStringLiteral("Name"), QStringLiteral("Finding")});
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const check::Finding& f = m_result.findings[static_cast<std::size_t>(row)];
        m_table->setItem(row, 0, numberItem(f.line));
        m_table->setItem(row, 1, numberItem(f.field));
        m_table->setItem(row, 2, textItem(check::severityText(f.severity)));
        m_table->setItem(row, 3, textItem(f.pan));
        m_table->setItem(row, 4, textItem(f.name));
        m_table->setItem(row, 5, textItem(f.message));
    }
    m_table->setSortingEnabled(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();

    QString summary;
    for (const auto& [label, value] : check::summaryLines(m_result))
        summary += QString::fromStdString(label + ": " + value + "\n");
    m_summary = new QLabel(summary.trimmed(), this);
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* save = buttons->addButton(QStringLiteral("&Save Report…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("saveReportButton"));
    connect(save, &QPushButton::clicked, this, &CheckWindow::saveReport);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);
    resize(fontMetrics().averageCharWidth() * 140, fontMetrics().height() * 36);
}

void CheckWindow::saveReport()
{
    const std::filesystem::path file = m_chooser ? m_chooser(this) : std::filesystem::path();
    if (file.empty())
        return;
    try {
        check::writeCheckReport(file, m_result);
    } catch (const core::Failure& e) {
        widgets::MessageBox::show(this, e.message());
    }
}

std::filesystem::path chooseReportFile(QWidget* parent, const std::filesystem::path& folder)
{
    const QString start = QString::fromStdString(core::pathText(folder / core::kCheckReportFile));
    QString chosen = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Report"), start,
                                                  QStringLiteral("Excel 97-2003 workbook (*.xls)"));
    if (chosen.isEmpty())
        return {};
    if (!chosen.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        chosen += QStringLiteral(".xls");
    return core::pathFromText(chosen.toStdString());
}

} // namespace cw::app
