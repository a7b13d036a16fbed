#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>

class QLabel;
class QPushButton;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::app {

// The main window: the Generate command, the acknowledgement dialog, printing, help, About and
// Exit, over the application folder given (the executable's folder in the program, a scratch
// folder in tests). Each handler only translates between the window and a command of the core.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(std::filesystem::path appFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    const std::filesystem::path& appFolder() const { return m_appFolder; }

    // The print window lives in its own library; the program hands in how to open it.
    void setPrintWindowOpener(std::function<void(QWidget* parent)> opener);

    // The help message's prompt, line breaks as carriage returns.
    static std::string helpText();

signals:
    // A command ended the program after its message (template in use, statement missing, no
    // deductee records, a failed workbook operation): the window has closed; the program
    // should exit with `exitCode`.
    void programEnded(int exitCode);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void generate();
    void editAcknowledgements();
    void printCertificates();
    void showHelp();
    void showAbout();
    void mailSupport();
    void openWorkingFolder();
    void endProgram();

    std::filesystem::path m_appFolder;
    std::function<void(QWidget*)> m_openPrintWindow;
    bool m_generating = false;

    QPushButton* m_generateButton;
    QPushButton* m_acknButton;
    QPushButton* m_printButton;
    widgets::ClickableLabel* m_supportLink;
};

} // namespace cw::app
