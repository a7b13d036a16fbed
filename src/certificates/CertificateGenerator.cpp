#include "certificates/CertificateGenerator.h"

#include "certificates/AmountInWords.h"
#include "certificates/FileWriter.h"
#include "core/CertificateLayout.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "import/SheetCells.h"

#include <algorithm>
#include <cmath>

namespace cw::certificates {

using host::Sheet;
using host::Value;
using host::Workbook;
using import::Payment;
using import::Statement;

namespace layout = core::layout;

namespace {

// Columns of the payment table, on the certificate page and on the annexure alike.
enum PaymentColumn { kColAmountPaid = 2, kColPaidOn, kColTds, kColSurcharge, kColCess, kColDeposited, kColCheque,
                     kColBsr, kColDepositedOn, kColChallan };
static_assert(layout::form::kFirstPayment.col + 1 == kColAmountPaid &&
              layout::annex::kFirstPayment.col + 1 == kColAmountPaid);

// WINDOW2: the sheet's tab is selected / the sheet is the one shown.
constexpr std::uint16_t kTabSelected = 0x0200;
constexpr std::uint16_t kTabShown = 0x0400;

// What every certificate of the run shares, worked out once.
struct Shared {
    const CertificateRun* run = nullptr;
    std::vector<std::pair<layout::CellAt, Value>> deductorCells;
    std::string periodText;
    int serialOf(std::size_t certificate) const { return run->firstSerial + static_cast<int>(certificate); }
};

// What a worker makes its certificates in: a workbook of its own with copies of the template's
// form and annexure sheets and the whole of its formatting tables, so that a certificate moved
// out of it is the one the template itself would give.
struct WorkerBook {
    Workbook book;
    std::string formSheet;
    std::string annexSheet; // empty when no certificate of the run has an annexure
    std::vector<PaymentSums> byChallan; // the rows this worker wrote
};

double numberAt(const Sheet& sheet, int row, int col)
{
    const Value v = sheet.value(row, col);
    return host::isNumber(v) ? std::get<double>(v) : 0.0;
}

// What a row of the payment table holds, read back from the sheet.
void readBack(const Sheet& sheet, int row, PaymentSums& into)
{
    into.add(numberAt(sheet, row, kColAmountPaid), numberAt(sheet, row, kColTds), numberAt(sheet, row, kColSurcharge),
             numberAt(sheet, row, kColCess), numberAt(sheet, row, kColDeposited));
}

core::Failure templateFailure(const CertificateRun& run, const std::string& what)
{
    return core::Failure("The template workbook " + core::pathText(run.templatePath) + " " + what + ".",
                         core::kErrorTitle);
}

Value text(std::string_view t) { return Value{std::string(t)}; }

Shared sharedCells(const CertificateRun& run)
{
    const import::Deductor& d = run.statement->deductor;
    namespace f = layout::form;
    Shared s;
    s.run = &run;
    s.deductorCells = {
        {f::kDeductorName, text(d.name)},         {f::kDeductorAddress, text(d.address)},
        {f::kDeductorTan, text(d.tan)},           {f::kDeductorPan, text(d.pan)},
        {f::kPersonResponsible, text(d.personResponsible)}, {f::kDesignation, text(d.designation)},
        {f::kPlaceOfIssue, text(d.placeOfIssue)},
    };
    s.periodText = "F.Y. " + d.financialYear + " / Asst. Yr. " + d.assessmentYear;
    return s;
}

// A value into a cell of the payment table. An empty value leaves a cell the template does
// not have uncreated, as pasting an empty block does.
void put(Sheet& sheet, int row, int col, Value v)
{
    if (host::isEmpty(v) || (host::isText(v) && std::get<std::string>(v).empty())) {
        if (!sheet.hasCell(row, col))
            return;
        v = Value{};
    }
    sheet.setValue(row, col, std::move(v));
}

// Payments order[from .. from+count) into the table starting at `firstRow`.
void writePayments(const Statement& s, const std::uint32_t* payments, int count, Sheet& target, int firstRow)
{
    for (int i = 0; i < count; ++i) {
        const Payment& p = s.payments[payments[i]];
        const import::Challan& c = s.challanOf(p);
        const int row = firstRow + i;
        put(target, row, kColPaidOn, text(s.text(p.paidOn)));
        put(target, row, kColAmountPaid, Value{p.amountPaid});
        put(target, row, kColTds, Value{p.tds});
        put(target, row, kColSurcharge, Value{p.surcharge});
        put(target, row, kColCess, Value{p.cess});
        put(target, row, kColDeposited, Value{p.taxDeposited});
        put(target, row, kColCheque, text(c.chequeNumber));
        put(target, row, kColBsr, text(c.bsrCode));
        put(target, row, kColDepositedOn, text(c.depositedOn));
        put(target, row, kColChallan, text(c.challanNumber));
    }
}

// The annexure of a certificate of 17 payments or more: a copy of "Annex" after the
// certificate sheet, carrying the payments from the 16th on. Blank rows are inserted above
// row 5 first, five more than the rows filled, so the signature lines the template keeps below
// stay clear of the table.
void makeAnnexure(const Shared& shared, WorkerBook& worker, int serial, const std::uint32_t* payments, int count,
                  const Value& number, const Value& pan)
{
    Workbook& wb = worker.book;
    const int at = wb.copySheet(wb.indexOf(worker.annexSheet), 0, true);
    wb.renameSheet(at, std::to_string(serial) + "A");
    Sheet& annex = wb.sheet(at);
    Sheet& cert = wb.sheet(0);

    annex.setValue(layout::annex::kNumber.a1, number);
    annex.setValue(layout::annex::kDeducteePan.a1, pan);
    cert.setValue(layout::form::kContinued.a1, text("Continued to Page 2......"));

    const int firstRow = layout::annex::kFirstPayment.row;
    annex.insertRows(firstRow, count - 10);
    writePayments(*shared.run->statement, payments + layout::kPaymentsOnPageWithAnnexure,
                  count - layout::kPaymentsOnPageWithAnnexure, annex, firstRow);
}

// Certificate `serial` in a workbook of its own, moved out of the worker's workbook.
Workbook makeCertificate(const Shared& shared, WorkerBook& worker, int serial, const CertificateGroup& group,
                         WrittenCertificate& written)
{
    namespace f = layout::form;
    const CertificateRun& run = *shared.run;
    const Statement& s = *run.statement;
    const std::uint32_t* payments = run.plan->order.data() + group.first;
    const int n = static_cast<int>(group.count);
    const Payment& first = s.payments[payments[0]];
    const std::string_view certificateDate = s.challanOf(first).depositedOn;

    Workbook& wb = worker.book;
    // The copy goes in front of every sheet and leaves with the certificate.
    wb.copySheet(wb.indexOf(worker.formSheet), 0);
    wb.renameSheet(0, serialText(serial));
    Sheet& cert = wb.sheet(0);
    const Value number = text(serialText(serial) + "/" + s.deductor.financialYear);
    cert.setValue(f::kNumber.a1, number);
    for (const auto& [at, value] : shared.deductorCells)
        cert.setValue(at.row, at.col, value);
    for (int q = 0; q < layout::ackn::kQuarters; ++q) {
        const QuarterAckn& quarter = run.quarters[static_cast<std::size_t>(q)];
        if (quarterAcknApplies(certificateDate, quarter.filedOn))
            cert.setValue(f::kFirstAcknNumber.row + q, f::kFirstAcknNumber.col, text(quarter.number));
    }
    const Value pan = text(s.text(first.pan));
    cert.setValue(f::kDeducteeName.a1, text(s.text(first.name)));
    cert.setValue(f::kDeducteePan.a1, pan);
    cert.setValue(f::kPeriod.a1, text(shared.periodText));
    cert.setValue(f::kCertificateDate.a1, text(certificateDate));
    cert.setValue(f::kSection.a1, text(s.text(first.section)));

    const bool annexure = n >= layout::kAnnexureFrom;
    writePayments(s, payments, annexure ? layout::kPaymentsOnPageWithAnnexure : n, cert, f::kFirstPayment.row);

    // Totals, added up in certificate order.
    double paid = 0, tds = 0, surcharge = 0, cess = 0, deposited = 0;
    for (int i = 0; i < n; ++i) {
        const Payment& p = s.payments[payments[i]];
        paid += p.amountPaid;
        tds += p.tds;
        surcharge += p.surcharge;
        cess += p.cess;
        deposited += p.taxDeposited;
    }
    const int totals = f::kTotals.row;
    cert.setValue(totals, kColAmountPaid, Value{paid});
    cert.setValue(totals, kColTds, Value{tds});
    cert.setValue(totals, kColSurcharge, Value{surcharge});
    cert.setValue(totals, kColCess, Value{cess});
    cert.setValue(totals, kColDeposited, Value{deposited});
    cert.setValue(f::kCertifiedSum.a1, text("Certified that a sum of Rs. (in words) " + amountInWords(deposited) +
                                            " has been deducted / collected at source and paid to the credit of the "
                                            "Central Government as per details given above."));

    if (annexure)
        makeAnnexure(shared, worker, serial, payments, n, number, pan);

    // What the certificate carries, as its sheets hold it: the register is made from this.
    written.serial = serial;
    written.annexure = annexure;
    readBack(cert, totals, written.totals);
    written.totals.payments = n;
    const int onPage = annexure ? layout::kPaymentsOnPageWithAnnexure : n;
    for (int i = 0; i < n; ++i) {
        PaymentSums& sums = worker.byChallan[s.payments[payments[i]].challan];
        if (i < onPage)
            readBack(cert, f::kFirstPayment.row + i, sums);
        else
            readBack(wb.sheet(1), layout::annex::kFirstPayment.row + i - onPage, sums);
    }

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
        copies.push_back(wb.copySheet(wb.indexOf(layout::kAnnexSheet), 1));
    WorkerBook worker{wb.moveSheetsToNewWorkbook(copies), {}, {}, {}};
    worker.formSheet = worker.book.sheet(0).name();
    if (annexures)
        worker.annexSheet = worker.book.sheet(1).name();
    return worker;
}

// Writes a certificate straight under its name: the folder is the run's own and goes as a
// whole when anything fails, so a temporary name per file would only cost time.
void saveCertificate(const CertificateRun& run, const std::vector<std::uint8_t>& bytes, int serial)
{
    const std::string file = serialText(serial) + ".xls";
    try {
        Workbook::saveBytes(bytes, run.folder / file, host::SaveMode::NewFile, run.writer);
    } catch (const host::Error& e) {
        throw core::Failure("The certificate " + core::pathText(run.shownFolder / file) + " could not be saved (" +
                                e.message() + "). Form16A keeps the certificates of the last complete run.",
                            core::kErrorTitle);
    }
}

// An annexure takes a certificate's payments from the 16th on, on rows inserted into a copy of
// "Annex": a certificate of more payments than an .xls sheet has rows for can't be made.
void refuseAnnexuresTooLong(const Workbook& templateBook, const CertificateRun& run)
{
    const int annexRows = templateBook.sheet(templateBook.indexOf(layout::kAnnexSheet)).rowCount();
    const auto most = static_cast<std::uint32_t>(host::kXlsMaxRows - annexRows + 10);
    const Statement& s = *run.statement;
    for (const CertificateGroup& g : run.plan->groups) {
        if (g.count <= most)
            continue;
        const Payment& p = s.payments[run.plan->order[g.first]];
        throw core::Failure("The certificate of \"" + std::string(s.text(p.name)) + "\" (PAN \"" +
                                std::string(s.text(p.pan)) + "\", section \"" + std::string(s.text(p.section)) +
                                "\", dated \"" + s.challanOf(p).depositedOn + "\") would carry " + std::to_string(g.count) +
                                " payments, more than the " + std::to_string(most) +
                                " its annexure has rows for. Nothing was made; Form16A keeps the certificates of "
                                "the last complete run.",
                            core::kErrorTitle);
    }
}

} // namespace

std::string serialText(int serial)
{
    std::string digits = std::to_string(serial < 0 ? -static_cast<long long>(serial) : static_cast<long long>(serial));
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return serial < 0 ? "-" + digits : digits;
}

CertificateCounts generateCertificates(Workbook& templateBook, const CertificateRun& run)
{
    const std::vector<CertificateGroup>& groups = run.plan->groups;
    const int formSheet = templateBook.indexOf(layout::kFormSheet);
    if (formSheet < 0)
        throw templateFailure(run, "has no sheet \"" + std::string(layout::kFormSheet) + "\"");
    const auto withAnnexure = static_cast<int>(std::count_if(
        groups.begin(), groups.end(), [](const CertificateGroup& g) { return g.count >= layout::kAnnexureFrom; }));
    // Found missing before the first certificate rather than at the first long one.
    if (withAnnexure > 0 && templateBook.indexOf(layout::kAnnexSheet) < 0)
        throw templateFailure(run, "has no sheet \"" + std::string(layout::kAnnexSheet) +
                                       "\" for the certificates of 17 payments or more");

    if (groups.empty())
        return {};
    if (withAnnexure > 0)
        refuseAnnexuresTooLong(templateBook, run);
    // Certificates have always carried the template's formats and the builtin short date, with
    // which earlier versions imported the statement's dates; keeping it keeps a certificate byte
    // for byte the one they made.
    import::dateXf(templateBook);

    const Shared shared = sharedCells(run);
    const int total = static_cast<int>(groups.size());
    if (run.reporter)
        run.reporter->progress(0, total);
    core::ParallelRun parallel(groups.size(), core::workersForThisMachine(4));
    std::vector<WorkerBook> books;
    for (unsigned w = 0; w < parallel.workers(); ++w) {
        books.push_back(workerBook(templateBook, formSheet, withAnnexure > 0));
        books.back().byChallan.resize(run.statement->challans.size());
    }
    std::vector<WrittenCertificate> written(groups.size());
    // The workers make the certificates and their bytes; one thread creates the files.
    core::EarliestFailure& failure = parallel.failure();
    FileWriter files([&](std::size_t i, const std::vector<std::uint8_t>& bytes) {
        saveCertificate(run, bytes, shared.serialOf(i));
    }, failure);
    // Runs of consecutive certificates keep each worker's allocations its own.
    parallel.forEach(
        8,
        [&](std::size_t i, unsigned worker) {
            written[i].group = static_cast<std::uint32_t>(i);
            files.add(i, makeCertificate(shared, books[worker], shared.serialOf(i), groups[i], written[i]).toBytes());
        },
        [&](std::size_t done) {
            // All of them are done once their files are.
            if (run.reporter && static_cast<int>(done) < total)
                run.reporter->progress(static_cast<int>(done), total);
            return true;
        });
    files.finish();
    failure.rethrowIfAny();
    if (run.reporter)
        run.reporter->progress(total, total);

    // What the layout holds that a certificate can't carry (a chart, a form control), said once.
    for (const std::string& left : templateBook.warnings())
        if (run.reporter)
            run.reporter->message({"In the template, " + left + ".", "Left out", core::Icon::Information});
    CertificateCounts counts{total, withAnnexure, static_cast<int>(run.statement->payments.size()), std::move(written),
                             std::vector<PaymentSums>(run.statement->challans.size())};
    for (const WorkerBook& book : books)
        for (std::size_t c = 0; c < counts.byChallan.size(); ++c)
            counts.byChallan[c].add(book.byChallan[c]);
    return counts;
}

} // namespace cw::certificates
