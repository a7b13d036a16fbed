#include "register/Register.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/Format.h"
#include "host/Workbook.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace cw::reg {

using certificates::CertificateGroup;
using certificates::PaymentSums;
using host::Sheet;
using host::Value;
using host::Workbook;
using import::Payment;
using import::Statement;

namespace {

using import::grouped;
using import::paise;

// The formats of the register's cells.
struct Styles {
    std::uint16_t title, heading, text, note, whole, amount, totalText, totalWhole, totalAmount;

    explicit Styles(Workbook& wb)
    {
        auto xf = [&](bool bold, const char* format, host::HAlign h = host::HAlign::General, bool wrap = false) {
            host::Xf x;
            x.parent = 0;
            if (bold) {
                host::Font f;
                f.weight = 700;
                x.font = wb.addFont(f);
            }
            x.numFmt = wb.addNumberFormat(format);
            x.hAlign = h;
            x.wrap = wrap;
            return wb.addXf(x);
        };
        title = xf(true, "General");
        heading = xf(true, "General", host::HAlign::Center, true);
        text = xf(false, "@");
        note = xf(false, "@", host::HAlign::General, true);
        whole = xf(false, "0");
        amount = xf(false, "#,##0.00");
        totalText = xf(true, "@");
        totalWhole = xf(true, "0");
        totalAmount = xf(true, "#,##0.00");
    }
};

// Writes a sheet row by row, each value with the format its column's kind calls for.
class SheetWriter {
public:
    // Printed across, as wide as one page, as many pages down as it takes, with the headings
    // on every page.
    SheetWriter(Sheet& sheet, const Styles& styles) : m_sheet(sheet), m_styles(styles)
    {
        host::PageSetup& p = sheet.pageSetup();
        p.portrait = false;
        p.fitToPage = true;
        p.fitWidth = 1;
        p.fitHeight = 0;
        p.leftMargin = p.rightMargin = 0.4;
        p.topMargin = p.bottomMargin = 0.6;
    }

    void text(int col, std::string_view t, std::uint16_t xf)
    {
        m_sheet.setCell(m_row, col, host::Cell{Value{std::string(t)}, xf});
    }
    void amount(int col, std::int64_t paiseValue, bool total = false)
    {
        m_sheet.setCell(m_row, col, host::Cell{Value{static_cast<double>(paiseValue) / 100.0},
                                               total ? m_styles.totalAmount : m_styles.amount});
    }
    void whole(int col, long long n, bool total = false)
    {
        m_sheet.setCell(m_row, col, host::Cell{Value{static_cast<double>(n)}, total ? m_styles.totalWhole : m_styles.whole});
    }
    // An amount the statement may leave unstated.
    void stated(int col, const std::optional<double>& v)
    {
        if (v)
            amount(col, paise(*v));
        else
            text(col, "not stated", m_styles.text);
    }
    void headings(const std::vector<std::pair<std::string, double>>& columns)
    {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            text(static_cast<int>(c), columns[c].first, m_styles.heading);
            m_sheet.setColumnWidth(static_cast<int>(c), static_cast<int>(c), columns[c].second);
        }
        m_sheet.setRowHeight(m_row, 42);
        m_sheet.printTitleRows() = std::make_pair(m_row, m_row);
        next();
    }
    void next() { ++m_row; }
    int row() const { return m_row; }
    void skipTo(int row) { m_row = row; }

private:
    Sheet& m_sheet;
    const Styles& m_styles;
    int m_row = 0;
};

// The heading every sheet starts with: whose register it is and of which run.
void heading(SheetWriter& w, const Styles& st, const RegisterRun& run, std::string_view title)
{
    const import::Deductor& d = run.statement->deductor;
    w.text(0, title, st.title);
    w.next();
    const std::pair<const char*, std::string> lines[] = {
        {"Deductor", d.name},
        {"TAN", d.tan},
        {"Financial year", d.financialYear},
        {"Quarter", d.quarter},
        {"Made on", run.runTime},
        {"Statement", run.statementName + ", " + std::to_string(run.statementBytes) + " bytes"},
    };
    // Label and value in one cell, which runs on into the empty cells beside it whatever the
    // width of the sheet's first column.
    for (const auto& [label, value] : lines) {
        w.text(0, std::string(label) + ": " + value, st.text);
        w.next();
    }
    w.next();
}

void amounts(SheetWriter& w, int col, const PaymentSums& s, bool total = false)
{
    w.amount(col, s.amountPaid, total);
    w.amount(col + 1, s.deducted(), total);
    w.amount(col + 2, s.deposited, total);
}

// Rows of certificates one sheet takes: an .xls sheet holds 65,536 rows, of which the heading
// takes nine and the totals row one.
constexpr std::size_t kCertificatesPerSheet = 65536 - 10;

// The certificates [first, first + count) on one sheet; the last sheet ends with the totals row.
void writeCertificates(Sheet& sheet, const Styles& st, const RegisterRun& run, std::size_t first, std::size_t count)
{
    const Statement& s = *run.statement;
    SheetWriter w(sheet, st);
    heading(w, st, run, first ? "Register of Form 16A certificates (continued)" : "Register of Form 16A certificates");
    w.headings({{"Certificate No.", 14}, {"File", 10}, {"PAN of the deductee", 14}, {"Name of the deductee", 36},
                {"Section", 9}, {"Date of the certificate", 12}, {"Payments", 10}, {"Amount paid", 15},
                {"Tax deducted", 14}, {"Tax deposited", 14}, {"Annexure", 10}});
    const auto& written = run.made->written;
    for (std::size_t i = first; i < first + count; ++i) {
        const certificates::WrittenCertificate& c = written[i];
        const CertificateGroup& g = run.plan->groups[c.group];
        const Payment& p = s.payments[run.plan->order[g.first]];
        const std::string serial = certificates::serialText(c.serial);
        w.text(0, serial + "/" + s.deductor.financialYear, st.text);
        w.text(1, serial + ".xls", st.text);
        w.text(2, s.text(p.pan), st.text);
        w.text(3, s.text(p.name), st.text);
        w.text(4, s.text(p.section), st.text);
        w.text(5, s.challanOf(p).depositedOn, st.text);
        w.whole(6, c.totals.payments);
        amounts(w, 7, c.totals);
        w.text(10, c.annexure ? "Yes" : "No", st.text);
        w.next();
    }
    if (first + count < written.size())
        return;
    PaymentSums total;
    for (const certificates::WrittenCertificate& c : written)
        total.add(c.totals);
    w.text(0, "Total", st.totalText);
    w.whole(6, total.payments, true);
    amounts(w, 7, total, true);
}

void writeChallans(Sheet& sheet, const Styles& st, const RegisterRun& run, const Reconciliation& r)
{
    SheetWriter w(sheet, st);
    heading(w, st, run, "Challans of the statement");
    w.headings({{"Line", 7}, {"Challan No.", 11}, {"BSR code", 10}, {"Date of deposit", 11},
                {"Deposit (CD 27)", 13}, {"Stated tax deposited (CD 29)", 13}, {"Stated TDS (CD 30)", 13},
                {"Stated surcharge (CD 31)", 13}, {"Stated cess (CD 32)", 13}, {"Stated tax deducted (CD 33)", 13},
                {"Records: tax deposited (DD 19)", 13}, {"Records: TDS (DD 14)", 13}, {"Records: surcharge (DD 15)", 13},
                {"Records: cess (DD 16)", 13}, {"Records: tax deducted (DD 17)", 13},
                {"Certificates: tax deposited", 13}, {"Certificates: tax deducted", 13}, {"Reconciliation", 30}});
    for (const ChallanReconciliation& c : r.challans) {
        const import::Challan& ch = *c.challan;
        w.whole(0, ch.line);
        w.text(1, ch.challanNumber, st.text);
        w.text(2, ch.bsrCode, st.text);
        w.text(3, ch.depositedOn, st.text);
        w.stated(4, ch.deposit);
        w.stated(5, ch.statedDeposited);
        w.stated(6, ch.statedTds);
        w.stated(7, ch.statedSurcharge);
        w.stated(8, ch.statedCess);
        w.stated(9, ch.statedDeducted);
        w.amount(10, c.records.deposited);
        w.amount(11, c.records.tds);
        w.amount(12, c.records.surcharge);
        w.amount(13, c.records.cess);
        w.amount(14, c.recordsDeducted);
        w.amount(15, c.certificates.deposited);
        w.amount(16, c.certificates.deducted());
        std::string said;
        for (const std::string& d : c.statedDifferences)
            said += (said.empty() ? "" : "; ") + d;
        w.text(17, said.empty() ? "agrees" : said, st.note); // a long difference wraps
        w.next();
    }
}

void writeSections(Sheet& sheet, const Styles& st, const RegisterRun& run)
{
    const Statement& s = *run.statement;
    std::map<std::string, std::pair<PaymentSums, PaymentSums>> bySection; // statement, certificates
    for (const Payment& p : s.payments)
        bySection[std::string(s.text(p.section))].first.add(p.amountPaid, p.tds, p.surcharge, p.cess, p.taxDeposited);
    for (const certificates::WrittenCertificate& c : run.made->written) {
        const Payment& p = s.payments[run.plan->order[run.plan->groups[c.group].first]];
        bySection[std::string(s.text(p.section))].second.add(c.totals);
    }
    SheetWriter w(sheet, st);
    heading(w, st, run, "Sections");
    w.headings({{"Section", 9}, {"Statement: payments", 11}, {"Statement: amount paid", 15},
                {"Statement: tax deducted", 14}, {"Statement: tax deposited", 14}, {"Certificates: payments", 11},
                {"Certificates: amount paid", 15}, {"Certificates: tax deducted", 14},
                {"Certificates: tax deposited", 14}});
    for (const auto& [section, sums] : bySection) {
        w.text(0, section, st.text);
        w.whole(1, sums.first.payments);
        amounts(w, 2, sums.first);
        w.whole(5, sums.second.payments);
        amounts(w, 6, sums.second);
        w.next();
    }
}

void compareWritten(std::vector<std::string>& out, const std::string& where, const PaymentSums& records,
                    const PaymentSums& written, std::int64_t slack)
{
    auto off = [&](std::int64_t a, std::int64_t b) { return std::llabs(a - b) > slack; };
    if (records.payments != written.payments || off(records.amountPaid, written.amountPaid) ||
        off(records.tds, written.tds) || off(records.surcharge, written.surcharge) || off(records.cess, written.cess) ||
        off(records.deposited, written.deposited))
        out.push_back(where + ": the certificates carry " + std::to_string(written.payments) +
                      " payments, tax deposited Rs. " + rupees(written.deposited) + ", the statement's records " +
                      std::to_string(records.payments) + " payments, Rs. " + rupees(records.deposited));
}

} // namespace

Reconciliation reconcile(const RegisterRun& run)
{
    const Statement& s = *run.statement;
    Reconciliation r;
    r.challans.resize(s.challans.size());
    for (std::size_t c = 0; c < s.challans.size(); ++c) {
        r.challans[c].challan = &s.challans[c];
        r.challans[c].certificates = run.made->byChallan[c];
    }
    const std::vector<import::ChallanSums> sums = import::sumChallans(s);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        ChallanReconciliation& c = r.challans[i];
        c.records = sums[i].records;
        c.recordsDeducted = sums[i].recordsDeducted;
        r.records.add(c.records);
        // "tax deposited (CD 29) Rs. 5,000.00, its records Rs. 5,150.00"
        for (const import::StatedDifference& d : sums[i].differences)
            c.statedDifferences.push_back(std::string(d.what) + " (CD " + std::to_string(d.field) + ") Rs. " +
                                          rupees(d.stated) + ", its records Rs. " + rupees(d.records));
    }
    for (ChallanReconciliation& c : r.challans) {
        const import::Challan& ch = *c.challan;
        compareWritten(r.certificateDifferences,
                       "Line " + std::to_string(ch.line) + ", challan " + std::to_string(ch.serial), c.records,
                       c.certificates, 0);
    }
    for (const certificates::WrittenCertificate& c : run.made->written)
        r.certificates.add(c.totals);
    // A totals row adds up the rows' amounts before they are rounded to paise: half a paisa a
    // row apart at most.
    compareWritten(r.certificateDifferences, "In all", r.records, r.certificates,
                   static_cast<std::int64_t>(s.payments.size() / 2 + run.made->written.size()));
    return r;
}

void writeRegister(const std::filesystem::path& file, const RegisterRun& run, const Reconciliation& r)
{
    Workbook wb;
    const Styles styles(wb);
    // A new sheet goes in front of the active one: the last made is the first.
    writeSections(wb.addSheet("Sections"), styles, run);
    writeChallans(wb.addSheet("Challans"), styles, run, r);
    // More certificates than a sheet holds go on further sheets: "Certificates (2)" and on.
    const std::size_t count = run.made->written.size();
    const std::size_t sheets = std::max<std::size_t>(1, (count + kCertificatesPerSheet - 1) / kCertificatesPerSheet);
    for (std::size_t n = sheets; n-- > 0;) {
        const std::size_t first = n * kCertificatesPerSheet;
        writeCertificates(wb.addSheet(core::registerCertificatesSheet(static_cast<int>(n))), styles,
                          run, first, std::min(kCertificatesPerSheet, count - first));
    }
    try {
        wb.save(file, host::SaveMode::NewFile, run.writer);
    } catch (const host::Error& e) {
        throw core::Failure("The register " + core::pathText(file.parent_path().filename() / file.filename()) +
                                " could not be saved (" + e.message() +
                                "). Form16A keeps the certificates of the last complete run.",
                            core::kErrorTitle);
    }
}

std::string summaryLine(const RegisterRun& run, const Reconciliation& r)
{
    const std::size_t count = run.made->written.size();
    std::string line = std::string(kRegisterFile) + ": " + grouped(count) + (count == 1 ? " certificate" : " certificates") +
                       ", tax deposited Rs. " + rupees(r.certificates.deposited) +
                       ", equal to the statement's deductee records.";
    std::string differences;
    int named = 0, more = 0;
    for (const ChallanReconciliation& c : r.challans) {
        if (c.statedDifferences.empty())
            continue;
        if (named == 5) {
            ++more;
            continue;
        }
        std::string what;
        for (const std::string& d : c.statedDifferences)
            what += (what.empty() ? "" : ", ") + d;
        differences += std::string(named ? "; " : "") + "line " + std::to_string(c.challan->line) + ", challan " +
                       std::to_string(c.challan->serial) + ": " + what;
        ++named;
    }
    if (named)
        line += " The statement's own sums differ from its deductee records: " + differences +
                (more ? "; and " + std::to_string(more) + " more challans (see the register)" : "") + ".";
    return line;
}

} // namespace cw::reg
