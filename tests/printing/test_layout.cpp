// Page layout: where a sheet's pages break, how fit-to-pages scales, which rows and columns
// each page shows. The measures come from the workbook's fonts, resolved to the metric-
// compatible families the program asks for by name; the fontconfig run of this test holds
// only those families and must give the same pages.
#include "PrintTestSupport.h"
#include "printing/PrintFonts.h"
#include "printing/SheetPages.h"

#include "host/Workbook.h"

#include <QFontInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace cw;
using cw::printing::SheetPages;

namespace {

// A sheet of `rows` x `cols` numbered cells with default widths and heights.
host::Workbook grid(int rows, int cols)
{
    host::Workbook book;
    host::Sheet& s = book.addSheet("Grid");
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            s.setValue(r, c, static_cast<double>(r * 1000 + c));
    return book;
}

// A list of indices as runs: "0-1,54-105".
std::string runs(const std::vector<int>& v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size();) {
        std::size_t j = i;
        while (j + 1 < v.size() && v[j + 1] == v[j] + 1)
            ++j;
        out += (out.empty() ? "" : ",") + std::to_string(v[i]) + (j > i ? "-" + std::to_string(v[j]) : "");
        i = j + 1;
    }
    return out;
}

// Every page as "rows|columns".
std::vector<std::string> pagesOf(const SheetPages& pages)
{
    std::vector<std::string> out;
    for (int p = 0; p < pages.count(); ++p)
        out.push_back(runs(pages.pageRows(p)) + "|" + runs(pages.pageColumns(p)));
    return out;
}

struct LayoutCase {
    const char* what;
    int rows, cols;
    std::function<void(host::Sheet&)> setup;
    std::vector<std::string> pages;
    double scale = 1.0;
};

const std::vector<LayoutCase>& layoutCases()
{
    static const std::vector<LayoutCase> cases = {
        {"A4 less 2 x 1 inch of margin holds 54 default rows", 200, 3, [](host::Sheet&) {},
         {"0-53|0-2", "54-107|0-2", "108-161|0-2", "162-199|0-2"}},
        {"title rows head every later page", 200, 3, [](host::Sheet& s) { s.printTitleRows() = std::make_pair(0, 1); },
         {"0-53|0-2", "0-1,54-105|0-2", "0-1,106-157|0-2", "0-1,158-199|0-2"}},
        {"wide sheets print down, then over", 80, 12, [](host::Sheet& s) { s.setColumnWidth(0, 11, 20); },
         {"0-53|0-3", "54-79|0-3", "0-53|4-7", "54-79|4-7", "0-53|8-11", "54-79|8-11"}},
        {"or over, then down", 80, 12,
         [](host::Sheet& s) {
             s.setColumnWidth(0, 11, 20);
             s.pageSetup().leftToRight = true;
         },
         {"0-53|0-3", "0-53|4-7", "0-53|8-11", "54-79|0-3", "54-79|4-7", "54-79|8-11"}},
        {"fit to one page: the largest whole percentage", 200, 12,
         [](host::Sheet& s) {
             s.setColumnWidth(0, 11, 20);
             s.pageSetup().fitToPage = true;
             s.pageSetup().fitWidth = s.pageSetup().fitHeight = 1;
         },
         {"0-199|0-11"}, 0.27},
        {"one page wide, as tall as needed", 200, 12,
         [](host::Sheet& s) {
             s.setColumnWidth(0, 11, 20);
             s.pageSetup().fitToPage = true;
             s.pageSetup().fitWidth = 1;
             s.pageSetup().fitHeight = 0;
         },
         {"0-151|0-11", "152-199|0-11"}, 0.36},
        {"two pages tall", 200, 3,
         [](host::Sheet& s) {
             s.pageSetup().fitToPage = true;
             s.pageSetup().fitWidth = 0;
             s.pageSetup().fitHeight = 2;
         },
         {"0-100|0-2", "101-199|0-2"}, 0.54},
        {"a sheet that fits is never enlarged", 3, 3, [](host::Sheet& s) { s.pageSetup().fitToPage = true; },
         {"0-2|0-2"}},
        {"a fixed scale", 200, 3, [](host::Sheet& s) { s.pageSetup().scale = 50; }, {"0-108|0-2", "109-199|0-2"}, 0.5},
        {"a print area, less its hidden row", 200, 3,
         [](host::Sheet& s) {
             s.printArea() = {host::rangeOrThrow("B10:C19")};
             s.rowInfoAt(12).hidden = s.rowInfoAt(12).present = true;
         },
         {"9-11,13-18|1-2"}},
        {"a print area of whole columns stops at the used range", 200, 3,
         [](host::Sheet& s) { s.printArea() = {host::rangeOrThrow("A1:C65536")}; },
         {"0-53|0-2", "54-107|0-2", "108-161|0-2", "162-199|0-2"}},
        {"an empty sheet has no pages", 0, 0, [](host::Sheet&) {}, {}},
    };
    return cases;
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override { cw::printing::test::ensureGuiApplication(); }
};

TEST_F(Layout, PagesBreakWhereRowsAndColumnsNoLongerFit)
{
    for (const LayoutCase& c : layoutCases()) {
        host::Workbook book = grid(c.rows, c.cols);
        if (book.sheetCount() == 0)
            book.addSheet("Grid");
        c.setup(book.sheet(0));
        const SheetPages pages(book, book.sheet(0));
        EXPECT_EQ(pagesOf(pages), c.pages) << c.what;
        EXPECT_DOUBLE_EQ(pages.scale(), c.scale) << c.what;
    }
}

TEST_F(Layout, MeasuresFollowTheDefaultFontAndThePageSetup)
{
    host::Workbook book = grid(1, 3);
    host::Sheet& s = book.sheet(0);
    s.setColumnWidth(1, 1, 10);
    s.setColumnWidth(2, 2, 20);
    // Rows whose height was never set take their tallest font; set heights stay.
    host::Font big;
    big.heightTwips = 20 * 20;
    host::Xf xf;
    xf.font = book.addFont(big);
    s.setXf(0, 0, book.addXf(xf));
    s.setRowHeight(3, 30);
    s.setValue(3, 0, std::string("x"));
    s.setXf(3, 0, s.cell(0, 0)->xf);
    s.pageSetup().paperSize = 1;
    s.pageSetup().portrait = false;
    const SheetPages pages(book, s);
    // Arial's metric twin at 10 points: a digit is 0.556 em.
    EXPECT_NEAR(pages.digitWidth(), 5.56, 0.01);
    EXPECT_NEAR(pages.columnWidth(2), 2 * pages.columnWidth(1), 1e-9);
    EXPECT_NEAR(pages.rowHeight(0), 24.75, 0.01); // 20 points of text: 31 + 2 pixels at 96 dpi
    EXPECT_EQ(pages.rowHeight(3), 30.0);
    EXPECT_EQ(pages.pageLayout().pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(pages.pageLayout().orientation(), QPageLayout::Landscape);
}

TEST_F(Layout, TheCertificatesPagesComeOutAsDesigned)
{
    const auto form16a = cw::printing::test::generateSampleCertificates(cw::printing::test::freshFolder("layout"));
    std::vector<std::string> sheets;
    for (const char* name : {"001", "004"}) {
        const host::Workbook book = host::Workbook::open(form16a / (std::string(name) + ".xls"));
        for (int i = 0; i < book.sheetCount(); ++i) {
            const SheetPages pages(book, book.sheet(i));
            for (const std::string& p : pagesOf(pages))
                sheets.push_back(book.sheet(i).name() + " " + p + " " + std::to_string(pages.scale()));
        }
    }
    // Fit to one page wide: the scale is where a font of other widths shows first.
    EXPECT_EQ(sheets, (std::vector<std::string>{"001 0-48|1-11 0.810000", "004 0-48|1-11 0.810000",
                                                 "4A 0-15|1-11 0.790000"}));
}

TEST_F(Layout, FontNamesResolveToTheirMetricTwinsByName)
{
    const std::pair<const char*, const char*> names[] = {
        {"Arial", "Liberation Sans"},        {"Helvetica", "Liberation Sans"}, {"Tahoma", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"}, {"Courier New", "Liberation Mono"}, {"Verdana", "DejaVu Sans"},
    };
    for (const auto& [name, family] : names) {
        host::Font font;
        font.name = name;
        EXPECT_EQ(QFontInfo(cw::printing::pageFont(font, 72)).family(), family) << name;
    }
}

} // namespace
