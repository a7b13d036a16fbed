#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace cw::ackn {

// The entries of the acknowledgement register, sheet "AcknDetails" of the template workbook,
// as the user sees and types them: B2 the first certificate serial number, B5..B8 the quarters'
// acknowledgement (PRN) numbers, C5..C8 their dates of filing (dd/mm/yyyy).
struct AcknEntries {
    std::string serial;
    std::array<std::string, 4> prn;
    std::array<std::string, 4> filedOn;
    friend bool operator==(const AcknEntries&, const AcknEntries&) = default;
};

// A rejected entry: which box and why, in words for the user. Boxes are numbered in the order
// the dialog's keyboard focus takes them: 1..4 the acknowledgement numbers, 5..8 the dates of
// filing, 9 the serial number.
struct EntryProblem {
    int box = 0;
    std::string message;
};

// Reads the entries from the template workbook (read only; the file is not changed).
// Throws host::Error naming the file when it can't be read or lacks the sheet.
AcknEntries loadAcknRegister(const std::filesystem::path& templatePath);
// The first problem of the entries, if any: the serial number a whole number from 0 to 999999,
// each date of filing empty or a real dd/mm/yyyy date.
std::optional<EntryProblem> checkAcknEntries(const AcknEntries& entries);
// Checks, then writes the entries into the template workbook and saves it atomically:
// acknowledgement numbers as text, dates of filing as dates, the serial number as a number.
// Returns the problem (saving nothing) when an entry is rejected; throws host::Error on I/O.
std::optional<EntryProblem> saveAcknRegister(const std::filesystem::path& templatePath, const AcknEntries& entries);

} // namespace cw::ackn
