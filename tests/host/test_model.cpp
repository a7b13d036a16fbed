// The in-memory model: addresses, the General conversion of typed text, and the sheet and
// workbook operations the certificates use.

#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

using namespace cw::host;

namespace {

const std::string& txt(const Value& v) { return std::get<std::string>(v); }

TEST(Addresses, ParseAndPrint)
{
    EXPECT_EQ(toA1(9, 26), "AA10");
    EXPECT_EQ(columnName(255), "IV");
    EXPECT_EQ(parseRange("$B$3:A1"), (Range{0, 0, 2, 1}));
    EXPECT_EQ(toA1(Range{0, 0, 2, 1}), "A1:B3");
    for (const char* bad : {"IW1", "A0", "B1:B", "A1:", "1A", "A1x", "B2 :C3"})
        EXPECT_FALSE(parseRange(bad)) << bad;
    EXPECT_THROW(rangeOrThrow("1A"), Error);
}

// What a statement field becomes in a cell: numbers (a trailing minus too), day-first dates,
// and text, where digits with a leading zero stay text (BSR codes, challan numbers).
TEST(GeneralConversion, TypedTextBecomesNumberDateOrText)
{
    const struct {
        const char* text;
        Value value;
        bool date;
    } cases[] = {
        {"12345", 12345.0, false}, {"1234.50", 1234.5, false}, {"250.75-", -250.75, false}, {"1.5E3", 1500.0, false},
        {".5", 0.5, false},        {" 42 ", 42.0, false},      {"-007", -7.0, false},       {"00.5", 0.5, false},
        {"0", 0.0, false},         {"0510308", std::string("0510308"), false},    {"00", std::string("00"), false},
        {"15/07/2008", 39644.0, true}, {"1-2-2009", 39845.0, true},              {"31/02/2008", std::string("31/02/2008"), false},
        {"29/02/2000", 36585.0, true}, {"29/02/2100", std::string("29/02/2100"), false},
        {"0/07/2008", std::string("0/07/2008"), false}, {"15/13/2008", std::string("15/13/2008"), false},
        {"AAACM1234K", std::string("AAACM1234K"), false}, {"1,234", std::string("1,234"), false},
        {"--5", std::string("--5"), false}, {"5-5", std::string("5-5"), false}, {"1e", std::string("1e"), false},
        {"", Value{}, false},
    };
    for (const auto& c : cases) {
        const GeneralResult r = parseGeneral(c.text);
        EXPECT_EQ(r.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(r.isDate, c.date) << '"' << c.text << '"';
    }
}

TEST(GeneralConversion, NumbersPrintPlainAndSerialsCountTheLeapDayOf1900)
{
    const std::pair<double, const char*> texts[] = {{100000, "100000"}, {999999999999999.0, "999999999999999"},
                                                    {-3.5, "-3.5"},     {0.1 + 0.2, "0.3"},
                                                    {1e15, "1E+15"},    {0.00001, "1E-05"},
                                                    {-0.0, "0"},        {1234.5600000000002, "1234.56"}};
    for (const auto& [v, text] : texts)
        EXPECT_EQ(numberToText(v), text);
    EXPECT_EQ(dateSerial(1900, 2, 28), 59);
    EXPECT_EQ(dateSerial(1900, 3, 1), 61);
    EXPECT_FALSE(dateSerial(2009, 2, 29));
    const auto back = serialToDate(39644);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::make_tuple(back->year, back->month, back->day), std::make_tuple(2008, 7, 15));
}

// The annexure's rows: the new rows take the formats of the row above; what is below moves down.
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

    EXPECT_THROW(s.insertRows(kMaxRows, 1), Error); // past the last row: nowhere to insert
    EXPECT_THROW(s.insertRows(-1, 1), Error);
    s.insertRows(kMaxRows, 0); // no rows: nothing to refuse
    s.insertRows(4, 7);
    for (int r = 4; r < 11; ++r) {
        ASSERT_TRUE(s.hasCell(r, 1)) << r;
        EXPECT_EQ(std::make_tuple(s.cell(r, 1)->xf, s.cell(r, 2)->xf, s.rowInfo(r)->heightTwips), std::make_tuple(21, 22, 400));
        EXPECT_TRUE(isEmpty(s.value(r, 1)));
    }
    EXPECT_EQ(txt(s.value("H13")), "Signature");
    EXPECT_EQ(s.rowInfo(12)->heightTwips, 600);
    EXPECT_EQ(s.mergedRanges(), (std::vector<Range>{rangeOrThrow("H13:L13"), rangeOrThrow("B3:B12")}));
    EXPECT_EQ(s.printArea()[0], rangeOrThrow("A1:L15"));
    EXPECT_EQ(*s.printTitleRows(), std::make_pair(2, 3));
}

// The cell store keeps numbers in the cell where it can and texts once per sheet: every kind
// of value comes back as it was set, to the bit.
TEST(SheetCells, EveryValueComesBackAsSet)
{
    const std::vector<Value> values = {
        Value{}, 0.0, -0.0, 1.0, -1.0, 5565.63, 0.1 + 0.2, 1234.5678, 12.34567, 2147483647.0, -2147483648.0,
        2147483648.0, 0.00001, 1e300, -5e-324, std::numeric_limits<double>::infinity(), std::nan(""),
        std::string("DD"), std::string("ÀBC \"quoted\" 94C"), std::string(40000, 'x'), true, false,
        ErrorValue::NA, ErrorValue::Div0};
    Sheet s("Textdata");
    for (std::size_t i = 0; i < values.size(); ++i) {
        s.setValue(static_cast<int>(i), 3, values[i]);
        s.setCell(static_cast<int>(i), 5, Cell{values[i], 21});
    }
    Sheet copy = s;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int r = static_cast<int>(i);
        for (const Value& back : {s.value(r, 3), copy.value(r, 3), s.cell(r, 5)->value}) {
            ASSERT_EQ(back.index(), values[i].index()) << i;
            if (isNumber(back)) // the same bits: -0, NaN and the last digit of an amount included
                EXPECT_EQ(std::bit_cast<std::uint64_t>(std::get<double>(back)), std::bit_cast<std::uint64_t>(std::get<double>(values[i]))) << i;
            else
                EXPECT_EQ(back, values[i]) << i;
        }
        EXPECT_EQ(s.cell(r, 5)->xf, 21);
    }
    // An empty text set by the program empties the cell; one read from a file stays a text.
    s.setValue(0, 0, std::string());
    s.setCell(0, 1, Cell{std::string()});
    EXPECT_EQ(std::make_tuple(s.hasCell(0, 0), s.value(0, 1)), std::make_tuple(false, Value{std::string()}));
}

TEST(SheetCells, SharedTextsFormatsAndFormulasStayWithTheirCells)
{
    Sheet s("DeducteeDetails");
    for (int r = 0; r < 4; ++r)
        s.setValue(r, 0, std::string("AAAPA1234A"));
    s.setXf(1, 0, 30);
    s.setValue(1, 0, std::string("BBBPB1234B")); // the format stays; the other cells keep the text
    Sheet copy = s;
    copy.setValue(2, 0, std::string("CCCPC1234C"));
    EXPECT_EQ(std::make_tuple(txt(s.value(0, 0)), txt(s.value(1, 0)), s.cell(1, 0)->xf, txt(s.value(2, 0)), txt(copy.value(2, 0))),
              std::make_tuple("AAAPA1234A", "BBBPB1234B", 30, "AAAPA1234A", "CCCPC1234C"));

    s.formulas().push_back(Formula{});
    s.setCell(5, 1, Cell{std::string("cached"), 22, 0});
    EXPECT_EQ(std::make_tuple(s.formulaAt(5, 1), s.cell(5, 1)->formula, *s.textAt(5, 1)), std::make_tuple(0u, 0u, "cached"));
    s.setValue(5, 1, 7.0); // a value replaces the formula, the format stays
    EXPECT_EQ(std::make_tuple(s.formulaAt(5, 1), s.cell(5, 1)->xf, s.value(5, 1)), std::make_tuple(kNoFormula, 22, Value{7.0}));

    // Rows move with their values; cleared cells keep their formats.
    s.insertRows(1, 2);
    EXPECT_EQ(std::make_tuple(txt(s.value(0, 0)), isEmpty(s.value(1, 0)), txt(s.value(3, 0)), s.value(7, 1)),
              std::make_tuple("AAAPA1234A", true, "BBBPB1234B", Value{7.0}));
    s.reorderRows(3, {2, 0, 1});
    EXPECT_EQ(std::make_tuple(txt(s.value(3, 0)), txt(s.value(4, 0)), txt(s.value(5, 0))),
              std::make_tuple("AAAPA1234A", "BBBPB1234B", "AAAPA1234A"));
    s.clearContents(Range{0, 0, 10, 5});
    EXPECT_EQ(std::make_tuple(isEmpty(s.value(4, 0)), s.cell(4, 0)->xf, s.lastNonEmptyUp(0, 10)), std::make_tuple(true, 30, -1));
    EXPECT_FALSE(s.cell(4, -1) || s.cell(-1, 0)); // outside the sheet: nothing
}

// A cell written over many times: the texts it no longer holds are dropped, the others kept.
TEST(SheetCells, OverwrittenTextsAreDroppedAndTheRestKept)
{
    Sheet s("Form 16A");
    auto overwrite = [&](int from, int to) { // about 100 bytes a time
        for (int k = from; k < to; ++k)
            s.setValue(0, 0, "certificate " + std::to_string(k) + std::string(90, '-'));
    };
    overwrite(0, 20000);
    for (int r = 0; r < 100; ++r)
        s.setValue(r, 1, "deductee " + std::to_string(r) + std::string(50, '.'));
    s.setValue(0, 2, 1.23456789);
    overwrite(20000, 40000);
    for (int r = 0; r < 100; ++r)
        ASSERT_EQ(txt(s.value(r, 1)), "deductee " + std::to_string(r) + std::string(50, '.'));
    EXPECT_EQ(std::make_tuple(txt(s.value(0, 0)), s.value(0, 2)), std::make_tuple("certificate 39999" + std::string(90, '-'), Value{1.23456789}));
}

TEST(SheetStructure, MergeRejectsOverlapAndColumnWidthsJoin)
{
    Sheet s("S");
    s.merge(rangeOrThrow("B5:L7"));
    EXPECT_THROW(s.merge(rangeOrThrow("C6:D6")), Error);
    s.setColumnWidth(1, 3, 10);
    s.setColumnWidth(2, 2, 12);
    EXPECT_EQ(std::make_tuple(s.columns().size(), s.columns()[1].width), std::make_tuple(std::size_t(3), 12 * 256));
    s.setColumnWidth(2, 2, 10);
    EXPECT_EQ(std::make_tuple(s.columns().size(), s.columns()[0].last), std::make_tuple(std::size_t(1), 3));
}

Workbook threeSheets()
{
    Workbook wb;
    wb.addSheet("AcknDetails");
    wb.addSheet("Annex");
    wb.addSheet("Form 16A"); // each goes in front of the active one
    return wb;
}

TEST(WorkbookSheets, AddRenameDeleteAndCopy)
{
    Workbook wb = threeSheets();
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    wb.setActiveSheet(1);
    wb.addSheet();
    EXPECT_EQ(std::make_pair(wb.sheet(1).name(), wb.activeSheet()), std::make_pair(std::string("Sheet4"), 1));
    EXPECT_THROW(wb.addSheet("annex"), Error); // unique ignoring case
    for (const std::string& bad : std::vector<std::string>{"a/b", std::string(32, 'x'), "'q"})
        EXPECT_THROW(wb.renameSheet(0, bad), Error) << bad;
    // Names of the sheets after a deleted one follow their sheets; the deleted one's go.
    for (const auto& [name, sheet] : {std::pair{"A", 1}, {"B", 2}, {"C", 4}, {"D", 0}})
        wb.names().push_back({name, false, 0, static_cast<std::uint16_t>(sheet)});
    wb.deleteSheets({"Sheet4"});
    std::vector<std::pair<std::string, int>> names;
    for (const DefinedName& n : wb.names())
        names.emplace_back(n.name, n.sheetIndex);
    EXPECT_EQ(names, (std::vector<std::pair<std::string, int>>{{"A", 1}, {"C", 3}, {"D", 0}}));
    EXPECT_THROW(wb.deleteSheets({"Nope"}), Error);
    EXPECT_EQ(wb.indexOf("form 16a"), -1); // lookups are exact

    wb.sheet("Form 16A").setValue("J1", std::string("Certificate No."));
    wb.sheet("Form 16A").setVisibility(Visibility::Hidden);
    EXPECT_EQ(wb.copySheet(wb.indexOf("Form 16A"), 0), 0);
    EXPECT_EQ(wb.sheet(0).visibility(), Visibility::Visible);
    EXPECT_EQ(std::make_pair(wb.sheet(0).name(), wb.activeSheet()), std::make_pair(std::string("Form 16A (2)"), 0));
    wb.sheet(0).setValue("J1", std::string("changed"));
    EXPECT_EQ(txt(wb.sheet("Form 16A").value("J1")), "Certificate No."); // a deep copy
    EXPECT_EQ(wb.copySheet(wb.indexOf("Annex"), 0, /*after=*/true), 1);
    EXPECT_EQ(wb.sheet(1).name(), "Annex (2)");
}

TEST(WorkbookSheets, MoveToNewWorkbookCarriesFormatsAndLayout)
{
    Workbook wb = threeSheets();
    Xf dated;
    dated.font = wb.addFont(Font{.weight = 700});
    dated.numFmt = wb.addNumberFormat("dd/mm/yyyy");
    const std::uint16_t ix = wb.addXf(dated);
    Sheet& f = wb.sheet("Form 16A");
    f.setValue("C48", 39644.0);
    f.setXf(47, 2, ix);
    f.setColumnWidth(2, 2, 13);
    f.merge(rangeOrThrow("B42:L44"));
    f.printArea().push_back(rangeOrThrow("B1:L49"));
    f.pageSetup().fitToPage = true;
    wb.copySheet(wb.indexOf("Form 16A"), 0);
    wb.copySheet(wb.indexOf("Annex"), 0, true);

    const Workbook out = wb.moveSheetsToNewWorkbook({0, 1});
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    ASSERT_EQ(out.sheetNames(), (std::vector<std::string>{"Form 16A (2)", "Annex (2)"}));
    EXPECT_EQ(out.activeSheet(), 0);
    const Sheet& m = out.sheet(0);
    EXPECT_TRUE(out.font(out.xfs()[m.cell(47, 2)->xf].font)->bold() && out.isDateXf(m.cell(47, 2)->xf));
    EXPECT_EQ(std::make_tuple(m.columns()[0].width, m.mergedRanges()[0], m.printArea()[0], m.pageSetup().fitToPage),
              std::make_tuple(13 * 256, rangeOrThrow("B42:L44"), rangeOrThrow("B1:L49"), true));
}

TEST(WorkbookFormats, FontIndexFourIsSkippedAndTablesDeduplicate)
{
    Workbook wb;
    EXPECT_EQ(wb.font(4), nullptr);
    EXPECT_EQ(std::make_tuple(wb.addFont(Font{.italic = true}), wb.addFont(Font{.italic = true})), std::make_tuple(5, 5));
    EXPECT_TRUE(wb.font(5)->italic);
    EXPECT_EQ(wb.addNumberFormat("0.00"), 2); // builtin
    const std::uint16_t custom = wb.addNumberFormat("dd/mm/yyyy");
    EXPECT_EQ(std::make_pair(custom >= 164, wb.addNumberFormat("dd/mm/yyyy")), std::make_pair(true, custom));
    Xf x;
    x.numFmt = custom;
    EXPECT_EQ(wb.addXf(x), wb.addXf(x));
    for (const char* date : {"dd/mm/yyyy", "[h]:mm", "[h]", "[SS]"})
        EXPECT_TRUE(isDateFormat(date)) << date;
    for (const char* other : {"0.00", "\"Day\" 0", "[Red]#,##0", "[$]0.00", "0.00E+00", "General"})
        EXPECT_FALSE(isDateFormat(other)) << other;
}

} // namespace
