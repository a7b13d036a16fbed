// AES-256 protection whose keys Certwright computes itself, read back by qpdf (which checks U,
// UE and Perms its own way), and the DER of the CMS signature's parts that openssl and pdfsig
// cannot reach in the signing tests: long lengths and signing times from 2050 on.
#include "printing/CmsSignature.h"
#include "printing/PdfEncryption.h"
#include "printing/PdfTools.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>

#include <QByteArray>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace cw::printing;

namespace {

// A one-page document whose title is a string: encrypted, it reads back only with the right key.
QByteArray titledPdf()
{
    std::string text = "%PDF-1.7\n";
    std::string offsets;
    const auto object = [&](int id, const std::string& body) {
        char row[24];
        std::snprintf(row, sizeof row, "%010zu 00000 n \n", text.size());
        offsets += row;
        text += std::to_string(id) + " 0 obj\n" + body + "\nendobj\n";
    };
    object(1, "<</Type /Catalog /Pages 2 0 R>>");
    object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
    object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200]>>");
    object(4, "<</Title (Form 16A 004)>>");
    const std::size_t xref = text.size();
    text += "xref\n0 5\n0000000000 65535 f \n" + offsets + "trailer\n<</Size 5 /Root 1 0 R /Info 4 0 R>>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The title as qpdf reads it with `password` (or, `isKey`, the file key in hex); throws when
// the password does not open the document.
std::string titleWith(const QByteArray& pdf, const std::string& password, bool isKey = false)
{
    QPDF doc;
    doc.setSuppressWarnings(true);
    doc.setPasswordIsHexKey(isKey);
    doc.processMemoryFile("protected", pdf.constData(), static_cast<std::size_t>(pdf.size()), password.c_str());
    return doc.getTrailer().getKey("/Info").getKey("/Title").getStringValue();
}

} // namespace

TEST(PdfProtection, TheDocumentOpensWithItsPasswordOrItsKeyAndNothingElse)
{
    const std::string longPassword(127, 'x');
    for (const std::string& password : {std::string("AAAFR4321K"), std::string(), std::string("पैन कार्ड"), longPassword}) {
        // Each protection draws new salts and a new key; the rounds of the hash end on a byte
        // of each, so a few of them reach different round counts.
        for (int i = 0; i < 8; ++i) {
            const ProtectedPdf locked = protectPdf(titledPdf(), password);
            ASSERT_EQ(locked.fileKey.size(), 32u);
            EXPECT_EQ(titleWith(locked.bytes, password), "Form 16A 004") << password;
            EXPECT_EQ(titleWith(locked.bytes, QByteArray::fromStdString(locked.fileKey).toHex().toStdString(), true),
                      "Form 16A 004");
            EXPECT_THROW(titleWith(locked.bytes, "1" + password), QPDFExc) << password;
        }
    }
    // Only the first 127 bytes of a password count, as readers take them.
    const ProtectedPdf locked = protectPdf(titledPdf(), longPassword + "tail");
    EXPECT_EQ(titleWith(locked.bytes, longPassword), "Form 16A 004");
    // No owner password: none opens the document as its owner, not even an empty one.
    QPDF doc;
    doc.processMemoryFile("protected", locked.bytes.constData(), static_cast<std::size_t>(locked.bytes.size()),
                          longPassword.c_str());
    EXPECT_TRUE(doc.userPasswordMatched());
    EXPECT_FALSE(doc.ownerPasswordMatched());
    EXPECT_THROW(titleWith(locked.bytes, ""), QPDFExc);
}

TEST(PdfProtection, ABatchOfPartsEachOpensWithItsOwnPasswordOnly)
{
    // More parts than there are hashes side by side, with passwords empty, short and over 127
    // bytes, and a part without a password among them: each part gets its own keys.
    std::vector<PdfPart> parts;
    for (int i = 0; i < 21; ++i) {
        std::string password = i % 7 == 0 ? std::string() : i % 7 == 1 ? std::string(127 + i, 'p') : "PAN" + std::to_string(i * 37);
        parts.push_back({0, 1, "part " + std::to_string(i), password});
    }
    parts[5].openPassword.reset();
    const std::vector<ProtectedPdf> files = splitPdf(titledPdf(), parts);
    ASSERT_EQ(files.size(), parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parts[i].openPassword) {
            EXPECT_TRUE(files[i].fileKey.empty());
            EXPECT_EQ(titleWith(files[i].bytes, ""), "part 5");
            continue;
        }
        EXPECT_EQ(titleWith(files[i].bytes, *parts[i].openPassword), parts[i].title);
        EXPECT_THROW(titleWith(files[i].bytes, "1" + *parts[i].openPassword), QPDFExc) << i;
    }
}

TEST(PdfProtection, HashesSideBySideAreTheHashesOneAtATime)
{
    // Random passwords of 0 to 140 bytes and salts, some with a user key as the owner's hashes
    // have: every K1 length, and rounds ending at different counts.
    std::mt19937 random(16);
    std::vector<std::string> texts;
    for (int i = 0; i < 45; ++i) {
        std::string password(random() % 141, '\0'), salt(8, '\0'), userKey(i % 3 == 0 ? 48 : 0, '\0');
        for (std::string* s : {&password, &salt, &userKey})
            for (char& c : *s)
                c = static_cast<char>(random());
        texts.insert(texts.end(), {password, salt, userKey});
    }
    std::vector<PasswordHashInput> inputs;
    for (std::size_t i = 0; i < texts.size(); i += 3)
        inputs.push_back({texts[i], texts[i + 1], texts[i + 2]});
    const std::vector<std::string> hashes = passwordHashesR6(inputs);
    ASSERT_EQ(hashes.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        EXPECT_EQ(hashes[i], passwordHashR6(inputs[i].password, inputs[i].salt, inputs[i].userKey)) << i;
    EXPECT_TRUE(passwordHashesR6({}).empty());
    // A user key longer than U's 48 bytes is no revision 6 input, yet hashes as one at a time.
    const std::string longKey(200, 'k');
    EXPECT_EQ(passwordHashesR6({{texts[0], texts[1], longKey}}).front(), passwordHashR6(texts[0], texts[1], longKey));
}

TEST(CmsSignature, LengthsAndSigningTimesAreDer)
{
    EXPECT_EQ(der(0x04, std::string(127, 'a')).substr(0, 2), std::string("\x04\x7F", 2));
    EXPECT_EQ(der(0x04, std::string(128, 'a')).substr(0, 3), std::string("\x04\x81\x80", 3));
    EXPECT_EQ(der(0x04, std::string(256, 'a')).substr(0, 4), std::string("\x04\x82\x01\x00", 4));
    EXPECT_EQ(der(0x30, std::string(70000, 'a')).substr(0, 5), std::string("\x30\x83\x01\x11\x70", 5));

    const std::string digest(32, '\x11');
    // 2049-12-31 23:59:59 UTC is the last UTCTime; 2050-01-01 00:00:00 is a GeneralizedTime.
    const std::string last = cmsSignedAttributes(digest, 2524607999), first = cmsSignedAttributes(digest, 2524608000);
    EXPECT_NE(last.find("\x17\x0D" "491231235959Z"), std::string::npos);
    EXPECT_NE(first.find("\x18\x0F" "20500101000000Z"), std::string::npos);
    // The attributes in DER order: content type, signing time, message digest (their lengths
    // decide), the digest as given.
    EXPECT_LT(first.find("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03"), first.find("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05"));
    EXPECT_LT(first.find("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05"), first.find("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04"));
    EXPECT_NE(first.find("\x04\x20" + digest), std::string::npos);
}
