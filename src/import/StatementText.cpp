#include "import/StatementText.h"

#include "core/PathText.h"
#include "host/Utf8.h"
#include "import/StatementError.h"
#include "import/StatementImport.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace cw::import {

namespace {

// Unicode code points of code page 437 bytes 0x80..0xFF (0x00..0x7F are ASCII).
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// The longest line a statement may have. The longest record of the format has a few hundred
// bytes; a line far longer means the file lost its line breaks, or is no statement at all.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

// Length of a well-formed UTF-8 sequence at the start of `s` (shortest form, no surrogates),
// or 0.
std::size_t utf8SequenceLength(std::string_view s)
{
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char lead = b(0);
    if (lead >= 0xC2 && lead <= 0xDF)
        return cont(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) >= 0xA0))
            return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if ((lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) >= 0x90))
            return 0;
        return 4;
    }
    return 0;
}

[[noreturn]] void refuseFile(const std::string& shown, const std::string& what)
{
    throw StatementError(0, "The text file " + shown + " " + what);
}

// The encodings a statement is never written in but an editor may save it in. A statement is
// code page 437 or UTF-8 text: a UTF-16 or UTF-32 file shows as NUL bytes between its
// characters.
const char* wideEncoding(std::string_view b)
{
    auto starts = [&](const char* bom, std::size_t n) { return b.size() >= n && std::memcmp(b.data(), bom, n) == 0; };
    if (starts("\xFF\xFE\0\0", 4) || starts("\0\0\xFE\xFF", 4))
        return "UTF-32";
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        return "UTF-16";
    const std::size_t probe = std::min<std::size_t>(b.size(), 4096);
    const auto nuls = static_cast<std::size_t>(std::count(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(probe), '\0'));
    if (probe >= 4 && nuls * 4 >= probe * 3 - 4)
        return "UTF-32";
    if (probe >= 2 && nuls * 3 >= probe)
        return "UTF-16";
    return nullptr;
}

} // namespace

bool LineFields::blank() const
{
    return std::all_of(m_text.begin(), m_text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

StatementText StatementText::read(const fs::path& file)
{
    const std::string shown = core::pathText(file);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec)
        refuseFile(shown, "cannot be read: " + ec.message() + ".");
    if (size > kMaxStatementBytes)
        refuseFile(shown, "is too large (" + std::to_string(size) + " bytes) for an e-TDS statement.");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        refuseFile(shown, "cannot be opened.");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.bad())
        refuseFile(shown, "cannot be read.");
    bytes.resize(static_cast<std::size_t>(in.gcount())); // the file may have shrunk meanwhile
    return fromBytes(std::move(bytes), core::pathText(file.filename()), shown);
}

StatementText StatementText::fromBytes(std::string bytes, std::string shownName, std::string shownPath)
{
    StatementText t;
    t.m_shownName = std::move(shownName);
    const std::string shown = shownPath.empty() ? t.m_shownName : shownPath;
    if (const char* encoding = wideEncoding(bytes))
        refuseFile(shown, std::string("is written in ") + encoding +
                              ". An e-TDS statement is plain text: save it again as ANSI or UTF-8 text.");
    t.m_utf8 = bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0;
    if (t.m_utf8)
        bytes.erase(0, 3);
    if (bytes.find_first_not_of(" \t\r\n") == std::string::npos)
        refuseFile(shown, "is empty. Please put a valid Form 26Q text file.");
    if (bytes.find_first_not_of("^ \t\r\n") == std::string::npos)
        refuseFile(shown, "holds only field separators (\"^\") and no records. Please put a valid Form 26Q text file.");

    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (end - pos > kMaxLineBytes)
            throw StatementError(static_cast<int>(t.m_lineStarts.size() + 1),
                                 "Line " + std::to_string(t.m_lineStarts.size() + 1) + " of " + t.m_shownName + " is " +
                                     std::to_string(end - pos) + " characters long, far longer than any record of a "
                                     "statement: the file has lost its line breaks, or it is no e-TDS statement.");
        t.m_lineStarts.push_back(pos);
        pos = end;
        if (pos < bytes.size())
            pos += (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') ? 2 : 1;
    }
    t.m_bytes = std::move(bytes);
    return t;
}

void StatementText::split(std::string_view line, int number, LineFields& out) const
{
    out.m_text.clear();
    out.m_fields.clear();
    // Appends the character at line[i] as UTF-8; returns the index after it.
    auto decode = [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x80) {
            out.m_text.push_back(static_cast<char>(c));
            return i + 1;
        }
        if (m_utf8) {
            if (const std::size_t n = utf8SequenceLength(line.substr(i))) {
                out.m_text.append(line.data() + i, n);
                return i + n;
            }
        }
        // Code page 437, and the fallback for a stray byte in a UTF-8 file.
        host::appendUtf8(out.m_text, kCp437High[c - 0x80]);
        return i + 1;
    };
    std::size_t i = 0;
    for (;;) {
        const auto start = static_cast<std::uint32_t>(out.m_text.size());
        if (i < line.size() && line[i] == '"') {
            ++i;
            for (;;) {
                if (i >= line.size())
                    throw StatementError(number, "Line " + std::to_string(number) + " of " + m_shownName + ": field " +
                                                     std::to_string(out.m_fields.size() + 1) +
                                                     " opens a double quote that the line does not close.");
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        out.m_text.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                i = decode(i);
            }
        }
        // Unquoted text, or what follows a closing quote, up to the next separator.
        while (i < line.size() && line[i] != '^')
            i = decode(i);
        out.m_fields.emplace_back(start, static_cast<std::uint32_t>(out.m_text.size()) - start);
        if (i >= line.size() || out.m_fields.size() == kMaxFields)
            return;
        ++i; // the "^"
    }
}

void StatementText::forEachLine(const std::function<bool(int line, const LineFields& fields)>& visit) const
{
    LineFields fields;
    for (std::size_t n = 0; n < m_lineStarts.size(); ++n) {
        const std::size_t start = m_lineStarts[n];
        std::size_t end = start;
        while (end < m_bytes.size() && m_bytes[end] != '\n' && m_bytes[end] != '\r')
            ++end;
        split(std::string_view(m_bytes).substr(start, end - start), static_cast<int>(n + 1), fields);
        if (!visit(static_cast<int>(n + 1), fields))
            return;
    }
}

LineFields StatementText::line(int line) const
{
    LineFields fields;
    if (line >= 1 && static_cast<std::size_t>(line) <= m_lineStarts.size()) {
        const std::size_t start = m_lineStarts[static_cast<std::size_t>(line - 1)];
        std::size_t end = start;
        while (end < m_bytes.size() && m_bytes[end] != '\n' && m_bytes[end] != '\r')
            ++end;
        split(std::string_view(m_bytes).substr(start, end - start), line, fields);
    }
    return fields;
}

} // namespace cw::import
