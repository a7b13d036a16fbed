#pragma once

#include <QProgressDialog>

class QProgressBar;

namespace cw::widgets {

// A progress dialog for work on another thread, fed by queued calls from the event loop.
// QProgressDialog::setValue() of a modal dialog turns the event loop once more from inside the
// call, where the next report, or the end of the work, would run inside the one before; here the
// bar is set directly, and the dialog's own timer shows it after the minimum duration.
class ProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent);

    // `done` of `total`; the first report after construction or reset() starts the delay,
    // the last (done == total) resets the dialog, which hides it. Once cancelled, nothing.
    void setProgress(int done, int total);

private:
    QProgressBar* m_bar;
};

} // namespace cw::widgets
