#include "mail/Smtp.h"

#include "core/PathText.h"

#include <QByteArray>
#include <QUuid>

#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

namespace cw::mail {

namespace {

bool plainAscii(const std::string& s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void append(Slist& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
        list.release();
        list.reset(grown);
    }
}

struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};

// The server's replies as they come in: the last one, and the last refusal (4xx, 5xx), which
// curl follows with a QUIT whose "221" would otherwise hide it.
struct Replies {
    std::string last, refusal;
    std::string command, refused; // the last command sent, the one the refusal answered
};

int keepReplies(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    if (type == CURLINFO_HEADER_OUT) {
        const std::string line(data, size);
        static_cast<Replies*>(user)->command = line.substr(0, line.find_first_of(" \r\n"));
    } else if (type == CURLINFO_HEADER_IN) {
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            return 0;
        auto* replies = static_cast<Replies*>(user);
        replies->last = line;
        if (line[0] == '4' || line[0] == '5')
            replies->refusal = line, replies->refused = replies->command;
    }
    return 0;
}

// The code of a reply line, 0 when it has none.
long replyCode(const std::string& line)
{
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])))
        return 0;
    return std::stol(line.substr(0, 3));
}

std::string joined(const std::vector<Recipient>& list)
{
    std::string s;
    for (const Recipient& r : list)
        s += (s.empty() ? "" : ", ") + mailbox(r);
    return s;
}

bool connectionFault(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST: case CURLE_COULDNT_CONNECT: case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR: case CURLE_PEER_FAILED_VERIFICATION: case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE: case CURLE_SSL_CERTPROBLEM: case CURLE_LOGIN_DENIED:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string smtpUrl(const std::string& url)
{
    const bool implicit = url.rfind("smtps://", 0) == 0;
    if (!implicit && url.rfind("smtp://", 0) != 0)
        return {};
    std::string host = url.substr(implicit ? 8 : 7);
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    if (host.empty() || host.find_first_of("/?#@ ") != std::string::npos)
        return {};
    const std::size_t close = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    const bool hasPort = colon != std::string::npos && (close == std::string::npos || colon > close);
    if (hasPort) {
        const std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stol(port) == 0 || std::stol(port) > 65535 || colon == 0)
            return {};
    }
    return (implicit ? "smtps://" : "smtp://") + host + (hasPort ? "" : implicit ? ":465" : ":587");
}

std::string encodedWords(const std::string& text)
{
    if (plainAscii(text))
        return text;
    // Whole characters per word, each word at most 75 characters long.
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = std::min(text.size(), i + 45);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        const QByteArray chunk = QByteArray(text.data() + i, static_cast<qsizetype>(end - i)).toBase64();
        out += (out.empty() ? "" : " ") + std::string("=?UTF-8?B?") + chunk.toStdString() + "?=";
        i = end;
    }
    return out;
}

std::string mailbox(const Recipient& r)
{
    if (r.name.empty())
        return "<" + r.address + ">";
    if (!plainAscii(r.name))
        return encodedWords(r.name) + " <" + r.address + ">";
    std::string quoted = "\"";
    for (const char c : r.name)
        quoted += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    return quoted + "\" <" + r.address + ">";
}

std::string rfc5322Date(long long unixTime)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local{}, utc{};
#ifdef _WIN32
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    utc.tm_isdst = local.tm_isdst;
    const long offset = static_cast<long>(std::difftime(std::mktime(&local), std::mktime(&utc))) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday], local.tm_mday,
                  kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

SmtpSession::SmtpSession(SmtpSettings settings, int retries, int firstBackoffMs)
    : m_settings(std::move(settings)), m_retries(retries), m_backoffMs(firstBackoffMs)
{
    const std::string url = smtpUrl(m_settings.url);
    if (url.empty())
        throw SmtpError("\"" + m_settings.url + "\" is not a mail server: give smtp://HOST[:PORT] (STARTTLS) or "
                        "smtps://HOST[:PORT] (TLS)");
    m_settings.url = url;
    const std::size_t at = m_settings.from.rfind('@');
    m_domain = at == std::string::npos ? "localhost" : m_settings.from.substr(at + 1);
    m_curl = curl_easy_init();
    if (!m_curl)
        throw SmtpError("the mail library could not start");
    curl_easy_setopt(m_curl, CURLOPT_URL, m_settings.url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_settings.caFile.empty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, core::pathText(m_settings.caFile).c_str());
    if (!m_settings.user.empty()) {
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_settings.user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_settings.password.c_str());
    }
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, keepReplies);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
}

SmtpSession::~SmtpSession()
{
    curl_easy_cleanup(m_curl);
}

int SmtpSession::perform(std::string& reply)
{
    Replies replies;
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, &replies);
    const CURLcode code = curl_easy_perform(m_curl);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, nullptr);
    const std::string& server = code == CURLE_OK || replies.refusal.empty() ? replies.last : replies.refusal;
    reply = server;
    if (code != CURLE_OK && (reply.empty() || code == CURLE_LOGIN_DENIED || connectionFault(code)))
        reply = curl_easy_strerror(code) + (server.empty() ? std::string() : " (" + server + ")");
    m_lastCode = code == CURLE_OK ? 0 : replyCode(server);
    m_refusedCommand = code == CURLE_OK ? std::string() : replies.refused;
    return code;
}

void SmtpSession::open()
{
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    std::string reply;
    const int code = perform(reply);
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
    if (code == CURLE_LOGIN_DENIED)
        throw SmtpError("the server " + m_settings.url + " refused the login of \"" + m_settings.user + "\": " + reply, true);
    if (code != CURLE_OK)
        throw SmtpError("no connection to " + m_settings.url + ": " + reply);
}

SendResult SmtpSession::send(const OutgoingMessage& message)
{
    Slist headers, recipients;
    append(headers, "Date: " + rfc5322Date(static_cast<long long>(std::time(nullptr))));
    append(headers, "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() + "@" + m_domain + ">");
    append(headers, "From: " + mailbox({message.fromName, m_settings.from}));
    append(headers, "To: " + joined(message.to));
    if (!message.cc.empty())
        append(headers, "Cc: " + joined(message.cc));
    append(headers, "Subject: " + encodedWords(message.subject));
    for (const std::vector<Recipient>* list : {&message.to, &message.cc})
        for (const Recipient& r : *list)
            append(recipients, "<" + r.address + ">");

    std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(m_curl));
    curl_mimepart* text = curl_mime_addpart(mime.get());
    curl_mime_data(text, message.body.data(), message.body.size());
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");
    for (const OutgoingMessage::Attachment& a : message.attachments) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_filedata(part, core::pathText(a.file).c_str());
        curl_mime_filename(part, a.name.c_str());
        curl_mime_type(part, "application/pdf");
        curl_mime_encoder(part, "base64");
    }
    const std::string from = "<" + m_settings.from + ">";
    curl_easy_setopt(m_curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(m_curl, CURLOPT_MIMEPOST, mime.get());

    SendResult result;
    for (int attempt = 0;; ++attempt) {
        const int code = perform(result.reply);
        // The refusing reply's own code: curl's response code may be a later one's.
        const long response = m_lastCode;
        if (code == CURLE_OK) {
            result.outcome = SendResult::Sent;
            break;
        }
        // A recipient or this message's content refused for good is this deductee's; the sender
        // refused (no login, a from address the server won't take) is every message's.
        if (response >= 500 && response < 600 && code != CURLE_LOGIN_DENIED) {
            const bool ours = m_refusedCommand == "RCPT" || m_refusedCommand == "DATA";
            result.outcome = ours ? SendResult::Refused : SendResult::Failed;
            result.senderRefused = !ours;
            break;
        }
        if (attempt >= m_retries) {
            result.outcome = SendResult::Failed;
            result.connectionLost = connectionFault(static_cast<CURLcode>(code)) || response == 0;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(m_backoffMs << attempt));
    }
    curl_easy_setopt(m_curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    return result;
}

} // namespace cw::mail
