#include "mail/AddressBook.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/Sheet.h"
#include "host/Workbook.h"
#include "printing/NumberFormat.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace cw::mail {

namespace {

constexpr const char* kTitle = "Invalid Address Book!";
constexpr std::size_t kMostFaultsTold = 20;

std::string trimmed(std::string s)
{
    const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), space));
    s.erase(std::find_if_not(s.rbegin(), s.rend(), space).base(), s.end());
    return s;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || i + more >= s.size() + (more ? 0 : 1))
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

void appendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252's 0x80..0x9F; the other bytes are Latin-1. Unassigned bytes become U+FFFD.
constexpr unsigned kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool atext(unsigned char c)
{
    return std::isalnum(c) || std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool dotAtom(std::string_view s)
{
    if (s.empty() || s.front() == '.' || s.back() == '.' || s.find("..") != std::string_view::npos)
        return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return c == '.' || (c < 0x80 && atext(c)); });
}

bool quotedString(std::string_view s)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"')
        return false;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\\') {
            if (++i + 1 >= s.size() || static_cast<unsigned char>(s[i]) < 0x20 || static_cast<unsigned char>(s[i]) > 0x7E)
                return false;
        } else if (c == '"' || c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

bool domainLiteral(std::string_view s)
{
    if (s.size() < 3 || s.front() != '[' || s.back() != ']')
        return false;
    return std::all_of(s.begin() + 1, s.end() - 1, [](unsigned char c) { return c > 0x20 && c < 0x7F && c != '[' && c != ']' && c != '\\'; });
}

// The header's columns: PAN, e-mail, CC and Name, as positions; -1 where there is none.
struct Columns {
    int pan = -1, mail = -1, cc = -1, name = -1;
};

Columns columnsOf(const std::vector<std::string>& header)
{
    Columns c;
    for (int i = 0; i < static_cast<int>(header.size()); ++i) {
        const std::string h = lower(trimmed(header[static_cast<std::size_t>(i)]));
        int* slot = h == "pan" ? &c.pan : (h == "e-mail" || h == "email" || h == "mail") ? &c.mail
                  : h == "cc" ? &c.cc : h == "name" ? &c.name : nullptr;
        if (slot && *slot < 0)
            *slot = i;
    }
    return c;
}

std::string cellAt(const std::vector<std::string>& cells, int col)
{
    return col >= 0 && col < static_cast<int>(cells.size()) ? trimmed(cells[static_cast<std::size_t>(col)]) : std::string();
}

std::vector<std::string> sortedLower(std::vector<std::string> v)
{
    for (std::string& s : v)
        s = lower(s);
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<AddressBook::Row> xlsRows(const fs::path& file)
{
    const host::Workbook book = host::Workbook::open(file);
    std::vector<AddressBook::Row> rows;
    if (book.sheetCount() == 0)
        return rows;
    const host::Sheet& sheet = book.sheet(0);
    for (int r = 0; r < sheet.rowCount(); ++r) {
        AddressBook::Row row{r + 1, {}};
        for (int c = 0; c < sheet.rowWidth(r); ++c) {
            const std::optional<host::Cell> cell = sheet.cell(r, c);
            row.cells.push_back(cell ? printing::cellText(book, *cell).text : std::string());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

bool isPan(const std::string& pan)
{
    if (pan.size() != 10)
        return false;
    for (std::size_t i = 0; i < 10; ++i) {
        const auto c = static_cast<unsigned char>(pan[i]);
        const bool digit = i >= 5 && i <= 8;
        if (digit ? !std::isdigit(c) : !(c >= 'A' && c <= 'Z'))
            return false;
    }
    return true;
}

bool isMailAddress(const std::string& address)
{
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos || address.size() > 254)
        return false;
    const std::string_view local(address.data(), at), domain(address.data() + at + 1, address.size() - at - 1);
    return (dotAtom(local) || quotedString(local)) && (dotAtom(domain) || domainLiteral(domain));
}

std::vector<std::string> splitAddresses(const std::string& cell)
{
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        if (quoted && c == '\\' && i + 1 < cell.size()) {
            current += c;
            current += cell[++i];
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        if (!quoted && (c == ';' || c == ',')) {
            if (!trimmed(current).empty())
                out.push_back(trimmed(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!trimmed(current).empty())
        out.push_back(trimmed(current));
    return out;
}

std::string csvTextAsUtf8(const std::string& bytes)
{
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        return bytes.substr(3);
    if (validUtf8(bytes))
        return bytes;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
    }
    return out;
}

std::vector<AddressBook::Row> csvRows(const std::string& text)
{
    // The separator is the one the header uses more of.
    std::size_t commas = 0, semicolons = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        commas += !quoted && c == ',';
        semicolons += !quoted && c == ';';
    }
    const char separator = semicolons > commas ? ';' : ',';
    std::vector<AddressBook::Row> rows;
    AddressBook::Row row{1, {}};
    std::string field;
    int line = 1;
    quoted = false;
    bool any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else {
                line += c == '\n';
                field += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == separator) {
            row.cells.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (any || !field.empty()) {
                row.cells.push_back(std::move(field));
                rows.push_back(std::move(row));
            }
            field.clear();
            any = false;
            row = {++line, {}};
        } else {
            field += c;
        }
    }
    if (any || !field.empty()) {
        row.cells.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

AddressBook AddressBook::fromRows(const std::string& fileName, const std::vector<Row>& rows)
{
    const auto fail = [&](const std::string& what) { return core::Failure(fileName + ": " + what, kTitle, core::Icon::Critical); };
    std::size_t first = 0;
    while (first < rows.size() && std::all_of(rows[first].cells.begin(), rows[first].cells.end(),
                                              [](const std::string& c) { return trimmed(c).empty(); }))
        ++first;
    if (first == rows.size())
        throw fail("the file lists no addresses; its first row names the columns \"PAN\" and \"E-mail\"");
    const Columns col = columnsOf(rows[first].cells);
    if (col.pan < 0 || col.mail < 0)
        throw fail("line " + std::to_string(rows[first].line) + " names no " + (col.pan < 0 ? "\"PAN\"" : "\"E-mail\"") +
                   " column; the first row names the columns \"PAN\", \"E-mail\" (or \"Email\", \"Mail\"), and optionally "
                   "\"CC\" and \"Name\"");
    AddressBook book;
    std::vector<std::string> faults;
    for (std::size_t r = first + 1; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const std::string at = "line " + std::to_string(row.line) + ": ";
        Addressee a{cellAt(row.cells, col.pan), cellAt(row.cells, col.name), splitAddresses(cellAt(row.cells, col.mail)),
                    splitAddresses(cellAt(row.cells, col.cc)), row.line};
        std::transform(a.pan.begin(), a.pan.end(), a.pan.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (a.pan.empty() && a.to.empty() && a.cc.empty())
            continue;
        if (!isPan(a.pan)) {
            faults.push_back(at + "\"" + a.pan + "\" is not a PAN (five letters, four digits, a letter)");
            continue;
        }
        bool good = true;
        for (const std::vector<std::string>* list : {&a.to, &a.cc})
            for (const std::string& address : *list)
                if (!isMailAddress(address)) {
                    faults.push_back(at + "\"" + address + "\" is not an e-mail address");
                    good = false;
                }
        if (!good || a.to.empty())
            continue;
        const auto [it, added] = book.m_entries.emplace(a.pan, a);
        if (!added && (sortedLower(it->second.to) != sortedLower(a.to) || sortedLower(it->second.cc) != sortedLower(a.cc)))
            faults.push_back(at + "PAN " + a.pan + " is also on line " + std::to_string(it->second.line) +
                             " with other addresses");
    }
    if (!faults.empty()) {
        std::string text;
        for (std::size_t i = 0; i < std::min(faults.size(), kMostFaultsTold); ++i)
            text += "\n" + faults[i];
        if (faults.size() > kMostFaultsTold)
            text += "\nand " + std::to_string(faults.size() - kMostFaultsTold) + " more";
        throw fail("cannot be used:" + text);
    }
    return book;
}

AddressBook AddressBook::read(const fs::path& file)
{
    const std::string name = core::pathText(file);
    if (lower(core::pathText(file.extension())) == ".xls") {
        try {
            return fromRows(name, xlsRows(file));
        } catch (const host::Error& e) {
            throw core::Failure(name + ": cannot be read (" + e.what() + ")", kTitle, core::Icon::Critical);
        }
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw core::Failure(name + ": cannot be read", core::kFileNotFoundTitle, core::Icon::Critical);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return fromRows(name, csvRows(csvTextAsUtf8(bytes.str())));
}

fs::path AddressBook::defaultFile(const fs::path& folder)
{
    std::error_code ec;
    for (const char* name : {kAddressBookCsv, kAddressBookXls})
        if (fs::is_regular_file(folder / name, ec))
            return folder / name;
    return {};
}

const Addressee* AddressBook::find(const std::string& pan) const
{
    const auto it = m_entries.find(pan);
    return it == m_entries.end() ? nullptr : &it->second;
}

} // namespace cw::mail
