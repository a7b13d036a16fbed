#include "host/biff/RecordReader.h"

#include "host/biff/Bytes.h"
#include "host/biff/Records.h"
#include "host/Utf8.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cw::host::biff {

namespace {

// Compressed characters are the low bytes of UTF-16 units whose high byte is zero: Latin-1.
void appendLatin1(const std::uint8_t* p, std::size_t n, std::string& out)
{
    for (std::size_t i = 0; i < n; ++i)
        host::appendUtf8(out, p[i]);
}

} // namespace

void appendUtf8(const char16_t* units, std::size_t n, std::string& out)
{
    for (std::size_t i = 0; i < n; ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            host::appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            host::appendUtf8(out, 0xFFFD);
        } else {
            host::appendUtf8(out, u);
        }
    }
}

std::string recordName(int type)
{
    const char* name = nullptr;
    switch (type) {
    case rt::Bof: name = "BOF"; break;
    case rt::Eof: name = "EOF"; break;
    case rt::SST: name = "SST"; break;
    case rt::Continue: name = "CONTINUE"; break;
    case rt::Formula: name = "FORMULA"; break;
    case rt::String: name = "STRING"; break;
    case rt::LabelSst: name = "LABELSST"; break;
    case rt::Label: name = "LABEL"; break;
    case rt::Number: name = "NUMBER"; break;
    case rt::RK: name = "RK"; break;
    case rt::MulRk: name = "MULRK"; break;
    case rt::Blank: name = "BLANK"; break;
    case rt::MulBlank: name = "MULBLANK"; break;
    case rt::BoolErr: name = "BOOLERR"; break;
    case rt::Row: name = "ROW"; break;
    case rt::ColInfo: name = "COLINFO"; break;
    case rt::Font: name = "FONT"; break;
    case rt::Format: name = "FORMAT"; break;
    case rt::XF: name = "XF"; break;
    case rt::Palette: name = "PALETTE"; break;
    case rt::BoundSheet8: name = "BOUNDSHEET"; break;
    case rt::Lbl: name = "NAME"; break;
    case rt::ExternSheet: name = "EXTERNSHEET"; break;
    case rt::SupBook: name = "SUPBOOK"; break;
    case rt::MergeCells: name = "MERGEDCELLS"; break;
    case rt::Window2: name = "WINDOW2"; break;
    case rt::Setup: name = "SETUP"; break;
    case rt::Header: name = "HEADER"; break;
    case rt::Footer: name = "FOOTER"; break;
    case rt::ShrFmla: name = "SHRFMLA"; break;
    case rt::Array: name = "ARRAY"; break;
    case rt::Table: name = "TABLE"; break;
    case rt::FilePass: name = "FILEPASS"; break;
    case rt::Dimensions: name = "DIMENSIONS"; break;
    default: break;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(type & 0xFFFF));
    return name ? std::string(name) + " (" + hex + ")" : std::string("type ") + hex;
}

RecordReader::RecordReader(const std::uint8_t* data, std::size_t size, const std::string& fileName)
    : m_data(data), m_size(size), m_file(fileName)
{
}

Error RecordReader::error(Error::Code code, const std::string& what) const
{
    std::string msg = "record " + recordName(m_type) + " at offset " + std::to_string(m_recordStart) + ": " + what;
    return Error(code, std::move(msg), m_file, static_cast<std::int64_t>(m_recordStart), m_type);
}

void RecordReader::fail(const std::string& what) const
{
    throw error(Error::Code::Corrupt, what);
}

bool RecordReader::next()
{
    m_recordStart = m_next;
    if (m_recordStart >= m_size) {
        m_pos = m_end = m_bodyStart = m_size;
        return false;
    }
    const std::size_t left = m_size - m_recordStart;
    if (left < 4) {
        m_type = 0;
        throw Error(Error::Code::Corrupt,
                    "the workbook stream ends inside a record header at offset " + std::to_string(m_recordStart)
                        + " (4 bytes needed, " + std::to_string(left) + " left)",
                    m_file, static_cast<std::int64_t>(m_recordStart));
    }
    m_type = le16(m_data + m_recordStart);
    const std::size_t len = le16(m_data + m_recordStart + 2);
    if (len > left - 4)
        fail("the record declares " + std::to_string(len) + " bytes but the stream holds only "
             + std::to_string(left - 4) + " more");
    m_bodyStart = m_pos = m_recordStart + 4;
    m_end = m_next = m_bodyStart + len;
    return true;
}

void RecordReader::seek(std::size_t offset)
{
    m_next = std::min(offset, m_size);
}

int RecordReader::peekType() const
{
    if (m_next + 4 > m_size)
        return -1;
    return le16(m_data + m_next);
}

bool RecordReader::continueRecord()
{
    if (peekType() != rt::Continue)
        return false;
    const std::size_t start = m_next;
    const std::size_t len = le16(m_data + start + 2);
    if (len > m_size - start - 4) {
        m_recordStart = start;
        fail("its CONTINUE record declares " + std::to_string(len) + " bytes but the stream holds only "
             + std::to_string(m_size - start - 4) + " more");
    }
    m_recordStart = start;
    m_bodyStart = m_pos = start + 4;
    m_end = m_next = m_bodyStart + len;
    return true;
}

void RecordReader::shortRecord(std::size_t n) const
{
    fail("expected " + std::to_string(n) + " more byte" + (n == 1 ? "" : "s") + " at body position "
         + std::to_string(m_pos - m_bodyStart) + ", found " + std::to_string(m_end - m_pos));
}

double RecordReader::f64()
{
    need(8);
    std::uint64_t bits = le32(m_data + m_pos) | (static_cast<std::uint64_t>(le32(m_data + m_pos + 4)) << 32);
    m_pos += 8;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

const std::uint8_t* RecordReader::bytes(std::size_t n)
{
    need(n);
    const std::uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
}

void RecordReader::skip(std::size_t n)
{
    need(n);
    m_pos += n;
}

void RecordReader::skipAcross(std::size_t n)
{
    while (n > 0) {
        if (m_pos == m_end && !continueRecord())
            fail(std::to_string(n) + " more bytes expected in a CONTINUE record that is not there");
        const std::size_t take = std::min(n, m_end - m_pos);
        m_pos += take;
        n -= take;
    }
}

void RecordReader::readChars(std::size_t cch, bool highByte, bool acrossContinue, std::string& out)
{
    if (!highByte && m_end - m_pos >= cch) {
        appendLatin1(m_data + m_pos, cch, out);
        m_pos += cch;
        return;
    }
    if (!acrossContinue) {
        const std::size_t bytesNeeded = highByte ? cch * 2 : cch;
        if (m_end - m_pos < bytesNeeded)
            fail("a string of " + std::to_string(cch) + " characters needs " + std::to_string(bytesNeeded)
                 + " bytes, found " + std::to_string(m_end - m_pos));
    }
    m_units.clear();
    while (cch > 0) {
        if (m_pos == m_end) {
            if (!acrossContinue || !continueRecord())
                fail("a string is cut short: " + std::to_string(cch) + " more characters expected");
            highByte = (u8() & 0x01) != 0; // each CONTINUE restates whether its characters are wide
            continue;
        }
        const std::size_t width = highByte ? 2 : 1;
        const std::size_t take = std::min(cch, (m_end - m_pos) / width);
        if (take == 0)
            fail("a wide character is split across records");
        const std::uint8_t* p = m_data + m_pos;
        if (highByte) {
            for (std::size_t i = 0; i < take; ++i)
                m_units.push_back(static_cast<char16_t>(le16(p + 2 * i)));
        } else {
            for (std::size_t i = 0; i < take; ++i)
                m_units.push_back(static_cast<char16_t>(p[i]));
        }
        m_pos += take * width;
        cch -= take;
    }
    appendUtf8(m_units.data(), m_units.size(), out);
}

void RecordReader::shortString(std::string& out)
{
    const std::size_t cch = u8();
    const bool high = (u8() & 0x01) != 0;
    readChars(cch, high, false, out);
}

void RecordReader::unicodeString(std::string& out, bool acrossContinue)
{
    const std::size_t cch = u16();
    const bool high = (u8() & 0x01) != 0;
    readChars(cch, high, acrossContinue, out);
}

void RecordReader::unicodeStringNoCch(std::size_t cch, std::string& out)
{
    const bool high = (u8() & 0x01) != 0;
    readChars(cch, high, false, out);
}

void RecordReader::richExtendedString(std::string& out)
{
    // A string starts in a CONTINUE when the previous one ended exactly at a record's end.
    if (m_pos == m_end && !continueRecord())
        fail("the shared string table ends early");
    const std::size_t cch = u16();
    const std::uint8_t flags = u8();
    const std::size_t runs = (flags & 0x08) ? u16() : 0;
    std::size_t ext = 0;
    if (flags & 0x04) {
        const std::uint32_t cb = u32();
        if (cb > 0x7FFFFFFF)
            fail("a string's phonetic block has a negative size");
        ext = cb;
    }
    readChars(cch, (flags & 0x01) != 0, true, out);
    skipAcross(runs * 4 + ext);
}

} // namespace cw::host::biff
