// The deductor row, the deductee rows and the statement dates.
#include "SyntheticStatement.h"
#include "WorkSheetsFixture.h"

#include "import/DeductorRow.h"
#include "import/DeducteeRows.h"
#include "import/StatementDate.h"

#include <gtest/gtest.h>

using namespace cw;
using host::Value;

namespace {

Value num(double d) { return Value{d}; }
Value txt(const std::string& s) { return Value{s}; }

std::vector<Value> row(const host::Sheet& s, int r, int cols)
{
    std::vector<Value> v;
    for (int c = 0; c < cols; ++c)
        v.push_back(s.value(r, c));
    return v;
}

TEST(StatementDateText, CutsByLength)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"01072008", "01.07.2008"}, {"1072008", "1.07.2008"}, {"172008", "1.7.2008"}, {"abcdefgh", "ab.cd.efgh"},
        {"\xC3\xA9" "1072008", "\xC3\xA9" "1.07.2008"}, // characters, not bytes
        {"", ""}, {"12345", ""}, {"123456789", ""},
    };
    for (const auto& [digits, dotted] : cases)
        EXPECT_EQ(import::statementDateText(digits), dotted) << digits;
}

TEST(DeductorRow, FromTheBatchHeader)
{
    struct Case {
        std::string finYear, assessYear;
        std::vector<std::string> address;
        std::vector<Value> row3;
    };
    const std::vector<Case> cases = {
        {"200708", "200809", {"FLAT 1", "MAIN ROAD", "", "", "MUMBAI", "0019", "400001"},
         {txt("ACME TRADERS"), txt("FLAT 1,MAIN ROAD,,,MUMBAI,0019,400001"), txt("MUMA12345B"), txt("AAACA1234Z"),
          txt("S SHARMA"), txt("DIRECTOR"), txt("2007-08"), txt("2008-09"), txt("26Q"), txt("MUMBAI"), Value{}}},
        {"", "2008", {"", "", "", "", "", "", ""},
         {txt("ACME TRADERS"), txt(",,,,,,"), txt("MUMA12345B"), txt("AAACA1234Z"), txt("S SHARMA"),
          txt("DIRECTOR"), txt("-"), txt("2008-"), txt("26Q"), Value{}, Value{}}},
    };
    for (const Case& c : cases) {
        test::Statement st;
        st.finYear = c.finYear;
        st.assessYear = c.assessYear;
        st.address = c.address;
        auto w = test::workSheets();
        w->import(st.text());
        import::fillDeductorRow(w->ctx);
        EXPECT_EQ(row(w->deductor(), 2, 11), c.row3);
        EXPECT_EQ(w->deductor().rowCount(), 3);
    }
}

TEST(DeducteeRows, OneRowPerRecordWithItsChallan)
{
    test::Statement st;
    st.challans.resize(4);
    st.challans[0].deductees.resize(2);
    st.challans[0].deductees[1].name = ""; // still gets its own row
    st.challans[0].deductees[1].amount = "";
    st.challans[0].deductees[1].deductedOn = "1072008";
    // challans[1] has no records: it adds no row.
    st.challans[2] = {"77", "0004329", "1082008", "194J", "", {test::Deductee{}}};
    st.challans[2].deductees[0].name = "SUNITA RAO";
    st.challans[2].deductees[0].sc = "12.5";
    // challans[3] stands on the last line.
    auto w = test::workSheets();
    w->deductee().setValue(40, 3, num(99)); // old content goes
    w->import(st.text());
    import::fillDeducteeRows(w->ctx);
    const host::Sheet& d = w->deductee();

    const std::vector<std::vector<Value>> rows = {
        {txt("RAMESH KUMAR"), txt("ABCPK1234D"), txt("94C"), num(50000), txt("15.06.2008"), num(5000), num(0),
         num(150), num(5150), txt("456789"), txt("0510308"), txt("07.07.2008"), txt("00123"), txt("07.07.2008")},
        {txt(""), txt("ABCPK1234D"), txt("94C"), num(0), txt("1.07.2008"), num(5000), num(0), num(150), num(5150),
         txt("456789"), txt("0510308"), txt("07.07.2008"), txt("00123"), txt("07.07.2008")},
        {txt("SUNITA RAO"), txt("ABCPK1234D"), txt("194J"), num(50000), txt("15.06.2008"), num(5000), num(12.5),
         num(150), num(5150), txt(""), txt("0004329"), txt("1.08.2008"), txt("77"), txt("1.08.2008")},
    };
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(row(d, static_cast<int>(r) + 1, 14), rows[r]) << "row " << r + 2;
    EXPECT_EQ(d.rowCount(), 4);
}

TEST(DeducteeRows, SectionTaxDepositedAndPaymentDateByTheLayoutOfTheYear)
{
    test::Statement st;
    st.challans.resize(1);
    st.challans[0].deductees.resize(2);
    test::Deductee& first = st.challans[0].deductees[0];
    first.section = "94J";
    first.deposited = "5000.50";
    first.creditedOn = "01062008";
    st.challans[0].deductees[1].creditedOn = "2062008"; // and no section of its own
    const std::vector<std::pair<std::string, std::vector<std::vector<Value>>>> cases = {
        // financial year; per row: section, tax deposited, date of payment or credit
        {"200708", {{txt("94C"), num(5150), txt("15.06.2008")}, {txt("94C"), num(5150), txt("15.06.2008")}}},
        {"201213", {{txt("94C"), num(5150), txt("15.06.2008")}, {txt("94C"), num(5150), txt("15.06.2008")}}},
        {"201314", {{txt("94J"), num(5000.5), txt("01.06.2008")}, {txt("94C"), num(5150), txt("2.06.2008")}}},
        {"202526", {{txt("94J"), num(5000.5), txt("01.06.2008")}, {txt("94C"), num(5150), txt("2.06.2008")}}},
    };
    for (const auto& [year, rows] : cases) {
        st.finYear = year;
        auto w = test::workSheets();
        w->import(st.text());
        import::fillDeducteeRows(w->ctx);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::vector<Value> seen = row(w->deductee(), static_cast<int>(r) + 1, 14);
            EXPECT_EQ((std::vector<Value>{seen[2], seen[8], seen[4]}), rows[r]) << year << " row " << r + 2;
        }
    }
}

TEST(DeducteeRows, TextInAnAmountColumnRefusesBeforeWriting)
{
    const std::vector<std::tuple<int, int, std::string test::Deductee::*, std::string, std::string>> cases = {
        // challan, record, field, its value, message
        {1, 1, &test::Deductee::sc, "1,200", "Line 7 of TDS.txt: SC \"1,200\" is not a number."},
        {0, 0, &test::Deductee::amount, "12a", "Line 4 of TDS.txt: Amt Paid \"12a\" is not a number."},
        {1, 0, &test::Deductee::total, "\x01" + std::string(45, 'x'),
         "Line 6 of TDS.txt: Total Tax Deposited \"?" + std::string(39, 'x') + "...\" is not a number."},
    };
    for (const auto& [challan, record, field, value, message] : cases) {
        test::Statement st;
        st.challans.resize(2);
        st.challans[0].deductees.resize(1);
        st.challans[1].deductees.resize(2);
        st.challans[static_cast<std::size_t>(challan)].deductees[static_cast<std::size_t>(record)].*field = value;
        auto w = test::workSheets();
        w->import(st.text());
        try {
            import::fillDeducteeRows(w->ctx);
            ADD_FAILURE() << "no refusal for " << message;
        } catch (const import::StatementError& e) {
            EXPECT_EQ(e.what(), message);
        }
        EXPECT_EQ(w->deductee().rowCount(), 1);
    }
}

} // namespace
