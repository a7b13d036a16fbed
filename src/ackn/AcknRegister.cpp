#include "ackn/AcknRegister.h"

#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <algorithm>

namespace cw::ackn {

using host::Error;
using host::Sheet;
using host::Value;
using host::Workbook;

namespace {

constexpr const char* kSheetName = "AcknDetails";
constexpr int kSerialRow = 1;      // B2
constexpr int kFirstQuarterRow = 4; // rows 5 to 8
constexpr int kNumberCol = 1;      // B
constexpr int kFiledCol = 2;       // C
constexpr int kSerialBox = 9;
constexpr int kLargestSerial = 999999;

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool allDigits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The serial number box: digits only (leading zeros allowed), 0 to 999999.
std::optional<int> serialValue(const std::string& text)
{
    std::string s = trimmed(text);
    if (!allDigits(s))
        return std::nullopt;
    s.erase(0, std::min(s.find_first_not_of('0'), s.size() - 1));
    if (s.size() > 6)
        return std::nullopt;
    const int n = std::stoi(s);
    return n <= kLargestSerial ? std::optional<int>(n) : std::nullopt;
}

// A cell as the box shows it: a number in its plain form; in the date column, a number is a
// date (whatever format an edited template gave it).
std::string boxText(const Sheet& s, int row, int col, bool dateColumn)
{
    const Value& v = s.value(row, col);
    if (dateColumn && host::isNumber(v)) {
        const std::string date = host::dayMonthYearText(std::get<double>(v));
        return date.empty() ? host::numberToText(std::get<double>(v)) : date;
    }
    return s.text(row, col);
}

std::string quarterName(int q) { return "quarter " + std::to_string(q + 1); }

Sheet& acknSheet(Workbook& wb, const std::filesystem::path& templatePath)
{
    Sheet* s = wb.findSheet(kSheetName);
    if (!s)
        throw Error(Error::Code::NoSuchSheet, std::string("the workbook has no sheet \"") + kSheetName + "\"",
                    templatePath.string());
    return *s;
}

// A date format for a cell that holds none yet, keeping the rest of its format.
void giveDateFormat(Workbook& wb, Sheet& s, int row, int col)
{
    const std::optional<host::Cell> c = s.cell(row, col);
    // A cell whose format index lies outside the table (a damaged template) takes the default.
    const std::uint16_t xf = c && c->xf < wb.xfs().size() ? c->xf : host::kDefaultXf;
    if (wb.isDateXf(xf))
        return;
    host::Xf dated = wb.xfs().at(xf);
    dated.numFmt = wb.addNumberFormat("dd/mm/yyyy");
    s.setXf(row, col, wb.addXf(dated));
}

} // namespace

AcknEntries loadAcknRegister(const std::filesystem::path& templatePath)
{
    Workbook wb = Workbook::open(templatePath);
    const Sheet& s = acknSheet(wb, templatePath);
    AcknEntries e;
    e.serial = boxText(s, kSerialRow, kNumberCol, false);
    for (int q = 0; q < 4; ++q) {
        e.prn[static_cast<std::size_t>(q)] = boxText(s, kFirstQuarterRow + q, kNumberCol, false);
        e.filedOn[static_cast<std::size_t>(q)] = boxText(s, kFirstQuarterRow + q, kFiledCol, true);
    }
    return e;
}

std::optional<EntryProblem> checkAcknEntries(const AcknEntries& entries)
{
    // In the order the boxes take the focus: the dates of filing, then the serial number.
    for (int q = 0; q < 4; ++q) {
        const std::string& date = entries.filedOn[static_cast<std::size_t>(q)];
        if (!trimmed(date).empty() && !host::parseDayMonthYear(date))
            return EntryProblem{5 + q, "The date of filing of " + quarterName(q) + " (\"" + date +
                                           "\") is not a date in the form dd/mm/yyyy. Leave it empty if the "
                                           "statement is not filed yet."};
    }
    if (!serialValue(entries.serial))
        return EntryProblem{kSerialBox, "The certificate number to start from (\"" + entries.serial +
                                            "\") must be a whole number from 0 to " +
                                            std::to_string(kLargestSerial) + "."};
    return std::nullopt;
}

std::optional<EntryProblem> saveAcknRegister(const std::filesystem::path& templatePath, const AcknEntries& entries)
{
    if (auto problem = checkAcknEntries(entries))
        return problem;
    Workbook wb = Workbook::open(templatePath);
    Sheet& s = acknSheet(wb, templatePath);

    s.setValue(kSerialRow, kNumberCol, Value{static_cast<double>(*serialValue(entries.serial))});
    for (int q = 0; q < 4; ++q) {
        const int row = kFirstQuarterRow + q;
        // Acknowledgement numbers are 15-digit identifiers: kept as the text typed, since a
        // number would lose digits.
        const std::string& prn = entries.prn[static_cast<std::size_t>(q)];
        s.setValue(row, kNumberCol, prn.empty() ? Value{} : Value{prn});
        const std::string& date = entries.filedOn[static_cast<std::size_t>(q)];
        if (trimmed(date).empty()) {
            s.setValue(row, kFiledCol, Value{});
        } else {
            s.setValue(row, kFiledCol, Value{*host::parseDayMonthYear(date)});
            giveDateFormat(wb, s, row, kFiledCol);
        }
    }
    wb.save(templatePath);
    return std::nullopt;
}

} // namespace cw::ackn
