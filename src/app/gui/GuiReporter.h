#pragma once

#include "core/Messages.h"

#include <QPointer>

#include <condition_variable>
#include <mutex>

class QWidget;

namespace cw::widgets {
class ProgressDialog;
}

namespace cw::app {

// The Generate command's reporter in the window. The command runs on a thread of its own and
// calls message() and progress() there; both reach the window's thread as queued calls. Each
// message is a modal box shown on the window's thread while the run waits for its OK, so the
// boxes come in the command's order and nothing of the run goes on behind one. Progress is a
// window-modal dialog that appears only when the run takes more than a moment.
class GuiReporter : public core::Reporter {
public:
    // Made and destroyed on the window's thread, with no run under way when destroyed.
    explicit GuiReporter(QWidget* window);
    ~GuiReporter() override;

    void message(const core::Message& m) override;
    void progress(int done, int total) override;

    // The window is going away mid-run: from now on the run shows nothing and waits for nothing.
    void abandon();

private:
    void showMessage(const core::Message& m);
    void showProgress(int done, int total);

    QWidget* m_window;
    QPointer<widgets::ProgressDialog> m_dialog;

    // Between the run's thread and the window's.
    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_awaitingOk = false;
    bool m_abandoned = false;

    // The run's thread only: what was last sent on, so that the window is not flooded.
    int m_sentDone = -1;
    int m_sentTotal = 0;
};

} // namespace cw::app
