#pragma once

#include <QDialog>

#include <array>
#include <filesystem>

class QLineEdit;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::ackn {

struct AcknEntries;

// "Acknowledgement No.": the four quarters' acknowledgement (PRN) numbers with their dates of
// filing and the first certificate serial number, as sheet "AcknDetails" of the template holds
// them. The dialog only moves text between its boxes and loadAcknRegister/saveAcknRegister; it
// keeps nothing between openings. It is laid out to its fonts and not resizable: nothing in it
// would use the room.
class AcknDialog : public QDialog {
    Q_OBJECT
public:
    explicit AcknDialog(std::filesystem::path templatePath, QWidget* parent = nullptr);

    // Fills the boxes from the template. On a workbook that can't be read it shows why and
    // returns false: the dialog should not be shown then.
    bool load();

    AcknEntries entries() const;

private:
    void save();
    void mailSupport();
    // The box an entry problem names: 1..4 the acknowledgement numbers, 5..8 the dates of
    // filing, 9 the serial number (their order on the keyboard).
    QLineEdit* box(int number) const;

    std::filesystem::path m_templatePath;
    std::array<QLineEdit*, 4> m_prnEdits{};
    std::array<QLineEdit*, 4> m_dateEdits{};
    QLineEdit* m_serialEdit;
    widgets::ClickableLabel* m_supportLink;
};

} // namespace cw::ackn
