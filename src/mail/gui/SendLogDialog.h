#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>

namespace cw::mail {

// The send log of the working folder: who got which certificates, when, and what the server
// answered; "Export CSV…" writes it for the accountant's records.
class SendLogDialog : public QDialog {
    Q_OBJECT
public:
    using FileChooser = std::function<std::filesystem::path(QWidget* parent)>;
    // `chooseCsv` says where the export goes (a file dialog by default; empty: not exported).
    explicit SendLogDialog(const std::filesystem::path& folder, FileChooser chooseCsv = {}, QWidget* parent = nullptr);

private:
    void exportCsv();

    std::filesystem::path m_folder;
    FileChooser m_chooseCsv;
};

} // namespace cw::mail
