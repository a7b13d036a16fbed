#include "check/StatementCheck.h"

#include "host/General.h"
#include "import/RecordSums.h"
#include "import/StatementDate.h"
#include "import/StatementError.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace cw::check {

using import::LineFields;
using import::paise;
using import::Payment;
using import::rupees;
using import::Statement;

namespace {

constexpr int kFileHeaderLine = 1;
constexpr int kFileCreatedOn = 5; // FH 5
constexpr const char* kHolderTypes = "PCHFATBLJG";

bool letters(std::string_view t) { return std::all_of(t.begin(), t.end(), [](char c) { return c >= 'A' && c <= 'Z'; }); }
bool digits(std::string_view t) { return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }); }

std::string inQuotes(std::string_view t) { return "\"" + std::string(t) + "\""; }

// Percent of an amount in paise, unrounded.
double percentOf(std::int64_t amount, double percent) { return static_cast<double>(amount) * percent / 100.0; }

// Walks the statement once, adding a finding wherever a record is wrong.
class Checker {
public:
    Checker(const import::StatementText& text, const Statement& s, CheckResult& out)
        : m_text(text), m_s(s), m_out(out), m_df(s.layout->deductee), m_cf(s.layout->challan)
    {
    }

    void run()
    {
        checkDeductor();
        const std::vector<import::ChallanSums> sums = import::sumChallans(m_s);
        m_out.interestByChallan.resize(m_s.challans.size());
        for (std::size_t c = 0; c < m_s.challans.size(); ++c) {
            checkChallan(m_s.challans[c], sums[c]);
            m_out.challanLines.push_back(m_s.challans[c].line);
        }
        for (const Payment& p : m_s.payments) {
            checkPayment(p);
            m_out.totalDeducted += paise(p.totalDeducted);
        }
        std::stable_sort(m_out.findings.begin(), m_out.findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        for (const Finding& f : m_out.findings)
            ++(f.severity == Severity::Error ? m_out.errors : m_out.warnings);
    }

private:
    void add(int line, int field, Severity severity, std::string message, const Payment* p = nullptr)
    {
        Finding f{line, field, {}, {}, severity, std::move(message)};
        if (p) {
            f.pan = std::string(m_s.text(p->pan));
            f.name = std::string(m_s.text(p->name));
        }
        m_out.findings.push_back(std::move(f));
    }

    void checkDeductor()
    {
        const import::Deductor& d = m_s.deductor;
        const std::string& tan = d.tan;
        if (!(tan.size() == 10 && letters(tan.substr(0, 4)) && digits(tan.substr(4, 5)) && letters(tan.substr(9))))
            add(d.line, import::kBatchHeader.tan, Severity::Error,
                "The TAN " + inQuotes(tan) + " is not four letters, five digits and a letter.");
        const LineFields header = m_text.line(kFileHeaderLine);
        m_created = dottedDay(import::statementDateText(header[kFileCreatedOn]));
        if (!m_created)
            add(kFileHeaderLine, kFileCreatedOn, Severity::Error,
                "The file's date of creation " + inQuotes(header[kFileCreatedOn]) + " is not a calendar date.");
        m_quarter = quarterNumber(d.quarter);
        if (!m_quarter)
            add(d.line, import::kBatchHeader.quarter, Severity::Error,
                "The quarter " + inQuotes(d.quarter) + " is not Q1, Q2, Q3 or Q4.");
    }

    // A date as written in field `field`; an error when it is no calendar date or later than
    // the file's creation.
    std::optional<Day> date(int line, const LineFields& f, int field, const char* what, const Payment* p = nullptr)
    {
        const std::string_view written = f[field];
        if (written.empty())
            return std::nullopt;
        const std::optional<Day> day = dottedDay(import::statementDateText(written));
        if (!day)
            add(line, field, Severity::Error, std::string("The ") + what + " " + inQuotes(written) + " is not a calendar date.", p);
        else if (m_created && *day > *m_created)
            add(line, field, Severity::Error,
                std::string("The ") + what + " " + dottedText(*day) + " is later than the file's creation on " +
                    dottedText(*m_created) + ".",
                p);
        return day;
    }

    // An amount as written: two decimals, not negative. An empty field states none.
    void amount(int line, const LineFields& f, int field, const char* what, const Payment* p = nullptr)
    {
        const std::string_view t = f[field];
        if (t.empty())
            return;
        const bool negative = t.front() == '-';
        const std::string_view unsigned_ = negative ? t.substr(1) : t;
        const std::size_t point = unsigned_.find('.');
        if (negative)
            add(line, field, Severity::Error, std::string("The ") + what + " " + inQuotes(t) + " is negative.", p);
        else if (point == std::string_view::npos || point == 0 || unsigned_.size() - point != 3 ||
                 !digits(unsigned_.substr(0, point)) || !digits(unsigned_.substr(point + 1)))
            add(line, field, Severity::Error, std::string("The ") + what + " " + inQuotes(t) + " does not have two decimals.", p);
    }

    void checkChallan(const import::Challan& c, const import::ChallanSums& sums)
    {
        const LineFields f = m_text.line(c.line);
        date(c.line, f, m_cf.depositDate, "date of deposit");
        const std::pair<int, const char*> amounts[] = {
            {m_cf.deposit, "challan's deposit"},        {m_cf.statedDeposited, "stated tax deposited"},
            {m_cf.statedTds, "stated TDS"},             {m_cf.statedSurcharge, "stated surcharge"},
            {m_cf.statedCess, "stated cess"},           {m_cf.statedDeducted, "stated tax deducted"}};
        for (const auto& [field, what] : amounts)
            amount(c.line, f, field, what);
        for (const import::StatedDifference& d : sums.differences)
            add(c.line, d.field, Severity::Error,
                "Challan " + std::to_string(c.serial) + " states " + d.what + " of Rs. " + rupees(d.stated) +
                    ", but its deductee records add up to Rs. " + rupees(d.records) + ".");
        if (c.deposit && sums.records.deposited > paise(*c.deposit))
            add(c.line, m_cf.deposit, Severity::Error,
                "The deductee records of challan " + std::to_string(c.serial) + " consume Rs. " +
                    rupees(sums.records.deposited) + ", more than its deposit of Rs. " + rupees(paise(*c.deposit)) + ".");
    }

    void checkPan(const Payment& p)
    {
        const std::string_view pan = m_s.text(p.pan);
        if (pan == "PANAPPLIED" || pan == "PANINVALID" || pan == "PANNOTAVBL") {
            add(p.line, m_df.pan, Severity::Warning,
                "The deductee has no valid PAN (" + std::string(pan) + "): tax is due at the higher rate.", &p);
            return;
        }
        const bool form = pan.size() == 10 && letters(pan.substr(0, 5)) && digits(pan.substr(5, 4)) && letters(pan.substr(9));
        if (!form)
            add(p.line, m_df.pan, Severity::Error,
                "The PAN " + inQuotes(pan) + " is not five letters, four digits and a letter.", &p);
        else if (std::string_view(kHolderTypes).find(pan[3]) == std::string_view::npos)
            add(p.line, m_df.pan, Severity::Error,
                "The PAN " + inQuotes(pan) + " has " + inQuotes(pan.substr(3, 1)) +
                    " as its fourth letter, which is no type of holder (P C H F A T B L J G).",
                &p);
    }

    void checkPayment(const Payment& p)
    {
        const LineFields f = m_text.line(p.line);
        checkPan(p);
        const std::pair<int, const char*> amounts[] = {
            {m_df.amountPaid, "amount paid"}, {m_df.incomeTax, "TDS"},           {m_df.surcharge, "surcharge"},
            {m_df.cess, "cess"},              {m_df.totalDeducted, "tax deducted"}, {m_df.taxDeposited, "tax deposited"}};
        for (const auto& [field, what] : amounts)
            amount(p.line, f, field, what, &p);
        const std::int64_t deducted = paise(p.totalDeducted), deposited = paise(p.taxDeposited);
        const std::int64_t parts = paise(p.tds) + paise(p.surcharge) + paise(p.cess);
        if (parts != deducted)
            add(p.line, m_df.totalDeducted, Severity::Error,
                "TDS, surcharge and cess add up to Rs. " + rupees(parts) + ", but the tax deducted is Rs. " +
                    rupees(deducted) + ".",
                &p);
        if (deposited > deducted)
            add(p.line, m_df.taxDeposited, Severity::Error,
                "The tax deposited, Rs. " + rupees(deposited) + ", is more than the tax deducted, Rs. " + rupees(deducted) + ".",
                &p);

        const std::optional<Day> paidOn = date(p.line, f, m_df.paidOn, "date of payment or credit", &p);
        const std::optional<Day> deductedOn = date(p.line, f, m_df.deductedOn, "date of deduction", &p);
        if (paidOn && m_quarter) {
            const Day first = quarterStart(m_s.deductor.firstYear, *m_quarter),
                      last = quarterEnd(m_s.deductor.firstYear, *m_quarter);
            if (*paidOn < first || last < *paidOn)
                add(p.line, m_df.paidOn, Severity::Error,
                    "The date of payment or credit " + dottedText(*paidOn) + " is outside the statement's quarter, " +
                        dottedText(first) + " to " + dottedText(last) + ".",
                    &p);
        }
        if (deducted > 0 && f[m_df.deductedOn].empty())
            add(p.line, m_df.deductedOn, Severity::Error, "Tax is deducted, but the record gives no date of deduction.", &p);
        checkRate(p, f, deducted);
        checkTwice(p);
        if (deductedOn)
            addInterest(p, paidOn, *deductedOn);
    }

    void checkRate(const Payment& p, const LineFields& f, std::int64_t deducted)
    {
        const std::string_view rateText = f[m_df.rate];
        if (rateText.empty())
            return;
        const std::optional<double> rate = host::parseNumber(rateText);
        if (!rate || !std::isfinite(*rate) || *rate < 0) {
            add(p.line, m_df.rate, Severity::Error, "The rate of deduction " + inQuotes(rateText) + " is not a number.", &p);
            return;
        }
        const std::int64_t due = std::llround(percentOf(paise(p.amountPaid), *rate));
        if (std::llabs(due - deducted) > 100)
            add(p.line, m_df.totalDeducted, Severity::Warning,
                std::string(deducted < due ? "Short" : "Excess") + " deduction: Rs. " + rupees(deducted) +
                    " deducted, but " + host::numberToText(*rate) + " % of Rs. " + rupees(paise(p.amountPaid)) +
                    " is Rs. " + rupees(due) + ".",
                &p);
    }

    void checkTwice(const Payment& p)
    {
        const auto key = std::make_tuple(p.pan, paise(p.amountPaid), p.paidOn, p.deductedOn, p.section);
        const auto [first, added] = m_seen.emplace(key, p.line);
        if (!added)
            add(p.line, 0, Severity::Warning,
                "The record is the same in PAN, amount, dates and section as line " + std::to_string(first->second) +
                    ": the payment may be entered twice.",
                &p);
    }

    void addInterest(const Payment& p, const std::optional<Day>& paidOn, const Day& deductedOn)
    {
        const import::Challan& c = m_s.challanOf(p);
        InterestRow row;
        if (paidOn && *paidOn < deductedOn) {
            row.deductionMonths = monthsCounted(*paidOn, deductedOn);
            row.deductionExact = percentOf(paise(p.totalDeducted), row.deductionMonths * 1.0);
            row.deduction = std::llround(row.deductionExact / 100.0) * 100;
        }
        const std::optional<Day> depositedOn = dottedDay(c.depositedOn);
        const Day due = depositDueDate(deductedOn);
        if (depositedOn && due < *depositedOn) {
            row.depositMonths = monthsCounted(deductedOn, *depositedOn);
            row.depositExact = percentOf(paise(p.taxDeposited), row.depositMonths * 1.5);
            row.deposit = std::llround(row.depositExact / 100.0) * 100;
        }
        if (!row.deductionMonths && !row.depositMonths)
            return;
        row.line = p.line;
        row.challan = c.serial;
        row.pan = std::string(m_s.text(p.pan));
        row.name = std::string(m_s.text(p.name));
        row.section = std::string(m_s.text(p.section));
        row.paidOn = std::string(m_s.text(p.paidOn));
        row.deductedOn = dottedText(deductedOn);
        row.depositedOn = c.depositedOn;
        row.depositDue = dottedText(due);
        if (row.deductionMonths)
            add(p.line, m_df.deductedOn, Severity::Warning,
                "Tax deducted on " + row.deductedOn + ", after the payment or credit on " + row.paidOn +
                    ": interest for late deduction, " + std::to_string(row.deductionMonths) + " months at 1 %, Rs. " +
                    rupees(row.deduction) + ".",
                &p);
        if (row.depositMonths)
            add(p.line, m_df.deductedOn, Severity::Warning,
                "Tax deducted on " + row.deductedOn + " was deposited on " + row.depositedOn + ", after its due date " +
                    row.depositDue + ": interest for late deposit, " + std::to_string(row.depositMonths) +
                    " months at 1.5 %, Rs. " + rupees(row.deposit) + ".",
                &p);
        for (InterestTotal* t : {&m_out.interestByChallan[p.challan], &m_out.interestTotal}) {
            t->deduction += row.deduction;
            t->deposit += row.deposit;
            t->deductionExact += row.deductionExact;
            t->depositExact += row.depositExact;
        }
        m_out.interest.push_back(std::move(row));
    }

    const import::StatementText& m_text;
    const Statement& m_s;
    CheckResult& m_out;
    const import::DeducteeFields& m_df;
    const import::ChallanFields& m_cf;
    std::optional<Day> m_created;
    std::optional<int> m_quarter;
    std::map<std::tuple<import::TextId, std::int64_t, import::TextId, import::TextId, import::TextId>, int> m_seen;
};

} // namespace

std::optional<int> quarterNumber(std::string_view text)
{
    if (text.size() == 2 && text[0] == 'Q' && text[1] >= '1' && text[1] <= '4')
        return text[1] - '0';
    return std::nullopt;
}

LateFee lateFee(int firstYear, int quarter, std::int64_t totalDeducted, const Day& filedOn, FiledBy filedBy)
{
    LateFee fee;
    fee.filedOn = filedOn;
    fee.filedBy = filedBy;
    fee.due = statementDueDate(firstYear, quarter);
    if (!fee.due)
        return fee;
    // Rs. 200 for every day the default continues, from the day after the due date.
    fee.daysLate = std::max(0L, filedOn.serial() - fee.due->serial());
    fee.fee = static_cast<std::int64_t>(fee.daysLate) * 20000;
    if (fee.fee > totalDeducted) {
        fee.fee = std::max<std::int64_t>(totalDeducted, 0);
        fee.capped = true;
    }
    return fee;
}

CheckResult checkStatement(const import::StatementText& text, const Statement& statement, const CheckOptions& options)
{
    CheckResult out;
    out.statementName = text.shownName();
    out.deductor = statement.deductor;
    Checker(text, statement, out).run();
    countFeeTo(out, options.filedOn, options.filedBy);
    return out;
}

void countFeeTo(CheckResult& r, const Day& filedOn, FiledBy filedBy)
{
    if (const std::optional<int> q = quarterNumber(r.deductor.quarter))
        r.fee = lateFee(r.deductor.firstYear, *q, r.totalDeducted, filedOn, filedBy);
    else
        r.fee = LateFee{std::nullopt, filedOn, filedBy};
}

CheckResult checkStatementFile(const std::filesystem::path& file, const CheckOptions& options)
{
    const import::StatementText text = import::StatementText::read(file);
    const import::StatementKind kind = import::statementKind(text);
    if (const std::optional<std::string> refusal = import::otherFormRefusal(kind))
        throw import::StatementError(kind.batchLine, *refusal);
    const Statement statement = import::readStatement(text, import::Dates::Keep);
    return checkStatement(text, statement, options);
}

} // namespace cw::check
