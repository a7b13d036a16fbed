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

TEST(statementDateText, CutsByLength)
{
    EXPECT_EQ(import::statementDateText("01072008"), "01.07.2008"); // leading zero kept by the import
    EXPECT_EQ(import::statementDateText("1072008"), "1.07.2008");
    EXPECT_EQ(import::statementDateText("172008"), "1.7.2008");
    EXPECT_EQ(import::statementDateText("abcdefgh"), "ab.cd.efgh");
    EXPECT_EQ(import::statementDateText("\xC3\xA9" "1072008"), "\xC3\xA9" "1.07.2008"); // characters, not bytes
    for (const char* other : {"", "12345", "123456789"})
        EXPECT_EQ(import::statementDateText(other), "") << other;
}

TEST(DeductorDetails, RowThreeFromTheBatchHeader)
{
    test::Statement st;
    st.address = {"FLAT 1", "MAIN ROAD", "", "", "MUMBAI", "0019", "400001"};
    auto w = test::workSheets();
    w->import(st.text());
    import::fillDeductorRow(w->ctx);

    EXPECT_EQ(row(w->deductor(), 1, 10),
              (std::vector<Value>{txt("Name"), txt("Address"), txt("TAN"), txt("PAN"), txt("Person Responsible"),
                                  txt("Designation"), txt("Fin Yr"), txt("Asstt. Yr."), txt("Form Type"),
                                  txt("Place of Issue")}));
    EXPECT_EQ(row(w->deductor(), 2, 11),
              (std::vector<Value>{txt("ACME TRADERS"), txt("FLAT 1,MAIN ROAD,,,MUMBAI,0019,400001"),
                                  txt("MUMA12345B"), txt("AAACA1234Z"), txt("S SHARMA"), txt("DIRECTOR"),
                                  txt("2007-08"), txt("2008-09"), txt("26Q"), txt("MUMBAI"), Value{}}));
    EXPECT_EQ(w->deductor().rowCount(), 3);
    EXPECT_EQ(w->ctx.textSheet, &w->text());
}

TEST(DeductorDetails, ShortAndEmptyValues)
{
    test::Statement st;
    st.finYear = "";
    st.assessYear = "2008";
    st.address = {"", "", "", "", "", "", ""};
    auto w = test::workSheets();
    w->import(st.text());
    import::fillDeductorRow(w->ctx);
    EXPECT_EQ(w->deductor().value("B3"), txt(",,,,,,"));
    EXPECT_EQ(w->deductor().value("G3"), txt("-"));
    EXPECT_EQ(w->deductor().value("H3"), txt("2008-"));
    EXPECT_EQ(w->deductor().value("J3"), Value{});
}

TEST(DeducteeDetails, OneRowPerRecordWithItsChallan)
{
    test::Statement st;
    st.challans.resize(4);
    st.challans[0].deductees.resize(2);
    st.challans[0].deductees[1].name = ""; // still gets its own row
    st.challans[0].deductees[1].amount = "";
    st.challans[0].deductees[1].paidOn = "1072008";
    // challans[1] has no records: it adds no row.
    st.challans[2].cin = "77";
    st.challans[2].section = "194J";
    st.challans[2].date = "1082008";
    st.challans[2].deductees.resize(1);
    st.challans[2].deductees[0].name = "SUNITA RAO";
    st.challans[2].deductees[0].sc = "12.5";
    // challans[3] stands on the last line.
    auto w = test::workSheets();
    w->deductee().setValue(40, 3, num(99)); // old content goes
    w->import(st.text());
    import::fillDeducteeRows(w->ctx);
    const host::Sheet& d = w->deductee();

    EXPECT_EQ(row(d, 0, 14)[6], txt("SC "));
    EXPECT_EQ(row(d, 1, 14),
              (std::vector<Value>{txt("RAMESH KUMAR"), txt("ABCPK1234D"), txt("94C"), num(50000), txt("15.06.2008"),
                                  num(5000), num(0), num(150), num(5150), txt("456789"), txt("0510308"),
                                  txt("07.07.2008"), txt("00123"), txt("07.07.2008")}));
    EXPECT_EQ(row(d, 2, 14),
              (std::vector<Value>{Value{}, txt("ABCPK1234D"), txt("94C"), num(0), txt("1.07.2008"), num(5000),
                                  num(0), num(150), num(5150), txt("456789"), txt("0510308"), txt("07.07.2008"),
                                  txt("00123"), txt("07.07.2008")}));
    EXPECT_EQ(row(d, 3, 14),
              (std::vector<Value>{txt("SUNITA RAO"), txt("ABCPK1234D"), txt("194J"), num(50000), txt("15.06.2008"),
                                  num(5000), num(12.5), num(150), num(5150), txt("456789"), txt("0510308"),
                                  txt("1.08.2008"), txt("77"), txt("1.08.2008")}));
    EXPECT_EQ(d.rowCount(), 4);
}

TEST(DeducteeDetails, TextInAnAmountColumnRefusesBeforeWriting)
{
    test::Statement st;
    st.challans.resize(2);
    st.challans[0].deductees.resize(1);
    st.challans[1].deductees.resize(2);
    st.challans[1].deductees[1].sc = "1,200"; // line 7
    auto w = test::workSheets();
    w->import(st.text());
    try {
        import::fillDeducteeRows(w->ctx);
        FAIL() << "no refusal";
    } catch (const import::StatementError& e) {
        EXPECT_STREQ(e.what(), "Line 7 of TDS.txt: SC \"1,200\" is not a number.");
        EXPECT_EQ(e.line(), 7);
    }
    EXPECT_EQ(w->deductee().rowCount(), 1);

    st.challans[1].deductees[1].sc = "0";
    st.challans[0].deductees[0].amount = "12a"; // line 4
    w->import(st.text());
    EXPECT_THROW(
        {
            try {
                import::fillDeducteeRows(w->ctx);
            } catch (const import::StatementError& e) {
                EXPECT_STREQ(e.what(), "Line 4 of TDS.txt: Amt Paid \"12a\" is not a number.");
                throw;
            }
        },
        import::StatementError);
}

} // namespace
