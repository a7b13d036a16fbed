#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The deductees' e-mail addresses by PAN, from the list the accountant keeps: CSV (UTF-8 with or
// without a byte-order mark, or Windows-1252; comma or semicolon) or the first sheet of a .xls.
namespace cw::mail {

inline constexpr const char* kAddressBookCsv = "Deductee addresses.csv";
inline constexpr const char* kAddressBookXls = "Deductee addresses.xls";

struct Addressee {
    std::string pan;                 // in capitals
    std::string name;                // may be empty
    std::vector<std::string> to, cc; // bare addresses, as written
    int line = 0;                    // where the file lists it, from 1
};

class AddressBook {
public:
    // Reads the book. Throws core::Failure naming the file and, for each fault, its line: a
    // header without a "PAN" or e-mail column, a PAN not of the PAN form, an address that is not
    // an address, the same PAN on two lines with different addresses.
    static AddressBook read(const std::filesystem::path& file);

    // The default book of a working folder: the .csv, else the .xls; empty when neither is there.
    static std::filesystem::path defaultFile(const std::filesystem::path& folder);

    // The entry of `pan`, or null when the book has none with an address.
    const Addressee* find(const std::string& pan) const;
    std::size_t size() const { return m_entries.size(); }

    // Rows of cells, as a file holds them, each with its line number: the first is the header.
    struct Row {
        int line;
        std::vector<std::string> cells;
    };
    static AddressBook fromRows(const std::string& fileName, const std::vector<Row>& rows);

private:
    std::map<std::string, Addressee> m_entries;
};

// True for a bare e-mail address as mail servers take it: a dot-atom or quoted local part, then a
// dot-atom or bracketed literal domain.
bool isMailAddress(const std::string& address);
// True for the PAN form: five letters, four digits, a letter (capitals).
bool isPan(const std::string& pan);
// The addresses of a cell: separated by ";" or "," outside quotes, trimmed, empty ones dropped.
std::vector<std::string> splitAddresses(const std::string& cell);

// Text of a CSV file as UTF-8: a byte-order mark dropped, bytes that are not UTF-8 read as
// Windows-1252.
std::string csvTextAsUtf8(const std::string& bytes);
// The rows of CSV text with the line each starts on; the separator is the header's (";" when it
// has more semicolons than commas outside quotes).
std::vector<AddressBook::Row> csvRows(const std::string& text);

} // namespace cw::mail
