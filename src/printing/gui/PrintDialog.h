#pragma once

#include "core/Messages.h"

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QGroupBox;
class QListWidget;
class QPrinter;
class QPushButton;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::printing {

// The print window: lists the certificates of the application folder's Form16A folder, lets
// the user mark some or all, and prints the marked ones on the printer chosen in the printer
// dialog. Cancelling the dialog prints nothing. A certificate that cannot be found or read does
// not stop the others; one message at the end names what was skipped.
class PrintDialog : public QDialog {
    Q_OBJECT
public:
    explicit PrintDialog(std::filesystem::path appFolder, QWidget* parent = nullptr);

    // The list items' texts, and which are marked, in list order.
    std::vector<std::string> items() const;
    std::vector<std::string> markedItems() const;

    // The controls, for tests and keyboard navigation.
    QListWidget* list() const { return m_list1; }
    QPushButton* selectAllButton() const { return m_cmdSelectAll; }
    QPushButton* deselectAllButton() const { return m_cmdDeselectAll; }
    QPushButton* printButton() const { return m_cmdPrint; }
    QPushButton* savePdfButton() const { return m_savePdf; }
    QPushButton* exitButton() const { return m_cmdExit; }
    widgets::ClickableLabel* supportLabel() const { return m_label1; }

protected:
    // Shows the printer dialog for `printer`; false when the user cancels it. Messages go
    // through widgets::MessageBox, whose recorder tests use.
    virtual bool choosePrinter(QPrinter& printer);
    // Shows the "Save as PDF" choices for the marked certificates and saves them.
    virtual void saveAsPdf(const std::vector<std::string>& names);

private:
    void Form_Load();
    void cmdSelectAll_Click();
    void cmdDeselectAll_Click();
    void cmdPrint_Click();
    void savePdf();
    void cmdExit_Click();
    void Label1_Click();

    std::filesystem::path m_outputFolder;
    QGroupBox* m_frame1;
    QListWidget* m_list1;
    QPushButton* m_cmdSelectAll;
    QPushButton* m_cmdDeselectAll;
    QPushButton* m_cmdPrint;
    QPushButton* m_savePdf;
    QPushButton* m_cmdExit;
    widgets::ClickableLabel* m_label1;
};

} // namespace cw::printing
