#include "printing/CertificateFolder.h"
#include "PrintTestSupport.h"
#include "RealCertificates.h"
#include "SampleCertificate.h"
#include "printing/SheetPages.h"
#include "printing/WorkbookPrinter.h"
#include "app/cli/PdfCli.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace cw;
using namespace cw::printing;
using namespace cw::printing::test;

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

std::vector<int> range(int first, int last)
{
    std::vector<int> v;
    for (int i = first; i <= last; ++i)
        v.push_back(i);
    return v;
}

class Renderer : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

TEST_F(Renderer, TallSheetBreaksByRowsAndRepeatsTitleRows)
{
    host::Workbook book = grid(200, 3);
    host::Sheet& s = book.sheet(0);
    SheetPages plain(book, s);
    // A4 less 2 x 1 inch of margin holds 54 default rows of 12.75 points.
    ASSERT_EQ(plain.count(), 4);
    EXPECT_EQ(plain.pageRows(0), range(0, 53));
    EXPECT_EQ(plain.pageRows(3), range(162, 199));
    EXPECT_EQ(plain.pageColumns(2), range(0, 2));

    s.printTitleRows() = std::make_pair(0, 1);
    SheetPages titled(book, s);
    ASSERT_EQ(titled.count(), 4);
    EXPECT_EQ(titled.pageRows(0), range(0, 53)); // the first page has the titles in place
    std::vector<int> second = {0, 1};
    for (int r = 54; r <= 105; ++r)
        second.push_back(r);
    EXPECT_EQ(titled.pageRows(1), second);       // two title rows, then 52 body rows
    EXPECT_EQ(titled.pageRows(3).front(), 0);
    EXPECT_EQ(titled.pageRows(3).back(), 199);
}

TEST_F(Renderer, WideSheetPrintsDownThenOverOrOverThenDown)
{
    host::Workbook book = grid(80, 12);
    host::Sheet& s = book.sheet(0);
    s.setColumnWidth(0, 11, 20); // 12 x 20 digits: wider than a portrait A4 page
    SheetPages down(book, s);
    ASSERT_EQ(down.count(), 6); // 3 column blocks x 2 row blocks
    EXPECT_EQ(down.pageColumns(0), down.pageColumns(1));
    EXPECT_NE(down.pageRows(0), down.pageRows(1));
    s.pageSetup().leftToRight = true;
    SheetPages over(book, s);
    ASSERT_EQ(over.count(), 6);
    EXPECT_EQ(over.pageRows(0), over.pageRows(1));
    EXPECT_NE(over.pageColumns(0), over.pageColumns(1));
}

TEST_F(Renderer, FitToPagesScalesDownToWholePercentages)
{
    host::Workbook book = grid(200, 12);
    host::Sheet& s = book.sheet(0);
    s.setColumnWidth(0, 11, 20);
    s.pageSetup().fitToPage = true;
    s.pageSetup().fitWidth = 1;
    s.pageSetup().fitHeight = 1;
    SheetPages one(book, s);
    ASSERT_EQ(one.count(), 1);
    EXPECT_LT(one.scale(), 0.5);
    EXPECT_NEAR(one.scale() * 100, std::round(one.scale() * 100), 1e-9);
    EXPECT_EQ(one.pageRows(0).size(), 200u);

    // One page wide, as many tall as needed: every page carries all twelve columns.
    s.pageSetup().fitHeight = 0;
    SheetPages wide(book, s);
    EXPECT_GT(wide.count(), 1);
    for (int p = 0; p < wide.count(); ++p)
        EXPECT_EQ(wide.pageColumns(p).size(), 12u);
    EXPECT_GT(wide.scale(), one.scale());

    // Two pages tall: the scale is the largest that needs no third page.
    s.pageSetup().fitWidth = 0;
    s.pageSetup().fitHeight = 2;
    SheetPages tall(book, s);
    int rowsPages = 0;
    for (int p = 0; p < tall.count(); ++p)
        rowsPages += tall.pageColumns(p).front() == 0 ? 1 : 0;
    EXPECT_EQ(rowsPages, 2);

    // A sheet that already fits is never enlarged.
    host::Workbook small = grid(3, 3);
    small.sheet(0).pageSetup().fitToPage = true;
    EXPECT_EQ(SheetPages(small, small.sheet(0)).scale(), 1.0);
}

TEST_F(Renderer, ScalePrintAreaHiddenRowsAndPaper)
{
    host::Workbook book = grid(200, 3);
    host::Sheet& s = book.sheet(0);
    s.pageSetup().scale = 50;
    EXPECT_EQ(SheetPages(book, s).count(), 2);
    s.pageSetup().scale = 100;

    s.printArea() = {host::rangeOrThrow("B10:C19")};
    s.rowInfoAt(12).hidden = true;
    s.rowInfoAt(12).present = true;
    SheetPages area(book, s);
    ASSERT_EQ(area.count(), 1);
    EXPECT_EQ(area.pageColumns(0), range(1, 2));
    std::vector<int> rows = range(9, 18);
    rows.erase(rows.begin() + 3); // row 13 (index 12) is hidden
    EXPECT_EQ(area.pageRows(0), rows);

    // A print area of whole columns prints as far as the used range goes.
    s.printArea() = {host::rangeOrThrow("A1:C65536")};
    EXPECT_EQ(SheetPages(book, s).count(), 4);

    s.pageSetup().paperSize = 1;
    s.pageSetup().portrait = false;
    QPageLayout layout = SheetPages(book, s).pageLayout();
    EXPECT_EQ(layout.pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(layout.orientation(), QPageLayout::Landscape);

    host::Workbook empty;
    empty.addSheet("Empty");
    EXPECT_EQ(SheetPages(empty, empty.sheet(0)).count(), 0);
}

TEST_F(Renderer, ColumnWidthsFollowTheDefaultFontsDigits)
{
    host::Workbook book = grid(1, 3);
    host::Sheet& s = book.sheet(0);
    s.setColumnWidth(1, 1, 10);
    s.setColumnWidth(2, 2, 20);
    SheetPages pages(book, s);
    EXPECT_NEAR(pages.columnWidth(2), 2 * pages.columnWidth(1), 1e-9);
    // Arial (or its metric twin) 10 point: a digit is 0.556 em.
    EXPECT_NEAR(pages.columnWidth(1), 10 * 5.56, 1.0);
    // Rows whose height was never set take their tallest font; set heights stay.
    host::Font big;
    big.heightTwips = 20 * 20;
    host::Xf xf;
    xf.font = book.addFont(big);
    s.setXf(0, 0, book.addXf(xf));
    s.setRowHeight(3, 30);
    s.setValue(3, 0, std::string("x"));
    s.setXf(3, 0, s.cell(0, 0)->xf);
    SheetPages sized(book, s);
    EXPECT_GT(sized.rowHeight(0), 20.0);
    EXPECT_EQ(sized.rowHeight(3), 30.0);
}

// Draws the first page of a sheet on an image at 2 pixels per point.
QImage drawFirstPage(const host::Workbook& book, const host::Sheet& sheet)
{
    SheetPages pages(book, sheet);
    QSizeF paper = pages.pageLayout().fullRect(QPageLayout::Point).size();
    QImage image((paper * 2).toSize(), QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(144 / 0.0254));
    image.setDotsPerMeterY(static_cast<int>(144 / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(2, 2);
    pages.paint(painter, 0);
    return image;
}

TEST_F(Renderer, FillsBordersAndTextLandInTheirCells)
{
    host::Workbook book;
    host::Sheet& s = book.addSheet("Cells");
    s.setColumnWidth(0, 5, 10);
    host::Xf red;
    red.fillPattern = 1;
    red.fillFg = 10; // palette red
    s.setXf(1, 1, book.addXf(red));
    host::Xf boxed;
    boxed.left.style = boxed.right.style = boxed.top.style = boxed.bottom.style = 5; // thick
    s.setXf(3, 3, book.addXf(boxed));
    s.setValue(5, 0, std::string("WWWWWWWWWWWWWWWWWWWWWWWW")); // flows over the empty cells
    s.setValue(5, 5, std::string("end"));
    const host::PageSetup& ps = s.pageSetup();
    SheetPages pages(book, s);
    const double w = pages.columnWidth(0), h = pages.rowHeight(0);
    auto at = [&](double col, double row) {
        return QPoint(static_cast<int>((ps.leftMargin * 72 + col * w) * 2), static_cast<int>((ps.topMargin * 72 + row * h) * 2));
    };
    QImage image = drawFirstPage(book, s);
    EXPECT_EQ(QColor(image.pixel(at(1.5, 1.5))), QColor(255, 0, 0));
    EXPECT_EQ(QColor(image.pixel(at(2.5, 1.5))), QColor(Qt::white));
    EXPECT_LT(qGray(image.pixel(at(3.5, 3.0))), 80);   // the thick top edge of D4
    EXPECT_LT(qGray(image.pixel(at(4.0, 3.5))), 80);   // and its right edge
    EXPECT_EQ(QColor(image.pixel(at(4.5, 3.5))), QColor(Qt::white));
    auto inkIn = [&](double col) {
        int ink = 0;
        QPoint a = at(col, 5), b = at(col + 1, 6);
        for (int y = a.y(); y < b.y(); ++y)
            for (int x = a.x(); x < b.x(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        return ink;
    };
    EXPECT_GT(inkIn(0), 0);
    EXPECT_GT(inkIn(2), 0); // the long text runs on into C6
    EXPECT_GT(inkIn(5), 0);
}

// Words of a PDF page with their left and right x, through pdftotext's bounding boxes.
struct Word {
    std::string text;
    double xMin, xMax;
};
std::vector<Word> pdfWords(const fs::path& pdf)
{
    ToolResult r = runTool("pdftotext", {"-bbox", QString::fromStdString(pdf.string()), "-"});
    std::vector<Word> words;
    QRegularExpression re(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    for (auto it = re.globalMatch(r.output); it.hasNext();) {
        auto m = it.next();
        words.push_back({m.captured(3).toStdString(), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

TEST_F(Renderer, PdfShowsFormattedValuesMergedCentringAndHashesForNarrowNumbers)
{
    host::Workbook book;
    host::Sheet& s = book.addSheet("Values");
    s.setColumnWidth(0, 0, 12);
    s.setColumnWidth(1, 3, 10);
    host::Xf amount;
    amount.numFmt = book.addNumberFormat("#,##0.00");
    host::Xf date;
    date.numFmt = book.addNumberFormat("dd/mm/yyyy");
    host::Xf centred;
    centred.hAlign = host::HAlign::Center;
    s.setValue(0, 0, 1234567.5);
    s.setXf(0, 0, book.addXf(amount));
    s.setValue(1, 0, *host::dateSerial(2009, 4, 7));
    s.setXf(1, 0, book.addXf(date));
    s.setValue(2, 1, std::string("MIDDLE"));
    s.setXf(2, 1, book.addXf(centred));
    s.merge(host::rangeOrThrow("B3:D3"));
    s.setColumnWidth(4, 4, 2);
    s.setValue(0, 4, 987654321.0); // far too wide for its column
    s.pageSetup().hCenter = true;
    host::Xf shrink;
    shrink.shrink = true;
    s.setValue(4, 1, std::string("SHRUNK NAME OF A DEDUCTEE THAT NEEDS ROOM"));
    s.setXf(4, 1, book.addXf(shrink));
    s.setValue(4, 2, std::string("NEXT"));

    fs::path folder = freshFolder("values");
    fs::path pdf = folder / "values.pdf";
    EXPECT_EQ(writePdf(book, pdf), 1);
    QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("1,234,567.50")) << text.toStdString();
    EXPECT_TRUE(text.contains("07/04/2009")) << text.toStdString();
    EXPECT_FALSE(text.contains("987654321"));
    EXPECT_TRUE(text.contains("#")) << text.toStdString();

    // The merged text sits in the middle of B:D, and the whole block in the middle of the page.
    SheetPages pages(book, s);
    double content = 0;
    for (int c = 0; c <= 4; ++c)
        content += pages.columnWidth(c);
    const double left = (595.28 - content) / 2; // A4 width in points
    const double mergeMiddle = left + pages.columnWidth(0) + 1.5 * pages.columnWidth(1);
    bool found = false;
    for (const Word& w : pdfWords(pdf))
        if (w.text == "MIDDLE") {
            found = true;
            EXPECT_NEAR((w.xMin + w.xMax) / 2, mergeMiddle, 1.5);
        }
    EXPECT_TRUE(found);

    // Shrink to fit keeps the whole text inside its own cell, short of the next one's text.
    double shrunkRight = 0, nextLeft = 0;
    for (const Word& w : pdfWords(pdf)) {
        if (w.text == "SHRUNK")
            EXPECT_GT(w.xMin, left + pages.columnWidth(0));
        if (w.text == "ROOM")
            shrunkRight = w.xMax;
        if (w.text == "NEXT")
            nextLeft = w.xMin;
    }
    EXPECT_GT(shrunkRight, 0.0);
    EXPECT_LT(shrunkRight, left + pages.columnWidth(0) + pages.columnWidth(1));
    EXPECT_LT(shrunkRight, nextLeft);
}

TEST_F(Renderer, CertificateWithAnnexurePrintsOnePagePlusItsAnnexure)
{
    fs::path folder = freshFolder("sample-pdf");
    host::Workbook book = sampleCertificate(7, 30);
    EXPECT_EQ(writePdf(book, folder / "007.pdf"), 2);
    EXPECT_EQ(pdfPageCount(folder / "007.pdf"), 2);
    QString first = pdfText(folder / "007.pdf", 1), second = pdfText(folder / "007.pdf", 2);
    EXPECT_TRUE(first.contains("FORM NO. 16A"));
    EXPECT_TRUE(first.contains("11,234.50"));
    EXPECT_FALSE(first.contains("ANNEXURE"));
    EXPECT_TRUE(second.contains("ANNEXURE TO FORM NO. 16A"));
    EXPECT_TRUE(second.contains("47,035.00")); // payment 30, the last
    // The annexure's title rows head its page.
    EXPECT_TRUE(second.contains("Sl. No."));

    // A file that cannot be written is refused with its name; nothing half-written is left.
    fs::path blocked = folder / "dir.pdf";
    fs::create_directories(blocked);
    try {
        writePdf(book, blocked);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("dir.pdf"), std::string::npos);
    }
}

TEST_F(Renderer, GeneratedCertificatesToPdfSkipWhatCannotBeRead)
{
    fs::path app = freshFolder("generated");
    fs::path form16a = generateSampleCertificates(app);
    std::ofstream(form16a / "009.xls") << "this is not a workbook";
    BatchResult r = writeCertificatePdfs(form16a, {"001", "004", "009", "404"});
    EXPECT_EQ(r.done, (std::vector<std::string>{"001", "004"}));
    ASSERT_EQ(r.skipped.size(), 2u);
    EXPECT_EQ(r.skipped[0].name, "009");
    EXPECT_EQ(r.skipped[1].name, "404");
    EXPECT_NE(r.skipped[1].reason.find("404.xls"), std::string::npos);
    EXPECT_EQ(pdfPageCount(form16a / "001.pdf"), 1);
    EXPECT_EQ(pdfPageCount(form16a / "004.pdf"), 2); // certificate page and its annexure
    EXPECT_FALSE(fs::exists(form16a / "009.pdf"));
    std::string prompt = skippedPrompt(r.skipped);
    EXPECT_NE(prompt.find("009"), std::string::npos);
    EXPECT_NE(prompt.find("404"), std::string::npos);

    // With no names, every listed certificate.
    fs::remove(form16a / "009.xls");
    BatchResult all = writeCertificatePdfs(form16a, {});
    EXPECT_EQ(all.done.size(), 5u);
    EXPECT_EQ(all.pages, 6);
    EXPECT_TRUE(all.skipped.empty());
}

TEST_F(Renderer, PdfCommandWritesBesideEachCertificateAndReportsWhatItSkipped)
{
    fs::path app = freshFolder("pdf-command");
    fs::path form16a = generateSampleCertificates(app);
    std::ostringstream out, err;
    EXPECT_EQ(app::runPdf(app, {"002", "777"}, out, err), 1);
    EXPECT_TRUE(fs::exists(form16a / "002.pdf"));
    EXPECT_FALSE(fs::exists(form16a / "001.pdf"));
    EXPECT_NE(out.str().find("002.pdf"), std::string::npos);
    EXPECT_NE(err.str().find("777: there is no file 777.xls"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("not written as PDF"), std::string::npos) << err.str();

    std::ostringstream out2, err2;
    EXPECT_EQ(app::runPdf(app, {}, out2, err2), 0);
    EXPECT_NE(out2.str().find("5 PDF file(s), 6 page(s)"), std::string::npos) << out2.str();
    EXPECT_EQ(app::runPdf(app / "nowhere", {}, out2, err2), 2);
}

} // namespace
