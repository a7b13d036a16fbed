#include "printing/gui/PrintDialog.h"

#include "printing/CertificateFolder.h"
#include "printing/gui/CertificatePrinter.h"
#include "printing/gui/SavePdfDialog.h"
#include "widgets/ClickableLabel.h"
#include "widgets/Contact.h"
#include "widgets/MessageBox.h"
#include "widgets/MailLink.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace cw::printing {

namespace {

// The window's layout is given in twips; 15 twips make a pixel at the standard 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

} // namespace

PrintDialog::PrintDialog(std::filesystem::path appFolder, QWidget* parent)
    : QDialog(parent), m_outputFolder(std::move(appFolder) / "Form16A")
{
    setWindowTitle(QStringLiteral("Print Certificates"));
    setFixedSize(twips(0, 0, 5175, 4740).size());

    m_frame1 = new QGroupBox(QStringLiteral("Select Files to Print"), this);
    m_frame1->setGeometry(twips(120, 120, 4815, 3015));
    m_list1 = new QListWidget(m_frame1);
    m_list1->setGeometry(twips(120, 240, 4575, 2730));
    m_list1->setSelectionMode(QAbstractItemView::MultiSelection);

    m_cmdSelectAll = new QPushButton(QStringLiteral("&Select All"), this);
    m_cmdSelectAll->setGeometry(twips(240, 3240, 1095, 375));
    m_cmdDeselectAll = new QPushButton(QStringLiteral("&Deselect All"), this);
    m_cmdDeselectAll->setGeometry(twips(1440, 3240, 1095, 375));
    m_cmdPrint = new QPushButton(QStringLiteral("&Print"), this);
    m_cmdPrint->setGeometry(twips(2640, 3240, 1095, 375));
    m_cmdExit = new QPushButton(QStringLiteral("E&xit"), this);
    m_cmdExit->setGeometry(twips(3840, 3240, 975, 375));
    m_savePdf = new QPushButton(QStringLiteral("Save as P&DF…"), this);
    m_savePdf->setGeometry(twips(2640, 4200, 2175, 375));
    for (QPushButton* b : {m_cmdSelectAll, m_cmdDeselectAll, m_cmdPrint, m_cmdExit, m_savePdf})
        b->setAutoDefault(false);

    m_label1 = new widgets::ClickableLabel(this);
    m_label1->setGeometry(twips(120, 3720, 4815, 375));

    connect(m_cmdSelectAll, &QPushButton::clicked, this, &PrintDialog::cmdSelectAll_Click);
    connect(m_cmdDeselectAll, &QPushButton::clicked, this, &PrintDialog::cmdDeselectAll_Click);
    connect(m_cmdPrint, &QPushButton::clicked, this, &PrintDialog::cmdPrint_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &PrintDialog::cmdExit_Click);
    connect(m_savePdf, &QPushButton::clicked, this, &PrintDialog::savePdf);
    connect(m_label1, &widgets::ClickableLabel::clicked, this, &PrintDialog::Label1_Click);

    Form_Load();
}

void PrintDialog::Form_Load()
{
    QFont bold = m_label1->font();
    bold.setBold(true);
    bold.setPointSize(11);
    m_label1->setFont(bold);
    m_label1->setText(QString::fromLatin1(widgets::contact::kSupportAddress));
    for (const std::string& name : printListNames(m_outputFolder))
        m_list1->addItem(QString::fromStdString(name));
}

std::vector<std::string> PrintDialog::items() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_list1->count(); ++i)
        out.push_back(m_list1->item(i)->text().toStdString());
    return out;
}

std::vector<std::string> PrintDialog::markedItems() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_list1->count(); ++i)
        if (m_list1->item(i)->isSelected())
            out.push_back(m_list1->item(i)->text().toStdString());
    return out;
}

void PrintDialog::cmdSelectAll_Click()
{
    m_list1->setFocus();
    for (int i = 0; i < m_list1->count(); ++i) {
        m_list1->item(i)->setSelected(true);
        // Marking an item makes it the current one, so the list has a current item afterwards.
        m_list1->setCurrentRow(i, QItemSelectionModel::NoUpdate);
    }
    m_list1->setFocus();
}

void PrintDialog::cmdDeselectAll_Click()
{
    for (int i = 0; i < m_list1->count(); ++i)
        if (m_list1->item(i)->isSelected())
            m_list1->item(i)->setSelected(false);
}

void PrintDialog::cmdPrint_Click()
{
    if (m_list1->currentRow() == -1) {
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

void PrintDialog::cmdExit_Click()
{
    close();
}

void PrintDialog::Label1_Click()
{
    widgets::openMailTo(this, m_label1->text());
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
