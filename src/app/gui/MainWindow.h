#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::app {

class AboutMePicture;
class BackgroundPicture;

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
    void Form_Load();
    void Command1_Click();
    void CmdAcknSr_Click();
    void CmdPrint_Click();
    void CmdHelp_Click();
    void CmdExit_Click();
    void PicAbtMe_Click();
    void Label2_Click();
    void endProgram();
    void openWorkingFolder();

    std::filesystem::path m_appFolder;
    std::function<void(QWidget*)> m_openPrintWindow;
    bool m_running = false;

    BackgroundPicture* m_picture1;
    QGroupBox* m_frame1;
    QPushButton* m_command1;
    QPushButton* m_cmdAcknSr;
    QPushButton* m_cmdPrint;
    QPushButton* m_cmdHelp;
    QPushButton* m_cmdExit;
    AboutMePicture* m_picAbtMe;
    QLabel* m_label1;
    widgets::ClickableLabel* m_label2;
    QLabel* m_label3;
    QLabel* m_label4;
    QLabel* m_workingFolderLine;
};

} // namespace cw::app
