#pragma once

#include "core/Messages.h"

#include <QPointer>
#include <QProgressDialog>

class QWidget;

namespace cw::app {

// The Generate command's reporter in the window: messages as modal boxes, progress as a
// window-modal progress dialog that appears only when the run takes more than a moment. All
// of it happens on the UI thread, inside the click handler: setValue() lets the dialog paint.
class GuiReporter : public core::Reporter {
public:
    explicit GuiReporter(QWidget* window);
    ~GuiReporter() override;

    void message(const core::Message& m) override;
    void progress(int done, int total) override;

    // The dialog, once the first progress report made it (tests look at it).
    QProgressDialog* progressDialog() const { return m_dialog; }

private:
    QWidget* m_window;
    QPointer<QProgressDialog> m_dialog;
};

} // namespace cw::app
