#include "certificates/CertificateGenerator.h"
#include "certificates/AmountInWords.h"
#include "certificates/DeducteeGroups.h"
#include "certificates/ParallelRun.h"
#include "core/PathText.h"
#include "import/WorkSheets.h"

#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace cw::certificates {

using host::Cell;
using host::CellRef;
using host::Error;
using host::Range;
using host::Sheet;
using host::Value;
using host::Workbook;

using namespace import::deductee_columns;

namespace {

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

// Everything one run reads once and uses for every certificate.
struct RunState {
    const Sheet* deductees = nullptr;
    std::filesystem::path templatePath;
    std::filesystem::path folder;        // where the certificates are written
    std::filesystem::path shownFolder;   // where the user finds them: Form16A
    int formSheet = -1;
    int serialBefore = 0;   // the first certificate's serial number less one
    int serialOf(std::size_t certificate) const { return serialBefore + 1 + static_cast<int>(certificate); }
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

// What a worker makes its certificates in: a workbook of its own with copies of the template's
// form and annexure sheets and the whole of its formatting tables, so that a certificate moved
// out of it is the one the template itself would give.
struct WorkerBook {
    Workbook book;
    std::string formSheet;
    std::string annexSheet;   // empty when no certificate of the run has an annexure
};

// Messages are whole sentences naming the file, ready for the message box.
Error templateError(const RunState& run, const std::string& what)
{
    return Error(Error::Code::Invalid, "The template workbook " + core::pathText(run.templatePath) + " " + what + ".");
}

// The serial counter before the first certificate: B2 less one, as a whole number (halves
// round to even, as the spreadsheet's conversion does).
int counterStart(const RunState& run, const Sheet& ackn)
{
    const Value& b2 = ackn.value(1, 1);
    std::optional<double> n = ackn.number(1, 1);
    if (!n || !std::isfinite(*n))
        throw templateError(run, "holds \"" + host::valueText(b2) +
                                     "\" in cell B2 of sheet \"AcknDetails\", which is not a certificate serial number");
    const double rounded = std::nearbyint(*n - 1);
    if (rounded < INT_MIN || rounded >= INT_MAX)
        throw templateError(run, "holds a certificate serial number too large for the certificates (" +
                                     host::valueText(b2) + ") in cell B2 of sheet \"AcknDetails\"");
    return static_cast<int>(rounded);
}

void readDeductor(RunState& run, const Sheet& deductor)
{
    auto text = [&](int col) { return Value{deductor.text(2, col)}; };
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
void makeAnnexure(const RunState& run, WorkerBook& worker, int serial, const CertificateGroup& group,
                  const std::string& numberText, const Value& pan)
{
    Workbook& wb = worker.book;
    const int at = wb.copySheet(wb.indexOf(worker.annexSheet), 0, true);
    wb.renameSheet(at, std::to_string(serial) + "A");
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

// Writes a certificate straight under its name: the folder is the run's own and goes as a
// whole when anything fails, so a temporary name per file would only cost time.
void saveCertificate(const RunState& run, const std::vector<std::uint8_t>& bytes, int serial)
{
    const std::string file = serialText(serial) + ".xls";
    try {
        Workbook::saveBytes(bytes, run.folder / file, host::SaveMode::NewFile);
    } catch (const Error& e) {
        throw Error(Error::Code::Io, "The certificate " + core::pathText(run.shownFolder / file) + " could not be saved (" +
                                         e.message() + "). Form16A keeps the certificates of the last complete run.");
    }
}

// Certificate `serial` in a workbook of its own, moved out of the worker's workbook.
Workbook makeCertificate(const RunState& run, WorkerBook& worker, int serial, const CertificateGroup& group)
{
    Workbook& wb = worker.book;
    const Sheet& d = *run.deductees;
    const std::string name = serialText(serial);
    const std::string numberText = name + "/" + run.financialYear;

    // The copy goes in front of every sheet and leaves with the certificate.
    wb.copySheet(wb.indexOf(worker.formSheet), 0);
    wb.renameSheet(0, name);
    Sheet& cert = wb.sheet(0);
    cert.setValue("K1", Value{numberText});
    for (const auto& [address, value] : run.deductorCells)
        cert.setValue(address, value);

    const int first = group.firstRow;
    const Value& certificateDate = d.value(first, kCertificateDate);
    for (int q = 0; q < 4; ++q) {
        if (quarterAcknApplies(certificateDate, run.quarters[q].filedOn))
            cert.setValue(10 + q, kColG, Value{host::valueText(run.quarters[q].number)});
    }

    const Value pan{d.text(first, kPan)};
    cert.setValue("I10", Value{d.text(first, kName)});
    cert.setValue("I16", pan);
    cert.setValue("I18", Value{run.periodText});
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
    cert.setValue("B42", Value{"Certified that a sum of Rs. (in words) " + amountInWords(totalTax) +
                               " has been deducted / collected at source and paid to the credit of the "
                               "Central Government as per details given above."});

    const bool annexure = n >= kAnnexureFrom;
    if (annexure)
        makeAnnexure(run, worker, serial, group, numberText, pan);

    // Only the certificate sheet is the selected, shown tab: a second selected tab would open
    // as a group of sheets.
    cert.setWindow2Flags(cert.window2Flags() | kTabSelected | kTabShown);
    if (annexure) {
        Sheet& annex = wb.sheet(1);
        annex.setWindow2Flags(annex.window2Flags() & static_cast<std::uint16_t>(~(kTabSelected | kTabShown)));
    }
    return wb.moveSheetsToNewWorkbook(annexure ? std::vector<int>{0, 1} : std::vector<int>{0});
}

// A worker's workbook. The copies are made in the template workbook, so that what a copy
// can't carry is said of the template's own sheets, once.
WorkerBook workerBook(Workbook& wb, int formSheet, bool annexures)
{
    std::vector<int> copies{wb.copySheet(formSheet, 0)};
    if (annexures)
        copies.push_back(wb.copySheet(wb.indexOf("Annex"), 1));
    WorkerBook worker{wb.moveSheetsToNewWorkbook(copies), {}, {}};
    worker.formSheet = worker.book.sheet(0).name();
    if (annexures)
        worker.annexSheet = worker.book.sheet(1).name();
    return worker;
}

} // namespace

std::string serialText(int serial)
{
    std::string digits = std::to_string(serial < 0 ? -static_cast<long long>(serial) : static_cast<long long>(serial));
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return serial < 0 ? "-" + digits : digits;
}

CertificateCounts generateCertificates(import::GenerationContext& ctx, const std::filesystem::path& folder)
{
    if (!ctx.workbook || !ctx.deductorSheet || !ctx.deducteeSheet)
        throw Error(Error::Code::Invalid, "the certificates need the imported statement first");
    RunState run;
    run.deductees = ctx.deducteeSheet;
    run.templatePath = ctx.templatePath();
    run.folder = folder;
    run.shownFolder = ctx.outputFolder();

    const Sheet* ackn = ctx.workbook->findSheet("AcknDetails");
    if (!ackn)
        throw templateError(run, "has no sheet \"AcknDetails\"");
    run.serialBefore = counterStart(run, *ackn);
    readQuarters(run, *ackn);
    run.formSheet = ctx.workbook->indexOf("Form 16A");
    if (run.formSheet < 0)
        throw templateError(run, "has no sheet \"Form 16A\"");
    readDeductor(run, *ctx.deductorSheet);

    Sheet& deductees = *ctx.deducteeSheet;
    int lastRow = lastDeducteeRow(deductees);
    if (lastRow >= 1)
        lastRow = sortDeducteeRows(deductees, lastRow);
    if (lastRow < 1) {
        if (ctx.reporter)
            ctx.reporter->message({"No deductee records found. Please re-import the file.", "No data found!",
                                   core::Icon::Information});
        return {};
    }

    const std::vector<CertificateGroup> groups = certificateGroups(deductees, lastRow);
    const int total = static_cast<int>(groups.size());
    if (run.serialBefore > INT_MAX - total)
        throw templateError(run, "holds a certificate serial number in cell B2 of sheet \"AcknDetails\" that would run past " +
                                     std::to_string(INT_MAX));
    // Found missing before the first certificate rather than at the first long one.
    const bool annexures =
        std::any_of(groups.begin(), groups.end(), [](const CertificateGroup& g) { return g.size() >= kAnnexureFrom; });
    if (annexures && ctx.workbook->indexOf("Annex") < 0)
        throw templateError(run, "has no sheet \"Annex\" for the certificates of 17 payments or more");

    if (ctx.reporter)
        ctx.reporter->progress(0, total);
    const unsigned workers = workersForThisMachine();
    std::vector<WorkerBook> books;
    for (unsigned w = 0; w < workers; ++w)
        books.push_back(workerBook(*ctx.workbook, run.formSheet, annexures));
    // The workers make the certificates and their bytes; one thread creates the files.
    EarliestFailure failure;
    FileWriter files([&](std::size_t i, const std::vector<std::uint8_t>& bytes) {
        saveCertificate(run, bytes, run.serialOf(i));
    }, failure);
    runInParallel(
        groups.size(), workers,
        [&](std::size_t i, unsigned worker) {
            files.add(i, makeCertificate(run, books[worker], run.serialOf(i), groups[i]).toBytes());
        },
        [&](std::size_t done) {
            // All of them are done once their files are.
            if (ctx.reporter && static_cast<int>(done) < total)
                ctx.reporter->progress(static_cast<int>(done), total);
        },
        failure);
    files.finish();
    failure.rethrowIfAny();
    if (ctx.reporter)
        ctx.reporter->progress(total, total);

    // What the layout holds that a certificate can't carry (a chart, a form control), said once.
    for (const std::string& left : ctx.workbook->warnings())
        if (ctx.reporter)
            ctx.reporter->message({"In the template, " + left + ".", "Left out", core::Icon::Information});

    ctx.workbook->deleteSheets({std::string(import::kDeducteeSheet), std::string(import::kDeductorSheet),
                                std::string(import::kTextSheet)});
    ctx.deducteeSheet = nullptr;
    ctx.deductorSheet = nullptr;
    ctx.textSheet = nullptr;
    return {total,
            static_cast<int>(std::count_if(groups.begin(), groups.end(),
                                           [](const CertificateGroup& g) { return g.size() >= kAnnexureFrom; })),
            lastRow};
}

} // namespace cw::certificates
