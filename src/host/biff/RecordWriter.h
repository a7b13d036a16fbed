#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace cw::host::biff {

// The most data one BIFF8 record may hold; longer data goes on in CONTINUE records.
constexpr std::size_t kMaxRecordData = 8224;

inline bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

inline bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// UTF-8 (as the model keeps text) to UTF-16 code units; characters beyond the BMP become
// surrogate pairs, malformed sequences become U+FFFD. Appends to `out`.
void utf8ToUtf16(std::string_view utf8, std::vector<char16_t>& out);
// Number of UTF-16 code units of a UTF-8 text (as utf8ToUtf16 would produce).
std::size_t utf16Length(std::string_view utf8);

// Appends BIFF8 records to a byte buffer (the Workbook stream being built). Records are built
// in place: begin() writes a header whose length end() fills in, so no record is copied.
class RecordWriter {
public:
    explicit RecordWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    std::vector<std::uint8_t>& buffer() { return m_out; }
    // The stream offset of the next byte written.
    std::size_t position() const { return m_out.size(); }

    // A whole record; data over kMaxRecordData goes on in CONTINUE records.
    void record(std::uint16_t type, std::span<const std::uint8_t> data);
    void record(std::uint16_t type, std::initializer_list<std::uint8_t> data)
    {
        record(type, std::span<const std::uint8_t>(data.begin(), data.size()));
    }

    // Piecewise: begin(type), the fields, end(). end() splits an oversized body into CONTINUE
    // records at kMaxRecordData boundaries (right for records whose continuation carries no
    // structure of its own; the shared string table has its own writer below).
    void begin(std::uint16_t type);
    void end();
    // Bytes of the open record so far.
    std::size_t recordSize() const { return m_out.size() - m_start - 4; }

    void u8(std::uint8_t v) { m_out.push_back(v); }
    void u16(std::uint16_t v)
    {
        m_out.push_back(static_cast<std::uint8_t>(v));
        m_out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void f64(double v);
    void bytes(std::span<const std::uint8_t> data) { m_out.insert(m_out.end(), data.begin(), data.end()); }
    void zeros(std::size_t n) { m_out.resize(m_out.size() + n, 0); }

    void patchU16(std::size_t pos, std::uint16_t v);
    void patchU32(std::size_t pos, std::uint32_t v);

    // XLUnicodeString (16-bit character count) and ShortXLUnicodeString (8-bit count): the
    // count, the fHighByte flag and the characters, one byte each when every character is
    // below U+0100, else UTF-16LE. maxChars cuts longer texts (never inside a surrogate pair).
    void string16(std::string_view utf8, std::size_t maxChars = 0xFFFF);
    void string8(std::string_view utf8, std::size_t maxChars = 0xFF);
    // XLUnicodeStringNoCch: the flag and the characters only (the count is stored elsewhere).
    void stringNoCount(std::string_view utf8);

    // The shared string table: SST (with CONTINUE records as needed) followed by EXTSST.
    // `totalRefs` is the number of LABELSST cells. A string never has its count and flags
    // split from its first character; a string that crosses a record boundary goes on with
    // its flags byte repeated. EXTSST holds the stream offset of every dsst-th string.
    void sharedStrings(std::span<const std::string_view> strings, std::uint32_t totalRefs);

private:
    // Converts into m_units; true when every unit fits one byte.
    bool toUnits(std::string_view utf8, std::size_t maxChars);
    void writeUnits(bool compressed);

    std::vector<std::uint8_t>& m_out;
    std::size_t m_start = 0;
    std::vector<char16_t> m_units;
};

} // namespace cw::host::biff
