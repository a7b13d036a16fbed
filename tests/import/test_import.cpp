// The statement import into "Textdata" and the sheet preparation before it; the deductor row,
// the deductee rows by the statement's layout, and the statement dates.
#include "SyntheticStatement.h"

#include "host/General.h"
#include "import/DeducteeRows.h"
#include "import/DeductorRow.h"
#include "import/SheetCells.h"
#include "import/StatementDate.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

#include <gtest/gtest.h>

using namespace cw;
using namespace cw::test;
using host::Value;

namespace {

Value num(double d) { return Value{d}; }
Value txt(const std::string& s) { return Value{s}; }

// Cells 0 .. cols - 1 of a row.
std::vector<Value> row(const host::Sheet& s, int r, int cols)
{
    std::vector<Value> v;
    for (int c = 0; c < cols; ++c)
        v.push_back(s.value(r, c));
    return v;
}

// A template workbook in memory with fresh work sheets, as Generate has it before the import.
struct WorkSheets {
    host::Workbook wb;
    import::GenerationContext ctx;
    WorkSheets()
    {
        wb.addSheet("Form 16A");
        ctx.workbook = &wb;
        import::prepareWorkSheets(ctx);
        ctx.deductorSheet = &wb.sheet(import::kDeductorSheet);
        ctx.deducteeSheet = &wb.sheet(import::kDeducteeSheet);
        import::writeSheetHeadings(ctx);
    }
    host::Sheet& text() { return wb.sheet(import::kTextSheet); }
    void import(std::string_view bytes) { ctx.lineFields = import::importStatementText(wb, text(), bytes); }
};

TEST(PrepareWorkSheets, ReplacesTheWorkSheetsButNotOnesDifferingInCase)
{
    host::Workbook wb;
    wb.addSheet("AcknDetails");
    wb.addSheet("Form 16A");
    wb.addSheet("Textdata").setValue(0, 0, txt("old statement"));
    wb.addSheet("deducteedetails").setValue(0, 0, txt("kept"));
    wb.setActiveSheet(wb.indexOf("Form 16A"));
    import::GenerationContext ctx;
    ctx.workbook = &wb;
    import::prepareWorkSheets(ctx);

    // The new sheet could not take the name of the one differing in case: that one is used.
    std::vector<std::string> names = wb.sheetNames();
    names.erase(names.begin() + 1); // a default name
    EXPECT_EQ(names, (std::vector<std::string>{"deducteedetails", "DeductorDetails", "Textdata", "Form 16A",
                                               "AcknDetails"}));
    EXPECT_EQ(wb.sheet("Textdata").rowCount(), 0);
    EXPECT_EQ(import::sheetByName(wb, "DeducteeDetails").value(0, 0), txt("kept"));
}

TEST(Import, FieldsQuotesAndGeneralConversion)
{
    WorkSheets w;
    w.import("1^\"a^b\"^^x\"y^\"say \"\"hi\"\"\"^\n"
              "2^00123^123^12.50-^01072008^1072008^15/07/2008^ 42 ^-7^\x82t\xE9\xB0\n");
    const host::Sheet& t = w.text();
    const std::vector<std::tuple<int, int, Value>> cells = {
        {0, 0, num(1)}, {0, 1, txt("a^b")}, {0, 2, Value{}}, {0, 3, txt("x\"y")}, {0, 4, txt("say \"hi\"")},
        {1, 1, txt("00123")}, // leading zeros stay
        {1, 2, num(123)}, {1, 3, num(-12.5)}, {1, 4, txt("01072008")}, {1, 5, num(1072008)},
        {1, 6, num(*host::dateSerial(2008, 7, 15))}, {1, 7, num(42)}, {1, 8, num(-7)},
        {1, 9, txt("\xC3\xA9t\xCE\x98\xE2\x96\x91")}, // "étΘ░" from code page 437
    };
    for (const auto& [r, c, v] : cells)
        EXPECT_EQ(t.value(r, c), v) << "row " << r << " column " << c;
    EXPECT_EQ(t.rowWidth(0), 5); // the trailing caret's empty field makes no cell, but counts
    EXPECT_EQ(w.ctx.lineFields, (std::vector<std::uint16_t>{6, 10}));
    EXPECT_TRUE(w.wb.isDateXf(t.cell(1, 6)->xf));
    EXPECT_FALSE(w.wb.isDateXf(t.cell(1, 5)->xf));

    // A second import leaves only the second statement. After a UTF-8 byte-order mark the text
    // is UTF-8; a stray byte still reads as code page 437.
    w.import("\xEF\xBB\xBF" "9^\xC3\xA9t\x82\n");
    EXPECT_EQ(row(t, 0, 3), (std::vector<Value>{num(9), txt("\xC3\xA9t\xC3\xA9"), Value{}}));
    EXPECT_EQ(t.value(1, 1), Value{});
}

TEST(Import, LineEndingsAndByteOrderMarkGiveTheSameRows)
{
    for (const std::string v : {"1^FH\n2^BH^x\n\n4^CD^\"q\"\n", "1^FH\r\n2^BH^x\r\n\r\n4^CD^\"q\"\r\n",
                                "1^FH\r2^BH^x\r\r4^CD^\"q\"", "\xEF\xBB\xBF" "1^FH\r\n2^BH^x\n\r4^CD^\"q\""}) {
        WorkSheets w;
        w.import(v);
        const host::Sheet& t = w.text();
        EXPECT_EQ(t.rowCount(), 4) << v;
        EXPECT_EQ(row(t, 1, 3), (std::vector<Value>{num(2), txt("BH"), txt("x")})) << v;
        EXPECT_EQ(row(t, 2, 3), std::vector<Value>(3)) << v; // the empty line
        EXPECT_EQ(t.value(3, 2), txt("q")) << v;
        EXPECT_EQ(w.ctx.lineFields, (std::vector<std::uint16_t>{2, 3, 1, 3})) << v;
    }
}

TEST(Import, LongLinesStopAtTheSheetLimits)
{
    WorkSheets w;
    std::string wide;
    for (int i = 1; i <= 300; ++i)
        wide += std::to_string(i) + "^";
    w.import(std::string(100000, '^') + "x\n" + std::string(100000, 'n') + "\n" + wide + "\n4^DD\n");
    const host::Sheet& t = w.text();
    EXPECT_EQ(t.rowCount(), 4);
    EXPECT_EQ(t.rowWidth(0), 0); // "x" lies past column 256
    EXPECT_EQ(std::get<std::string>(t.value(1, 0)).size(), 32767u);
    EXPECT_EQ(t.rowWidth(2), host::kMaxCols);
    EXPECT_EQ(t.value(2, host::kMaxCols - 1), num(256));
    EXPECT_EQ(t.value(3, 1), txt("DD"));
    EXPECT_EQ(w.ctx.lineFields, (std::vector<std::uint16_t>{256, 1, 256, 2}));
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
    Statement st;
    st.assessYear = "";
    st.address = {"FLAT 1", "MAIN ROAD", "", "", "MUMBAI", "0019", "400001"};
    WorkSheets w;
    w.import(st.text());
    import::fillDeductorRow(w.ctx);
    EXPECT_EQ(row(*w.ctx.deductorSheet, 2, 11),
              (std::vector<Value>{txt("ACME TRADERS"), txt("FLAT 1,MAIN ROAD,,,MUMBAI,0019,400001"), txt("MUMA12345B"),
                                  txt("AAACA1234Z"), txt("S SHARMA"), txt("DIRECTOR"), txt("2007-08"), txt("-"),
                                  txt("26Q"), txt("MUMBAI"), Value{}}));
}

TEST(DeducteeRows, OneRowPerRecordWithItsChallan)
{
    Statement st;
    st.challans.resize(4);
    st.challans[0].deductees.resize(2);
    st.challans[0].deductees[1].name = ""; // still gets its own row
    st.challans[0].deductees[1].amount = "";
    st.challans[0].deductees[1].deductedOn = "1072008";
    // challans[1] has no records: it adds no row.
    st.challans[2] = {"77", "0004329", "1082008", "194J", "", {Deductee{}}};
    st.challans[2].deductees[0].name = "SUNITA RAO";
    st.challans[2].deductees[0].sc = "12.5";
    // challans[3] stands on the last line.
    WorkSheets w;
    w.ctx.deducteeSheet->setValue(40, 3, num(99)); // old content goes
    w.import(st.text());
    import::fillDeducteeRows(w.ctx);

    const std::vector<std::vector<Value>> rows = {
        {txt("RAMESH KUMAR"), txt("ABCPK1234D"), txt("94C"), num(50000), txt("15.06.2008"), num(5000), num(0),
         num(150), num(5150), txt("456789"), txt("0510308"), txt("07.07.2008"), txt("00123"), txt("07.07.2008")},
        {Value{}, txt("ABCPK1234D"), txt("94C"), num(0), txt("1.07.2008"), num(5000), num(0), num(150), num(5150),
         txt("456789"), txt("0510308"), txt("07.07.2008"), txt("00123"), txt("07.07.2008")},
        {txt("SUNITA RAO"), txt("ABCPK1234D"), txt("194J"), num(50000), txt("15.06.2008"), num(5000), num(12.5),
         num(150), num(5150), Value{}, txt("0004329"), txt("1.08.2008"), txt("77"), txt("1.08.2008")},
    };
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(row(*w.ctx.deducteeSheet, static_cast<int>(r) + 1, 14), rows[r]) << "row " << r + 2;
    EXPECT_EQ(w.ctx.deducteeSheet->rowCount(), 4);
}

TEST(DeducteeRows, SectionTaxDepositedAndPaymentDateByTheLayoutOfTheYear)
{
    Statement st;
    st.challans.resize(1);
    st.challans[0].deductees.resize(2);
    Deductee& first = st.challans[0].deductees[0];
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
        WorkSheets w;
        w.import(st.text());
        import::fillDeducteeRows(w.ctx);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::vector<Value> seen = row(*w.ctx.deducteeSheet, static_cast<int>(r) + 1, 14);
            EXPECT_EQ((std::vector<Value>{seen[2], seen[8], seen[4]}), rows[r]) << year << " row " << r + 2;
        }
    }
}

} // namespace
