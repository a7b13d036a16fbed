// The statement import into "Textdata" and the sheet preparation before it.
#include "WorkSheetsFixture.h"

#include "host/General.h"
#include "import/WorkSheets.h"

#include <gtest/gtest.h>

using namespace cw;
using host::Value;

namespace {

Value num(double d) { return Value{d}; }
Value txt(const char* s) { return Value{std::string(s)}; }

TEST(prepareWorkSheets, ReplacesTheWorkSheetsInFrontOfTheActiveSheet)
{
    host::Workbook wb;
    wb.addSheet("AcknDetails");
    wb.addSheet("Form 16A");
    wb.addSheet("Textdata").setValue(0, 0, txt("old statement"));
    wb.addSheet("textdata2");
    wb.setActiveSheet(wb.indexOf("Form 16A"));
    import::GenerationContext ctx;
    ctx.workbook = &wb;
    import::prepareWorkSheets(ctx);

    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"textdata2", "DeducteeDetails", "DeductorDetails",
                                                         "Textdata", "Form 16A", "AcknDetails"}));
    EXPECT_EQ(wb.activeSheet(), 1);
    EXPECT_EQ(wb.sheet("Textdata").rowCount(), 0);
}

TEST(prepareWorkSheets, SheetDifferingOnlyInCaseStaysAndIsTheOneUsed)
{
    host::Workbook wb;
    wb.addSheet("Form 16A");
    wb.addSheet("textdata").setValue(0, 0, txt("kept"));
    import::GenerationContext ctx;
    ctx.workbook = &wb;
    import::prepareWorkSheets(ctx);

    EXPECT_EQ(wb.sheetCount(), 5);
    EXPECT_EQ(wb.indexOf("Textdata"), -1); // the new sheet could not take the name
    EXPECT_EQ(import::sheetByName(wb, "Textdata").name(), "textdata");
}

TEST(Import, FieldsQuotesAndGeneralConversion)
{
    auto w = test::workSheets();
    w->import("1^\"a^b\"^^x\"y^\"say \"\"hi\"\"\"^\n"
              "2^00123^123^12.50-^01072008^1072008^15/07/2008^ 42 ^-7\n");
    const host::Sheet& t = w->text();
    EXPECT_EQ(t.value(0, 0), num(1));
    EXPECT_EQ(t.value(0, 1), txt("a^b"));
    EXPECT_EQ(t.cell(0, 2), nullptr);
    EXPECT_EQ(t.value(0, 3), txt("x\"y"));
    EXPECT_EQ(t.value(0, 4), txt("say \"hi\""));
    EXPECT_EQ(t.rowWidth(0), 5); // the trailing caret's empty field makes no cell

    EXPECT_EQ(t.value(1, 1), txt("00123")); // leading zeros are kept as text
    EXPECT_EQ(t.value(1, 2), num(123));
    EXPECT_EQ(t.value(1, 3), num(-12.5));
    EXPECT_EQ(t.value(1, 4), txt("01072008"));
    EXPECT_EQ(t.value(1, 5), num(1072008));
    EXPECT_EQ(t.value(1, 6), num(*host::dateSerial(2008, 7, 15)));
    EXPECT_TRUE(w->wb.isDateXf(t.cell(1, 6)->xf));
    EXPECT_FALSE(w->wb.isDateXf(t.cell(1, 5)->xf));
    EXPECT_EQ(t.value(1, 7), num(42));
    EXPECT_EQ(t.value(1, 8), num(-7));
}

TEST(Import, LineEndingsAndByteOrderMarkGiveTheSameRows)
{
    const std::vector<std::string> variants = {
        "1^FH\n2^BH^x\n\n4^CD^\"q\"\n",
        "1^FH\r\n2^BH^x\r\n\r\n4^CD^\"q\"\r\n",
        "1^FH\r2^BH^x\r\r4^CD^\"q\"",
        "\xEF\xBB\xBF" "1^FH\r\n2^BH^x\n\r4^CD^\"q",
    };
    for (const std::string& v : variants) {
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
    EXPECT_EQ(w->text().value(0, 0), num(1));
}

TEST(Import, LongLinesStopAtTheSheetLimits)
{
    auto w = test::workSheets();
    std::string carets(100000, '^');
    std::string wide;
    for (int i = 1; i <= 300; ++i)
        wide += std::to_string(i) + "^";
    w->import(carets + "x\n" + std::string(100000, 'n') + "\n" + wide + "\n4^DD\n");
    const host::Sheet& t = w->text();
    EXPECT_EQ(t.rowCount(), 4);
    EXPECT_EQ(t.rowWidth(0), 0); // "x" lies past column 256
    EXPECT_EQ(std::get<std::string>(t.value(1, 0)).size(), 32767u);
    EXPECT_EQ(t.rowWidth(2), host::kMaxCols);
    EXPECT_EQ(t.value(2, host::kMaxCols - 1), num(256));
    EXPECT_EQ(t.value(3, 1), txt("DD"));
}

TEST(Import, SecondImportLeavesOnlyTheSecondStatement)
{
    auto w = test::workSheets();
    w->import("1^a^b^c\n2^d\n3^e\n");
    w->import("9^z\n");
    EXPECT_EQ(w->text().rowCount(), 1);
    EXPECT_EQ(w->text().colCount(), 2);
    EXPECT_EQ(w->text().value(0, 0), num(9));
}

} // namespace
