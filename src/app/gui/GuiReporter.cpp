#include "app/gui/GuiReporter.h"

#include "widgets/MessageBox.h"

#include <QProgressDialog>

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

void GuiReporter::message(const core::Message& m)
{
    // A message box over a half-finished progress bar would look like a hang.
    if (m_dialog)
        m_dialog->hide();
    MessageBox::show(m_window, m);
}

void GuiReporter::progress(int done, int total)
{
    if (total <= 0)
        return;
    if (!m_dialog) {
        m_dialog = new QProgressDialog(m_window);
        m_dialog->setObjectName(QStringLiteral("GenerateProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Generating Form 16A"));
        m_dialog->setWindowModality(Qt::WindowModal);
        // Certificates are legal documents: a run is not interrupted half way.
        m_dialog->setCancelButton(nullptr);
        m_dialog->setMinimumDuration(500);
        m_dialog->setAutoClose(true);
        m_dialog->setAutoReset(true);
    }
    // Each update lets events through; a few hundred steps are all the eye can see, so tens of
    // thousands of certificates do not pay for tens of thousands of repaints.
    const int step = std::max(1, total / 500);
    if (m_dialog->maximum() == total && done < total && done - m_dialog->value() < step)
        return;
    m_dialog->setMaximum(total);
    m_dialog->setLabelText(QStringLiteral("Certificates written: %1 of %2").arg(done).arg(total));
    m_dialog->setValue(std::min(done, total));
}

} // namespace cw::app
