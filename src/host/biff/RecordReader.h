#pragma once

#include "host/Error.h"
#include "host/biff/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cw::host::biff {

// A bounded cursor over a BIFF8 Workbook stream. It walks the records one by one and reads
// the fields of the current record; every read is checked against the record's length, so a
// short or lying record becomes an Error(Corrupt) that names the file, the stream offset and
// the record type instead of a read past the end. CONTINUE records are crossed only through
// continueRecord() and the string readers that need it (SST, STRING, TXO-like text).
class RecordReader {
public:
    RecordReader(const std::uint8_t* data, std::size_t size, const std::string& fileName);

    // Moves to the record that follows the current one (CONTINUE records included). False at
    // the end of the stream; throws Corrupt when the header or body is cut short.
    bool next();
    // Makes the record at `offset` the next one next() reads.
    void seek(std::size_t offset);
    // The type of the record next() would read, or -1 at the end of the stream.
    int peekType() const;

    // The current record: type, stream offset of its header, its body.
    std::uint16_t type() const { return m_type; }
    std::size_t offset() const { return m_recordStart; }
    std::size_t length() const { return m_end - m_bodyStart; }
    const std::uint8_t* body() const { return m_data + m_bodyStart; }
    // Offset of the record after the current one.
    std::size_t nextOffset() const { return m_next; }
    std::size_t streamSize() const { return m_size; }

    // Fields of the current record (segment), little-endian, bounded by its length.
    std::size_t remaining() const { return m_end - m_pos; }
    std::size_t position() const { return m_pos - m_bodyStart; }
    std::uint8_t u8()
    {
        need(1);
        return m_data[m_pos++];
    }
    std::uint16_t u16()
    {
        need(2);
        const std::uint16_t v = le16(m_data + m_pos);
        m_pos += 2;
        return v;
    }
    std::uint32_t u32()
    {
        need(4);
        const std::uint32_t v = le32(m_data + m_pos);
        m_pos += 4;
        return v;
    }
    double f64();
    const std::uint8_t* bytes(std::size_t n);
    void skip(std::size_t n);
    // The whole current body as a fresh vector (for records kept raw).
    std::vector<std::uint8_t> bodyCopy() const { return {body(), body() + length()}; }

    // When the next record is a CONTINUE, moves into its body (the logical record type stays
    // for messages) and returns true.
    bool continueRecord();
    // Skips n bytes that may run on into CONTINUE records (rich-text runs, phonetic data).
    void skipAcross(std::size_t n);

    // Strings ([MS-XLS] 2.5.293-2.5.296), returned as UTF-8.
    // ShortXLUnicodeString: 8-bit count, flags, characters.
    void shortString(std::string& out);
    // XLUnicodeString: 16-bit count, flags, characters; with acrossContinue the characters may
    // run on into CONTINUE records, each starting with a fresh flags byte (STRING records).
    void unicodeString(std::string& out, bool acrossContinue = false);
    // XLUnicodeStringNoCch: the count comes from elsewhere (NAME).
    void unicodeStringNoCch(std::size_t cch, std::string& out);
    // XLUnicodeRichExtendedString (SST): rich-text runs and phonetic data are skipped; the
    // string and its extras may run on into CONTINUE records.
    void richExtendedString(std::string& out);

    // Throws Corrupt naming the file, the current record and offset.
    [[noreturn]] void fail(const std::string& what) const;
    // Builds (does not throw) an error about the current record.
    Error error(Error::Code code, const std::string& what) const;
    const std::string& fileName() const { return m_file; }

private:
    void need(std::size_t n)
    {
        if (m_end - m_pos < n)
            shortRecord(n);
    }
    [[noreturn]] void shortRecord(std::size_t n) const;
    void readChars(std::size_t cch, bool highByte, bool acrossContinue, std::string& out);

    const std::uint8_t* m_data;
    std::size_t m_size;
    const std::string& m_file;
    std::size_t m_recordStart = 0;  // header of the current record (or of its CONTINUE)
    std::size_t m_bodyStart = 0;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::size_t m_next = 0;
    std::uint16_t m_type = 0;
    std::u16string m_units;         // reused UTF-16 buffer for strings with wide characters
};

// Appends UTF-16 code units as UTF-8; unpaired surrogates become U+FFFD.
void appendUtf8(const char16_t* units, std::size_t n, std::string& out);
// A record type as "0x00FC" (with its name for the common ones) for messages.
std::string recordName(int type);

} // namespace cw::host::biff
