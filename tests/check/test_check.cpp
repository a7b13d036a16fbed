// The statement check over generated statements: one fault each gives its one finding; the
// interest on the worked examples; the fee around the due date and its cap; the command's exit
// statuses and a report five readers load.
#include "SyntheticStatement.h"
#include "TestSupport.h"

#include "app/cli/CheckCli.h"
#include "check/CheckReport.h"
#include "check/StatementCheck.h"
#include "import/Statement.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace cw;
using check::Day;
using check::Severity;

namespace {

// Two payments of Rs. 50,000 at 10 %, deducted in May and deposited by 7 June, stated and
// deposited exactly: nothing to find. The older layout keeps the section on the challan.
test::Statement cleanStatement(bool older = false)
{
    const std::string year = older ? "2012" : "2024";
    test::Statement s;
    s.finYear = older ? "201213" : "202425";
    s.assessYear = older ? "201314" : "202526";
    s.createdOn = "1007" + year;
    test::Challan c;
    c.date = "0706" + year;
    c.section = older ? "94C" : "";
    c.more = {{27, "10000.00"}, {29, "10000.00"}, {30, "10000.00"}, {31, "0.00"}, {32, "0.00"}, {33, "10000.00"}};
    test::Deductee d;
    d.amount = "50000.00", d.tds = "5000.00", d.sc = "0.00", d.cess = "0.00", d.total = "5000.00";
    d.deposited = "5000.00", d.creditedOn = d.deductedOn = "1505" + year, d.section = older ? "" : "94C";
    d.more = {{26, "10.0000"}};
    c.deductees = {d, d};
    c.deductees[1].name = "BETA LIMITED", c.deductees[1].pan = "AAACB5678K";
    s.challans = {c};
    return s;
}

check::CheckResult checked(const test::Statement& s, Day filedOn = {2024, 7, 20})
{
    const auto text = import::StatementText::fromBytes(s.text());
    return check::checkStatement(text, import::readStatement(text, import::Dates::Keep), {filedOn, check::FiledBy::Option});
}

std::string listed(const check::CheckResult& r)
{
    std::ostringstream out;
    check::printCheck(r, out);
    return out.str();
}

test::Deductee& first(test::Statement& s) { return s.challans[0].deductees[0]; }
void setMore(std::vector<std::pair<int, std::string>>& more, int field, std::string value)
{
    for (auto& [k, v] : more)
        if (k == field)
            v = value;
}

} // namespace

TEST(Check, ACleanStatementOfEitherLayoutGivesNoFinding)
{
    for (const bool older : {false, true}) {
        const check::CheckResult r = checked(cleanStatement(older));
        EXPECT_TRUE(r.findings.empty()) << listed(r);
        EXPECT_EQ(r.interestTotal.sum(), 0);
    }
}

TEST(Check, EachFaultGivesItsOneFinding)
{
    using S = test::Statement;
    const struct {
        const char* what;
        std::function<void(S&)> fault;
        int line, field;
        Severity severity;
    } cases[] = {
        {"PAN too short", [](S& s) { first(s).pan = "ABCP1234D"; }, 4, 10, Severity::Error},
        {"PAN of digits and letters mixed", [](S& s) { first(s).pan = "ABCPK12E4D"; }, 4, 10, Severity::Error},
        {"PAN of no holder type", [](S& s) { first(s).pan = "ABCXK1234D"; }, 4, 10, Severity::Error},
        {"PAN applied for", [](S& s) { first(s).pan = "PANAPPLIED"; }, 4, 10, Severity::Warning},
        {"PAN not available", [](S& s) { first(s).pan = "PANNOTAVBL"; }, 4, 10, Severity::Warning},
        {"PAN invalid", [](S& s) { first(s).pan = "PANINVALID"; }, 4, 10, Severity::Warning},
        {"TAN", [](S& s) { s.tan = "MUM123456B"; }, 2, 13, Severity::Error},
        {"no calendar date", [](S& s) { first(s).creditedOn = "30022024"; }, 4, 23, Severity::Error},
        {"deposit on no calendar date", [](S& s) { s.challans[0].date = "32062024"; }, 3, 18, Severity::Error},
        {"file created on no date", [](S& s) { s.createdOn = "31062024"; }, 1, 5, Severity::Error},
        {"deposited after the file was made", [](S& s) { s.createdOn = "01062024"; }, 3, 18, Severity::Error},
        {"paid outside the quarter", [](S& s) { first(s).creditedOn = "01072024"; }, 4, 23, Severity::Error},
        {"quarter", [](S& s) { s.quarter = "Q5"; }, 2, 18, Severity::Error},
        {"no date of deduction", [](S& s) { first(s).deductedOn = ""; }, 4, 24, Severity::Error},
        {"one decimal", [](S& s) { first(s).amount = "50000.0"; }, 4, 22, Severity::Error},
        {"no decimals", [](S& s) { first(s).tds = "5000"; }, 4, 14, Severity::Error},
        {"negative",
         [](S& s) { first(s).tds = "5010.00", first(s).sc = "-10.00", setMore(s.challans[0].more, 31, ""),
                    setMore(s.challans[0].more, 30, "10010.00"); },
         4, 15, Severity::Error},
        {"parts not the total",
         [](S& s) { first(s).total = "5000.50", setMore(s.challans[0].more, 33, "10000.50"); }, 4, 17, Severity::Error},
        {"deposited above deducted",
         [](S& s) { first(s).deposited = "5000.50", setMore(s.challans[0].more, 29, "10000.50"),
                    setMore(s.challans[0].more, 27, "10001.00"); },
         4, 19, Severity::Error},
        {"stated TDS", [](S& s) { setMore(s.challans[0].more, 30, "9000.00"); }, 3, 30, Severity::Error},
        {"stated tax deducted", [](S& s) { setMore(s.challans[0].more, 33, "10001.00"); }, 3, 33, Severity::Error},
        {"challan overdrawn", [](S& s) { setMore(s.challans[0].more, 27, "9999.00"); }, 3, 27, Severity::Error},
        {"short deduction", [](S& s) { first(s).more = {{26, "20.0000"}}; }, 4, 17, Severity::Warning},
        {"excess deduction", [](S& s) { first(s).more = {{26, "9.9970"}}; }, 4, 17, Severity::Warning},
        {"entered twice", [](S& s) { s.challans[0].deductees[1] = first(s); }, 5, 0, Severity::Warning},
    };
    for (const auto& c : cases) {
        test::Statement s = cleanStatement();
        c.fault(s);
        const check::CheckResult r = checked(s);
        ASSERT_EQ(r.findings.size(), 1u) << c.what << '\n' << listed(r);
        const check::Finding& f = r.findings[0];
        EXPECT_EQ(f.line, c.line) << c.what;
        EXPECT_EQ(f.field, c.field) << c.what;
        EXPECT_EQ(f.severity, c.severity) << c.what;
        EXPECT_EQ(r.errors, c.severity == Severity::Error ? 1 : 0) << c.what;
    }
}

TEST(Check, InterestCountsEveryMonthTouched)
{
    const struct {
        const char *paid, *deducted, *deposited, *tax;
        int deductionMonths, depositMonths;
        std::int64_t deduction, deposit; // paise
    } cases[] = {
        {"26062024", "26062024", "09072024", "5000.00", 0, 2, 0, 15000},    // 3 %
        {"20032024", "20032024", "05052024", "5000.00", 0, 3, 0, 22500},    // 4.5 %
        {"20032024", "20032024", "30042024", "5000.00", 0, 0, 0, 0},        // March's tax is due by 30 April
        {"20032024", "20032024", "01052024", "5000.00", 0, 3, 0, 22500},
        {"15052024", "15052024", "07062024", "5000.00", 0, 0, 0, 0},
        {"15052024", "15052024", "08062024", "5000.00", 0, 2, 0, 15000},
        {"31052024", "31052024", "08062024", "5000.00", 0, 2, 0, 15000},    // the last day still counts its month
        {"10042024", "05062024", "07072024", "5000.00", 3, 0, 15000, 0},    // late deduction, 1 %
        {"10042024", "05062024", "08072024", "5000.00", 3, 2, 15000, 15000},
        {"26062024", "26062024", "09072024", "1234.56", 0, 2, 0, 3700},     // 37.04 rounded to rupees
        {"20052024", "20052024", "10052024", "5000.00", 0, 0, 0, 0},        // deposited before deduction
    };
    for (const auto& c : cases) {
        test::Statement s = cleanStatement();
        s.createdOn = "31122024";
        s.challans[0].date = c.deposited;
        s.challans[0].more = {};
        test::Deductee& d = first(s);
        d.creditedOn = c.paid, d.deductedOn = c.deducted, d.tds = d.total = d.deposited = c.tax, d.more = {};
        s.challans[0].deductees.resize(1);
        const check::CheckResult r = checked(s);
        const std::string what = std::string(c.deducted) + " to " + c.deposited;
        ASSERT_EQ(r.interest.size(), c.deductionMonths || c.depositMonths ? 1u : 0u) << what;
        EXPECT_EQ(r.interestTotal.deduction, c.deduction) << what;
        EXPECT_EQ(r.interestTotal.deposit, c.deposit) << what;
        EXPECT_EQ(r.interestByChallan.at(0).sum(), c.deduction + c.deposit) << what;
        if (!r.interest.empty()) {
            EXPECT_EQ(r.interest[0].deductionMonths, c.deductionMonths) << what;
            EXPECT_EQ(r.interest[0].depositMonths, c.depositMonths) << what;
        }
    }
    // The unrounded total beside the rounded one: 3 % of Rs. 1,234.56.
    test::Statement s = cleanStatement();
    first(s).tds = first(s).total = first(s).deposited = "1234.56";
    s.challans[0].more = {};
    s.challans[0].date = "09062024";
    EXPECT_NEAR(checked(s).interestTotal.depositExact, 3703.68 + 15000, 1e-6);
}

TEST(Check, TheFeeRunsFromTheDayAfterTheDueDateUpToTheTaxDeducted)
{
    const std::int64_t tax = 500000; // Rs. 5,000.00
    const struct {
        int firstYear, quarter;
        Day filed;
        bool computed;
        std::int64_t fee;
    } cases[] = {
        {2024, 1, {2024, 7, 31}, true, 0},
        {2024, 1, {2024, 8, 1}, true, 20000},
        {2024, 1, {2024, 8, 25}, true, tax},           // 25 days: Rs. 5,000 exactly
        {2024, 1, {2025, 3, 1}, true, tax},            // capped
        {2024, 3, {2025, 2, 2}, true, 40000},          // Q3 is due 31 January of the next year
        {2024, 4, {2025, 6, 1}, true, 20000},          // Q4 on 31 May
        {2020, 4, {2021, 7, 16}, true, 20000},         // extended to 15 July 2021
        {2012, 1, {2013, 1, 1}, false, 0},             // no due date known here
        {2020, 1, {2021, 1, 1}, false, 0},
    };
    for (const auto& c : cases) {
        const check::LateFee fee = check::lateFee(c.firstYear, c.quarter, tax, c.filed, check::FiledBy::Option);
        EXPECT_EQ(fee.due.has_value(), c.computed) << c.firstYear << " Q" << c.quarter;
        EXPECT_EQ(fee.fee, c.fee) << check::slashedText(c.filed);
    }
}

TEST(CheckCommand, ExitStatusReportAndUnreadableStatement)
{
    test::TempFolder folder;
    std::string out, err;
    auto run = [&](const test::Statement* s, const char* rawText, std::optional<std::string> report) {
        test::writeBytes(folder / "TDS.txt", s ? s->text() : rawText);
        std::ostringstream o, e;
        const int status = app::runCheck(folder.path(), {std::string("20/07/2024"), std::move(report)}, o, e);
        out = o.str(), err = e.str();
        return status;
    };
    test::Statement s = cleanStatement();
    EXPECT_EQ(run(&s, nullptr, std::nullopt), 0) << out << err;
    first(s).pan = "PANAPPLIED"; // a warning alone
    EXPECT_EQ(run(&s, nullptr, std::nullopt), 0) << out << err;
    first(s).pan = "ABC";
    s.challans[0].date = "09072024"; // and interest of 3 months on both records
    const auto report = folder / "Check report.xls";
    EXPECT_EQ(run(&s, nullptr, report.string()), 1) << out << err;
    EXPECT_NE(out.find("Line 4, field 10 (ABC, RAMESH KUMAR): error: The PAN \"ABC\""), std::string::npos) << out;
    EXPECT_NE(out.find("Interest for late deposit (1.5 % a month): Rs. 450.00"), std::string::npos) << out;
    std::string readers;
    EXPECT_EQ(test::runCommand(test::shellQuote(test::readerCheck()) + " --strict " + test::shellQuote(report), readers), 0)
        << readers;
    EXPECT_EQ(run(nullptr, "not a statement\r\nat all\r\n", std::nullopt), 2);
    EXPECT_NE(err.find("TDS.txt"), std::string::npos) << err;
}
