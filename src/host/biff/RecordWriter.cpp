#include "host/biff/RecordWriter.h"
#include "host/biff/Records.h"

#include <algorithm>
#include <cstring>

namespace cw::host::biff {

namespace {

// Decodes one UTF-8 sequence at s[i]; advances i. Malformed input gives U+FFFD and skips one
// byte. Three-byte encodings of surrogates are taken as they are, so that a lone surrogate
// read from a file comes back unchanged.
char32_t decodeOne(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) {
        return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto at = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) | at(1);
        i += 2;
        return c;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x0F) << 12) | (at(1) << 6) | at(2);
        if (c >= 0x800) {
            i += 3;
            return c;
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x07) << 18) | (at(1) << 12) | (at(2) << 6) | at(3);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            i += 4;
            return c;
        }
    }
    ++i;
    return 0xFFFD;
}

} // namespace

void utf8ToUtf16(std::string_view utf8, std::vector<char16_t>& out)
{
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = decodeOne(utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
}

std::size_t utf16Length(std::string_view utf8)
{
    if (isAscii(utf8))
        return utf8.size();
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();)
        n += decodeOne(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

void RecordWriter::record(std::uint16_t type, std::span<const std::uint8_t> data)
{
    begin(type);
    bytes(data);
    end();
}

void RecordWriter::begin(std::uint16_t type)
{
    m_start = m_out.size();
    u16(type);
    u16(0);
}

void RecordWriter::end()
{
    const std::size_t size = m_out.size() - m_start - 4;
    if (size <= kMaxRecordData) {
        patchU16(m_start + 2, static_cast<std::uint16_t>(size));
        return;
    }
    // Spread the body over the record and CONTINUE records: open gaps for the extra headers,
    // moving the chunks from the back so that nothing is overwritten before it has moved.
    const std::size_t extra = (size - 1) / kMaxRecordData;
    const std::size_t body = m_start + 4;
    m_out.resize(m_out.size() + 4 * extra);
    for (std::size_t k = extra; k >= 1; --k) {
        const std::size_t from = body + k * kMaxRecordData;
        const std::size_t len = std::min(kMaxRecordData, size - k * kMaxRecordData);
        const std::size_t to = from + 4 * k;
        std::memmove(&m_out[to], &m_out[from], len);
        patchU16(to - 4, rt::Continue);
        patchU16(to - 2, static_cast<std::uint16_t>(len));
    }
    patchU16(m_start + 2, static_cast<std::uint16_t>(kMaxRecordData));
}

void RecordWriter::f64(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<std::uint32_t>(bits));
    u32(static_cast<std::uint32_t>(bits >> 32));
}

void RecordWriter::patchU16(std::size_t pos, std::uint16_t v)
{
    m_out[pos] = static_cast<std::uint8_t>(v);
    m_out[pos + 1] = static_cast<std::uint8_t>(v >> 8);
}

void RecordWriter::patchU32(std::size_t pos, std::uint32_t v)
{
    patchU16(pos, static_cast<std::uint16_t>(v));
    patchU16(pos + 2, static_cast<std::uint16_t>(v >> 16));
}

bool RecordWriter::toUnits(std::string_view utf8, std::size_t maxChars)
{
    m_units.clear();
    utf8ToUtf16(utf8, m_units);
    if (m_units.size() > maxChars) {
        std::size_t n = maxChars;
        if (n > 0 && isHighSurrogate(m_units[n - 1]))
            --n;
        m_units.resize(n);
    }
    for (char16_t u : m_units)
        if (u >= 0x100)
            return false;
    return true;
}

void RecordWriter::writeUnits(bool compressed)
{
    if (compressed) {
        for (char16_t u : m_units)
            m_out.push_back(static_cast<std::uint8_t>(u));
    } else {
        for (char16_t u : m_units)
            u16(u);
    }
}

void RecordWriter::string16(std::string_view utf8, std::size_t maxChars)
{
    if (utf8.size() <= maxChars && isAscii(utf8)) {
        u16(static_cast<std::uint16_t>(utf8.size()));
        u8(0);
        bytes(std::span(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
        return;
    }
    const bool compressed = toUnits(utf8, std::min<std::size_t>(maxChars, 0xFFFF));
    u16(static_cast<std::uint16_t>(m_units.size()));
    u8(compressed ? 0 : 1);
    writeUnits(compressed);
}

void RecordWriter::string8(std::string_view utf8, std::size_t maxChars)
{
    const bool compressed = toUnits(utf8, std::min<std::size_t>(maxChars, 0xFF));
    u8(static_cast<std::uint8_t>(m_units.size()));
    u8(compressed ? 0 : 1);
    writeUnits(compressed);
}

void RecordWriter::stringNoCount(std::string_view utf8)
{
    const bool compressed = toUnits(utf8, 0xFFFF);
    u8(compressed ? 0 : 1);
    writeUnits(compressed);
}

} // namespace cw::host::biff
