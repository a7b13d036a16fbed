#include "import/StatementImport.h"

#include "core/PathText.h"
#include "import/WorkSheets.h"

#include "import/SheetCells.h"
#include "import/StatementError.h"
#include "host/Error.h"
#include "host/General.h"
#include "host/Utf8.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

// Turns one line into fields. The decoded text of all fields goes into one buffer that keeps
// its capacity from line to line, so a line costs no allocation once the buffer has grown.
class LineSplitter {
public:
    explicit LineSplitter(bool utf8) : m_utf8(utf8) {}

    // Splits `line` (without its line break) into at most host::kMaxCols fields. Returns the
    // 1-based number of a field that opens a double quote the line does not close, or 0.
    std::size_t split(std::string_view line)
    {
        m_text.clear();
        m_fields.clear();
        std::size_t i = 0;
        for (;;) {
            const std::size_t start = m_text.size();
            if (i < line.size() && line[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= line.size())
                        return m_fields.size() + 1;
                    if (line[i] == '"') {
                        if (i + 1 < line.size() && line[i + 1] == '"') {
                            m_text.push_back('"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    i = decode(line, i);
                }
            }
            // Unquoted text, or what follows a closing quote, up to the next separator.
            while (i < line.size() && line[i] != '^')
                i = decode(line, i);
            m_fields.push_back({start, m_text.size() - start});
            if (i >= line.size())
                return 0;
            ++i; // the "^"
            if (m_fields.size() == static_cast<std::size_t>(host::kMaxCols))
                return 0; // the sheet has no column for the rest
        }
    }

    std::size_t count() const { return m_fields.size(); }
    std::string_view field(std::size_t k) const
    {
        return std::string_view(m_text).substr(m_fields[k].first, m_fields[k].second);
    }

private:
    // Appends the character at line[i] as UTF-8; returns the index after it.
    std::size_t decode(std::string_view line, std::size_t i)
    {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x80) {
            m_text.push_back(static_cast<char>(c));
            return i + 1;
        }
        if (m_utf8) {
            if (std::size_t n = utf8SequenceLength(line.substr(i))) {
                m_text.append(line.data() + i, n);
                return i + n;
            }
        }
        // Code page 437, and the fallback for a stray byte in a UTF-8 file.
        host::appendUtf8(m_text, kCp437High[c - 0x80]);
        return i + 1;
    }

    bool m_utf8;
    std::string m_text;
    std::vector<std::pair<std::size_t, std::size_t>> m_fields;
};

[[noreturn]] void tooManyLines()
{
    throw host::Error(host::Error::Code::Limit,
                      "The text file TDS.txt has more than " + std::to_string(host::kMaxRows) +
                          " lines, more than a sheet holds.");
}

[[noreturn]] void tooManyFields(int line, std::uintmax_t cells)
{
    throw host::Error(host::Error::Code::Limit,
                      "The text file TDS.txt is not an e-TDS statement: up to line " + std::to_string(line) +
                          " its lines hold " + std::to_string(cells) +
                          " fields, far more than a statement of its size has.");
}

std::string readStatement(const fs::path& path)
{
    const std::string shown = core::pathText(path);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec)
        throw host::Error(host::Error::Code::Io,
                          "The text file " + shown + " cannot be read: " + ec.message() + ".");
    if (size > kMaxStatementBytes)
        throw host::Error(host::Error::Code::Limit,
                          "The text file " + shown + " is too large (" + std::to_string(size) +
                              " bytes) for an e-TDS statement.");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw host::Error(host::Error::Code::Io, "The text file " + shown + " cannot be opened.");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.bad())
        throw host::Error(host::Error::Code::Io, "The text file " + shown + " cannot be read.");
    bytes.resize(static_cast<std::size_t>(in.gcount())); // the file may have shrunk meanwhile
    return bytes;
}

} // namespace

void importStatement(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    host::Sheet& sheet = sheetByName(wb, kTextSheet);
    const std::string bytes = readStatement(ctx.statementPath());
    ctx.lineFields = importStatementText(wb, sheet, bytes);
    wb.setActiveSheet(wb.indexOf(sheet.name()));
}

std::vector<std::uint16_t> importStatementText(host::Workbook& wb, host::Sheet& sheet, std::string_view bytes)
{
    sheet.clearContents(host::Range{0, 0, host::kMaxRows - 1, host::kMaxCols - 1});

    const bool utf8 = bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0;
    if (utf8)
        bytes.remove_prefix(3);
    std::vector<std::uint16_t> lineFields;
    if (bytes.empty())
        return lineFields;

    // Size the row table once: touching the last row's first cell makes every row up to it.
    std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    if (bytes.back() != '\n')
        ++lines;
    if (lines > static_cast<std::size_t>(host::kMaxRows))
        tooManyLines();
    sheet.reserveRow(static_cast<int>(lines) - 1, 0);
    lineFields.reserve(lines);

    const std::uint16_t dateFormat = dateXf(wb);
    const std::uintmax_t cellLimit = statementCellLimit(bytes.size());
    std::uintmax_t cells = 0;
    LineSplitter splitter(utf8);
    std::size_t pos = 0;
    int row = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (row >= host::kMaxRows)
            tooManyLines();
        // "^" never occurs inside a value, so a quote left open would take the rest of the line,
        // later fields and all, into one field.
        if (const std::size_t field = splitter.split(bytes.substr(pos, end - pos)))
            throw StatementError(row + 1, "Line " + std::to_string(row + 1) + " of TDS.txt: field " +
                                              std::to_string(field) + " opens a double quote that the line "
                                              "does not close.");
        lineFields.push_back(static_cast<std::uint16_t>(splitter.count()));

        std::size_t used = splitter.count();
        while (used > 0 && splitter.field(used - 1).empty())
            --used;
        cells += used;
        if (cells > cellLimit)
            tooManyFields(row + 1, cells);
        if (used > 0) {
            sheet.reserveRow(row, static_cast<int>(used)); // the row's cells in one allocation
            for (std::size_t k = 0; k < used; ++k) {
                const std::string_view text = splitter.field(k);
                if (text.empty())
                    continue;
                host::GeneralResult g = host::parseGeneral(clipToCell(text));
                sheet.setCell(row, static_cast<int>(k),
                              host::Cell{std::move(g.value), g.isDate ? dateFormat : host::kDefaultXf});
            }
        }
        ++row;
        pos = end;
        if (pos < bytes.size())
            pos += (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') ? 2 : 1;
    }
    return lineFields;
}

} // namespace cw::import
