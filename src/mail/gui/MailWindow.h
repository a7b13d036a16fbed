#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QThread;

namespace cw::mail {

class Keyring;
struct MailSettings;
struct MailWindowRun;

// "E-mail Certificates": the deductees of Form16A (or of another folder's certificate PDFs, made
// elsewhere) by the PAN printed on their certificates, with
// their addresses, certificates and when they were last sent; the mail settings; Send and Cancel
// with progress and each row's outcome; the send log. Reading the folder and sending run on worker
// threads. The caller holds the folder's lock while the window is open.
class MailWindow : public QDialog {
    Q_OBJECT
public:
    MailWindow(std::filesystem::path folder, Keyring& keyring, QWidget* parent = nullptr);
    ~MailWindow() override;

    bool busy() const { return m_thread != nullptr; }

    // Asks for a folder ("another folder…", Sign PDFs); an empty path when none was chosen.
    using FolderChooser = std::function<std::filesystem::path(QWidget* parent, const QString& caption)>;
    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }

    // Close, refused while a send is under way: the run ends at Cancel.
    void reject() override;

signals:
    // The table shows the folder's deductees, or the label why there are none.
    void planShown();
    // A send ended: every row shows its outcome.
    void sendFinished();

private:
    void chooseSource(int index);
    void signPdfs();
    void loadPlan();
    void planLoaded();
    void showPlan();
    void editSettings();
    void send();
    void showOutcome(const std::string& pan, const std::string& outcome, std::size_t done, std::size_t total);
    void finishSend();
    void showLog();
    bool askPassword(const MailSettings& settings);
    void setBusy(bool busy);

    std::filesystem::path m_folder;
    Keyring& m_keyring;
    std::string m_password; // typed or kept this session; never written anywhere but the keyring
    bool m_keptPasswordRefused = false;
    std::shared_ptr<MailWindowRun> m_run;
    QThread* m_thread = nullptr;
    std::map<std::string, int> m_rows; // by PAN
    std::filesystem::path m_pdfFolder; // empty: Form16A
    FolderChooser m_chooser;
    int m_sourceIndex = 0;

    QComboBox* m_source;
    QLabel* m_caption;
    QTableWidget* m_table;
    QProgressBar* m_progress;
    QLabel* m_summary;
    QPushButton* m_settingsButton;
    QPushButton* m_sendButton;
    QPushButton* m_cancelButton;
    QPushButton* m_logButton;
    QPushButton* m_signButton;
    QPushButton* m_closeButton;
};

} // namespace cw::mail
