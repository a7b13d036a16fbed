#include "mail/SendLog.h"

#include "core/Failure.h"
#include "core/PathText.h"

#include <QDateTime>
#include <sqlite3.h>

#include <map>

namespace cw::mail {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS messages (
  id INTEGER PRIMARY KEY, time TEXT NOT NULL, pan TEXT NOT NULL, name TEXT NOT NULL, addresses TEXT NOT NULL,
  status TEXT NOT NULL, reply TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS certificates (
  message INTEGER NOT NULL REFERENCES messages(id), number TEXT NOT NULL, file TEXT NOT NULL,
  workbook_sha256 TEXT NOT NULL, pdf_sha256 TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS certificates_by_file ON certificates(file, workbook_sha256);
)";

std::string now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")).toStdString();
}

// A prepared statement, finalized at the end of the scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_s, nullptr); }
    ~Statement() { sqlite3_finalize(m_s); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_s != nullptr; }
    Statement& bind(int i, const std::string& v)
    {
        sqlite3_bind_text(m_s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, long long v)
    {
        sqlite3_bind_int64(m_s, i, v);
        return *this;
    }
    int step() { return sqlite3_step(m_s); }
    std::string text(int col) const
    {
        const unsigned char* t = sqlite3_column_text(m_s, col);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    long long integer(int col) const { return sqlite3_column_int64(m_s, col); }

private:
    sqlite3_stmt* m_s = nullptr;
};

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string q = "\"";
    for (const char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

} // namespace

SendLog::SendLog(const std::filesystem::path& file) : m_name(core::pathText(file))
{
    if (sqlite3_open_v2(m_name.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw core::Failure(m_name + " cannot be opened: " + why, core::kErrorTitle, core::Icon::Critical);
    }
    sqlite3_busy_timeout(m_db, 5000);
    // Each record reaches the disk before the next step: a kill or a power cut loses none. A
    // write-ahead log makes that one sync per record rather than several.
    exec("PRAGMA journal_mode = WAL");
    exec("PRAGMA synchronous = FULL");
    exec(kSchema);
}

SendLog::~SendLog()
{
    sqlite3_close(m_db);
}

void SendLog::fail(const std::string& what) const
{
    throw core::Failure(m_name + ": " + what + " (" + sqlite3_errmsg(m_db) + ")", core::kErrorTitle, core::Icon::Critical);
}

void SendLog::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        throw core::Failure(m_name + " cannot be used as the mail log: " + why, core::kErrorTitle, core::Icon::Critical);
    }
}

std::vector<LoggedMessage> SendLog::settleInterrupted()
{
    std::vector<LoggedMessage> unsure;
    for (LoggedMessage& m : messages())
        if (m.status == status::kSending)
            unsure.push_back(std::move(m));
    Statement s(m_db, "UPDATE messages SET status = ?1, note = 'the run was stopped while sending it: it may have arrived' "
                      "WHERE status = ?2");
    if (!s.ok() || s.bind(1, std::string(status::kUnsure)).bind(2, std::string(status::kSending)).step() != SQLITE_DONE)
        fail("cannot be updated");
    return unsure;
}

std::optional<std::string> SendLog::sentOn(const std::string& pan, const std::string& file, const std::string& sha,
                                           bool anyBytes) const
{
    Statement s(m_db, "SELECT m.time FROM messages m JOIN certificates c ON c.message = m.id WHERE m.pan = ?1 AND "
                      "c.file = ?2 AND (?4 OR c.workbook_sha256 = ?3) AND m.status = 'sent' ORDER BY m.id DESC LIMIT 1");
    if (!s.ok())
        fail("cannot be read");
    s.bind(1, pan).bind(2, file).bind(3, sha).bind(4, static_cast<long long>(anyBytes));
    if (s.step() != SQLITE_ROW)
        return std::nullopt;
    return s.text(0).substr(0, 10);
}

long long SendLog::begin(const LoggedMessage& m)
{
    exec("BEGIN IMMEDIATE");
    Statement s(m_db, "INSERT INTO messages (time, pan, name, addresses, status, note) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    if (!s.ok() || s.bind(1, now()).bind(2, m.pan).bind(3, m.name).bind(4, m.addresses).bind(5, std::string(status::kSending))
                           .bind(6, m.note).step() != SQLITE_DONE) {
        exec("ROLLBACK");
        fail("cannot be written");
    }
    const long long id = sqlite3_last_insert_rowid(m_db);
    for (const LoggedCertificate& c : m.certificates) {
        Statement add(m_db, "INSERT INTO certificates VALUES (?1, ?2, ?3, ?4, ?5)");
        if (!add.ok() || add.bind(1, id).bind(2, c.number).bind(3, c.file).bind(4, c.workbookSha256).bind(5, c.pdfSha256)
                                 .step() != SQLITE_DONE) {
            exec("ROLLBACK");
            fail("cannot be written");
        }
    }
    exec("COMMIT");
    return id;
}

void SendLog::finish(long long id, const std::string& st, const std::string& reply)
{
    Statement s(m_db, "UPDATE messages SET status = ?1, reply = ?2 WHERE id = ?3");
    if (!s.ok() || s.bind(1, st).bind(2, reply).bind(3, id).step() != SQLITE_DONE)
        fail("cannot be written");
}

std::vector<LoggedMessage> SendLog::messages() const
{
    std::vector<LoggedMessage> out;
    std::map<long long, std::size_t> at;
    {
        Statement s(m_db, "SELECT id, time, pan, name, addresses, status, reply, note FROM messages ORDER BY id");
        if (!s.ok())
            fail("cannot be read");
        while (s.step() == SQLITE_ROW) {
            at[s.integer(0)] = out.size();
            out.push_back({s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6), s.text(7), {}});
        }
    }
    Statement c(m_db, "SELECT message, number, file, workbook_sha256, pdf_sha256 FROM certificates ORDER BY rowid");
    if (!c.ok())
        fail("cannot be read");
    while (c.step() == SQLITE_ROW)
        if (const auto it = at.find(c.integer(0)); it != at.end())
            out[it->second].certificates.push_back({c.text(1), c.text(2), c.text(3), c.text(4)});
    return out;
}

std::string logCsv(const std::vector<LoggedMessage>& messages)
{
    std::string csv = "Time,PAN,Name,Addresses,Status,Server reply,Note,Certificate No.,File,Workbook SHA-256,PDF SHA-256\r\n";
    for (const LoggedMessage& m : messages) {
        const std::string head = csvField(m.time) + "," + m.pan + "," + csvField(m.name) + "," + csvField(m.addresses) + "," +
                                 m.status + "," + csvField(m.reply) + "," + csvField(m.note);
        for (const LoggedCertificate& c : m.certificates)
            csv += head + "," + csvField(c.number) + "," + c.file + ".xls," + c.workbookSha256 + "," + c.pdfSha256 + "\r\n";
        if (m.certificates.empty())
            csv += head + ",,,,\r\n";
    }
    return csv;
}

} // namespace cw::mail
