#pragma once

#include <QDialog>

class QLabel;

namespace cw::widgets {
class ClickableLabel;
}

namespace cw::app {


// "About Me": what the program is for, who made it (with a mail link) and a disclaimer.
// Modal; Esc closes it, Enter does nothing.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The About link: always this fixed address, whatever Label4 shows.
    static QString mailLink();

private:
    void Form_Load();
    void Label4_Click();

    QLabel* m_label1;
    QLabel* m_label2;
    QLabel* m_label3;
    widgets::ClickableLabel* m_label4;
    QLabel* m_label5;
    QLabel* m_label6;
};

} // namespace cw::app
