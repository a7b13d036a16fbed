#include "printing/gui/PrintDialog.h"

#include "printing/CertificateFolder.h"
#include "printing/gui/CertificatePrinter.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MailLink.h"
#include "widgets/MessageBox.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace cw::printing {

namespace {

QPushButton* addButton(QHBoxLayout* row, const char* name, const char* caption)
{
    auto* button = new QPushButton(QString::fromLatin1(caption));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    row->addWidget(button, 1);
    return button;
}

} // namespace

PrintDialog::PrintDialog(std::filesystem::path appFolder, QWidget* parent)
    : QDialog(parent), m_outputFolder(std::move(appFolder) / "Form16A")
{
    setObjectName(QStringLiteral("printDialog"));
    setWindowTitle(QStringLiteral("Print Certificates"));

    auto* listFrame = new QGroupBox(QStringLiteral("Select Files to Print"));
    listFrame->setObjectName(QStringLiteral("listFrame"));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("certificateList"));
    // A click marks or unmarks one certificate and leaves the others as they are.
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    (new QVBoxLayout(listFrame))->addWidget(m_list);

    auto* buttonRow = new QHBoxLayout;
    QPushButton* selectAllButton = addButton(buttonRow, "selectAllButton", "&Select All");
    QPushButton* deselectAllButton = addButton(buttonRow, "deselectAllButton", "&Deselect All");
    QPushButton* printButton = addButton(buttonRow, "printButton", "&Print");
    QPushButton* exitButton = addButton(buttonRow, "exitButton", "E&xit");

    m_supportLink = new widgets::ClickableLabel;
    m_supportLink->setObjectName(QStringLiteral("supportLink"));
    QFont bold = m_supportLink->font();
    bold.setBold(true);
    bold.setPointSize(11);
    m_supportLink->setFont(bold);
    m_supportLink->setText(QString::fromUtf8(widgets::contact::kSupportAddress));

    // The list takes any room the user gives the window.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listFrame, 1);
    layout->addLayout(buttonRow);
    layout->addWidget(m_supportLink);

    connect(selectAllButton, &QPushButton::clicked, this, &PrintDialog::selectAll);
    connect(deselectAllButton, &QPushButton::clicked, this, &PrintDialog::deselectAll);
    connect(printButton, &QPushButton::clicked, this, &PrintDialog::printMarked);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::close);
    connect(m_supportLink, &widgets::ClickableLabel::clicked, this, &PrintDialog::mailSupport);

    for (const std::string& name : printListNames(m_outputFolder))
        m_list->addItem(QString::fromStdString(name));
}

std::vector<std::string> PrintDialog::items() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_list->count(); ++i)
        out.push_back(m_list->item(i)->text().toStdString());
    return out;
}

std::vector<std::string> PrintDialog::markedItems() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->isSelected())
            out.push_back(m_list->item(i)->text().toStdString());
    return out;
}

void PrintDialog::selectAll()
{
    m_list->setFocus();
    for (int i = 0; i < m_list->count(); ++i) {
        m_list->item(i)->setSelected(true);
        // Marking an item makes it the current one, so the list has a current item afterwards.
        m_list->setCurrentRow(i, QItemSelectionModel::NoUpdate);
    }
}

void PrintDialog::deselectAll()
{
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setSelected(false);
}

void PrintDialog::printMarked()
{
    // An empty or untouched list has no current item: the user is told. Once something was
    // marked and unmarked again there is nothing to say, and nothing is printed.
    if (m_list->currentRow() == -1) {
        widgets::MessageBox::show(this, {"No items selected!", "Nothing Selected!", core::Icon::Information});
        return;
    }
    const std::vector<std::string> marked = markedItems();
    if (marked.empty())
        return; // nothing marked: nothing to print, and no printer to choose
    QPrinter printer(QPrinter::HighResolution);
    if (!choosePrinter(printer))
        return;
    BatchResult result = printCertificates(printer, m_outputFolder, marked);
    if (!result.skipped.empty())
        widgets::MessageBox::show(this, {skippedPrompt(result.skipped), "Print Certificates", core::Icon::Information});
}

void PrintDialog::mailSupport()
{
    widgets::openMailTo(this, m_supportLink->text());
}

bool PrintDialog::choosePrinter(QPrinter& printer)
{
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace cw::printing
