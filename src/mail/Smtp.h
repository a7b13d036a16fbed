#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

typedef void CURL;

// Mail through libcurl: one connection for all the messages of a run, TLS always (STARTTLS on
// smtp://, TLS from the start on smtps://), the server's certificate and name verified, AUTH
// only inside TLS.
namespace cw::mail {

struct SmtpSettings {
    std::string url;       // smtp://HOST[:PORT] (587) or smtps://HOST[:PORT] (465)
    std::string user;
    std::string password;  // never written anywhere
    std::string from;      // the sender's bare address, e.g. office@example.test
    std::filesystem::path caFile; // empty: the system's CA store
};

// The URL with its default port, or an empty string when it is not smtp:// or smtps://.
std::string smtpUrl(const std::string& url);

struct Recipient {
    std::string name, address;
};

struct OutgoingMessage {
    std::string fromName;
    std::vector<Recipient> to, cc;
    std::string subject, body;      // UTF-8
    struct Attachment {
        std::string name;           // "Form 16A 004.pdf"
        std::filesystem::path file;
    };
    std::vector<Attachment> attachments;
};

// A header text as RFC 2047 encoded words when it is not plain ASCII.
std::string encodedWords(const std::string& text);
// "Name" <address>, the name quoted or encoded as needed.
std::string mailbox(const Recipient& r);
// The date as RFC 5322 writes it: "Mon, 07 Dec 2026 16:40:05 +0530".
std::string rfc5322Date(long long unixTime);

struct SendResult {
    enum Outcome { Sent, Refused, Failed } outcome = Failed;
    std::string reply;       // the server's last reply, or what went wrong
    bool connectionLost = false; // the server can no longer be reached: later messages would fail too
    bool senderRefused = false;  // the server takes no message from us (no login, the from address)
};

// Thrown before anything is sent: the server can't be reached, TLS fails, the login is refused.
struct SmtpError : std::runtime_error {
    explicit SmtpError(const std::string& what, bool refusedLogin = false) : std::runtime_error(what), loginRefused(refusedLogin) {}
    bool loginRefused; // the password (or user) was wrong: worth asking for again
};

class SmtpSession {
public:
    // Throws SmtpError for a URL that is not smtp:// or smtps://.
    explicit SmtpSession(SmtpSettings settings, int retries = 3, int firstBackoffMs = 1000);
    ~SmtpSession();
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    // Connects and logs in (a NOOP on the new connection). Throws SmtpError.
    void open();
    // Sends one message; temporary failures (4xx, a dropped connection) are retried with
    // back-off, a permanent one (5xx) is the recipient's refusal.
    SendResult send(const OutgoingMessage& message);

private:
    int perform(std::string& reply);

    SmtpSettings m_settings;
    int m_retries, m_backoffMs;
    CURL* m_curl = nullptr;
    long m_lastCode = 0;          // of the last failed transfer's refusing reply
    std::string m_refusedCommand; // and the command it answered: "MAIL", "RCPT", "DATA"...
    std::string m_domain;
};

} // namespace cw::mail
