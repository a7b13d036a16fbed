#include "app/gui/GuiReporter.h"

#include "widgets/MessageBox.h"
#include "widgets/ProgressDialog.h"

#include <algorithm>

namespace cw::app {

using widgets::MessageBox;

GuiReporter::GuiReporter(QWidget* window)
    : m_window(window)
{
}

GuiReporter::~GuiReporter()
{
    delete m_dialog;
}

void GuiReporter::abandon()
{
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_answered.notify_all();
}

void GuiReporter::message(const core::Message& m)
{
    std::unique_lock lock(m_mutex);
    if (m_abandoned)
        return;
    m_awaitingOk = true;
    // Posted under the lock: once abandon() has returned, nothing more is posted to the window.
    QMetaObject::invokeMethod(m_window, [this, m] { showMessage(m); }, Qt::QueuedConnection);
    m_answered.wait(lock, [this] { return !m_awaitingOk || m_abandoned; });
}

void GuiReporter::showMessage(const core::Message& m)
{
    // A message box over a half-finished progress bar would look like a hang; reset, the
    // dialog's delay cannot bring it back over the box either.
    if (m_dialog)
        m_dialog->reset();
    MessageBox::show(m_window, m);
    const std::lock_guard lock(m_mutex);
    m_awaitingOk = false;
    m_answered.notify_all();
}

void GuiReporter::progress(int done, int total)
{
    if (total <= 0)
        return;
    // A few hundred steps are all the eye can see: tens of thousands of certificates do not
    // queue tens of thousands of repaints.
    const int step = std::max(1, total / 500);
    if (total == m_sentTotal && done < total && done - m_sentDone < step)
        return;
    m_sentDone = done;
    m_sentTotal = total;
    const std::lock_guard lock(m_mutex);
    if (!m_abandoned)
        QMetaObject::invokeMethod(m_window, [this, done, total] { showProgress(done, total); }, Qt::QueuedConnection);
}

void GuiReporter::showProgress(int done, int total)
{
    if (!m_dialog) {
        m_dialog = new widgets::ProgressDialog(m_window);
        m_dialog->setObjectName(QStringLiteral("GenerateProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Generating Form 16A"));
        // Certificates are legal documents: a run is not interrupted half way.
        m_dialog->setCancelButton(nullptr);
        m_dialog->setMinimumDuration(500);
    }
    m_dialog->setLabelText(QStringLiteral("Certificates written: %1 of %2").arg(done).arg(total));
    m_dialog->setProgress(done, total);
}

} // namespace cw::app
