#include "Template.h"

#include "core/CertificateLayout.h"
#include "host/Cell.h"
#include "host/Format.h"
#include "host/Sheet.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace cw::tmpl {

namespace {

namespace layout = core::layout;

using host::Border;
using host::Font;
using host::HAlign;
using host::Range;
using host::Sheet;
using host::VAlign;
using host::Value;
using host::Workbook;
using host::Xf;

constexpr const char* kText = "@";
constexpr const char* kAmount = "0.00";
constexpr const char* kDate = "dd/mm/yyyy";

// What one cell looks like, in the terms the layout is described in.
struct Style {
    bool bold = false;
    int points = 10;
    HAlign h = HAlign::General;
    VAlign v = VAlign::Bottom;
    bool wrap = false;
    bool shrink = false;
    std::uint8_t indent = 0;
    bool box = false;       // a thin line on all four sides
    bool lineAbove = false; // a thin line on top only: the signature line
    const char* format = "General";
};

// Turns styles into the workbook's fonts, number formats and cell XFs (shared when equal).
class Styler {
public:
    explicit Styler(Workbook& wb) : m_wb(wb) {}

    std::uint16_t operator()(const Style& s)
    {
        Font font;
        font.heightTwips = static_cast<std::uint16_t>(s.points * 20);
        font.weight = s.bold ? 700 : 400;
        Xf xf;
        xf.parent = 0;
        // The default font is font 0; addFont would give an identical font a record of its own.
        xf.font = font == Font{} ? 0 : m_wb.addFont(font);
        xf.numFmt = m_wb.addNumberFormat(s.format);
        xf.hAlign = s.h;
        xf.vAlign = s.v;
        xf.wrap = s.wrap;
        xf.shrink = s.shrink;
        xf.indent = s.indent;
        const Border thin{1, 0x40};
        if (s.box)
            xf.left = xf.right = xf.top = xf.bottom = thin;
        if (s.lineAbove)
            xf.top = thin;
        return m_wb.addXf(xf);
    }

private:
    Workbook& m_wb;
};

// Formats every cell of `range`, puts `value` in its top-left cell and merges it when it
// spans more than one cell. Every cell carries the full format so that the borders of a
// merged block are whole in every spreadsheet program.
void block(Sheet& sheet, std::string_view range, Value value, std::uint16_t xf)
{
    const Range r = host::rangeOrThrow(range);
    for (int row = r.firstRow; row <= r.lastRow; ++row)
        for (int col = r.firstCol; col <= r.lastCol; ++col)
            sheet.setXf(row, col, xf);
    if (!host::isEmpty(value))
        sheet.setValue(r.firstRow, r.firstCol, std::move(value));
    if (r.rows() > 1 || r.cols() > 1)
        sheet.merge(r);
}

// Static text, taken as std::string so that a string literal never becomes a boolean Value.
void text(Sheet& sheet, std::string_view range, std::string value, std::uint16_t xf)
{
    block(sheet, range, Value(std::move(value)), xf);
}

// A cell (or merged block) that the generator or the user fills: formatted, left empty.
void blank(Sheet& sheet, std::string_view range, std::uint16_t xf)
{
    block(sheet, range, Value{}, xf);
}

// A4 portrait, narrow margins, centred across the page, one page wide (and one tall when
// `onePage`); nothing but the cells' own lines printed.
void setUpPage(Sheet& sheet, bool onePage, const Range& printArea)
{
    host::PageSetup& p = sheet.pageSetup();
    p.paperSize = 9;
    p.portrait = true;
    p.scale = 100;
    p.fitToPage = true;
    p.fitWidth = 1;
    p.fitHeight = onePage ? 1 : 0;
    p.leftMargin = p.rightMargin = 0.25;
    p.topMargin = p.bottomMargin = 0.75;
    p.headerMargin = p.footerMargin = 0.3;
    p.hCenter = true;
    p.printGridlines = false;
    p.printHeadings = false;
    sheet.printArea() = {printArea};
}

// The page table's columns B to L; shared by the certificate page and its continuation.
void setTableColumns(Sheet& sheet)
{
    const double widths[] = {1.5, 7, 13, 11, 11, 10, 10, 12, 12, 10, 11, 16};
    for (int col = 0; col < 12; ++col)
        sheet.setColumnWidth(col, col, widths[col]);
}

constexpr const char* kTableHeadings[11] = {
    "Sl. No.",
    "Amount paid/ credited",
    "Date of payment/ credit",
    "TDS Rs.",
    "Surcharge Rs.",
    "Education Cess Rs.",
    "Total tax deposited Rs.",
    "Cheque/DD No. (if any)",
    "BSR Code of Bank branch",
    "Date on which tax deposited (dd/mm/yy)",
    "Transfer voucher/ Challan identification No.",
};

constexpr const char* kPaymentsCovered =
    "For interest on securities; dividends; interest other than 'interest on securities'; winnings "
    "from lottery or crossword puzzle; winnings from horse race; payments to contractors and "
    "sub-contractors; insurance commission; payments to non-resident sportsmen/sports associations; "
    "payments in respect of deposits under National Savings Scheme; payments on account of "
    "repurchase of units by Mutual Fund/Unit Trust of India; commission, remuneration or prize on "
    "sale of lottery tickets; commission or brokerage; rent; fees for professional or technical "
    "services; income in respect of units; payment of compensation on acquisition of certain "
    "immovable property; other sums under section 195; income in respect of units of non-residents "
    "referred to in section 196A; income from units referred to in section 196B; income from "
    "foreign currency bonds or shares of an Indian company referred to in section 196C; income of "
    "Foreign Institutional Investors from securities referred to in section 196D";

constexpr std::string_view kSignature = layout::form::kSignatureCaption;

std::string column(int col) { return host::columnName(col); }

void buildForm16A(Sheet& s, Styler& style)
{
    setTableColumns(s);

    const auto plain = style({});
    const auto small = style({.points = 8, .h = HAlign::Center, .v = VAlign::Center});
    const auto label = style({.bold = true, .h = HAlign::Center, .v = VAlign::Center, .wrap = true, .box = true});
    const auto textBox = style({.h = HAlign::Left, .v = VAlign::Center, .indent = 1, .box = true, .format = kText});
    const auto nameBox =
        style({.h = HAlign::Left, .v = VAlign::Center, .shrink = true, .indent = 1, .box = true, .format = kText});
    const auto centredBox = style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = kText});
    const auto amount = style({.h = HAlign::Right, .v = VAlign::Center, .box = true, .format = kAmount});
    const auto code = centredBox;
    const auto value = style({.h = HAlign::Left, .format = kText});

    // Heading.
    text(s, "J1", "Certificate No.", style({.bold = true, .h = HAlign::Right}));
    blank(s, "K1:L1", style({.bold = true, .h = HAlign::Left, .format = kText}));
    text(s, "B2:L2", "FORM NO. 16A", style({.bold = true, .points = 14, .h = HAlign::Center, .v = VAlign::Center}));
    text(s, "B3:L3", "[See rule 31(1)(b)]", style({.h = HAlign::Center}));
    text(s, "B4:L4", "Certificate of deduction of tax at source under section 203 of the Income-tax Act, 1961",
          style({.bold = true, .h = HAlign::Center, .v = VAlign::Center}));
    text(s, "B5:L7", kPaymentsCovered,
          style({.points = 8, .h = HAlign::Center, .v = VAlign::Center, .wrap = true}));

    // Deductor, acknowledgement numbers and deductee.
    text(s, "B9:E9", "Name and address of the person deducting tax", label);
    text(s, "F9:H9",
          "Acknowledgement Nos. of all Quarterly Statements of TDS under sub-section (3) of section 200", label);
    text(s, "I9:L9", "Name and address of the person to whom payment made or in whose account it is credited",
          label);
    blank(s, "B10:E10", nameBox);
    text(s, "F10", "Quarter", label);
    text(s, "G10:H10", "Acknowledgement No.", label);
    blank(s, "I10:L10", nameBox);
    blank(s, "B11:E14",
          style({.h = HAlign::Left, .v = VAlign::Top, .wrap = true, .indent = 1, .box = true, .format = kText}));
    for (int q = 1; q <= 4; ++q) {
        const std::string row = std::to_string(10 + q);
        text(s, "F" + row, std::to_string(q), centredBox);
        blank(s, "G" + row + ":H" + row, centredBox);
    }
    blank(s, "I11:L14", textBox); // the statement carries no deductee address

    text(s, "B15:D15", "TAN No. of the person deducting tax", label);
    text(s, "E15:H15", "Nature of Payment", label);
    text(s, "I15:L15", "PAN No. of the Payee", label);
    blank(s, "B16:D16", textBox);
    blank(s, "E16:H16", textBox);
    blank(s, "I16:L16", textBox);
    text(s, "B17:D17", "PAN No. of the person deducting tax", label);
    blank(s, "E17:H18", textBox);
    text(s, "I17:L17", "For the period", label);
    blank(s, "B18:D18", textBox);
    blank(s, "I18:L18", nameBox);

    // The payment table.
    text(s, "B20:L20", "DETAILS OF PAYMENT, TAX DEDUCTION AND DEPOSIT OF TAX INTO CENTRAL GOVERNMENT ACCOUNT",
          style({.bold = true, .h = HAlign::Center, .v = VAlign::Center}));
    text(s, "B21:L21",
          "(The Deductor to provide payment wise details of tax deducted and deposited with respect to the deductee)",
          small);
    for (int i = 0; i < 11; ++i) {
        const std::string c = column(1 + i);
        text(s, c + "22:" + c + "23", kTableHeadings[i], label);
    }
    // Serial numbers sit at the left like the continuation note that may replace the 16: a
    // centred note would run off the page's left edge.
    const auto serial = style({.h = HAlign::Left, .v = VAlign::Center, .indent = 1, .box = true});
    for (int row = 24; row <= 39; ++row) {
        const std::string r = std::to_string(row);
        block(s, "B" + r, static_cast<double>(row - 23), serial);
        blank(s, "C" + r, amount);
        blank(s, "D" + r, code);
        for (const char* c : {"E", "F", "G", "H"})
            blank(s, c + r, amount);
        for (const char* c : {"I", "J", "K", "L"})
            blank(s, c + r, code);
    }

    const auto total = style({.bold = true, .h = HAlign::Right, .v = VAlign::Center, .box = true, .format = kAmount});
    text(s, "B40", "Total", style({.bold = true, .h = HAlign::Center, .v = VAlign::Center, .box = true}));
    blank(s, "C40", total);
    blank(s, "D40", code);
    for (const char* c : {"E40", "F40", "G40", "H40"})
        blank(s, c, total);
    for (const char* c : {"I40", "J40", "K40", "L40"})
        blank(s, c, code);

    // The certificate sentence and the signature.
    blank(s, "B42:L44", style({.h = HAlign::Left, .v = VAlign::Top, .wrap = true, .format = kText}));
    text(s, "H46:L46", std::string(kSignature), style({.h = HAlign::Center, .lineAbove = true}));
    text(s, "B47", "Place", plain);
    blank(s, "C47:F47", value);
    text(s, "B48", "Date", plain);
    blank(s, "C48:F48", value);
    text(s, "H48", "Full Name:", plain);
    blank(s, "J48:L48", value);
    text(s, "H49", "Designation:", plain);
    blank(s, "J49:L49", value);

    // Row heights, in points, sized for the wrapped texts above.
    const std::pair<int, double> heights[] = {
        {1, 15},  {2, 21},  {3, 13.5}, {4, 15},  {5, 26},  {6, 26},  {7, 26},   {8, 6},
        {9, 42},  {10, 15}, {11, 15},  {12, 15}, {13, 15}, {14, 15}, {15, 27},  {16, 16.5},
        {17, 27}, {18, 16.5}, {19, 8}, {20, 15}, {21, 12}, {22, 28}, {23, 28},  {40, 16.5},
        {41, 8},  {42, 14}, {43, 14},  {44, 14}, {45, 30}, {46, 13.5}, {47, 15}, {48, 15},
        {49, 15},
    };
    for (const auto& [row, points] : heights)
        s.setRowHeight(row - 1, points);
    for (int row = 24; row <= 39; ++row)
        s.setRowHeight(row - 1, 15);

    setUpPage(s, true, host::rangeOrThrow("B1:L49"));
    s.setShowGridlines(false);
}

void buildAnnex(Sheet& s, Styler& style)
{
    setTableColumns(s);
    // Wide enough for its two-line label in row 1.
    s.setColumnWidth(1, 1, 10);

    const auto label = style({.bold = true, .h = HAlign::Center, .v = VAlign::Center, .wrap = true, .box = true});

    text(s, "B1", "PAN of the Payee", style({.bold = true, .h = HAlign::Left, .v = VAlign::Center, .wrap = true}));
    blank(s, "C1:D1", style({.h = HAlign::Left, .v = VAlign::Center, .format = kText}));
    text(s, "J1", "Certificate No.", style({.bold = true, .h = HAlign::Right, .v = VAlign::Center}));
    blank(s, "K1:L1", style({.bold = true, .h = HAlign::Left, .v = VAlign::Center, .format = kText}));
    text(s, "B2:L2", "ANNEXURE TO FORM NO. 16A",
          style({.bold = true, .points = 12, .h = HAlign::Center, .v = VAlign::Center}));

    for (int i = 0; i < 11; ++i)
        text(s, column(1 + i) + "3", kTableHeadings[i], label);
    // Row 4 numbers the columns, and the rows inserted for the continued payments copy its
    // formats: boxed and centred, amounts with two decimals, codes and dates kept as text.
    const auto number = style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = kText});
    const auto amount = style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = kAmount});
    for (int i = 0; i < 11; ++i) {
        const bool isAmount = i == 1 || (i >= 3 && i <= 6); // C, E to H
        text(s, column(1 + i) + "4", "(" + std::to_string(i + 1) + ")", isAmount ? amount : number);
    }

    text(s, "H6:L6", std::string(kSignature), style({.h = HAlign::Center, .lineAbove = true}));
    text(s, "H7", "Full Name:", style({}));
    text(s, "H8", "Designation:", style({}));

    const std::pair<int, double> heights[] = {{1, 27}, {2, 19}, {3, 56}, {4, 15}, {5, 30}, {6, 13.5}};
    for (const auto& [row, points] : heights)
        s.setRowHeight(row - 1, points);

    setUpPage(s, false, host::rangeOrThrow("B1:L8"));
    s.printTitleRows() = std::make_pair(2, 3);
    s.setShowGridlines(false);
}

void buildAcknDetails(Sheet& s, Styler& style)
{
    s.setColumnWidth(0, 0, 40);
    s.setColumnWidth(1, 2, 30);

    const auto heading = style({.bold = true, .h = HAlign::Center, .v = VAlign::Center, .wrap = true, .box = true});
    const auto centred = style({.h = HAlign::Center, .v = VAlign::Center, .box = true});

    text(s, "A2", "Certificate Serial Number to start from", style({.bold = true, .v = VAlign::Center}));
    block(s, layout::ackn::kFirstSerial.a1, 1.0, style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = "0"}));
    text(s, "A4", "Quarter", heading);
    text(s, "B4", "Acknowledgement (PRN) No.", heading);
    text(s, "C4", "Date of Filing (dd/mm/yyyy)", heading);
    // Acknowledgement numbers are 15-digit identifiers: stored as text, never as numbers.
    const auto ackn = style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = kText});
    const auto date = style({.h = HAlign::Center, .v = VAlign::Center, .box = true, .format = kDate});
    for (int q = 1; q <= 4; ++q) {
        const std::string row = std::to_string(4 + q);
        block(s, "A" + row, static_cast<double>(q), centred);
        blank(s, "B" + row, ackn);
        blank(s, "C" + row, date);
    }
    s.setRowHeight(1, 18);
    s.setRowHeight(3, 18);

    setUpPage(s, true, host::rangeOrThrow("A1:C8"));
    s.pageSetup().hCenter = false;
}

} // namespace

Workbook buildTemplate()
{
    Workbook wb;
    Styler style(wb);
    // A new sheet goes in front of the active one, so the last sheet is added first.
    buildAcknDetails(wb.addSheet(std::string(layout::kAcknSheet)), style);
    buildAnnex(wb.addSheet(std::string(layout::kAnnexSheet)), style);
    buildForm16A(wb.addSheet(std::string(layout::kFormSheet)), style);
    wb.setActiveSheet(0);
    // Only the active sheet is selected and shown; a selected sheet besides it would open
    // the workbook with its sheets grouped.
    constexpr std::uint16_t kSelected = 0x0200, kShown = 0x0400;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        Sheet& s = wb.sheet(i);
        std::uint16_t flags = s.window2Flags() & static_cast<std::uint16_t>(~(kSelected | kShown));
        if (i == wb.activeSheet())
            flags |= kSelected | kShown;
        s.setWindow2Flags(flags);
    }
    return wb;
}

} // namespace cw::tmpl
