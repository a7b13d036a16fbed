#pragma once

#include <QString>

class QWidget;

namespace cw::widgets {

// "MailTo:" followed by the address exactly as given: the link the contact labels send.
QString mailToLink(const QString& address);

// Starts a new mail message to `address` in the user's mail program through mailToLink(),
// owned by `owner`. Nothing is reported when no mail program is set up or the desktop refuses
// the link: the window stays as it was.
void openMailTo(QWidget* owner, const QString& address);

// Hands a link to the desktop as it is (the About window's fixed "mailto:" link).
void openLink(QWidget* owner, const QString& link);

} // namespace cw::widgets
