#include "mail/MailSettings.h"

#include "core/PathText.h"
#include "mail/AddressBook.h"
#include "mail/MailRun.h"

#include <QEventLoop>
#include <QSettings>

#include <qt6keychain/keychain.h>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

constexpr const char* kKeyringService = "Certwright mail server";

QSettings userSettings() { return QSettings(QStringLiteral("Certwright"), QStringLiteral("Certwright")); }

QString key(const char* name) { return QStringLiteral("mail/") + QString::fromLatin1(name); }

std::string text(const QSettings& s, const char* name, const char* fallback = "")
{
    return s.value(key(name), QString::fromUtf8(fallback)).toString().toStdString();
}

// Runs the job to its end on a local event loop; the keyring answers over D-Bus or Win32 calls.
void finish(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

class SystemKeyring final : public Keyring {
public:
    std::optional<std::string> read(const std::string& account) override
    {
        QKeychain::ReadPasswordJob job(QString::fromLatin1(kKeyringService));
        prepare(job, account);
        finish(job);
        if (job.error() == QKeychain::EntryNotFound)
            return std::nullopt;
        fail(job);
        return job.textData().toStdString();
    }
    void write(const std::string& account, const std::string& password) override
    {
        QKeychain::WritePasswordJob job(QString::fromLatin1(kKeyringService));
        prepare(job, account);
        job.setTextData(QString::fromStdString(password));
        finish(job);
        fail(job);
    }
    void remove(const std::string& account) override
    {
        QKeychain::DeletePasswordJob job(QString::fromLatin1(kKeyringService));
        prepare(job, account);
        finish(job);
        if (job.error() != QKeychain::EntryNotFound)
            fail(job);
    }

private:
    static void prepare(QKeychain::Job& job, const std::string& account)
    {
        job.setAutoDelete(false);
        job.setInsecureFallback(false); // a password in a plain settings file is what the keyring avoids
        job.setKey(QString::fromStdString(account));
    }
    static void fail(const QKeychain::Job& job)
    {
        if (job.error() != QKeychain::NoError)
            throw KeyringError("the desktop's keyring could not be used: " + job.errorString().toStdString());
    }
};

} // namespace

MailSettings loadMailSettings()
{
    const QSettings s = userSettings();
    MailSettings m;
    m.url = text(s, "smtp");
    m.user = text(s, "user");
    m.from = text(s, "from");
    m.caFile = core::pathFromText(text(s, "caFile"));
    m.ratePerMinute = s.value(key("rate"), 0).toInt();
    m.subject = text(s, "subject", kDefaultSubject);
    m.body = text(s, "body", kDefaultBody);
    m.rememberPassword = s.value(key("rememberPassword"), false).toBool();
    m.protect = s.value(key("protect"), false).toBool();
    return m;
}

void saveMailSettings(const MailSettings& m)
{
    QSettings s = userSettings();
    s.setValue(key("smtp"), QString::fromStdString(m.url));
    s.setValue(key("user"), QString::fromStdString(m.user));
    s.setValue(key("from"), QString::fromStdString(m.from));
    s.setValue(key("caFile"), QString::fromStdString(core::pathText(m.caFile)));
    s.setValue(key("rate"), m.ratePerMinute);
    s.setValue(key("subject"), QString::fromStdString(m.subject));
    s.setValue(key("body"), QString::fromStdString(m.body));
    s.setValue(key("rememberPassword"), m.rememberPassword);
    s.setValue(key("protect"), m.protect);
}

MailOptions optionsOf(const MailSettings& m, const fs::path& folder)
{
    MailOptions o;
    o.folder = folder;
    o.smtp = {m.url, m.user, {}, m.from, m.caFile};
    o.ratePerMinute = m.ratePerMinute;
    o.subject = m.subject;
    o.body = m.body;
    o.protect = m.protect;
    return o;
}

std::string mailSettingsProblem(const MailSettings& m)
{
    if (m.url.empty())
        return "no mail server: give it as smtp://HOST[:PORT] or smtps://HOST[:PORT]";
    if (smtpUrl(m.url).empty())
        return "\"" + m.url + "\" is not a mail server: give smtp://HOST[:PORT] (STARTTLS) or smtps://HOST[:PORT] (TLS)";
    if (!isMailAddress(m.from))
        return m.from.empty() ? std::string("no sender: give the address to send from")
                              : "\"" + m.from + "\" is not an e-mail address to send from";
    std::error_code ec;
    if (!m.caFile.empty() && !fs::is_regular_file(m.caFile, ec))
        return "the CA file " + core::pathText(m.caFile) + " is not there";
    if (m.ratePerMinute < 0)
        return "the rate is a number of messages per minute, 0 for no limit";
    return {};
}

std::unique_ptr<Keyring> systemKeyring() { return std::make_unique<SystemKeyring>(); }

std::string keyringAccount(const std::string& url, const std::string& user)
{
    return user + " at " + smtpUrl(url);
}

} // namespace cw::mail
