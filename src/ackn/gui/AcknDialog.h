#pragma once

#include <QDialog>

#include <array>
#include <filesystem>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::ackn {

struct AcknEntries;

// "Acknowledgement No.": the four quarters' acknowledgement (PRN) numbers with their dates of
// filing and the first certificate serial number, as sheet "AcknDetails" of the template holds
// them. The dialog only moves text between its boxes and loadAcknRegister/saveAcknRegister; it
// keeps nothing between openings. A fixed-size dialog laid out like the form it replaces, in
// proportion to the font.
class AcknDialog : public QDialog {
    Q_OBJECT
public:
    explicit AcknDialog(std::filesystem::path templatePath, QWidget* parent = nullptr);

    // Sets the captions and fills the boxes from the template. On a workbook that can't be
    // read it shows why and returns false: the dialog should not be shown then.
    bool Form_Load();

    AcknEntries entries() const;

private:
    void CmdOK_Click();
    void Label9_Click();
    void layOut();

    std::filesystem::path m_templatePath;
    QGroupBox* m_frame1;
    QGroupBox* m_frame2;
    std::array<QLabel*, 9> m_labels{};  // Label1..Label9 (Label9 is the mail link)
    std::array<QLineEdit*, 9> m_texts{}; // Text1..Text9
    widgets::ClickableLabel* m_label9;
    QPushButton* m_cmdOK;
    QPushButton* m_cmdExit;
};

} // namespace cw::ackn
