#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

using namespace cw::host;

namespace {

double num(const Value& v) { return std::get<double>(v); }
const std::string& txt(const Value& v) { return std::get<std::string>(v); }

TEST(Addresses, ParseAndPrintRoundTrip)
{
    EXPECT_EQ(toA1(0, 0), "A1");
    EXPECT_EQ(toA1(9, 26), "AA10");
    EXPECT_EQ(columnName(255), "IV");
    auto r = parseRange("$B$3:A1");
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (Range{0, 0, 2, 1}));
    EXPECT_EQ(toA1(*r), "A1:B3");
    EXPECT_FALSE(parseCellRef("IW1"));   // past the last column
    EXPECT_FALSE(parseCellRef("A0"));
    EXPECT_FALSE(parseCellRef("B1:B"));
    EXPECT_FALSE(parseRange("A1:"));
    EXPECT_THROW(rangeOrThrow("1A"), Error);
}

TEST(GeneralConversion, NumbersAndTrailingMinus)
{
    EXPECT_EQ(num(parseGeneral("12345").value), 12345);
    EXPECT_EQ(num(parseGeneral("1234.50").value), 1234.5);
    EXPECT_EQ(num(parseGeneral("-7").value), -7);
    EXPECT_EQ(num(parseGeneral("250.75-").value), -250.75);
    EXPECT_EQ(num(parseGeneral("1.5E3").value), 1500);
    EXPECT_EQ(num(parseGeneral(".5").value), 0.5);
    EXPECT_EQ(num(parseGeneral("0").value), 0);
    EXPECT_EQ(num(parseGeneral("0.25").value), 0.25);
    EXPECT_EQ(num(parseGeneral(" 42 ").value), 42);
}

TEST(GeneralConversion, LeadingZeroDigitsStayText)
{
    // BSR codes, challan numbers and ddmmyyyy dates keep their zeros.
    EXPECT_EQ(txt(parseGeneral("0510308").value), "0510308");
    EXPECT_EQ(txt(parseGeneral("01072008").value), "01072008");
    EXPECT_EQ(txt(parseGeneral("00").value), "00");
    // Only digits-only fields: a signed or decimal number is still a number.
    EXPECT_EQ(num(parseGeneral("-007").value), -7);
    EXPECT_EQ(num(parseGeneral("00.5").value), 0.5);
}

TEST(GeneralConversion, DayFirstDatesAndText)
{
    auto d = parseGeneral("15/07/2008");
    ASSERT_TRUE(d.isDate);
    EXPECT_EQ(num(d.value), 39644); // 15 July 2008
    auto d2 = parseGeneral("1-2-2009");
    ASSERT_TRUE(d2.isDate);
    EXPECT_EQ(num(d2.value), 39845); // 1 February 2009
    EXPECT_FALSE(parseGeneral("31/02/2008").isDate); // no such day: text
    EXPECT_EQ(txt(parseGeneral("31/02/2008").value), "31/02/2008");
    for (const char* t : {"CD", "AAACM1234K", "194A", "12a", "1,234", "--5", "5-5", "1e", "-", " "})
        EXPECT_TRUE(isText(parseGeneral(t).value)) << t;
    EXPECT_TRUE(isEmpty(parseGeneral("").value));
}

TEST(GeneralConversion, NumberToTextIsPlainDecimal)
{
    EXPECT_EQ(numberToText(100000), "100000");
    EXPECT_EQ(numberToText(999999999999999.0), "999999999999999");
    EXPECT_EQ(numberToText(-3.5), "-3.5");
    EXPECT_EQ(numberToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(numberToText(1234.5600000000002), "1234.56");
    EXPECT_EQ(numberToText(1e15), "1E+15");
    EXPECT_EQ(numberToText(0.00001), "1E-05");
    EXPECT_EQ(numberToText(-0.0), "0");
}

TEST(GeneralConversion, DateSerialsCountTheLeapDayOf1900)
{
    EXPECT_EQ(*dateSerial(1900, 1, 1), 1);
    EXPECT_EQ(*dateSerial(1900, 2, 28), 59);
    EXPECT_EQ(*dateSerial(1900, 3, 1), 61);
    EXPECT_FALSE(dateSerial(2009, 2, 29));
    auto back = serialToDate(39644);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->year, 2008);
    EXPECT_EQ(back->month, 7);
    EXPECT_EQ(back->day, 15);
}

TEST(SheetValues, TextNumberSumAndLastNonEmpty)
{
    Sheet s("S");
    s.setValue("A1", 10.0);
    s.setValue("A2", std::string("x"));
    s.setValue("A3", 2.5);
    s.setValue("A5", std::string("12.5"));
    EXPECT_EQ(s.sum(rangeOrThrow("A1:A10")), 12.5); // text counts nothing
    EXPECT_EQ(s.text(0, 0), "10");
    EXPECT_EQ(*s.number(4, 0), 12.5);
    EXPECT_EQ(*s.number(6, 0), 0);                 // empty gives 0
    EXPECT_FALSE(s.number(1, 0));                  // "x" is no number
    EXPECT_EQ(s.lastNonEmptyUp(0, kMaxRows - 1), 4);
    EXPECT_EQ(s.lastNonEmptyUp(0, 3), 2);
    EXPECT_EQ(s.lastNonEmptyUp(1, 100), -1);
    s.setXf(20, 0, 30); // a formatted blank is not a value
    EXPECT_EQ(s.lastNonEmptyUp(0, kMaxRows - 1), 4);
    EXPECT_EQ(s.rowCount(), 21);
}

TEST(SheetValues, ClearContentsKeepsFormats)
{
    Sheet s("S");
    s.setValue("B2", 5.0);
    s.setXf(1, 1, 40);
    s.clearContents(rangeOrThrow("A1:C3"));
    ASSERT_NE(s.cell(1, 1), nullptr);
    EXPECT_TRUE(isEmpty(s.cell(1, 1)->value));
    EXPECT_EQ(s.cell(1, 1)->xf, 40);
    s.setValue("A7", 1.0);
    s.clearRows(1, kMaxRows - 1);
    EXPECT_EQ(s.lastNonEmptyUp(0, kMaxRows - 1), -1);
}

TEST(SheetInsertRows, NewRowsTakeFormatsOfRowAboveAndRangesMove)
{
    Sheet s("Annex");
    s.setValue("B4", std::string("(1)"));
    s.setXf(3, 1, 21);
    s.setXf(3, 2, 22);
    s.rowInfoAt(3).heightTwips = 400;
    s.setValue("H6", std::string("Signature"));
    s.setRowHeight(5, 30);
    s.merge(rangeOrThrow("H6:L6"));
    s.merge(rangeOrThrow("B3:B5")); // spans the insertion point: grows
    s.printArea().push_back(rangeOrThrow("A1:L8"));
    s.printTitleRows() = std::make_pair(2, 3);

    s.insertRows(4, 7); // above row 5
    for (int r = 4; r < 11; ++r) {
        ASSERT_NE(s.cell(r, 1), nullptr) << r;
        EXPECT_EQ(s.cell(r, 1)->xf, 21);
        EXPECT_EQ(s.cell(r, 2)->xf, 22);
        EXPECT_TRUE(isEmpty(s.value(r, 1)));
        EXPECT_EQ(s.rowInfo(r)->heightTwips, 400);
    }
    EXPECT_EQ(txt(s.value("H13")), "Signature");
    EXPECT_EQ(s.rowInfo(12)->heightTwips, 600);
    EXPECT_EQ(s.mergedRanges()[0], rangeOrThrow("H13:L13"));
    EXPECT_EQ(s.mergedRanges()[1], rangeOrThrow("B3:B12"));
    EXPECT_EQ(s.printArea()[0], rangeOrThrow("A1:L15"));
    EXPECT_EQ(*s.printTitleRows(), std::make_pair(2, 3));
}

TEST(SheetStructure, MergeRejectsOverlapAndColumnWidthsJoin)
{
    Sheet s("S");
    s.merge(rangeOrThrow("B5:L7"));
    EXPECT_THROW(s.merge(rangeOrThrow("C6:D6")), Error);
    s.setColumnWidth(1, 3, 10);
    s.setColumnWidth(2, 2, 12);
    ASSERT_EQ(s.columns().size(), 3u);
    EXPECT_EQ(s.columns()[1].first, 2);
    EXPECT_EQ(s.columns()[1].width, 12 * 256);
    s.setColumnWidth(2, 2, 10);
    ASSERT_EQ(s.columns().size(), 1u);
    EXPECT_EQ(s.columns()[0].last, 3);
}

Workbook threeSheets()
{
    Workbook wb;
    wb.addSheet("AcknDetails");
    wb.addSheet("Annex");
    wb.addSheet("Form 16A"); // each goes in front of the active one
    return wb;
}

TEST(WorkbookSheets, AddGoesBeforeActiveAndBecomesActive)
{
    Workbook wb = threeSheets();
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    wb.setActiveSheet(1);
    wb.addSheet("Textdata");
    EXPECT_EQ(wb.sheetNames()[1], "Textdata");
    EXPECT_EQ(wb.activeSheet(), 1);
    wb.addSheet();
    EXPECT_EQ(wb.sheet(1).name(), "Sheet5");
    EXPECT_THROW(wb.addSheet("annex"), Error);       // names are unique ignoring case
    EXPECT_THROW(wb.renameSheet(0, "a/b"), Error);
    EXPECT_THROW(wb.renameSheet(0, std::string(32, 'x')), Error);
    wb.renameSheet(1, "DeducteeDetails");
    wb.deleteSheets({"DeducteeDetails", "Textdata"});
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    EXPECT_THROW(wb.deleteSheets({"Nope"}), Error);
    EXPECT_EQ(wb.indexOf("form 16a"), -1); // lookups are exact
}

TEST(WorkbookSheets, CopyBeforeAndAfter)
{
    Workbook wb = threeSheets();
    wb.sheet("Form 16A").setValue("J1", std::string("Certificate No."));
    int at = wb.copySheet(wb.indexOf("Form 16A"), 0);
    EXPECT_EQ(at, 0);
    EXPECT_EQ(wb.activeSheet(), 0);
    EXPECT_EQ(wb.sheet(0).name(), "Form 16A (2)");
    EXPECT_EQ(txt(wb.sheet(0).value("J1")), "Certificate No.");
    wb.sheet(0).setValue("J1", std::string("changed"));
    EXPECT_EQ(txt(wb.sheet("Form 16A").value("J1")), "Certificate No."); // a deep copy
    at = wb.copySheet(wb.indexOf("Annex"), 0, /*after=*/true);
    EXPECT_EQ(at, 1);
    EXPECT_EQ(wb.sheet(1).name(), "Annex (2)");
}

TEST(WorkbookSheets, MoveToNewWorkbookCarriesFormatsAndLayout)
{
    Workbook wb = threeSheets();
    Font bold;
    bold.weight = 700;
    bold.heightTwips = 280;
    Xf xf;
    xf.font = wb.addFont(bold);
    xf.numFmt = wb.addNumberFormat("dd/mm/yyyy");
    xf.top.style = 1;
    std::uint16_t ix = wb.addXf(xf);
    Sheet& f = wb.sheet("Form 16A");
    f.setValue("C48", 39644.0);
    f.setXf(47, 2, ix);
    f.setColumnWidth(2, 2, 13);
    f.setRowHeight(1, 20);
    f.merge(rangeOrThrow("B42:L44"));
    f.printArea().push_back(rangeOrThrow("B1:L49"));
    f.pageSetup().fitToPage = true;

    wb.copySheet(wb.indexOf("Form 16A"), 0);
    wb.renameSheet(0, "007");
    wb.copySheet(wb.indexOf("Annex"), 0, true);
    wb.renameSheet(1, "7A");
    Workbook out = wb.moveSheetsToNewWorkbook({0, 1});
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    ASSERT_EQ(out.sheetNames(), (std::vector<std::string>{"007", "7A"}));
    EXPECT_EQ(out.activeSheet(), 0);
    const Sheet& m = out.sheet("007");
    const Xf& mx = out.xfs()[m.cell(47, 2)->xf];
    EXPECT_TRUE(out.font(mx.font)->bold());
    EXPECT_EQ(out.font(mx.font)->heightTwips, 280);
    EXPECT_EQ(out.numberFormat(mx.numFmt), "dd/mm/yyyy");
    EXPECT_TRUE(out.isDateXf(m.cell(47, 2)->xf));
    EXPECT_EQ(mx.top.style, 1);
    EXPECT_EQ(m.columns()[0].width, 13 * 256);
    EXPECT_EQ(m.rowInfo(1)->heightTwips, 400);
    EXPECT_EQ(m.mergedRanges()[0], rangeOrThrow("B42:L44"));
    EXPECT_EQ(m.printArea()[0], rangeOrThrow("B1:L49"));
    EXPECT_TRUE(m.pageSetup().fitToPage);
}

TEST(WorkbookFormats, FontIndexFourIsSkippedAndTablesDeduplicate)
{
    Workbook wb;
    EXPECT_EQ(wb.font(4), nullptr);
    Font f;
    f.italic = true;
    std::uint16_t a = wb.addFont(f);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(wb.addFont(f), 5);
    EXPECT_TRUE(wb.font(5)->italic);
    EXPECT_EQ(wb.addNumberFormat("0.00"), 2); // builtin
    EXPECT_EQ(wb.addNumberFormat("@"), 49);
    std::uint16_t custom = wb.addNumberFormat("dd/mm/yyyy");
    EXPECT_GE(custom, 164);
    EXPECT_EQ(wb.addNumberFormat("dd/mm/yyyy"), custom);
    Xf x;
    x.numFmt = custom;
    EXPECT_EQ(wb.addXf(x), wb.addXf(x));
    EXPECT_TRUE(isDateFormat("dd/mm/yyyy"));
    EXPECT_TRUE(isDateFormat("[h]:mm"));
    EXPECT_FALSE(isDateFormat("0.00"));
    EXPECT_FALSE(isDateFormat("\"Day\" 0"));
    EXPECT_FALSE(isDateFormat("[Red]#,##0"));
    EXPECT_FALSE(isDateFormat("General"));
}

TEST(WorkbookCopyValues, ValuesOnlyTargetFormatsKept)
{
    Sheet src("DeducteeDetails"), dst("001");
    src.setValue("E2", std::string("1.07.2008"));
    src.setValue("E3", 5.0);
    src.setXf(1, 4, 99);
    dst.setXf(23, 3, 30);
    dst.setXf(24, 3, 30);
    dst.setValue("D26", std::string("old"));
    Workbook::copyValues(src, rangeOrThrow("E2:E4"), dst, CellRef{23, 3});
    EXPECT_EQ(txt(dst.value("D24")), "1.07.2008");
    EXPECT_EQ(num(dst.value("D25")), 5.0);
    EXPECT_TRUE(isEmpty(dst.value("D26"))); // an empty source empties its target
    EXPECT_EQ(dst.cell(23, 3)->xf, 30);
}

} // namespace
