#include "import/Statement.h"

#include "host/General.h"
#include "import/SheetCells.h"
#include "import/StatementDate.h"
#include "import/StatementError.h"

#include <algorithm>
#include <cmath>

namespace cw::import {

namespace {

constexpr int kBatchLine = 2;
constexpr int kFileHeaderLine = 1;
constexpr int kFileCreatedOn = 5; // FH 5
// An amount a certificate prints: a cell shows up to 15 significant digits, and two of them are
// the paise.
constexpr double kLargestAmount = 1e13;
constexpr std::size_t kPanLength = 10;

// "1 deductee record", "2 deductee records".
std::string counted(long long n, const std::string& what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string follow(long long n) { return std::to_string(n) + (n == 1 ? " follows." : " follow."); }

// "2024-25" for 2024.
std::string yearText(int firstYear)
{
    const int next = (firstYear + 1) % 100;
    return std::to_string(firstYear) + (next < 10 ? "-0" : "-") + std::to_string(next);
}

// "200708" -> "2007-08"; a shorter value gives what it has ("" -> "-").
std::string yearField(std::string_view t)
{
    return std::string(utf8Mid(t, 0, 4)) + "-" + std::string(utf8Mid(t, 4, 2));
}

// The first calendar year of a financial year written "yyyyyy" ("202425"), or nothing.
std::optional<int> financialYear(std::string_view text)
{
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int first = std::stoi(std::string(text.substr(0, 4)));
    if (std::stoi(std::string(text.substr(4))) != (first + 1) % 100)
        return std::nullopt;
    return first;
}

// Whether the dotted text of a statement date names a day of the calendar.
bool isCalendarDate(std::string_view dotted)
{
    const std::size_t a = dotted.find('.'), b = dotted.rfind('.');
    if (a == std::string_view::npos || a == b)
        return false;
    auto number = [](std::string_view s) {
        int n = 0;
        if (s.empty())
            return -1;
        for (char c : s) {
            if (c < '0' || c > '9')
                return -1;
            n = n * 10 + (c - '0');
        }
        return n;
    };
    const int day = number(dotted.substr(0, a)), month = number(dotted.substr(a + 1, b - a - 1)),
              year = number(dotted.substr(b + 1));
    return day > 0 && month > 0 && year >= 0 && dotted.size() - b - 1 == 4 && host::dateSerial(year, month, day);
}

// Reads the records of one statement, refusing at the first line that is wrong.
class RecordReader {
public:
    RecordReader(const StatementText& text, Statement& out, Dates dates) : m_text(text), m_out(out), m_dates(dates) {}

    void run()
    {
        const LineFields batch = m_text.line(kBatchLine);
        if (batch.type() != "BH")
            refuse(kBatchLine, " is not a batch header record (BH).");
        chooseLayout(batch);
        requireFields(kBatchLine, batch, "batch header", fieldsNeeded(kBatchHeader));
        readDeductor(batch);
        const long long challansCounted =
            count(kBatchLine, batch, kBatchHeader.challanCount, "the batch header's count of challan records");

        int blankSince = 0; // a run of blank lines, allowed only at the end
        m_text.forEachLine([&](int line, const LineFields& f) {
            if (line <= kBatchLine)
                return true;
            if (f.blank()) {
                if (!blankSince)
                    blankSince = line;
                return true;
            }
            if (blankSince)
                refuse(blankSince, " is not a challan or deductee record.");
            if (f.type() == "CD")
                startChallan(line, f);
            else if (f.type() == "DD")
                addPayment(line, f);
            else
                refuse(line, " is not a challan or deductee record.");
            return true;
        });
        endChallan();
        const auto challans = static_cast<long long>(m_out.challans.size());
        if (challans != challansCounted)
            refuse(kBatchLine, ": the batch header counts " + counted(challansCounted, "challan record") + ", but " +
                                   follow(challans));
    }

private:
    [[noreturn]] void refuse(int line, const std::string& what) const
    {
        throw StatementError(line, "Line " + std::to_string(line) + " of " + m_text.shownName() + what);
    }
    [[noreturn]] void refuseField(int line, const LineFields& f, int number, const std::string& label,
                                  const std::string& problem) const
    {
        refuse(line, ": " + label + " \"" + fieldForMessage(f[number]) + "\" (field " + std::to_string(number) + ") " +
                         problem + ".");
    }

    void chooseLayout(const LineFields& batch)
    {
        const std::string_view yearText_ = batch[kBatchHeader.financialYear];
        const std::optional<int> year = financialYear(yearText_);
        if (!year)
            refuse(kBatchLine, ": \"" + fieldForMessage(yearText_) + "\" is not a financial year such as 202425.");
        for (const StatementLayout* l : kForm26QLayouts)
            if (*year >= l->firstYear && *year <= l->lastYear)
                m_out.layout = l;
        if (!m_out.layout)
            refuse(kBatchLine, ": Certwright reads Form 26Q statements of the financial years " +
                                   yearText(kForm26QLayouts.front()->firstYear) + " to " +
                                   yearText(kForm26QLayouts.back()->lastYear) + ", not " + yearText(*year) + ".");
        m_out.deductor.firstYear = *year;
    }

    void requireFields(int line, const LineFields& f, const char* record, int needed) const
    {
        const auto fields = static_cast<long long>(f.count());
        if (fields < needed)
            refuse(line, ": the " + std::string(record) + " record has " + counted(fields, "field") +
                             "; Certwright reads up to field " + std::to_string(needed) + ".");
    }

    // A count of records: a whole number (an empty field counts none).
    long long count(int line, const LineFields& f, int number, const std::string& what) const
    {
        const std::string_view t = f[number];
        const std::optional<double> n = t.empty() ? std::optional<double>(0.0) : host::parseNumber(t);
        if (!n || *n < 0 || *n > 1e15 || std::floor(*n) != *n)
            refuse(line, ": " + what + " \"" + fieldForMessage(t) + "\" is not a whole number.");
        return static_cast<long long>(*n);
    }

    // A text that goes into a certificate's cell as written: it must fit the cell.
    std::string cellText(int line, const LineFields& f, int number, const std::string& label) const
    {
        const std::string_view t = f[number];
        if (clipToCell(t).size() < t.size())
            refuse(line, ": " + label + " (field " + std::to_string(number) + ") is " + std::to_string(utf8Length(t)) +
                             " characters long, more than the " + std::to_string(kMaxCellChars) +
                             " a certificate's cell holds.");
        return std::string(t);
    }

    std::string pan(int line, const LineFields& f, int number, const std::string& label) const
    {
        if (utf8Length(f[number]) > kPanLength)
            refuseField(line, f, number, label, "is longer than the 10 characters of a PAN");
        return std::string(f[number]);
    }

    // A date as the certificate prints it: dd.mm.yyyy, or nothing when the statement has none.
    std::string date(int line, const LineFields& f, int number, const std::string& label) const
    {
        const std::string_view t = f[number];
        std::string dotted = statementDateText(t);
        if (m_dates == Dates::Refuse && !t.empty() && !isCalendarDate(dotted))
            refuseField(line, f, number, label, "is not a calendar date");
        return dotted;
    }

    // An amount: a number a certificate can print truthfully; an empty field is nought.
    double amount(int line, const LineFields& f, int number, const std::string& label) const
    {
        const std::string_view t = f[number];
        if (t.empty())
            return 0.0;
        const std::optional<double> n = host::parseNumber(t);
        if (!n || !std::isfinite(*n))
            refuseField(line, f, number, label, "is not a number");
        if (std::fabs(*n) >= kLargestAmount)
            refuseField(line, f, number, label, "has more than 13 digits before the decimal point");
        return *n;
    }

    // An amount the statement may leave unstated.
    std::optional<double> statedAmount(const LineFields& f, int number) const
    {
        const std::string_view t = f[number];
        if (t.empty())
            return std::nullopt;
        std::optional<double> n = host::parseNumber(t);
        return n && std::isfinite(*n) ? n : std::nullopt;
    }

    void readDeductor(const LineFields& b)
    {
        const BatchHeaderFields& h = kBatchHeader;
        Deductor& d = m_out.deductor;
        d.line = kBatchLine;
        d.name = cellText(kBatchLine, b, h.name, "the deductor's name");
        // Empty parts keep their place: "a,b,,,e,f,".
        for (int field = h.addressFirst; field <= h.addressLast; ++field)
            d.address += (field > h.addressFirst ? "," : "") + std::string(b[field]);
        if (clipToCell(d.address).size() < d.address.size())
            refuse(kBatchLine, ": the deductor's address (fields " + std::to_string(h.addressFirst) + " to " +
                                   std::to_string(h.addressLast) + ") is longer than a certificate's cell holds.");
        d.tan = cellText(kBatchLine, b, h.tan, "the deductor's TAN");
        d.pan = pan(kBatchLine, b, h.pan, "the deductor's PAN");
        d.personResponsible = cellText(kBatchLine, b, h.personResponsible, "the name of the person responsible");
        d.designation = cellText(kBatchLine, b, h.designation, "the designation of the person responsible");
        d.placeOfIssue = std::string(b[h.placeOfIssue]);
        d.formType = std::string(b[h.formType]);
        d.financialYear = yearField(b[h.financialYear]);
        d.assessmentYear = yearField(b[h.assessmentYear]);
        d.quarter = std::string(b[h.quarter]);
        d.fileCreatedOn = std::string(m_text.line(kFileHeaderLine)[kFileCreatedOn]);
    }

    void startChallan(int line, const LineFields& f)
    {
        endChallan();
        const ChallanFields& cf = m_out.layout->challan;
        requireFields(line, f, "challan", fieldsNeeded(cf));
        m_countedPayments = count(line, f, cf.deducteeCount, "the challan's count of deductee records");
        Challan c;
        c.line = line;
        c.serial = static_cast<int>(m_out.challans.size()) + 1;
        c.challanNumber = cellText(line, f, cf.challanNumber, "the challan number");
        c.bsrCode = cellText(line, f, cf.bsrCode, "the BSR code");
        c.depositedOn = date(line, f, cf.depositDate, "the date of deposit");
        c.section = cellText(line, f, cf.section, "the section");
        c.chequeNumber = cellText(line, f, cf.chequeNumber, "the cheque number");
        c.deposit = statedAmount(f, cf.deposit);
        c.statedDeposited = statedAmount(f, cf.statedDeposited);
        c.statedTds = statedAmount(f, cf.statedTds);
        c.statedSurcharge = statedAmount(f, cf.statedSurcharge);
        c.statedCess = statedAmount(f, cf.statedCess);
        c.statedDeducted = statedAmount(f, cf.statedDeducted);
        c.firstPayment = static_cast<std::uint32_t>(m_out.payments.size());
        m_out.challans.push_back(std::move(c));
        m_sectionId = m_out.texts.intern(m_out.challans.back().section);
    }

    void endChallan() const
    {
        if (m_out.challans.empty())
            return;
        const Challan& c = m_out.challans.back();
        if (c.paymentCount != m_countedPayments)
            refuse(c.line, ": challan " + std::to_string(c.serial) + " counts " +
                               counted(m_countedPayments, "deductee record") + ", but " + follow(c.paymentCount));
    }

    void addPayment(int line, const LineFields& f)
    {
        if (m_out.challans.empty())
            refuse(line, ": a deductee record before any challan.");
        const DeducteeFields& df = m_out.layout->deductee;
        requireFields(line, f, "deductee", fieldsNeeded(df));
        Payment p;
        p.line = line;
        p.challan = static_cast<std::uint32_t>(m_out.challans.size() - 1);
        // Amounts are checked first, in the order of the certificate's columns.
        p.amountPaid = amount(line, f, df.amountPaid, "Amt Paid");
        p.tds = amount(line, f, df.incomeTax, "TDS");
        p.surcharge = amount(line, f, df.surcharge, "SC");
        p.cess = amount(line, f, df.cess, "Ecess");
        p.taxDeposited = amount(line, f, df.taxDeposited, "Total Tax Deposited");
        p.totalDeducted = amount(line, f, df.totalDeducted, "Total Tax Deducted");
        p.name = m_out.texts.intern(cellText(line, f, df.name, "the deductee's name"));
        p.pan = m_out.texts.intern(pan(line, f, df.pan, "the deductee's PAN"));
        // A payment's own section, where the layout has one and it is given, else the challan's.
        const std::string_view own = df.section ? f[df.section] : std::string_view();
        p.section = own.empty() ? m_sectionId : m_out.texts.intern(cellText(line, f, df.section, "the section"));
        p.paidOn = m_out.texts.intern(date(line, f, df.paidOn, "the date of payment or credit"));
        p.deductedOn = m_out.texts.intern(statementDateText(f[df.deductedOn]));
        m_out.payments.push_back(p);
        ++m_out.challans.back().paymentCount;
    }

    const StatementText& m_text;
    Statement& m_out;
    Dates m_dates;
    long long m_countedPayments = 0;
    TextId m_sectionId = 0;
};

} // namespace

StatementKind statementKind(const StatementText& text)
{
    // "Line 2 is not a batch header" would send the user looking for a record that is there.
    if (text.lineCount() == 1)
        throw StatementError(1, "The text file " + text.shownName() +
                                    " is a single line: its records are not on lines of their own, so the file has "
                                    "lost its line breaks, or it is no e-TDS statement. Please put a valid Form 26Q "
                                    "text file.");
    const LineFields batch = text.line(kBatchLine);
    if (batch.type() != "BH")
        throw StatementError(kBatchLine, "Line 2 of " + text.shownName() +
                                             " is not a batch header record (BH). Please put a valid Form 26Q text file.");
    return {std::string(batch[kBatchHeader.formType]), kBatchLine};
}

std::optional<std::string> otherFormRefusal(const StatementKind& kind)
{
    if (kind.formType == "26Q")
        return std::nullopt;
    if (kind.formType == "140")
        return std::string(core::kStatementFile) + " is a Form 140 statement. Certwright makes Form 16A certificates from Form 26Q "
               "statements, for the financial years up to " +
               yearText(kForm26QLayouts.back()->lastYear) + ".";
    return "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.";
}

Statement readStatement(const StatementText& text, Dates dates)
{
    Statement s;
    RecordReader(text, s, dates).run();
    return s;
}

} // namespace cw::import
