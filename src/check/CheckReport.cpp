#include "check/CheckReport.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/Workbook.h"
#include "import/RecordSums.h"

#include <cmath>
#include <cstdio>

namespace cw::check {

using host::Sheet;
using host::Value;
using host::Workbook;
using import::rupees;

namespace {

// "Rs. 1,234 (unrounded 1,234.40)".
std::string interestText(std::int64_t rounded, double exact)
{
    return "Rs. " + rupees(rounded) + " (unrounded " + rupees(std::llround(exact)) + ")";
}

std::string feeText(const LateFee& fee)
{
    if (!fee.due)
        return "not computed: no due date is known here for the statement's quarter";
    const char* by = fee.filedBy == FiledBy::Option              ? "filed on "
                     : fee.filedBy == FiledBy::AcknowledgementRegister ? "filed (acknowledgement register) on "
                                                                       : "if filed today, ";
    std::string text = "Rs. " + rupees(fee.fee) + ", " + by + slashedText(fee.filedOn) + ", ";
    if (!fee.daysLate)
        return text + "not after the due date " + slashedText(*fee.due);
    text += std::to_string(fee.daysLate) + (fee.daysLate == 1 ? " day" : " days") + " after the due date " +
            slashedText(*fee.due);
    return fee.capped ? text + " (at most the tax deducted)" : text;
}

struct Styles {
    std::uint16_t title, heading, text, whole, amount;

    explicit Styles(Workbook& wb)
    {
        auto xf = [&](bool bold, const char* format, bool wrap = false) {
            host::Xf x;
            x.parent = 0;
            if (bold) {
                host::Font f;
                f.weight = 700;
                x.font = wb.addFont(f);
            }
            x.numFmt = wb.addNumberFormat(format);
            x.wrap = wrap;
            return wb.addXf(x);
        };
        title = xf(true, "General");
        heading = xf(true, "General", true);
        text = xf(false, "@");
        whole = xf(false, "0");
        amount = xf(false, "#,##0.00");
    }
};

// Writes one row after another; every column holds one kind of value under one heading row,
// so a reader sorts and filters it as it is.
class Rows {
public:
    Rows(Sheet& sheet, const Styles& st) : m_sheet(sheet), m_st(st) {}
    Rows& text(std::string_view t) { return put(Value{std::string(t)}, m_st.text); }
    Rows& whole(long long n) { return put(Value{static_cast<double>(n)}, m_st.whole); }
    Rows& amount(double paise) { return put(Value{paise / 100.0}, m_st.amount); }
    Rows& skip() { ++m_col; return *this; }
    void headings(std::initializer_list<std::pair<const char*, double>> columns)
    {
        for (const auto& [caption, width] : columns) {
            m_sheet.setColumnWidth(m_col, m_col, width);
            put(Value{std::string(caption)}, m_st.heading);
        }
        next();
    }
    void next()
    {
        ++m_row;
        m_col = 0;
    }

private:
    Rows& put(Value v, std::uint16_t xf)
    {
        m_sheet.setCell(m_row, m_col++, host::Cell{std::move(v), xf});
        return *this;
    }
    Sheet& m_sheet;
    const Styles& m_st;
    int m_row = 0, m_col = 0;
};

void writeSummary(Sheet& sheet, const Styles& st, const CheckResult& r)
{
    Rows w(sheet, st);
    w.headings({{"Item", 32}, {"Value", 80}});
    for (const auto& [label, value] : summaryLines(r)) {
        w.text(label).text(value);
        w.next();
    }
    w.next();
    w.headings({{"Interest by challan", 32}, {"Line", 8}, {"Late deduction", 14}, {"Late deposit", 14}});
    for (std::size_t c = 0; c < r.interestByChallan.size(); ++c) {
        const InterestTotal& t = r.interestByChallan[c];
        w.text("Challan " + std::to_string(c + 1)).whole(r.challanLines.at(c)).amount(t.deduction).amount(t.deposit);
        w.next();
    }
}

void writeFindings(Sheet& sheet, const Styles& st, const CheckResult& r)
{
    Rows w(sheet, st);
    w.headings({{"Line", 7}, {"Field", 7}, {"Severity", 10}, {"PAN", 13}, {"Name", 30}, {"Finding", 100}});
    for (const Finding& f : r.findings) {
        w.whole(f.line);
        (f.field ? w.whole(f.field) : w.skip()).text(severityText(f.severity)).text(f.pan).text(f.name).text(f.message);
        w.next();
    }
}

void writeInterest(Sheet& sheet, const Styles& st, const CheckResult& r)
{
    Rows w(sheet, st);
    w.headings({{"Line", 7}, {"Challan", 8}, {"PAN", 13}, {"Name", 30}, {"Section", 8},
                {"Date of payment or credit", 12}, {"Date of deduction", 12}, {"Date of deposit", 12},
                {"Deposit due by", 12}, {"Late deduction: months", 10}, {"Late deduction: interest", 13},
                {"Late deduction: unrounded", 13}, {"Late deposit: months", 10}, {"Late deposit: interest", 13},
                {"Late deposit: unrounded", 13}});
    for (const InterestRow& i : r.interest) {
        w.whole(i.line).whole(i.challan).text(i.pan).text(i.name).text(i.section).text(i.paidOn).text(i.deductedOn);
        w.text(i.depositedOn).text(i.depositDue).whole(i.deductionMonths).amount(i.deduction).amount(i.deductionExact);
        w.whole(i.depositMonths).amount(i.deposit).amount(i.depositExact);
        w.next();
    }
}

} // namespace

std::string severityText(Severity s) { return s == Severity::Error ? "error" : "warning"; }

std::string placeText(const Finding& f)
{
    return "Line " + std::to_string(f.line) + (f.field ? ", field " + std::to_string(f.field) : std::string());
}

std::vector<std::pair<std::string, std::string>> summaryLines(const CheckResult& r)
{
    const InterestTotal& t = r.interestTotal;
    return {
        {"Deductor", r.deductor.name},
        {"TAN", r.deductor.tan},
        {"Financial year", r.deductor.financialYear},
        {"Quarter", r.deductor.quarter},
        {"Errors", std::to_string(r.errors)},
        {"Warnings", std::to_string(r.warnings)},
        {"Interest for late deduction (1 % a month)", interestText(t.deduction, t.deductionExact)},
        {"Interest for late deposit (1.5 % a month)", interestText(t.deposit, t.depositExact)},
        {"Fee for late filing (section 234E)", feeText(r.fee)},
        {"Total payable", "Rs. " + rupees(r.totalPayable()) + (r.fee.due ? "" : " (without the fee)")},
    };
}

void printCheck(const CheckResult& r, std::ostream& out)
{
    for (const Finding& f : r.findings) {
        out << placeText(f);
        if (!f.pan.empty() || !f.name.empty())
            out << " (" << f.pan << (f.pan.empty() || f.name.empty() ? "" : ", ") << f.name << ")";
        out << ": " << severityText(f.severity) << ": " << f.message << '\n';
    }
    if (r.findings.empty())
        out << "No mistakes found in " << r.statementName << ".\n";
    out << '\n';
    for (const auto& [label, value] : summaryLines(r))
        out << label << ": " << value << '\n';
}

void writeCheckReport(const std::filesystem::path& file, const CheckResult& r)
{
    Workbook wb;
    const Styles styles(wb);
    // A new sheet goes in front of the active one: the last made is the first.
    writeInterest(wb.addSheet("Interest"), styles, r);
    writeFindings(wb.addSheet("Findings"), styles, r);
    writeSummary(wb.addSheet("Summary"), styles, r);
    try {
        wb.save(file, host::SaveMode::Durable);
    } catch (const host::Error& e) {
        throw core::Failure("The report " + core::pathText(file) + " could not be saved (" + e.message() + ").",
                            core::kErrorTitle);
    }
}

} // namespace cw::check
