#include "SampleCertificate.h"

#include "host/General.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace cw::printing::test {

namespace {

struct Style {
    bool bold = false;
    double points = 10;
    host::HAlign h = host::HAlign::General;
    host::VAlign v = host::VAlign::Bottom;
    bool wrap = false;
    bool box = false;
    const char* format = "General";
};

std::uint16_t xfOf(host::Workbook& book, const Style& s)
{
    host::Font f;
    f.heightTwips = static_cast<std::uint16_t>(s.points * 20);
    f.weight = s.bold ? 700 : 400;
    host::Xf xf;
    xf.parent = 0;
    xf.font = book.addFont(f);
    xf.numFmt = book.addNumberFormat(s.format);
    xf.hAlign = s.h;
    xf.vAlign = s.v;
    xf.wrap = s.wrap;
    if (s.box)
        xf.left.style = xf.right.style = xf.top.style = xf.bottom.style = 1;
    return book.addXf(xf);
}

void put(host::Sheet& sheet, const char* a1, host::Value v, std::uint16_t xf)
{
    host::CellRef r = host::cellRefOrThrow(a1);
    sheet.setValue(r.row, r.col, std::move(v));
    sheet.setXf(r.row, r.col, xf);
}

void box(host::Sheet& sheet, const char* range, std::uint16_t xf, bool merge)
{
    host::Range r = host::rangeOrThrow(range);
    for (int row = r.firstRow; row <= r.lastRow; ++row)
        for (int col = r.firstCol; col <= r.lastCol; ++col)
            sheet.setXf(row, col, xf);
    if (merge && (r.rows() > 1 || r.cols() > 1))
        sheet.merge(r);
}

const char* const kHeadings[] = {"Sl. No.", "Amount paid/ credited", "Date of payment/ credit", "TDS Rs.",
                                 "Surcharge Rs.", "Education Cess Rs.", "Total tax deposited Rs.",
                                 "Cheque/DD No. (if any)", "BSR Code of Bank branch",
                                 "Date on which tax deposited (dd/mm/yy)",
                                 "Transfer voucher/ Challan identification No."};

void paymentRow(host::Workbook& book, host::Sheet& sheet, int row, int n, std::uint16_t boxed,
                std::uint16_t amount, std::uint16_t date, std::uint16_t code)
{
    const double paid = 10000.0 + n * 1234.5;
    const double tds = paid * 0.02;
    sheet.setValue(row, 1, static_cast<double>(n));
    sheet.setXf(row, 1, boxed);
    sheet.setValue(row, 2, paid);
    sheet.setXf(row, 2, amount);
    sheet.setValue(row, 3, *host::dateSerial(2008, 4 + n % 9, 1 + n % 27));
    sheet.setXf(row, 3, date);
    sheet.setValue(row, 4, tds);
    sheet.setXf(row, 4, amount);
    sheet.setValue(row, 5, 0.0);
    sheet.setXf(row, 5, amount);
    sheet.setValue(row, 6, tds * 0.03);
    sheet.setXf(row, 6, amount);
    sheet.setValue(row, 7, tds * 1.03);
    sheet.setXf(row, 7, amount);
    sheet.setValue(row, 8, std::string());
    sheet.setXf(row, 8, code);
    sheet.setValue(row, 9, std::string("0510308"));
    sheet.setXf(row, 9, code);
    char d[16];
    std::snprintf(d, sizeof d, "%02d.%02d.2008", 7 + n % 20, 5 + n % 7);
    sheet.setValue(row, 10, std::string(d));
    sheet.setXf(row, 10, code);
    char challan[16];
    std::snprintf(challan, sizeof challan, "%05d", 100 + n);
    sheet.setValue(row, 11, std::string(challan));
    sheet.setXf(row, 11, code);
    (void)book;
}

} // namespace

host::Workbook sampleCertificate(int serial, int payments)
{
    host::Workbook book;
    char name[16];
    std::snprintf(name, sizeof name, "%03d", serial);
    const std::uint16_t plain = xfOf(book, {});
    const std::uint16_t bold = xfOf(book, {.bold = true});
    const std::uint16_t title = xfOf(book, {.bold = true, .points = 14, .h = host::HAlign::Center});
    const std::uint16_t centred = xfOf(book, {.h = host::HAlign::Center});
    const std::uint16_t centredBold = xfOf(book, {.bold = true, .h = host::HAlign::Center});
    const std::uint16_t small = xfOf(book, {.points = 8, .h = host::HAlign::Center, .v = host::VAlign::Center, .wrap = true});
    const std::uint16_t heading = xfOf(book, {.bold = true, .h = host::HAlign::Center, .v = host::VAlign::Center, .wrap = true, .box = true});
    const std::uint16_t boxed = xfOf(book, {.h = host::HAlign::Center, .box = true});
    const std::uint16_t boxedText = xfOf(book, {.h = host::HAlign::Left, .v = host::VAlign::Top, .wrap = true, .box = true});
    const std::uint16_t amount = xfOf(book, {.h = host::HAlign::Right, .box = true, .format = "#,##0.00"});
    const std::uint16_t total = xfOf(book, {.bold = true, .h = host::HAlign::Right, .box = true, .format = "0.00"});
    const std::uint16_t date = xfOf(book, {.h = host::HAlign::Center, .box = true, .format = "dd/mm/yyyy"});
    const std::uint16_t code = xfOf(book, {.h = host::HAlign::Center, .box = true, .format = "@"});
    const std::uint16_t right = xfOf(book, {.bold = true, .h = host::HAlign::Right});

    // A new sheet goes in front of the active one: the annexure first, so it ends up second.
    host::Sheet* annexSheet = payments > 16 ? &book.addSheet(std::string(name) + " (Annex)") : nullptr;
    host::Sheet& cert = book.addSheet(name);
    const double widths[] = {1.5, 7, 13, 11, 11, 10, 10, 12, 12, 10, 11, 16};
    for (int c = 0; c < 12; ++c)
        cert.setColumnWidth(c, c, widths[c]);
    put(cert, "J1", std::string("Certificate No."), right);
    put(cert, "K1", std::string(name), bold);
    put(cert, "B2", std::string("FORM NO. 16A"), title);
    cert.merge(host::rangeOrThrow("B2:L2"));
    put(cert, "B3", std::string("[See rule 31(1)(b)]"), centred);
    cert.merge(host::rangeOrThrow("B3:L3"));
    put(cert, "B4", std::string("Certificate of deduction of tax at source under section 203 of the Income-tax Act, 1961"), centredBold);
    cert.merge(host::rangeOrThrow("B4:L4"));
    put(cert, "B5", std::string("For interest on securities; dividends; interest other than 'interest on securities'; "
                                "winnings from lottery or crossword puzzle; winnings from horse race; payments to "
                                "contractors and sub-contractors; insurance commission; rent; fees for professional "
                                "or technical services; other sums under section 195"), small);
    cert.merge(host::rangeOrThrow("B5:L7"));
    box(cert, "B9:E9", heading, true);
    put(cert, "B9", std::string("Name and address of the person deducting tax"), heading);
    box(cert, "F9:H9", heading, true);
    put(cert, "F9", std::string("Acknowledgement Nos. of all Quarterly Statements of TDS"), heading);
    box(cert, "I9:L9", heading, true);
    put(cert, "I9", std::string("Name and address of the person to whom payment made"), heading);
    cert.setRowHeight(8, 40);
    box(cert, "B10:E10", boxedText, true);
    put(cert, "B10", std::string("ACME TRADING COMPANY PRIVATE LIMITED"), boxedText);
    box(cert, "B11:E14", boxedText, true);
    put(cert, "B11", std::string("12 MG ROAD, FORT, MUMBAI 400001, MAHARASHTRA"), boxedText);
    put(cert, "F10", std::string("Quarter"), boxed);
    box(cert, "G10:H10", boxed, true);
    put(cert, "G10", std::string("Acknowledgement No."), boxed);
    for (int q = 0; q < 4; ++q) {
        std::string row = std::to_string(11 + q);
        put(cert, ("F" + row).c_str(), static_cast<double>(q + 1), boxed);
        box(cert, ("G" + row + ":H" + row).c_str(), code, true);
        put(cert, ("G" + row).c_str(), std::string("02000012345678") + std::to_string(q), code);
    }
    box(cert, "I10:L10", boxedText, true);
    put(cert, "I10", std::string("RAMESH KUMAR SHARMA"), boxedText);
    box(cert, "I11:L14", boxedText, true);
    put(cert, "B15", std::string("TAN No. of the person deducting tax"), bold);
    put(cert, "E15", std::string("Nature of Payment"), bold);
    put(cert, "I15", std::string("PAN No. of the Payee"), bold);
    put(cert, "B16", std::string("MUMA12345B"), plain);
    put(cert, "E16", std::string("194C"), plain);
    put(cert, "I16", std::string("ABCPS1234K"), plain);
    put(cert, "B17", std::string("PAN No. of the person deducting tax"), bold);
    put(cert, "I17", std::string("For the period"), bold);
    put(cert, "B18", std::string("AAACA1234F"), plain);
    put(cert, "I18", std::string("01.04.2008 to 31.03.2009"), plain);
    put(cert, "B20", std::string("DETAILS OF PAYMENT, TAX DEDUCTION AND DEPOSIT OF TAX INTO CENTRAL GOVERNMENT ACCOUNT"), centredBold);
    cert.merge(host::rangeOrThrow("B20:L20"));
    for (int c = 0; c < 11; ++c) {
        cert.setValue(21, 1 + c, std::string(kHeadings[c]));
        cert.setXf(21, 1 + c, heading);
        cert.setXf(22, 1 + c, heading);
        cert.merge({21, 1 + c, 22, 1 + c});
    }
    cert.setRowHeight(21, 24);
    cert.setRowHeight(22, 24);
    const int onPage = payments > 16 ? 15 : payments;
    for (int i = 0; i < 16; ++i) {
        if (i < onPage) {
            paymentRow(book, cert, 23 + i, i + 1, boxed, amount, date, code);
        } else {
            for (int c = 1; c <= 11; ++c)
                cert.setXf(23 + i, c, boxed);
            cert.setValue(23 + i, 1, static_cast<double>(i + 1));
        }
    }
    if (payments > 16)
        cert.setValue(38, 1, std::string("Contd. in Annexure"));
    double paidTotal = 0;
    for (int n = 1; n <= payments; ++n)
        paidTotal += 10000.0 + n * 1234.5;
    put(cert, "B40", std::string("Total"), bold);
    put(cert, "C40", paidTotal, total);
    put(cert, "E40", paidTotal * 0.02, total);
    put(cert, "F40", 0.0, total);
    put(cert, "G40", paidTotal * 0.02 * 0.03, total);
    put(cert, "H40", paidTotal * 0.02 * 1.03, total);
    put(cert, "B42", std::string("Certified that a sum of Rs. " + host::numberToText(std::round(paidTotal * 2.06) / 100) +
                                 " has been deducted at source and paid to the credit of the Central Government."),
        boxedText);
    box(cert, "B42:L44", boxedText, true);
    put(cert, "H46", std::string("Signature of the person responsible for deduction of tax"), plain);
    put(cert, "B47", std::string("Place"), plain);
    put(cert, "C47", std::string("MUMBAI"), plain);
    put(cert, "B48", std::string("Date"), plain);
    put(cert, "C48", *host::dateSerial(2009, 5, 31), xfOf(book, {.h = host::HAlign::Left, .format = "dd/mm/yyyy"}));
    put(cert, "H48", std::string("Full Name:"), plain);
    put(cert, "J48", std::string("SURESH MEHTA"), plain);
    put(cert, "H49", std::string("Designation:"), plain);
    put(cert, "J49", std::string("DIRECTOR"), plain);
    auto& ps = cert.pageSetup();
    ps.paperSize = 9;
    ps.fitToPage = true;
    ps.fitWidth = ps.fitHeight = 1;
    ps.hCenter = true;
    ps.leftMargin = ps.rightMargin = 0.25;
    ps.topMargin = ps.bottomMargin = 0.75;
    cert.printArea() = {host::rangeOrThrow("A1:L49")};

    if (annexSheet) {
        host::Sheet& annex = *annexSheet;
        for (int c = 0; c < 12; ++c)
            annex.setColumnWidth(c, c, widths[c]);
        put(annex, "B1", std::string("PAN of the Payee"), bold);
        put(annex, "C1", std::string("ABCPS1234K"), plain);
        put(annex, "J1", std::string("Certificate No."), right);
        put(annex, "K1", std::string(name), bold);
        put(annex, "B2", std::string("ANNEXURE TO FORM NO. 16A"), xfOf(book, {.bold = true, .points = 12, .h = host::HAlign::Center}));
        annex.merge(host::rangeOrThrow("B2:L2"));
        for (int c = 0; c < 11; ++c) {
            annex.setValue(2, 1 + c, std::string(kHeadings[c]));
            annex.setXf(2, 1 + c, heading);
            annex.setValue(3, 1 + c, "(" + std::to_string(c + 1) + ")");
            annex.setXf(3, 1 + c, boxed);
        }
        annex.setRowHeight(2, 48);
        int row = 4;
        for (int n = 16; n <= payments; ++n)
            paymentRow(book, annex, row++, n, boxed, amount, date, code);
        ++row;
        annex.setValue(row, 7, std::string("Signature of the person responsible for deduction of tax"));
        annex.setValue(row + 1, 7, std::string("Full Name:"));
        annex.setValue(row + 2, 7, std::string("Designation:"));
        auto& aps = annex.pageSetup();
        aps.fitToPage = true;
        aps.fitWidth = 1;
        aps.fitHeight = 0;
        aps.leftMargin = aps.rightMargin = 0.25;
        annex.printTitleRows() = std::make_pair(2, 3);
    }
    book.setActiveSheet(0);
    return book;
}

} // namespace cw::printing::test
