#include "printing/gui/PrintDialog.h"
#include "core/AppFiles.h"

#include "printing/CertificateFolder.h"
#include "printing/gui/CertificatePrinter.h"
#include "printing/gui/SavePdfDialog.h"
#include "widgets/Buttons.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MailLink.h"
#include "widgets/MessageBox.h"

#include "core/PathText.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace cw::printing {

PrintDialog::PrintDialog(std::filesystem::path appFolder, QWidget* parent)
    : QDialog(parent), m_outputFolder(std::move(appFolder) / core::kOutputFolder)
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

    QPushButton* selectAllButton = widgets::pushButton("selectAllButton", QStringLiteral("&Select All"));
    QPushButton* deselectAllButton = widgets::pushButton("deselectAllButton", QStringLiteral("&Deselect All"));
    QPushButton* printButton = widgets::pushButton("printButton", QStringLiteral("&Print"));
    QPushButton* exitButton = widgets::pushButton("exitButton", QStringLiteral("E&xit"));
    QPushButton* savePdfButton = widgets::pushButton("savePdfButton", QStringLiteral("Save as P&DF…"));
    // The register of the certificates, in the desktop's spreadsheet program.
    QPushButton* registerButton = widgets::pushButton("openRegisterButton", QStringLiteral("Open &Register"));
    std::error_code ec;
    registerButton->setEnabled(std::filesystem::is_regular_file(m_outputFolder / core::kRegisterFile, ec));

    m_supportLink = new widgets::ClickableLabel;
    m_supportLink->setObjectName(QStringLiteral("supportLink"));
    QFont bold = m_supportLink->font();
    bold.setBold(true);
    bold.setPointSize(11);
    m_supportLink->setFont(bold);
    m_supportLink->setText(QString::fromUtf8(widgets::contact::kSupportAddress));

    // Four buttons of one width under the list, the contact link under them, "Open Register"
    // and "Save as PDF…" under them.
    auto* controls = new QGridLayout;
    int column = 0;
    for (QPushButton* button : {selectAllButton, deselectAllButton, printButton, exitButton}) {
        controls->setColumnStretch(column, 1);
        controls->addWidget(button, 0, column++);
    }
    controls->addWidget(m_supportLink, 1, 0, 1, 4);
    controls->addWidget(registerButton, 2, 0, 1, 2);
    controls->addWidget(savePdfButton, 2, 2, 1, 2);

    // The list takes any room the user gives the window.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listFrame, 1);
    layout->addLayout(controls);

    connect(selectAllButton, &QPushButton::clicked, this, &PrintDialog::selectAll);
    connect(deselectAllButton, &QPushButton::clicked, this, &PrintDialog::deselectAll);
    connect(printButton, &QPushButton::clicked, this, &PrintDialog::printMarked);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::close);
    connect(savePdfButton, &QPushButton::clicked, this, &PrintDialog::savePdf);
    connect(m_supportLink, &widgets::ClickableLabel::clicked, this, &PrintDialog::mailSupport);
    connect(registerButton, &QPushButton::clicked, this, &PrintDialog::openRegister);

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
    for (const std::string& note : result.notes)
        widgets::MessageBox::show(this, {note, "Print Certificates", core::Icon::Information});
}

void PrintDialog::savePdf()
{
    const std::vector<std::string> marked = markedItems();
    if (marked.empty()) {
        widgets::MessageBox::show(this, {"No items selected!", "Nothing Selected!", core::Icon::Information});
        return;
    }
    saveAsPdf(marked);
}

void PrintDialog::saveAsPdf(const std::vector<std::string>& names)
{
    SavePdfDialog dialog(m_outputFolder, names, this);
    dialog.exec();
}

void PrintDialog::openRegister()
{
    openFile(m_outputFolder / core::kRegisterFile);
}

void PrintDialog::openFile(const std::filesystem::path& file)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(core::pathText(file)))))
        widgets::MessageBox::show(this, {"The register " + core::pathText(file) +
                                             " could not be opened: the desktop has no program for .xls files.",
                                         "Open Register", core::Icon::Information});
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
