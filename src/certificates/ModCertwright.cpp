#include "ModCertwright.h"
#include "ModFunctionRsWords.h"
#include "ModMisc.h"

#include "Error.h"
#include "General.h"
#include "Workbook.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace cw::certificates {

using host::Cell;
using host::CellRef;
using host::Error;
using host::Range;
using host::Sheet;
using host::Value;
using host::Workbook;

namespace {

// Deductee row columns (0-based).
enum DeducteeColumn {
    kName = 0, kPan, kSection, kAmountPaid, kPaidOn, kTds, kSurcharge, kCess, kTotalTax,
    kCheque, kBsr, kDepositedOn, kCin, kCertificateDate, kDeducteeColumns
};
// Certificate and annexure columns.
enum SheetColumn { kColB = 1, kColC, kColD, kColE, kColF, kColG, kColH, kColI, kColJ, kColK, kColL };

// The payment table: deductee columns to certificate columns, in the order the blocks go.
struct ColumnBlock {
    int from;
    int to;
    int width;
};
constexpr ColumnBlock kPaymentBlocks[] = {
    {kPaidOn, kColD, 1}, {kAmountPaid, kColC, 1}, {kTds, kColE, 4}, {kCheque, kColI, 1},
    {kBsr, kColJ, 1},    {kDepositedOn, kColK, 1}, {kCin, kColL, 1},
};

// Totals of row 40: certificate column and the deductee column it adds up.
constexpr std::pair<int, int> kTotals[] = {
    {kColC, kAmountPaid}, {kColE, kTds}, {kColF, kSurcharge}, {kColG, kCess}, {kColH, kTotalTax},
};

constexpr int kPageFirstRow = 23;   // row 24
constexpr int kPageRows = 16;       // rows 24 to 39
constexpr int kAnnexFirstRow = 4;   // row 5
constexpr int kAnnexureFrom = 17;   // a group this large continues on an annexure
constexpr int kRowsOnPageWithAnnexure = 15;

// WINDOW2: the sheet's tab is selected / the sheet is the one shown.
constexpr std::uint16_t kTabSelected = 0x0200;
constexpr std::uint16_t kTabShown = 0x0400;

std::string valueText(const Value& v)
{
    switch (v.index()) {
    case 1: return host::numberToText(std::get<double>(v));
    case 2: return std::get<std::string>(v);
    case 3: return std::get<bool>(v) ? "TRUE" : "FALSE";
    case 4: return std::string(host::errorText(std::get<host::ErrorValue>(v)));
    default: return {};
    }
}

// A value "as text" for a certificate cell: an empty text leaves the cell empty.
Value asText(std::string t)
{
    return t.empty() ? Value{} : Value{std::move(t)};
}

bool sameText(const Value& a, const Value& b)
{
    if (host::isText(a) && host::isText(b))
        return std::get<std::string>(a) == std::get<std::string>(b);
    if (host::isEmpty(a) && host::isEmpty(b))
        return true;
    return valueText(a) == valueText(b);
}

// Sort order of value kinds: numbers, text, booleans, errors; empty last.
int kindRank(const Value& v)
{
    switch (v.index()) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 3;
    default: return 4;
    }
}

int foldAscii(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

int compareFolded(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = foldAscii(a[i]);
        const int cb = foldAscii(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareKeys(const Value& a, const Value& b)
{
    const int ra = kindRank(a), rb = kindRank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0: {
        const double x = std::get<double>(a), y = std::get<double>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 1: return compareFolded(std::get<std::string>(a), std::get<std::string>(b));
    case 2: return static_cast<int>(std::get<bool>(a)) - static_cast<int>(std::get<bool>(b));
    default: return 0;
    }
}

// Sort keys in order: name, certificate date, section, PAN.
constexpr int kSortColumns[] = {kName, kCertificateDate, kSection, kPan};

// A text that is the same for two values exactly when compareKeys finds them equal.
void appendSortIdentity(std::string& key, const Value& v)
{
    key += static_cast<char>('0' + kindRank(v));
    switch (v.index()) {
    case 1: {
        const double d = std::get<double>(v);
        key += host::numberToText(d == 0 ? 0.0 : d);
        break;
    }
    case 2:
        for (char c : std::get<std::string>(v))
            key += static_cast<char>(foldAscii(c));
        break;
    case 3: key += std::get<bool>(v) ? '1' : '0'; break;
    default: break; // errors compare equal, as do empty cells
    }
}

// The rank of each row's value in column `col` among the column's distinct values, in sort order.
std::vector<int> sortRanks(const Sheet& s, int first, int n, int col)
{
    std::unordered_map<std::string, int> ids;
    std::vector<const Value*> distinct;
    std::vector<int> id(static_cast<std::size_t>(n));
    std::string key;
    for (int i = 0; i < n; ++i) {
        const Value& v = s.value(first + i, col);
        key.clear();
        appendSortIdentity(key, v);
        const auto [it, added] = ids.emplace(key, static_cast<int>(distinct.size()));
        if (added)
            distinct.push_back(&v);
        id[static_cast<std::size_t>(i)] = it->second;
    }
    std::vector<int> order(distinct.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return compareKeys(*distinct[static_cast<std::size_t>(a)], *distinct[static_cast<std::size_t>(b)]) < 0;
    });
    std::vector<int> rank(distinct.size());
    for (std::size_t r = 0; r < order.size(); ++r)
        rank[static_cast<std::size_t>(order[r])] = static_cast<int>(r);
    for (int& x : id)
        x = rank[static_cast<std::size_t>(x)];
    return id;
}

bool isBlankRow(const Sheet& s, int row)
{
    for (int c = 0; c < kDeducteeColumns; ++c)
        if (!host::isEmpty(s.value(row, c)))
            return false;
    return true;
}

bool sameGroupKey(const Sheet& s, int a, int b)
{
    for (int c : {kName, kPan, kSection, kCertificateDate})
        if (!sameText(s.value(a, c), s.value(b, c)))
            return false;
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// d<sep>m<sep>yyyy with one or two digits for day and month, as a date serial.
std::optional<double> parseDate(std::string_view s, char sep)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    int parts[3] = {0, 0, 0};
    std::size_t digits[3] = {0, 0, 0};
    int part = 0;
    for (char c : s) {
        if (c == sep) {
            if (++part > 2)
                return std::nullopt;
        } else if (isDigit(c)) {
            if (++digits[part] > 4)
                return std::nullopt;
            parts[part] = parts[part] * 10 + (c - '0');
        } else {
            return std::nullopt;
        }
    }
    if (part != 2 || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2 || digits[2] != 4)
        return std::nullopt;
    return host::dateSerial(parts[2], parts[1], parts[0]);
}

std::optional<double> dateValue(const Value& v, char sep)
{
    if (host::isNumber(v)) {
        const double serial = std::floor(std::get<double>(v));
        return host::serialToDate(serial) ? std::optional<double>(serial) : std::nullopt;
    }
    if (host::isText(v))
        return parseDate(std::get<std::string>(v), sep);
    return std::nullopt;
}

// Everything one run reads once and uses for every certificate.
struct RunState {
    Workbook* workbook = nullptr;
    const Sheet* deductees = nullptr;
    std::filesystem::path templatePath;
    std::filesystem::path folder;
    int formSheet = -1;
    int serial = 0;
    std::string financialYear;
    // Deductor cells of the certificate: address -> value.
    std::vector<std::pair<const char*, Value>> deductorCells;
    std::string periodText;
    struct Quarter {
        Value number;     // written as text
        Value filedOn;
    };
    Quarter quarters[4];
};

// Messages are whole sentences naming the file, ready for the message box.
Error templateError(const RunState& run, const std::string& what)
{
    return Error(Error::Code::Invalid, "The template workbook " + import::pathText(run.templatePath) + " " + what + ".");
}

// The serial counter before the first certificate: B2 less one, as a whole number (halves
// round to even, as the spreadsheet's conversion does).
int counterStart(const RunState& run, const Sheet& ackn)
{
    const Value& b2 = ackn.value(1, 1);
    std::optional<double> n = ackn.number(1, 1);
    if (!n || !std::isfinite(*n))
        throw templateError(run, "holds \"" + valueText(b2) +
                                     "\" in cell B2 of sheet \"AcknDetails\", which is not a certificate serial number");
    const double rounded = std::nearbyint(*n - 1);
    if (rounded < INT_MIN || rounded >= INT_MAX)
        throw templateError(run, "holds a certificate serial number too large for the certificates (" +
                                     valueText(b2) + ") in cell B2 of sheet \"AcknDetails\"");
    return static_cast<int>(rounded);
}

void readDeductor(RunState& run, const Sheet& deductor)
{
    auto text = [&](int col) { return asText(deductor.text(2, col)); };
    run.deductorCells = {
        {"B10", text(0)},  // name
        {"B11", text(1)},  // address
        {"B16", text(2)},  // TAN
        {"B18", text(3)},  // PAN
        {"J48", deductor.value(2, 4)},  // person responsible, as the cell holds it
        {"J49", deductor.value(2, 5)},  // designation
        {"C47", text(9)},  // place of issue
    };
    run.financialYear = deductor.text(2, 6);
    run.periodText = "F.Y. " + run.financialYear + " / " + "Asst. Yr. " + deductor.text(2, 7);
}

void readQuarters(RunState& run, const Sheet& ackn)
{
    for (int q = 0; q < 4; ++q) {
        run.quarters[q].number = ackn.value(4 + q, 1);
        run.quarters[q].filedOn = ackn.value(4 + q, 2);
    }
}

void copyPayments(const Sheet& deductees, int firstRow, int rows, Sheet& target, int targetRow)
{
    for (const ColumnBlock& b : kPaymentBlocks)
        Workbook::copyValues(deductees, Range{firstRow, b.from, firstRow + rows - 1, b.from + b.width - 1},
                             target, CellRef{targetRow, b.to});
}

// The annexure of a group of 17 rows or more: a copy of "Annex" after the certificate sheet,
// carrying rows 16 onward. Blank rows are inserted above row 5 first, five more than the rows
// filled, so the signature lines the template keeps below stay clear of the table.
void MakeAnnexure(RunState& run, const CertificateGroup& group, const std::string& numberText,
                  const Value& pan)
{
    Workbook& wb = *run.workbook;
    const int annexTemplate = wb.indexOf("Annex");
    if (annexTemplate < 0)
        throw templateError(run, "has no sheet \"Annex\" for the certificates of 17 payments or more");
    const int at = wb.copySheet(annexTemplate, 0, true);
    wb.renameSheet(at, std::to_string(run.serial) + "A");
    Sheet& annex = wb.sheet(at);
    Sheet& cert = wb.sheet(0);

    annex.setValue("K1", Value{numberText});
    annex.setValue("C1", pan);
    cert.setValue("B39", Value{std::string("Continued to Page 2......")});

    const int n = group.size();
    annex.insertRows(kAnnexFirstRow, n - 10);
    copyPayments(*run.deductees, group.firstRow + kRowsOnPageWithAnnexure, n - kRowsOnPageWithAnnexure, annex,
                 kAnnexFirstRow);
}

// Saves a certificate through a temporary file and a rename, so a failed write (disk full,
// folder gone) leaves nothing under the certificate's name, but without the sync the template
// gets: twenty thousand syncs would take minutes, and the folder is made anew by every run.
void saveCertificate(const Workbook& certificate, const std::filesystem::path& path)
{
    try {
        certificate.save(path, host::SaveMode::Fast);
    } catch (const Error& e) {
        std::string reason = e.message();
        const std::string prefix = "could not save the workbook: ";
        if (reason.rfind(prefix, 0) == 0)
            reason.erase(0, prefix.size());
        while (!reason.empty() && reason.back() == '.')
            reason.pop_back();
        throw Error(Error::Code::Io, "The certificate " + import::pathText(path) + " could not be saved (" + reason + ").");
    }
}

void makeCertificate(RunState& run, const CertificateGroup& group)
{
    Workbook& wb = *run.workbook;
    const Sheet& d = *run.deductees;
    ++run.serial;
    const std::string name = serialText(run.serial);
    const std::string numberText = name + "/" + run.financialYear;

    // The copy goes in front of every sheet and leaves with the certificate, so the template
    // sheet's index is the same for every certificate.
    wb.copySheet(run.formSheet, 0);
    wb.renameSheet(0, name);
    Sheet& cert = wb.sheet(0);
    cert.setValue("K1", Value{numberText});
    for (const auto& [address, value] : run.deductorCells)
        cert.setValue(address, value);

    const int first = group.firstRow;
    const Value& certificateDate = d.value(first, kCertificateDate);
    for (int q = 0; q < 4; ++q) {
        if (quarterAcknApplies(certificateDate, run.quarters[q].filedOn))
            cert.setValue(10 + q, kColG, asText(valueText(run.quarters[q].number)));
    }

    const Value pan = asText(d.text(first, kPan));
    cert.setValue("I10", asText(d.text(first, kName)));
    cert.setValue("I16", pan);
    cert.setValue("I18", asText(run.periodText));
    cert.setValue("C48", certificateDate);
    cert.setValue("E16", d.value(first, kSection));

    const int n = group.size();
    copyPayments(d, first, n < kAnnexureFrom ? n : kRowsOnPageWithAnnexure, cert, kPageFirstRow);

    double totalTax = 0;
    for (const auto& [certColumn, deducteeColumn] : kTotals) {
        const double total = d.sum(Range{first, deducteeColumn, group.lastRow, deducteeColumn});
        cert.setValue(kPageFirstRow + kPageRows, certColumn, Value{total});
        if (deducteeColumn == kTotalTax)
            totalTax = total;
    }
    cert.setValue("B42", Value{"Certified that a sum of Rs. (in words) " + AmountInWords(totalTax) +
                               " has been deducted / collected at source and paid to the credit of the "
                               "Central Government as per details given above."});

    const bool annexure = n >= kAnnexureFrom;
    if (annexure)
        MakeAnnexure(run, group, numberText, pan);

    // Only the certificate sheet is the selected, shown tab: a second selected tab would open
    // as a group of sheets.
    cert.setWindow2Flags(cert.window2Flags() | kTabSelected | kTabShown);
    if (annexure) {
        Sheet& annex = wb.sheet(1);
        annex.setWindow2Flags(annex.window2Flags() & static_cast<std::uint16_t>(~(kTabSelected | kTabShown)));
    }
    Workbook certificate = wb.moveSheetsToNewWorkbook(annexure ? std::vector<int>{0, 1} : std::vector<int>{0});
    saveCertificate(certificate, run.folder / (name + ".xls"));
}

void makeOutputFolder(import::GenerationContext& ctx)
{
    const std::filesystem::path folder = ctx.outputFolder();
    import::DeleteOutputFolder(ctx);
    std::error_code ec;
    if (std::filesystem::exists(folder, ec))
        throw Error(Error::Code::Io, "The folder " + import::pathText(folder) +
                                         " could not be emptied. Is one of its certificates open in another program?");
    if (!std::filesystem::create_directory(folder, ec) || ec)
        throw Error(Error::Code::Io, "The folder " + import::pathText(folder) + " could not be made (" + ec.message() + ").");
}

} // namespace

std::string serialText(int serial)
{
    std::string digits = std::to_string(serial < 0 ? -static_cast<long long>(serial) : static_cast<long long>(serial));
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return serial < 0 ? "-" + digits : digits;
}

bool quarterAcknApplies(const Value& certificateDate, const Value& dateOfFiling)
{
    if (host::isEmpty(certificateDate) || (host::isText(certificateDate) && std::get<std::string>(certificateDate).empty()))
        return false;
    if (host::isEmpty(dateOfFiling) || (host::isText(dateOfFiling) && std::get<std::string>(dateOfFiling).empty()))
        return true;
    const auto certified = dateValue(certificateDate, '.');
    const auto filed = dateValue(dateOfFiling, '/');
    return certified && filed && *certified > *filed;
}

int lastDeducteeRow(const Sheet& deductees)
{
    int last = -1;
    for (int c = 0; c < kDeducteeColumns; ++c)
        last = std::max(last, deductees.lastNonEmptyUp(c, host::kMaxRows - 1));
    return last >= 1 ? last : -1;
}

int sortDeducteeRows(Sheet& deductees, int lastRow)
{
    const int first = 1;
    if (lastRow < first)
        return lastRow;
    const int n = lastRow - first + 1;

    // Each distinct exact key, numbered by its first appearance in the statement.
    std::vector<int> exactKey(static_cast<std::size_t>(n));
    std::vector<char> blank(static_cast<std::size_t>(n));
    {
        std::unordered_map<std::string, int> seen;
        seen.reserve(static_cast<std::size_t>(n));
        std::string key;
        for (int i = 0; i < n; ++i) {
            key.clear();
            for (int c : kSortColumns) {
                const Value& v = deductees.value(first + i, c);
                const std::string t = valueText(v);
                key += static_cast<char>('0' + v.index());
                key += std::to_string(t.size());
                key += ':';
                key += t;
            }
            exactKey[static_cast<std::size_t>(i)] = seen.emplace(key, i).first->second;
            blank[static_cast<std::size_t>(i)] = isBlankRow(deductees, first + i);
        }
    }

    // Each sort column as ranks: the rows' values compared once per distinct value instead of
    // once per comparison, which for 100,000 rows means millions of string comparisons.
    constexpr std::size_t kKeys = std::size(kSortColumns);
    std::vector<int> ranks(static_cast<std::size_t>(n) * kKeys);
    for (std::size_t k = 0; k < kKeys; ++k) {
        const std::vector<int> column = sortRanks(deductees, first, n, kSortColumns[k]);
        for (std::size_t i = 0; i < column.size(); ++i)
            ranks[i * kKeys + k] = column[i];
    }

    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto ia = static_cast<std::size_t>(a), ib = static_cast<std::size_t>(b);
        if (blank[ia] != blank[ib])
            return blank[ib] != 0;
        for (std::size_t k = 0; k < kKeys; ++k) {
            const int ra = ranks[ia * kKeys + k], rb = ranks[ib * kKeys + k];
            if (ra != rb)
                return ra < rb;
        }
        return exactKey[ia] < exactKey[ib];
    });

    // Move the rows' cells (values and formats) into their new places.
    std::vector<Cell> cells(static_cast<std::size_t>(n) * kDeducteeColumns);
    for (int i = 0; i < n; ++i) {
        const auto* row = deductees.rowCells(first + i);
        if (!row)
            continue;
        const int width = std::min<int>(static_cast<int>(row->size()), kDeducteeColumns);
        for (int c = 0; c < width; ++c)
            cells[static_cast<std::size_t>(i) * kDeducteeColumns + c] = std::move(deductees.cellAt(first + i, c));
    }
    for (int i = 0; i < n; ++i) {
        const int from = order[static_cast<std::size_t>(i)];
        for (int c = 0; c < kDeducteeColumns; ++c) {
            Cell& cell = cells[static_cast<std::size_t>(from) * kDeducteeColumns + c];
            if (cell.isVoid() && !deductees.cell(first + i, c))
                continue;
            deductees.cellAt(first + i, c) = std::move(cell);
        }
    }

    int records = n;
    while (records > 0 && blank[static_cast<std::size_t>(order[static_cast<std::size_t>(records - 1)])])
        --records;
    return first + records - 1;
}

std::vector<CertificateGroup> certificateGroups(const Sheet& deductees, int lastRow)
{
    std::vector<CertificateGroup> groups;
    for (int row = 1; row <= lastRow;) {
        int end = row;
        while (end < lastRow && sameGroupKey(deductees, row, end + 1))
            ++end;
        groups.push_back({row, end});
        row = end + 1;
    }
    return groups;
}

int GenerateCertificates(import::GenerationContext& ctx)
{
    if (!ctx.workbook || !ctx.deductorSheet || !ctx.deducteeSheet)
        throw Error(Error::Code::Invalid, "the certificates need the imported statement first");
    RunState run;
    run.workbook = ctx.workbook;
    run.deductees = ctx.deducteeSheet;
    run.templatePath = ctx.templatePath();
    run.folder = ctx.outputFolder();

    const Sheet* ackn = ctx.workbook->findSheet("AcknDetails");
    if (!ackn)
        throw templateError(run, "has no sheet \"AcknDetails\"");
    run.serial = counterStart(run, *ackn);
    readQuarters(run, *ackn);

    makeOutputFolder(ctx);
    readDeductor(run, *ctx.deductorSheet);

    Sheet& deductees = *ctx.deducteeSheet;
    int lastRow = lastDeducteeRow(deductees);
    if (lastRow >= 1)
        lastRow = sortDeducteeRows(deductees, lastRow);
    if (lastRow < 1) {
        if (ctx.reporter)
            ctx.reporter->message({"No deductee records found. Please re-import the file.", "No data found!",
                                   import::Icon::Information});
        return 0;
    }

    const std::vector<CertificateGroup> groups = certificateGroups(deductees, lastRow);
    const int total = static_cast<int>(groups.size());
    if (run.serial > INT_MAX - total)
        throw templateError(run, "holds a certificate serial number in cell B2 of sheet \"AcknDetails\" that would run past " +
                                     std::to_string(INT_MAX));
    run.formSheet = ctx.workbook->indexOf("Form 16A");
    if (run.formSheet < 0)
        throw templateError(run, "has no sheet \"Form 16A\"");
    // Found missing before the first certificate rather than at the first long one.
    if (ctx.workbook->indexOf("Annex") < 0 &&
        std::any_of(groups.begin(), groups.end(), [](const CertificateGroup& g) { return g.size() >= kAnnexureFrom; }))
        throw templateError(run, "has no sheet \"Annex\" for the certificates of 17 payments or more");

    if (ctx.reporter)
        ctx.reporter->progress(0, total);
    for (int i = 0; i < total; ++i) {
        makeCertificate(run, groups[static_cast<std::size_t>(i)]);
        if (ctx.reporter)
            ctx.reporter->progress(i + 1, total);
    }

    ctx.workbook->deleteSheets({std::string(import::kDeducteeSheet), std::string(import::kDeductorSheet),
                                std::string(import::kTextSheet)});
    ctx.deducteeSheet = nullptr;
    ctx.deductorSheet = nullptr;
    ctx.textSheet = nullptr;
    return total;
}

} // namespace cw::certificates
