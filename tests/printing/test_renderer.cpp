// Drawing: fills, borders and text land in their cells; values show as formatted; real
// certificates become PDFs of the right pages.
#include "core/Failure.h"
#include "PrintTestSupport.h"
#include "TestSupport.h"
#include "printing/SheetPages.h"
#include "printing/WorkbookPrinter.h"

#include "host/General.h"
#include "host/Workbook.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>


namespace fs = std::filesystem;
using namespace cw;
using namespace cw::printing;
using namespace cw::printing::test;

namespace {

class Renderer : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

// The first page of a sheet on an image at 2 pixels per point.
QImage drawFirstPage(const SheetPages& pages)
{
    const QSizeF paper = pages.pageLayout().fullRect(QPageLayout::Point).size();
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
    host::Xf thin;
    thin.left.style = 1;
    s.setXf(3, 4, book.addXf(thin)); // E4's thin left edge loses to D4's thick right edge
    s.setValue(5, 0, std::string("WWWWWWWWWWWWWWWWWWWWWWWW")); // flows over the empty cells
    s.setValue(5, 5, std::string("end"));
    s.setValue(7, 0, std::string("WWWWWWWWWWWWWWWWWWWWWWWW")); // cut short: B8 holds a value
    s.setValue(7, 1, 1.0);
    const SheetPages pages(book, s);
    const host::PageSetup& ps = s.pageSetup();
    const double w = pages.columnWidth(0), h = pages.rowHeight(0);
    auto at = [&](double col, double row) {
        return QPoint(static_cast<int>((ps.leftMargin * 72 + col * w) * 2), static_cast<int>((ps.topMargin * 72 + row * h) * 2));
    };
    const QImage image = drawFirstPage(pages);
    EXPECT_EQ(QColor(image.pixel(at(1.5, 1.5))), QColor(255, 0, 0));
    EXPECT_EQ(QColor(image.pixel(at(2.5, 1.5))), QColor(Qt::white));
    EXPECT_LT(qGray(image.pixel(at(3.5, 3.0))), 80); // the thick top edge of D4
    int rightEdge = 0; // D4's thick right edge wins over E4's thin left one
    for (int dx = -4; dx <= 4; ++dx)
        rightEdge += qGray(image.pixel(at(4.0, 3.5) + QPoint(dx, 0))) < 160;
    EXPECT_GE(rightEdge, 3);
    EXPECT_EQ(QColor(image.pixel(at(4.5, 3.5))), QColor(Qt::white));
    auto inkIn = [&](double col, double row = 5, double width = 1) {
        int ink = 0;
        const QPoint a = at(col, row), b = at(col + width, row + 1);
        for (int y = a.y(); y < b.y(); ++y)
            for (int x = a.x(); x < b.x(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        return ink;
    };
    EXPECT_GT(inkIn(0), 0);
    EXPECT_GT(inkIn(2), 0); // the long text runs on into C6
    EXPECT_GT(inkIn(5), 0);
    EXPECT_GT(inkIn(0, 7), 0);
    EXPECT_EQ(inkIn(1.1, 7, 0.5), 0);
}

TEST_F(Renderer, PdfShowsFormattedValuesMergedCentringShrinkingAndHashes)
{
    host::Workbook book;
    host::Sheet& s = book.addSheet("Values");
    s.setColumnWidth(0, 0, 12);
    s.setColumnWidth(1, 3, 10);
    auto formatted = [&](int row, int col, host::Value v, host::Xf xf) {
        s.setValue(row, col, std::move(v));
        s.setXf(row, col, book.addXf(xf));
    };
    host::Xf xf;
    xf.numFmt = book.addNumberFormat("#,##0.00");
    formatted(0, 0, 1234567.5, xf);
    xf.numFmt = book.addNumberFormat("dd/mm/yyyy");
    formatted(1, 0, *host::dateSerial(2009, 4, 7), xf);
    host::Xf centred;
    centred.hAlign = host::HAlign::Center;
    formatted(2, 1, std::string("MIDDLE"), centred);
    s.merge(host::rangeOrThrow("B3:D3"));
    centred.wrap = true; // wrapped text is laid out apart from a single line
    formatted(6, 1, std::string("WRAPPED"), centred);
    s.merge(host::rangeOrThrow("B7:D7"));
    s.setColumnWidth(4, 4, 2);
    s.setValue(0, 4, 987654321.0); // far too wide for its column
    s.pageSetup().hCenter = true;
    host::Xf shrink;
    shrink.shrink = true;
    formatted(4, 1, std::string("SHRUNK NAME OF A DEDUCTEE THAT NEEDS ROOM"), shrink);
    s.setValue(4, 2, std::string("NEXT"));

    cw::test::TempFolder folder("values");
    const fs::path pdf = folder / "values.pdf";
    EXPECT_EQ(writePdf(book, pdf), 1);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("1,234,567.50")) << text.toStdString();
    EXPECT_TRUE(text.contains("07/04/2009")) << text.toStdString();
    EXPECT_FALSE(text.contains("987654321"));
    EXPECT_TRUE(text.contains("#")) << text.toStdString();

    // The merged text sits in the middle of B:D, and the whole block in the middle of the page;
    // the shrunk text stays inside its own cell, short of the next one's text.
    const SheetPages pages(book, s);
    double content = 0;
    for (int c = 0; c <= 4; ++c)
        content += pages.columnWidth(c);
    const double left = (595.28 - content) / 2; // A4 width in points
    const double b = left + pages.columnWidth(0), c = b + pages.columnWidth(1);
    std::map<std::string, PdfWord> words;
    for (const PdfWord& w : pdfWords(pdf))
        words.emplace(w.text, w);
    ASSERT_TRUE(words.count("MIDDLE") && words.count("SHRUNK") && words.count("ROOM") && words.count("NEXT") &&
                words.count("WRAPPED"));
    for (const char* middle : {"MIDDLE", "WRAPPED"})
        EXPECT_NEAR((words[middle].xMin + words[middle].xMax) / 2, b + 1.5 * pages.columnWidth(1), 1.5) << middle;
    EXPECT_GT(words["SHRUNK"].xMin, b);
    EXPECT_LT(words["ROOM"].xMax, c);
    EXPECT_LT(words["ROOM"].xMax, words["NEXT"].xMin);
}

TEST_F(Renderer, CertificatesPrintTheirPageThenTheAnnexureWithItsTitleRows)
{
    const fs::path form16a = generateSampleCertificates(freshFolder("certificates"));
    const fs::path pdf = form16a / "004.pdf";
    EXPECT_EQ(writePdf(host::Workbook::open(form16a / "004.xls"), pdf), 2);
    const QString first = pdfText(pdf, 1), second = pdfText(pdf, 2);
    EXPECT_TRUE(first.contains("FORM NO. 16A"));
    EXPECT_FALSE(first.contains("ANNEXURE"));
    EXPECT_TRUE(second.contains("ANNEXURE TO FORM NO. 16A"));
    EXPECT_TRUE(second.contains("Sl. No."));

    // A file that cannot be written is refused with its name; nothing half-written is left.
    fs::create_directories(form16a / "dir.pdf");
    try {
        writePdf(host::Workbook::open(form16a / "001.xls"), form16a / "dir.pdf");
        ADD_FAILURE() << "no error";
    } catch (const cw::core::Failure& e) {
        EXPECT_NE(std::string(e.what()).find("dir.pdf"), std::string::npos);
    }
}

} // namespace
