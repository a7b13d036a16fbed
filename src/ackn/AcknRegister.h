#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace cw::host {
class Workbook;
}

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

// The largest first serial number the register takes.
inline constexpr int kLargestSerial = 999999;

// Reads the entries from the template workbook (read only; the file is not changed).
// Throws host::Error naming the file when it can't be read or lacks the sheet.
AcknEntries loadAcknRegister(const std::filesystem::path& templatePath);
// The entries of a workbook already open; `templatePath` names it in messages.
AcknEntries readAcknEntries(const host::Workbook& wb, const std::filesystem::path& templatePath);
// The first certificate's serial number as the serial box reads it: digits only (leading zeros
// and surrounding spaces allowed), a whole number from 0 to kLargestSerial, an empty box 0;
// nothing otherwise. The one rule for B2, for the register and for the certificates.
std::optional<int> serialNumber(const std::string& text);
// The first problem of the entries, if any: the serial number empty or a whole number from 0 to 999999,
// each date of filing empty or a real dd/mm/yyyy date.
std::optional<EntryProblem> checkAcknEntries(const AcknEntries& entries);
// Checks, then writes the entries into the template workbook and saves it atomically:
// acknowledgement numbers as text, dates of filing as dates, the serial number as a number.
// Returns the problem (saving nothing) when an entry is rejected; throws host::Error on I/O.
std::optional<EntryProblem> saveAcknRegister(const std::filesystem::path& templatePath, const AcknEntries& entries);

} // namespace cw::ackn
