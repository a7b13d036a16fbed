#pragma once

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QListWidget;
class QPrinter;

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

protected:
    // Shows the printer dialog for `printer`; false when the user cancels it. Tests replace it
    // with a printer that writes a PDF file.
    virtual bool choosePrinter(QPrinter& printer);
    // Shows the "Save as PDF" choices for the marked certificates and saves them.
    virtual void saveAsPdf(const std::vector<std::string>& names);
    // Opens a file in the desktop's program for it.
    virtual void openFile(const std::filesystem::path& file);

private:
    void selectAll();
    void deselectAll();
    void printMarked();
    void savePdf();
    void mailSupport();
    void openRegister();

    std::filesystem::path m_outputFolder;
    QListWidget* m_list;
    widgets::ClickableLabel* m_supportLink;
};

} // namespace cw::printing
