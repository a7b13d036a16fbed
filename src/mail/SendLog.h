#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

// What was mailed to whom, in a SQLite file of the working folder. A message is recorded as
// "sending" before its data goes and as "sent" once the server accepted it, each in its own
// transaction: after a kill, only the one message in flight can be unsure, and the log says so.
namespace cw::mail {

inline constexpr const char* kSendLogFile = "Mail log.sqlite";

namespace status {
inline constexpr const char* kSending = "sending";
inline constexpr const char* kSent = "sent";
inline constexpr const char* kRefused = "refused";
inline constexpr const char* kFailed = "failed";
// A "sending" left by a run that was stopped: it may or may not have arrived.
inline constexpr const char* kUnsure = "unsure";
} // namespace status

// One certificate of a message, with the sha256 (hex) of its workbook and of the PDF sent.
struct LoggedCertificate {
    std::string number, file, workbookSha256, pdfSha256;
};

struct LoggedMessage {
    long long id = 0;
    std::string time;   // "07/12/2026 16:40:05", local time
    std::string pan, name, addresses, status, reply, note;
    std::vector<LoggedCertificate> certificates;
};

class SendLog {
public:
    // Opens or makes the log. Throws core::Failure naming the file.
    explicit SendLog(const std::filesystem::path& file);
    ~SendLog();
    SendLog(const SendLog&) = delete;
    SendLog& operator=(const SendLog&) = delete;

    // Marks every "sending" row of an earlier run "unsure", and returns them.
    std::vector<LoggedMessage> settleInterrupted();

    // The date ("dd/mm/yyyy") a message with this certificate of `pan`, with these workbook
    // bytes, was sent; nothing when never. `anyBytes`: whatever the workbook's bytes were then.
    std::optional<std::string> sentOn(const std::string& pan, const std::string& file, const std::string& workbookSha256,
                                      bool anyBytes = false) const;

    // Records a message as "sending" with its certificates; returns its id.
    long long begin(const LoggedMessage& message);
    // Sets its status and the server's reply.
    void finish(long long id, const std::string& status, const std::string& reply);

    std::vector<LoggedMessage> messages() const;

private:
    void exec(const char* sql);
    [[noreturn]] void fail(const std::string& what) const;

    sqlite3* m_db = nullptr;
    std::string m_name;
};

// The log as a CSV file for the accountant's records, one row per message and certificate.
std::string logCsv(const std::vector<LoggedMessage>& messages);

} // namespace cw::mail
