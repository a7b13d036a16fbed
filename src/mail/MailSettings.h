#pragma once

#include "mail/MailRun.h"
#include "mail/Smtp.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

// What the window and later runs of `certwright mail` remember of the mail server, in the user's
// settings; never the password, which only the desktop's keyring may keep.
namespace cw::mail {

struct MailSettings {
    std::string url, user, from;
    std::filesystem::path caFile;
    int ratePerMinute = 0;
    std::string subject, body;     // the templates; the defaults when never set
    bool rememberPassword = false; // the password is kept in the keyring
    bool protect = false;          // the window's "Protect each PDF"
};

// The user's settings (QSettings "Certwright/Certwright", group "mail").
MailSettings loadMailSettings();
void saveMailSettings(const MailSettings& settings);

// A run's options from the settings: the server, the rate, the templates, the protection.
MailOptions optionsOf(const MailSettings& settings, const std::filesystem::path& folder);

// What is wrong with the server settings for a send, as the user is told it; empty when nothing is.
std::string mailSettingsProblem(const MailSettings& settings);

// Thrown when the keyring can't be reached or refuses.
struct KeyringError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The desktop's keyring as "Remember password" uses it: Secret Service on Linux, the credential
// store on Windows (through QtKeychain). Its calls wait for the keyring with a local event loop,
// so they need a QCoreApplication and are made on its thread.
class Keyring {
public:
    virtual ~Keyring() = default;
    // The password kept for the account, none when there is none. Throws KeyringError.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    virtual void write(const std::string& account, const std::string& password) = 0;
    virtual void remove(const std::string& account) = 0;
};

std::unique_ptr<Keyring> systemKeyring();

// The keyring's account of a server login: "user at smtp://host:port".
std::string keyringAccount(const std::string& url, const std::string& user);

} // namespace cw::mail
