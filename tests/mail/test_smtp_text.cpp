// What the mail code writes itself: the server URL it connects to, the header texts, and the
// fields of a message's subject and body.
#include "mail/MailRun.h"
#include "mail/Smtp.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

namespace cw::mail {
namespace {

TEST(MailText, FieldsNameEachQuarterYearAndTanOfTheCertificatesSent)
{
    const CertificateList list{"ACME", "TANR00001A", "2024-25", "Q1", {}};
    const Deductee deductee{"ABCPE1234F", "", {}};
    const std::string text = "{year} {quarter} {tan} {name} {certificates}";
    // Ours: the register's values for all.
    EXPECT_EQ(filledIn(text, list, deductee, {{"001/2024-25", "001", {}, {}, {}, {}}}), "2024-25 Q1 TANR00001A Sir/Madam 001/2024-25");
    // PDFs made elsewhere: each file's own, each value once, in the files' order.
    const std::vector<Certificate> pdfs = {{"A1", "a.pdf", {}, "2024-25", "Q3", "TANP00001B"},
                                           {"B2", "b.pdf", {}, "2024-25", "Q2", "TANP00001B"},
                                           {"C3", "c.pdf", {}, "2023-24", "Q3", "TANP00001B"}};
    EXPECT_EQ(filledIn(text, list, deductee, pdfs), "2024-25, 2023-24 Q3, Q2 TANP00001B Sir/Madam A1, B2, C3");
}

TEST(SmtpUrl, DefaultPortsAndWhatIsNotAServer)
{
    const std::pair<const char*, const char*> urls[] = {
        {"smtp://127.0.0.1", "smtp://127.0.0.1:587"},
        {"smtps://127.0.0.1/", "smtps://127.0.0.1:465"},
        {"smtp://127.0.0.1:2525", "smtp://127.0.0.1:2525"},
        {"smtp://[::1]", "smtp://[::1]:587"},
        {"http://127.0.0.1", ""},
        {"smtp://", ""},
        {"smtp://127.0.0.1:", ""},
        {"smtp://127.0.0.1:99999", ""},
        {"smtp://127.0.0.1/path", ""},
    };
    for (const auto& [url, expected] : urls)
        EXPECT_EQ(smtpUrl(url), expected) << url;
}

// Long non-ASCII text in encoded words of at most 75 characters, none splitting a character,
// that decode back to the text.
TEST(SmtpHeaders, EncodedWordsKeepWholeCharactersAndDecodeBack)
{
    EXPECT_EQ(encodedWords("Form 16A for F.Y. 2024-25 Q3"), "Form 16A for F.Y. 2024-25 Q3");
    std::string text = "Form 16A from ";
    for (int i = 0; i < 20; ++i)
        text += "\xE0\xA4\xB6\xE0\xA5\x8D\xE0\xA4\xB0\xE0\xA5\x80 "; // "श्री "
    const std::string encoded = encodedWords(text);
    std::string decoded;
    std::size_t words = 0;
    for (std::size_t at = 0; at < encoded.size();) {
        const std::size_t end = encoded.find("?=", at) + 2;
        const std::string word = encoded.substr(at, end - at);
        ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
        EXPECT_LE(word.size(), 75u);
        const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(word.substr(10, word.size() - 12)));
        EXPECT_TRUE(QString::fromUtf8(bytes).toUtf8() == bytes) << word; // whole characters only
        decoded += bytes.toStdString();
        at = end + 1, ++words;
    }
    EXPECT_EQ(decoded, text);
    EXPECT_GT(words, 1u);
    EXPECT_EQ(mailbox({"Ren\xC3\xA9 \"R\" Rao", "r@example.test"}), "=?UTF-8?B?UmVuw6kgIlIiIFJhbw==?= <r@example.test>");
    EXPECT_EQ(mailbox({"RAO, RENU", "r@example.test"}), "\"RAO, RENU\" <r@example.test>");
}

} // namespace
} // namespace cw::mail
