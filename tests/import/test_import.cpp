// The statement import into "Textdata" and the sheet preparation before it.
#include "WorkSheetsFixture.h"

#include "host/General.h"

#include <gtest/gtest.h>

using namespace cw;
using host::Value;

namespace {

Value num(double d) { return Value{d}; }
Value txt(const char* s) { return Value{std::string(s)}; }

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
    auto w = test::workSheets();
    w->import("1^\"a^b\"^^x\"y^\"say \"\"hi\"\"\"^\n"
              "2^00123^123^12.50-^01072008^1072008^15/07/2008^ 42 ^-7\n");
    const host::Sheet& t = w->text();
    const std::vector<std::tuple<int, int, Value>> cells = {
        {0, 0, num(1)}, {0, 1, txt("a^b")}, {0, 2, Value{}}, {0, 3, txt("x\"y")}, {0, 4, txt("say \"hi\"")},
        {1, 1, txt("00123")}, // leading zeros stay
        {1, 2, num(123)}, {1, 3, num(-12.5)}, {1, 4, txt("01072008")}, {1, 5, num(1072008)},
        {1, 6, num(*host::dateSerial(2008, 7, 15))}, {1, 7, num(42)}, {1, 8, num(-7)},
    };
    for (const auto& [r, c, v] : cells)
        EXPECT_EQ(t.value(r, c), v) << "row " << r << " column " << c;
    EXPECT_EQ(t.rowWidth(0), 5); // the trailing caret's empty field makes no cell
    EXPECT_TRUE(w->wb.isDateXf(t.cell(1, 6)->xf));
    EXPECT_FALSE(w->wb.isDateXf(t.cell(1, 5)->xf));

    w->import("9^z\n"); // a second import leaves only the second statement
    EXPECT_EQ(t.value(0, 1), txt("z"));
    EXPECT_EQ(t.value(0, 2), Value{});
    EXPECT_EQ(t.value(1, 1), Value{});
}

TEST(Import, LineEndingsAndByteOrderMarkGiveTheSameRows)
{
    for (const std::string v : {"1^FH\n2^BH^x\n\n4^CD^\"q\"\n", "1^FH\r\n2^BH^x\r\n\r\n4^CD^\"q\"\r\n",
                                "1^FH\r2^BH^x\r\r4^CD^\"q\"", "\xEF\xBB\xBF" "1^FH\r\n2^BH^x\n\r4^CD^\"q\""}) {
        SCOPED_TRACE(v);
        auto w = test::workSheets();
        w->import(v);
        const host::Sheet& t = w->text();
        EXPECT_EQ(t.rowCount(), 4);
        EXPECT_EQ(t.value(0, 0), num(1));
        EXPECT_EQ(t.value(1, 2), txt("x"));
        EXPECT_EQ(t.cell(2, 0), nullptr); // the empty line
        EXPECT_EQ(t.value(3, 2), txt("q"));
        EXPECT_EQ(t.colCount(), 3);
    }
}

TEST(Import, CodePage437AndUtf8)
{
    auto w = test::workSheets();
    w->import("1^\x82t\xE9\xB0\n");
    EXPECT_EQ(w->text().value(0, 1), txt("\xC3\xA9t\xCE\x98\xE2\x96\x91")); // "étΘ░"

    // After a UTF-8 byte-order mark the text is UTF-8; a stray byte still reads as code page 437.
    w->import("\xEF\xBB\xBF" "1^\xC3\xA9t\x82\n");
    EXPECT_EQ(w->text().value(0, 1), txt("\xC3\xA9t\xC3\xA9"));
}

TEST(Import, LongLinesStopAtTheSheetLimits)
{
    auto w = test::workSheets();
    std::string wide;
    for (int i = 1; i <= 300; ++i)
        wide += std::to_string(i) + "^";
    w->import(std::string(100000, '^') + "x\n" + std::string(100000, 'n') + "\n" + wide + "\n4^DD\n");
    const host::Sheet& t = w->text();
    EXPECT_EQ(t.rowCount(), 4);
    EXPECT_EQ(t.rowWidth(0), 0); // "x" lies past column 256
    EXPECT_EQ(std::get<std::string>(t.value(1, 0)).size(), 32767u);
    EXPECT_EQ(t.rowWidth(2), host::kMaxCols);
    EXPECT_EQ(t.value(2, host::kMaxCols - 1), num(256));
    EXPECT_EQ(t.value(3, 1), txt("DD"));
}

} // namespace
