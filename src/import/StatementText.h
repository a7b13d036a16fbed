#pragma once

#include "core/AppFiles.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The statement as its file holds it: lines of "^"-separated fields, each field's text as
// written. Every reader of TDS.txt walks it through this one splitter, so the certificates,
// the statement check and the work sheets a refused statement leaves all see the same fields.
namespace cw::import {

// The fields of one line. A field in double quotes is given without them ("" inside is one
// quote); text is UTF-8, decoded from code page 437 or, after a UTF-8 byte-order mark, taken
// as UTF-8. Valid until the walk moves to the next line.
class LineFields {
public:
    // The number of fields, empty ones included (at most kMaxFields).
    std::size_t count() const { return m_fields.size(); }
    // Field `number` (1-based, as the published format numbers them); empty past the last.
    std::string_view operator[](int number) const
    {
        const auto k = static_cast<std::size_t>(number - 1);
        return number >= 1 && k < m_fields.size() ? std::string_view(m_text).substr(m_fields[k].first, m_fields[k].second)
                                                  : std::string_view();
    }
    // The record type, field 2 ("FH", "BH", "CD", "DD").
    std::string_view type() const { return (*this)[2]; }
    // Whether the line holds nothing but blanks.
    bool blank() const;

private:
    friend class StatementText;
    std::string m_text;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_fields;
};

class StatementText {
public:
    // A line keeps at most this many fields: no record of the format has more.
    static constexpr std::size_t kMaxFields = 256;

    // Reads the file. Throws StatementError (naming the file) when it can't be read, is too
    // large to be a statement, or is not a statement's text at all: empty, UTF-16 or UTF-32,
    // without line breaks where a statement has them, or made of separators only.
    static StatementText read(const std::filesystem::path& file);
    // The same checks on bytes already in memory. Messages about a line name the file by
    // `shownName`, messages about the whole file by `shownPath` (`shownName` when empty).
    static StatementText fromBytes(std::string bytes, std::string shownName = std::string(core::kStatementFile), std::string shownPath = {});

    // The file's name as messages about a line give it: "Line 16 of TDS.txt: ...".
    const std::string& shownName() const { return m_shownName; }
    std::size_t byteCount() const { return m_bytes.size(); }
    std::size_t lineCount() const { return m_lineStarts.size(); }

    // Calls visit(line, fields) for every line in order (line numbers 1-based), CR LF, LF or CR
    // ending a line; stops early when visit returns false. A field whose opening double quote
    // its line leaves open throws StatementError naming the line and the field: the format never
    // carries "^" inside a value, so such a quote would swallow the fields after it.
    void forEachLine(const std::function<bool(int line, const LineFields& fields)>& visit) const;
    // Line `line` (1-based) alone, split as forEachLine splits it.
    LineFields line(int line) const;

private:
    StatementText() = default;
    void split(std::string_view line, int number, LineFields& out) const;

    std::string m_bytes;       // without a byte-order mark
    bool m_utf8 = false;
    std::string m_shownName;
    std::vector<std::size_t> m_lineStarts;
};

} // namespace cw::import
