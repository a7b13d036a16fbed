#pragma once

#include "printing/CertificatePdfs.h"

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace cw::printing {

class SigningKeyBox;

// "Save as PDF…" of the print window: the marked certificates as one PDF file each (beside the
// certificate) or one merged file, signed with a .p12 file or a certificate of the user's NSS
// database (a token's included), protected with each deductee's PAN or not. Saving shows
// progress and can be cancelled; a problem with the key or the target is shown before any PDF
// is written, and what was skipped is named at the end.
class SavePdfDialog : public QDialog {
    Q_OBJECT
public:
    SavePdfDialog(std::filesystem::path outputFolder, std::vector<std::string> names, QWidget* parent = nullptr);

    // The choices, for tests and keyboard use.
    QRadioButton* mergedChoice() const { return m_merged; }
    QLineEdit* mergedFileEdit() const { return m_mergedFile; }
    SigningKeyBox* signingKey() const { return m_signing; }
    QCheckBox* protectBox() const { return m_protect; }

    // Saves with the current choices; returns what the run did. Messages go through
    // widgets::MessageBox.
    PdfRunResult save();

private:
    void updateChoices();
    void chooseMergedFile();

    std::filesystem::path m_outputFolder;
    std::vector<std::string> m_names;
    QRadioButton* m_separate;
    QRadioButton* m_merged;
    QLineEdit* m_mergedFile;
    SigningKeyBox* m_signing;
    QCheckBox* m_protect;
    bool m_saving = false;
};

} // namespace cw::printing
