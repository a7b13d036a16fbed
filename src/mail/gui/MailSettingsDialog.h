#pragma once

#include "mail/MailSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace cw::mail {

// The mail server and the messages: server, security, user and password, sender, CA file,
// rate, subject and body, "Remember password" and "Protect each PDF". OK checks them, saves them
// in the user's settings and keeps or forgets the password in the keyring; the password itself
// goes only to the keyring and back to the caller.
class MailSettingsDialog : public QDialog {
    Q_OBJECT
public:
    MailSettingsDialog(Keyring& keyring, const std::string& password, QWidget* parent = nullptr);

    const MailSettings& settings() const { return m_settings; }
    // The password typed or kept: what the window sends with this session.
    std::string password() const;

    void accept() override;

private:
    MailSettings fromFields() const;

    Keyring& m_keyring;
    MailSettings m_settings;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QComboBox* m_security;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QLineEdit* m_from;
    QLineEdit* m_caFile;
    QSpinBox* m_rate;
    QLineEdit* m_subject;
    QPlainTextEdit* m_body;
    QCheckBox* m_protect;
};

// The server URL's parts as the dialog shows them; false when it is not smtp:// or smtps://.
struct ServerParts {
    bool implicitTls = false; // smtps://
    std::string host;
    int port = 587;
};
bool serverParts(const std::string& url, ServerParts& parts);

} // namespace cw::mail
