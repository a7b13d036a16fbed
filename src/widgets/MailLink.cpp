#include "widgets/MailLink.h"

#include <QWidget>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  define NOMINMAX
#  include <windows.h>
#  include <shellapi.h>
#else
#  include <QDesktopServices>
#  include <QUrl>
#endif

namespace cw::widgets {

QString mailToLink(const QString& address)
{
    return QStringLiteral("MailTo:") + address;
}

void openLink(QWidget* owner, const QString& link)
{
    // The result is not checked: without a mail program there is nothing useful to say.
#if defined(_WIN32)
    const HWND window = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    ShellExecuteW(window, L"open", reinterpret_cast<const wchar_t*>(link.utf16()), nullptr, nullptr,
                  SW_SHOWNORMAL);
#else
    (void)owner;
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
#endif
}

void openMailTo(QWidget* owner, const QString& address)
{
    openLink(owner, mailToLink(address));
}

} // namespace cw::widgets
