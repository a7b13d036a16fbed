#include "printing/CmsSignature.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace cw::printing {

namespace {

constexpr unsigned char kSequence = 0x30, kSet = 0x31, kInteger = 0x02, kOctetString = 0x04, kNull = 0x05, kOid = 0x06,
                        kUtcTime = 0x17, kGeneralizedTime = 0x18, kContext0 = 0xA0;

// Object identifiers, as the bytes of their DER content.
constexpr std::string_view kSignedData{"\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9};  // 1.2.840.113549.1.7.2
constexpr std::string_view kData{"\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01", 9};        // 1.2.840.113549.1.7.1
constexpr std::string_view kSha256{"\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9};      // 2.16.840.1.101.3.4.2.1
constexpr std::string_view kContentType{"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03", 9}; // 1.2.840.113549.1.9.3
constexpr std::string_view kMessageDigest{"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04", 9};
constexpr std::string_view kSigningTime{"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05", 9};

std::string attribute(std::string_view type, const std::string& value)
{
    return der(kSequence, der(kOid, type) + der(kSet, value));
}

// UTCTime until 2049, GeneralizedTime from 2050 on, as CMS wants the signing time.
std::string signingTime(std::int64_t unixTime)
{
    using namespace std::chrono;
    const sys_seconds at{seconds(unixTime)};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    const int y = static_cast<int>(date.year());
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02dZ", y, static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
    if (y >= 1950 && y < 2050)
        return der(kUtcTime, text + 2);
    return der(kGeneralizedTime, text);
}

std::string sha256Algorithm()
{
    return der(kSequence, der(kOid, kSha256) + der(kNull, {}));
}

} // namespace

std::string der(unsigned char tag, std::string_view content)
{
    std::string out(1, static_cast<char>(tag));
    std::size_t n = content.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::array<char, sizeof n> bytes{};
        int count = 0;
        for (; n; n >>= 8)
            bytes[static_cast<std::size_t>(count++)] = static_cast<char>(n & 0xFF);
        out += static_cast<char>(0x80 | count);
        while (count)
            out += bytes[static_cast<std::size_t>(--count)];
    }
    out += content;
    return out;
}

std::string cmsSignedAttributes(std::string_view digest, std::int64_t unixTime)
{
    std::array<std::string, 3> attributes = {attribute(kContentType, der(kOid, kData)),
                                             attribute(kSigningTime, signingTime(unixTime)),
                                             attribute(kMessageDigest, der(kOctetString, digest))};
    // A SET OF in DER is in the order of its members' encodings.
    std::sort(attributes.begin(), attributes.end());
    return der(kSet, attributes[0] + attributes[1] + attributes[2]);
}

std::string cmsSignedData(const CmsSigner& signer, std::string_view signedAttributes, std::string_view signatureValue)
{
    // In the SignerInfo the attributes' SET tag becomes [0] IMPLICIT; the rest stays.
    std::string attributes(signedAttributes);
    if (!attributes.empty())
        attributes[0] = static_cast<char>(kContext0);
    const std::string version1 = der(kInteger, "\x01");
    const std::string signerInfo = der(kSequence, version1 + signer.signerId + sha256Algorithm() + attributes +
                                                      signer.signatureAlgorithm + der(kOctetString, signatureValue));
    const std::string signedData =
        der(kSequence, version1 + der(kSet, sha256Algorithm()) + der(kSequence, der(kOid, kData)) +
                           der(kContext0, signer.certificates) + der(kSet, signerInfo));
    return der(kSequence, der(kOid, kSignedData) + der(kContext0, signedData));
}

} // namespace cw::printing
