#include "ackn/AcknRegister.h"

#include "core/CertificateLayout.h"
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

namespace layout = core::layout::ackn;
constexpr std::string_view kSheetName = core::layout::kAcknSheet;
constexpr int kSerialRow = layout::kFirstSerial.row;
constexpr int kFirstQuarterRow = layout::kFirstPrn.row;
constexpr int kNumberCol = layout::kFirstPrn.col;
constexpr int kFiledCol = layout::kFirstFiledOn.col;
static_assert(layout::kFirstFiledOn.row == layout::kFirstPrn.row && layout::kFirstSerial.col == kNumberCol);
constexpr int kSerialBox = 9;

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

template <typename Book>
auto& acknSheet(Book& wb, const std::filesystem::path& templatePath)
{
    auto* s = wb.findSheet(kSheetName);
    if (!s)
        throw Error(Error::Code::NoSuchSheet, "the workbook has no sheet \"" + std::string(kSheetName) + "\"",
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

std::optional<int> serialNumber(const std::string& text)
{
    std::string s = trimmed(text);
    if (s.empty())
        return 0; // an empty cell counts as nought, as a spreadsheet counts it
    if (!allDigits(s))
        return std::nullopt;
    s.erase(0, std::min(s.find_first_not_of('0'), s.size() - 1));
    if (s.size() > 6)
        return std::nullopt;
    const int n = std::stoi(s);
    return n <= kLargestSerial ? std::optional<int>(n) : std::nullopt;
}

AcknEntries loadAcknRegister(const std::filesystem::path& templatePath)
{
    return readAcknEntries(Workbook::open(templatePath), templatePath);
}

AcknEntries readAcknEntries(const Workbook& wb, const std::filesystem::path& templatePath)
{
    const Sheet& s = acknSheet(wb, templatePath);
    AcknEntries e;
    e.serial = boxText(s, kSerialRow, kNumberCol, false);
    for (int q = 0; q < layout::kQuarters; ++q) {
        e.prn[static_cast<std::size_t>(q)] = boxText(s, kFirstQuarterRow + q, kNumberCol, false);
        e.filedOn[static_cast<std::size_t>(q)] = boxText(s, kFirstQuarterRow + q, kFiledCol, true);
    }
    return e;
}

std::optional<EntryProblem> checkAcknEntries(const AcknEntries& entries)
{
    // In the order the boxes take the focus: the dates of filing, then the serial number.
    for (int q = 0; q < layout::kQuarters; ++q) {
        const std::string& date = entries.filedOn[static_cast<std::size_t>(q)];
        if (!trimmed(date).empty() && !host::parseDayMonthYear(date))
            return EntryProblem{5 + q, "The date of filing of " + quarterName(q) + " (\"" + date +
                                           "\") is not a date in the form dd/mm/yyyy. Leave it empty if the "
                                           "statement is not filed yet."};
    }
    if (!serialNumber(entries.serial))
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

    // An empty box empties the cell, which numbers the certificates from 0.
    s.setValue(kSerialRow, kNumberCol,
               trimmed(entries.serial).empty() ? Value{} : Value{static_cast<double>(*serialNumber(entries.serial))});
    for (int q = 0; q < layout::kQuarters; ++q) {
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
