#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cw::host {

// One error type for everything the engine refuses: a file it can't read, a save that failed,
// an operation on a sheet or cell that does not exist. what() reads as one sentence that names
// the file (when there is one) and the reason, ready for a message box.
class Error : public std::runtime_error {
public:
    enum class Code {
        Io,            // the file could not be opened, read, written or renamed
        NotOle2,       // not a compound document at all (e.g. .xlsx, text)
        NoWorkbook,    // a compound document without a "Workbook" stream
        OldFormat,     // BIFF5/BIFF7 or older
        Encrypted,     // FILEPASS: password-protected
        Corrupt,       // truncated or inconsistent records
        Limit,         // beyond what the .xls format can hold (rows, columns, name lengths)
        NoSuchSheet,
        BadName,       // invalid or duplicate sheet name
        BadAddress,    // an A1 address that does not parse or lies outside the sheet
        Invalid,       // any other misuse of the API
    };

    Error(Code code, std::string message, std::string file = {}, std::int64_t offset = -1,
          int recordType = -1);

    Code code() const noexcept { return m_code; }
    const std::string& file() const noexcept { return m_file; }
    const std::string& message() const noexcept { return m_message; }
    // Byte offset in the Workbook stream and the record type, when the reader knows them.
    std::int64_t offset() const noexcept { return m_offset; }
    int recordType() const noexcept { return m_recordType; }

private:
    Code m_code;
    std::string m_message;
    std::string m_file;
    std::int64_t m_offset;
    int m_recordType;
};

} // namespace cw::host
