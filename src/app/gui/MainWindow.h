#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QThread;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::app {

struct CheckRun;
struct GenerateRun;
class GuiReporter;
enum class GenerateOutcome;

// The main window: the Generate command, the acknowledgement dialog, printing, e-mail, help, About and
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

    // Where "Save Report…" of the check's window saves; by default a file dialog asks.
    void setReportChooser(std::function<std::filesystem::path(QWidget* parent)> chooser);

    // The help message's prompt, line breaks as carriage returns.
    static std::string helpText();

signals:
    // A command ended the program after its message (template in use, statement missing, no
    // deductee records, a failed workbook operation): the window has closed; the program
    // should exit with `exitCode`.
    void programEnded(int exitCode);
    // A Generate run has ended: its last message answered, the buttons set for what it left,
    // the window closed when the run ends the program.
    void generateFinished(cw::app::GenerateOutcome outcome);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void generate();
    void finishGenerate();
    void checkStatement();
    void showCheck();
    void editAcknowledgements();
    void printCertificates();
    void emailCertificates();
    void showHelp();
    void showAbout();
    void mailSupport();
    void openWorkingFolder();
    void endProgram();

    std::filesystem::path m_appFolder;
    std::function<void(QWidget*)> m_openPrintWindow;
    std::function<std::filesystem::path(QWidget*)> m_chooseReport;
    // Generate runs away from the event loop; its messages and progress come back through the
    // reporter, its outcome through the thread's end.
    QThread* m_generateThread = nullptr;
    std::shared_ptr<GenerateRun> m_generateRun;
    // The check reads the statement away from the event loop; its outcome comes back here.
    QThread* m_checkThread = nullptr;
    std::shared_ptr<CheckRun> m_checkRun;

    QPushButton* m_generateButton;
    QPushButton* m_checkButton;
    QPushButton* m_acknButton;
    QPushButton* m_printButton;
    widgets::ClickableLabel* m_supportLink;
};

} // namespace cw::app
