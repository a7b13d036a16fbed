#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QThread;

namespace cw::printing {
class SigningKeyBox;
}

namespace cw::mail {

// "Sign PDFs": a folder of certificate PDFs made elsewhere signed (and protected) alone, into an
// output folder, each file's outcome listed as it comes. The signing runs on a worker thread.
class SignPdfsDialog : public QDialog {
    Q_OBJECT
public:
    // Asks for a folder; an empty path when none was chosen. Tests give their own.
    using FolderChooser = std::function<std::filesystem::path(QWidget* parent, const QString& caption)>;

    SignPdfsDialog(FolderChooser chooser, const std::filesystem::path& pdfs, QWidget* parent = nullptr);
    ~SignPdfsDialog() override;

    void reject() override; // refused while signing

signals:
    void signingFinished();

private:
    void choosePdfs();
    void sign();
    void showResult(const QString& line, bool refused);
    void finish(const QString& summary);

    FolderChooser m_chooser;
    QThread* m_thread = nullptr;
    QLineEdit* m_pdfs;
    printing::SigningKeyBox* m_key;
    QCheckBox* m_protect;
    QLineEdit* m_out;
    QListWidget* m_results;
    QPushButton* m_signButton;
};

} // namespace cw::mail
