#pragma once
// What the mail tests share: a real mail server on 127.0.0.1 (smtp_server.py, python3-aiosmtpd)
// and the messages it kept, four deductees and their address book.
#include "CertificateRun.h"
#include "SyntheticStatement.h"

#include <QProcess>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace cw::test {

inline constexpr const char* kUser = "office";
inline constexpr const char* kPassword = "s3cret pass";

// The server script under tests/mail; gone at the end of the scope.
class SmtpServer {
public:
    explicit SmtpServer(const fs::path& dir, const std::vector<std::string>& more = {})
    {
        QStringList args{QString::fromStdString((fs::path(CERTWRIGHT_SOURCE_DIR) / "tests/mail/smtp_server.py").string()),
                         QString::fromStdString(dir.string()), "--user", kUser, "--password", kPassword};
        for (const std::string& a : more)
            args << QString::fromStdString(a);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("/usr/bin/python3", args);
        while (m_process.waitForReadyRead(30000) && !m_process.canReadLine()) {
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        if (!line.startsWith("PORT "))
            throw std::runtime_error("the test's mail server did not start (python3-aiosmtpd?)");
        url = "smtp://127.0.0.1:" + line.mid(5).toStdString();
    }
    ~SmtpServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill(), m_process.waitForFinished();
    }
    bool gone() { return m_process.waitForFinished(10000); }
    std::string url;

private:
    QProcess m_process;
};

// A message as the server kept it.
struct Received {
    std::vector<std::string> envelope; // MAIL FROM, then each RCPT TO
    std::string headers, body;
    std::map<std::string, fs::path> attachments;
};

inline std::vector<Received> receivedIn(const fs::path& dir)
{
    std::vector<Received> all;
    std::error_code ec;
    std::set<fs::path> folders;
    for (const auto& e : fs::directory_iterator(dir / "mail", ec))
        folders.insert(e.path());
    for (const fs::path& f : folders) {
        Received r;
        std::istringstream envelope(readBytes(f / "envelope.txt"));
        for (std::string line; std::getline(envelope, line);)
            r.envelope.push_back(line);
        r.headers = readBytes(f / "headers.txt");
        r.body = readBytes(f / "body.txt");
        for (const auto& e : fs::directory_iterator(f))
            if (e.path().extension() == ".pdf")
                r.attachments[e.path().filename().string()] = e.path();
        all.push_back(std::move(r));
    }
    return all;
}

// Four deductees, the first with the certificates of two challans.
inline Statement fourDeductees()
{
    return statementOf({challanOf({recordsOf("ASHA TRADERS", "AAAPA1234A", 2)[0], recordsOf("BALAJI STORES", "AAAPB1234B", 1)[0],
                                   recordsOf("CHETAN RAO", "AAAPC1234C", 1)[0], recordsOf("DEEPA NAIR", "AAAPD1234D", 1)[0]}),
                        challanOf(recordsOf("ASHA TRADERS", "AAAPA1234A", 1, 10), "94J", "07082008")});
}

inline const std::map<std::string, std::string> kBook = {{"AAAPA1234A", "asha@example.test"}, {"AAAPB1234B", "balaji@example.test"},
                                                  {"AAAPC1234C", "chetan@example.test"}, {"AAAPD1234D", "deepa@example.test"}};

// The address book of kBook, as the working folder's CSV.
inline std::string bookCsv()
{
    std::string csv = "PAN,Name,E-mail\n";
    for (const auto& [pan, address] : kBook)
        csv += pan + ",," + address + "\n";
    return csv;
}

} // namespace cw::test
