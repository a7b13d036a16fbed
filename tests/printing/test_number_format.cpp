#include "printing/NumberFormat.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

using cw::printing::cellText;
using cw::printing::formatNumber;
using cw::printing::ValueKind;

namespace {

TEST(NumberFormats, TheTemplatesAmountFormats)
{
    EXPECT_EQ(formatNumber(1234.5, "0.00"), "1234.50");
    EXPECT_EQ(formatNumber(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(formatNumber(999.995, "#,##0.00"), "1,000.00");  // rounding carries into a group
    EXPECT_EQ(formatNumber(0.004, "0.00"), "0.00");
    EXPECT_EQ(formatNumber(-0.004, "0.00"), "0.00");          // no "-0.00"
    EXPECT_EQ(formatNumber(-1234.5, "#,##0.00"), "-1,234.50");
    EXPECT_EQ(formatNumber(0.5, "#,##0"), "1");     // half away from zero
    EXPECT_EQ(formatNumber(1.005, "0.00"), "1.01");  // on the decimal text, not the binary value
    EXPECT_EQ(formatNumber(2.675, "0.00"), "2.68");
    EXPECT_EQ(formatNumber(99.999, "0.00"), "100.00");
    EXPECT_EQ(formatNumber(0.0004, "0.000"), "0.000");
    EXPECT_EQ(formatNumber(1e-20, "0.00"), "0.00");
    EXPECT_EQ(formatNumber(123456789012.345, "#,##0.00"), "123,456,789,012.35");
    EXPECT_EQ(formatNumber(12, "000"), "012");
    EXPECT_EQ(formatNumber(0.25, "0%"), "25%");
    EXPECT_EQ(formatNumber(0.12345, "0.00%"), "12.35%");
    EXPECT_EQ(formatNumber(12345.678, "0.00E+00"), "1.23E+04");
    EXPECT_EQ(formatNumber(1.5, "#.##"), "1.5");
    EXPECT_EQ(formatNumber(1500000, "#,##0,"), "1,500"); // trailing comma scales by 1000
}

TEST(NumberFormats, SectionsAndLiterals)
{
    const std::string accounting = "#,##0.00_);(#,##0.00)";
    EXPECT_EQ(formatNumber(1234.5, accounting), "1,234.50 ");
    EXPECT_EQ(formatNumber(-1234.5, accounting), "(1,234.50)");
    EXPECT_EQ(formatNumber(0, "0.00;-0.00;\"-\""), "-");
    EXPECT_EQ(formatNumber(5, "\"Rs. \"#,##0.00"), "Rs. 5.00");
    EXPECT_EQ(formatNumber(5, "[Red]0.00"), "5.00");
    EXPECT_EQ(formatNumber(-5, "0.00;[Red]0.00"), "5.00");  // the section shows no sign of its own
    EXPECT_EQ(formatNumber(7, "0\\ \\k\\g"), "7 kg");
}

TEST(NumberFormats, GeneralIsThePlainDecimalText)
{
    EXPECT_EQ(formatNumber(100000, "General"), "100000");
    EXPECT_EQ(formatNumber(-3.5, "General"), "-3.5");
    EXPECT_EQ(formatNumber(0.1 + 0.2, "General"), "0.3");
    EXPECT_EQ(formatNumber(1234.5, ""), "1234.5");
    EXPECT_EQ(formatNumber(42, "@"), "42");
}

TEST(NumberFormats, DatesAndTimes)
{
    const double d = *cw::host::dateSerial(2009, 4, 7);
    EXPECT_EQ(formatNumber(d, "dd/mm/yyyy"), "07/04/2009");
    EXPECT_EQ(formatNumber(d, "d/m/yy"), "7/4/09");
    EXPECT_EQ(formatNumber(d, "m/d/yyyy"), "4/7/2009");
    EXPECT_EQ(formatNumber(d, "d-mmm-yy"), "7-Apr-09");
    EXPECT_EQ(formatNumber(d, "dddd, mmmm d, yyyy"), "Tuesday, April 7, 2009");
    EXPECT_EQ(formatNumber(d + 0.75, "dd/mm/yyyy hh:mm"), "07/04/2009 18:00");
    EXPECT_EQ(formatNumber(d + 0.75, "h:mm AM/PM"), "6:00 PM");
    EXPECT_EQ(formatNumber(0.5 + 1.0 / 86400 * 7, "hh:mm:ss"), "12:00:07");
    EXPECT_EQ(formatNumber(d + 0.9999999, "dd/mm/yyyy"), "08/04/2009"); // rounds to the next day
    // The 1904 date system counts from 1 January 1904.
    EXPECT_EQ(formatNumber(0, "dd/mm/yyyy", true), "01/01/1904");
    // 29 February 1900 exists in the 1900 system; serial 61 is 1 March 1900.
    EXPECT_EQ(formatNumber(60, "dd/mm/yyyy"), "29/02/1900");
    EXPECT_EQ(formatNumber(61, "dd/mm/yyyy"), "01/03/1900");
    EXPECT_EQ(formatNumber(-1, "dd/mm/yyyy"), "#");
}

TEST(CellTextOfCells, KindsAndTheCellsFormat)
{
    cw::host::Workbook book;
    cw::host::Xf xf;
    xf.numFmt = book.addNumberFormat("#,##0.00");
    const auto amount = book.addXf(xf);
    xf.numFmt = 49; // "@"
    const auto textFormat = book.addXf(xf);

    cw::host::Cell c;
    c.value = 1234.5;
    c.xf = amount;
    EXPECT_EQ(cellText(book, c).text, "1,234.50");
    EXPECT_EQ(cellText(book, c).kind, ValueKind::Number);
    c.value = std::string("0510032");
    c.xf = textFormat;
    EXPECT_EQ(cellText(book, c).text, "0510032");
    EXPECT_EQ(cellText(book, c).kind, ValueKind::Text);
    c.value = true;
    EXPECT_EQ(cellText(book, c).text, "TRUE");
    c.value = cw::host::ErrorValue::Div0;
    EXPECT_EQ(cellText(book, c).text, "#DIV/0!");
    EXPECT_EQ(cellText(book, c).kind, ValueKind::Error);
    c.value = std::monostate{};
    EXPECT_EQ(cellText(book, c).kind, ValueKind::Empty);
    c.value = 5.0;
    c.xf = 60000; // an XF index the workbook does not have: General
    EXPECT_EQ(cellText(book, c).text, "5");
}

} // namespace
