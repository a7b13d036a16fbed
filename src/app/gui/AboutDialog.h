#pragma once

#include <QDialog>

namespace cw::app {

// "About Me": what the program is for, who made it (with a mail link) and a disclaimer.
// Modal; Esc closes it, Enter does nothing.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The developer link's address: always this fixed one, whatever the label shows.
    static QString mailLink();
};

} // namespace cw::app
