#include "widgets/ProgressDialog.h"

#include <QProgressBar>

namespace cw::widgets {

ProgressDialog::ProgressDialog(QWidget* parent)
    : QProgressDialog(parent)
    , m_bar(new QProgressBar(this))
{
    setBar(m_bar);
    setWindowModality(Qt::WindowModal);
    setAutoClose(true);
    setAutoReset(true);
}

void ProgressDialog::setProgress(int done, int total)
{
    // Cancelled: reset() hid it, and the reports that follow until the work stops must not bring it back.
    if (total <= 0 || wasCanceled())
        return;
    if (m_bar->value() < 0) { // new or reset: the delay starts now
        m_bar->setRange(0, total);
        setValue(0);
    }
    if (done >= total) {
        reset();
        return;
    }
    m_bar->setMaximum(total);
    m_bar->setValue(done);
}

} // namespace cw::widgets
