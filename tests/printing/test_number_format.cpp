#include "printing/NumberFormat.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

using cw::printing::cellText;
using cw::printing::formatNumber;
using cw::printing::ValueKind;

namespace {

struct Case {
    double value;
    const char* format;
    const char* shown;
    bool date1904 = false;
};

const double kDay = *cw::host::dateSerial(2009, 4, 7);

const Case kCases[] = {
    // Amounts: rounding half away from zero on the decimal text, carries, no "-0.00".
    {1234567.891, "#,##0.00", "1,234,567.89"},
    {999.995, "#,##0.00", "1,000.00"},
    {-0.004, "0.00", "0.00"},
    {-1234.5, "#,##0.00", "-1,234.50"},
    {0.5, "#,##0", "1"},
    {1.005, "0.00", "1.01"},
    {123456789012.345, "#,##0.00", "123,456,789,012.35"},
    {12, "000", "012"},
    {0.12345, "0.00%", "12.35%"},
    {12345.678, "0.00E+00", "1.23E+04"},
    {1.5, "0.00E+00", "1.50E+00"}, // a zero exponent is written with the pattern's sign
    {0.0015, "0.00E+00", "1.50E-03"},
    {1.5, "#.##", "1.5"},
    {1500000, "#,##0,", "1,500"},
    // Sections and literals.
    {1234.5, "#,##0.00_);(#,##0.00)", "1,234.50 "},
    {-1234.5, "#,##0.00_);(#,##0.00)", "(1,234.50)"},
    {0, "0.00;-0.00;\"-\"", "-"},
    {5, "\"Rs. \"#,##0.00", "Rs. 5.00"},
    {-5, "0.00;[Red]0.00", "5.00"},
    {7, "0\\ \\k\\g", "7 kg"},
    {-5, "0_;;-0", "-5"}, // the space the width of ";" does not end the section
    {7, "0*-", "7"},   // a fill character: the text drawn once, unpadded
    {7, "0*", "7*"},   // a star with nothing to fill with is itself
    // General: the plain decimal text.
    {100000, "General", "100000"},
    {0.1 + 0.2, "General", "0.3"},
    {1234.5, "", "1234.5"},
    {42, "@", "42"},
    // Dates and times, both date systems, 29 February 1900, rounding to the next day.
    {kDay, "dd/mm/yyyy", "07/04/2009"},
    {kDay, "d-mmm-yy", "7-Apr-09"},
    {kDay, "dddd, mmmm d, yyyy", "Tuesday, April 7, 2009"},
    {kDay + 0.75, "dd/mm/yyyy hh:mm", "07/04/2009 18:00"},
    {kDay + 0.75, "h:mm AM/PM", "6:00 PM"},
    {0.5 + 7.0 / 86400, "hh:mm:ss", "12:00:07"},
    {kDay + 0.9999999, "dd/mm/yyyy", "08/04/2009"},
    {0, "dd/mm/yyyy", "01/01/1904", true},
    {60, "dd/mm/yyyy", "29/02/1900"},
    {61, "dd/mm/yyyy", "01/03/1900"},
    {-1, "dd/mm/yyyy", "#"},
};

TEST(NumberFormats, ShowValuesAsASpreadsheetProgramDoes)
{
    for (const Case& c : kCases)
        EXPECT_EQ(formatNumber(c.value, c.format, c.date1904), c.shown) << c.value << " as " << c.format;
}

TEST(NumberFormats, CellTextTakesTheCellsFormatAndKind)
{
    cw::host::Workbook book;
    cw::host::Xf xf;
    xf.numFmt = book.addNumberFormat("#,##0.00");
    const std::uint16_t amount = book.addXf(xf);
    xf.numFmt = 49; // "@": codes stay text with their leading zeros
    const std::uint16_t text = book.addXf(xf);
    xf.numFmt = book.addNumberFormat("0;-0;0;\"PAN @\"@");
    const std::uint16_t labelled = book.addXf(xf);
    struct {
        cw::host::Value value;
        std::uint16_t xf;
        const char* shown;
        ValueKind kind;
    } cells[] = {
        {1234.5, amount, "1,234.50", ValueKind::Number},
        {std::string("0510032"), text, "0510032", ValueKind::Text},
        {std::string("ABCPE1234F"), labelled, "PAN @ABCPE1234F", ValueKind::Text}, // an "@" in quotes is itself
        {true, text, "TRUE", ValueKind::Boolean},
        {cw::host::ErrorValue::Div0, text, "#DIV/0!", ValueKind::Error},
        {std::monostate{}, text, "", ValueKind::Empty},
        {5.0, 60000, "5", ValueKind::Number}, // a format index the workbook lacks: General
    };
    for (const auto& c : cells) {
        cw::host::Cell cell;
        cell.value = c.value;
        cell.xf = c.xf;
        EXPECT_EQ(cellText(book, cell).text, c.shown);
        EXPECT_EQ(cellText(book, cell).kind, c.kind) << c.shown;
    }
}

} // namespace
