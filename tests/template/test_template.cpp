// The shipped template workbook as the build wrote it to the application folder: the layout the
// certificate generator and the acknowledgement dialog rely on, readable by other programs.
#include "Template.h"
#include "TestSupport.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace cw::host;
namespace fs = std::filesystem;

namespace {

const fs::path kTemplateFile = fs::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls";

// The cells the generator writes on a copy of "Form 16A" besides the page table: they must be
// empty in the template and visible (not hidden inside a merged block).
const char* const kForm16AFilled[] = {"K1",  "B10", "I10", "B11", "G11", "G12", "G13", "G14",
                                      "B16", "E16", "I16", "B18", "I18", "C40", "E40", "F40",
                                      "G40", "H40", "B42", "C47", "C48", "J48", "J49"};

std::uint16_t xfIndexAt(const Sheet& s, std::string_view a1)
{
    const CellRef c = cellRefOrThrow(a1);
    const std::optional<Cell> cell = s.cell(c.row, c.col);
    return cell ? cell->xf : kDefaultXf;
}

const Xf& xfAt(const Workbook& wb, const Sheet& s, std::string_view a1)
{
    return wb.xfs().at(xfIndexAt(s, a1));
}

std::string formatAt(const Workbook& wb, const Sheet& s, std::string_view a1)
{
    return wb.numberFormat(xfAt(wb, s, a1).numFmt);
}

bool boxed(const Xf& xf)
{
    return xf.left.style && xf.right.style && xf.top.style && xf.bottom.style;
}

// A cell the generator writes must be the top-left cell of its merged block, if any.
void expectVisible(const Sheet& s, std::string_view a1)
{
    const CellRef c = cellRefOrThrow(a1);
    for (const Range& m : s.mergedRanges()) {
        if (m.contains(c.row, c.col)) {
            EXPECT_TRUE(m.firstRow == c.row && m.firstCol == c.col)
                << s.name() << "!" << a1 << " lies inside the merged block " << toA1(m);
        }
    }
}

void expectEmptyInput(const Sheet& s, std::string_view a1)
{
    EXPECT_TRUE(isEmpty(s.value(a1))) << s.name() << "!" << a1 << " should be left empty";
    expectVisible(s, a1);
}

// Everything the other parts of the program rely on in the template.
void checkLayout(const Workbook& wb)
{
    ASSERT_EQ(wb.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));

    // ---- "Form 16A": the certificate page ----
    const Sheet& form = wb.sheet("Form 16A");
    for (const char* a1 : kForm16AFilled)
        expectEmptyInput(form, a1);
    for (int row = 24; row <= 39; ++row) {
        EXPECT_EQ(form.number(row - 1, 1), row - 23) << "serial number in B" << row;
        for (int col = 2; col <= 11; ++col) {
            expectEmptyInput(form, toA1(row - 1, col));
            EXPECT_TRUE(boxed(xfAt(wb, form, toA1(row - 1, col)))) << toA1(row - 1, col);
        }
        EXPECT_EQ(formatAt(wb, form, "C" + std::to_string(row)), "0.00");
        EXPECT_EQ(formatAt(wb, form, "H" + std::to_string(row)), "0.00");
        EXPECT_EQ(formatAt(wb, form, "J" + std::to_string(row)), "@") << "BSR codes keep their zeros";
    }
    expectVisible(form, "B39"); // the continuation note replaces the 16
    for (int q = 1; q <= 4; ++q)
        EXPECT_EQ(formatAt(wb, form, "G" + std::to_string(10 + q)), "@") << "acknowledgement number, quarter " << q;
    EXPECT_EQ(formatAt(wb, form, "H40"), "0.00");
    EXPECT_EQ(form.value("B2"), Value(std::string("FORM NO. 16A")));
    EXPECT_EQ(form.value("B40"), Value(std::string("Total")));

    const PageSetup& fp = form.pageSetup();
    EXPECT_EQ(fp.paperSize, 9) << "A4";
    EXPECT_TRUE(fp.portrait);
    EXPECT_TRUE(fp.fitToPage);
    EXPECT_EQ(fp.fitWidth, 1);
    EXPECT_EQ(fp.fitHeight, 1) << "the certificate is one page";
    EXPECT_TRUE(fp.hCenter);
    EXPECT_FALSE(fp.printGridlines);
    ASSERT_EQ(form.printArea().size(), 1u);
    EXPECT_EQ(toA1(form.printArea()[0]), "B1:L49");

    // ---- "Annex": the continuation page ----
    const Sheet& annex = wb.sheet("Annex");
    expectEmptyInput(annex, "C1");
    expectEmptyInput(annex, "K1");
    for (int col = 2; col <= 11; ++col) {
        expectEmptyInput(annex, toA1(4, col)); // row 5, pushed down by the insertion
        EXPECT_TRUE(boxed(xfAt(wb, annex, toA1(3, col)))) << "row 4 formats the inserted rows";
    }
    EXPECT_EQ(annex.value("L4"), Value(std::string("(11)")));
    const PageSetup& ap = annex.pageSetup();
    EXPECT_EQ(ap.paperSize, 9);
    EXPECT_TRUE(ap.portrait);
    EXPECT_TRUE(ap.fitToPage);
    EXPECT_EQ(ap.fitWidth, 1);
    EXPECT_EQ(ap.fitHeight, 0) << "as many pages tall as the payments need";
    ASSERT_TRUE(annex.printTitleRows());
    EXPECT_EQ(*annex.printTitleRows(), std::make_pair(2, 3)) << "rows 3-4 repeat on every page";

    // ---- "AcknDetails": the acknowledgement register ----
    const Sheet& ackn = wb.sheet("AcknDetails");
    EXPECT_EQ(ackn.number(1, 1), 1.0) << "certificates are numbered from 1";
    for (int row = 5; row <= 8; ++row) {
        const std::string b = "B" + std::to_string(row), c = "C" + std::to_string(row);
        EXPECT_TRUE(isEmpty(ackn.value(b))) << b;
        EXPECT_TRUE(isEmpty(ackn.value(c))) << c;
        EXPECT_EQ(ackn.number(row - 1, 0), row - 4) << "quarter number in A" << row;
        EXPECT_EQ(formatAt(wb, ackn, b), "@") << b << ": 15-digit identifiers stay text";
        EXPECT_EQ(formatAt(wb, ackn, c), "dd/mm/yyyy") << c;
        EXPECT_TRUE(wb.isDateXf(xfIndexAt(ackn, c))) << c;
    }
    EXPECT_EQ(ackn.pageSetup().paperSize, 9);
    EXPECT_TRUE(ackn.pageSetup().portrait);
    EXPECT_EQ(ackn.pageSetup().fitWidth, 1);
}

// The generator continues a long certificate by inserting rows above row 5 of a copy of "Annex";
// the inserted rows must come out as boxed table rows and the signature must move below them.
TEST(Template, AnnexGrowsForContinuedPayments)
{
    Workbook wb = cw::tmpl::buildTemplate();
    const int copy = wb.copySheet(wb.indexOf("Annex"), 0, true);
    Sheet& annex = wb.sheet(copy);
    const int n = 30; // payments in the group; n - 10 rows are inserted
    annex.insertRows(4, n - 10);
    for (int row = 5; row < 5 + n - 10; ++row) {
        EXPECT_TRUE(boxed(xfAt(wb, annex, "C" + std::to_string(row)))) << "C" << row;
        EXPECT_EQ(formatAt(wb, annex, "C" + std::to_string(row)), "0.00") << "C" << row;
        EXPECT_EQ(formatAt(wb, annex, "E" + std::to_string(row)), "0.00") << "E" << row;
        EXPECT_EQ(formatAt(wb, annex, "J" + std::to_string(row)), "@") << "J" << row;
        EXPECT_TRUE(isEmpty(annex.value(row - 1, 3))) << "inserted rows are blank";
    }
    const int signature = 6 + n - 10;
    EXPECT_EQ(annex.text(signature - 1, 7), "Signature of the person responsible for deduction of tax");
    ASSERT_EQ(annex.printArea().size(), 1u);
    EXPECT_GE(annex.printArea()[0].lastRow, signature + 1) << "the print area grows with the rows";
    EXPECT_EQ(*annex.printTitleRows(), std::make_pair(2, 3));
}

// ---- the file in the application folder ----

Workbook openTemplateFile()
{
    if (!fs::exists(kTemplateFile))
        throw std::runtime_error(kTemplateFile.string() + " is missing: the build writes it");
    return Workbook::open(kTemplateFile);
}

TEST(TemplateFile, ReadsBackWithTheLayout)
{
    const Workbook wb = openTemplateFile();
    checkLayout(wb);
    EXPECT_EQ(wb.activeSheet(), 0);
    int selected = 0;
    for (int i = 0; i < wb.sheetCount(); ++i)
        selected += (wb.sheet(i).window2Flags() & 0x0200) ? 1 : 0;
    EXPECT_EQ(selected, 1) << "more than one selected sheet opens the workbook with its sheets grouped";
}

// Five independent readers load the file without a warning and agree on every cell.
TEST(TemplateFile, PassesTheIndependentReaders)
{
    ASSERT_TRUE(fs::exists(kTemplateFile)) << kTemplateFile << " is missing: the build writes it";
    std::string output;
    EXPECT_EQ(cw::test::runCommand(cw::test::shellQuote(cw::test::readerCheck()) + " --strict " +
                                       cw::test::shellQuote(kTemplateFile), output),
              0)
        << output;
}

} // namespace
