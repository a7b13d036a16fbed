// The statement read into records: the splitter every reader shares, the files it refuses, the
// records and the values a certificate cannot print truthfully; the work sheets a refused
// statement leaves in the template.
#include "SyntheticStatement.h"

#include "host/General.h"
#include "import/SheetCells.h"
#include "import/Statement.h"
#include "import/StatementDate.h"
#include "import/StatementError.h"
#include "import/WorkSheets.h"

#include <gtest/gtest.h>

using namespace cw;
using namespace cw::test;
using host::Value;

namespace {

Value num(double d) { return Value{d}; }
Value txt(const std::string& s) { return Value{s}; }

import::StatementText textOf(std::string bytes) { return import::StatementText::fromBytes(std::move(bytes)); }

// Every line's fields as written.
std::vector<std::vector<std::string>> linesOf(const import::StatementText& t)
{
    std::vector<std::vector<std::string>> lines;
    t.forEachLine([&](int, const import::LineFields& f) {
        lines.emplace_back();
        for (std::size_t k = 1; k <= f.count(); ++k)
            lines.back().emplace_back(f[static_cast<int>(k)]);
        return true;
    });
    return lines;
}

// The message a statement is refused with, or "" when it is read.
std::string refusal(const std::string& bytes)
{
    try {
        import::readStatement(textOf(bytes));
        return "";
    } catch (const import::StatementError& e) {
        EXPECT_EQ(e.message().title, "Invalid Text File!");
        return e.what();
    }
}

TEST(StatementText, FieldsAsWrittenWithQuotesTakenOff)
{
    const auto t = textOf("1^\"a^b\"^^x\"y^\"say \"\"hi\"\"\"^\n"
                          "2^00123^1-1-79^12.50-^\x82t\xE9\xB0\n");
    EXPECT_EQ(linesOf(t), (std::vector<std::vector<std::string>>{
                              {"1", "a^b", "", "x\"y", "say \"hi\"", ""},
                              {"2", "00123", "1-1-79", "12.50-", "\xC3\xA9t\xCE\x98\xE2\x96\x91"}, // code page 437
                          }));
    // After a UTF-8 byte-order mark the text is UTF-8; a stray byte still reads as code page 437.
    // So is each byte of an encoded surrogate (ED A0 80), which is no UTF-8; ED 9F BF just below is.
    EXPECT_EQ(linesOf(textOf("\xEF\xBB\xBF" "9^\xC3\xA9t\x82^\xED\xA0\x80\xED\x9F\xBF\n")),
              (std::vector<std::vector<std::string>>{{"9", "\xC3\xA9t\xC3\xA9", "\xCF\x86\xC3\xA1\xC3\x87\xED\x9F\xBF"}}));
    // A four-byte character stays; one whose third byte is no continuation is code page 437 again.
    EXPECT_EQ(linesOf(textOf("\xEF\xBB\xBF" "9^\xF0\x9F\x98\x80^\xF0\x9F" "A\x80\n")),
              (std::vector<std::vector<std::string>>{{"9", "\xF0\x9F\x98\x80", "\xE2\x89\xA1\xC6\x92" "A\xC3\x87"}}));
    // No record has more fields than a sheet has columns: the rest of a line is not read.
    std::string wide;
    for (int i = 1; i <= 300; ++i)
        wide += std::to_string(i) + "^";
    const auto fields = textOf(wide).line(1);
    EXPECT_EQ(fields.count(), 256u);
    EXPECT_EQ(fields[256], "256");
    EXPECT_EQ(fields[257], "");
}

TEST(StatementText, LineEndingsAndByteOrderMarkGiveTheSameLines)
{
    for (const std::string v : {"1^FH\n2^BH^x\n\n4^CD^\"q\"\n", "1^FH\r\n2^BH^x\r\n\r\n4^CD^\"q\"\r\n",
                                "1^FH\r2^BH^x\r\r4^CD^\"q\"", "\xEF\xBB\xBF" "1^FH\r\n2^BH^x\n\r4^CD^\"q\""}) {
        const auto t = textOf(v);
        EXPECT_EQ(linesOf(t), (std::vector<std::vector<std::string>>{{"1", "FH"}, {"2", "BH", "x"}, {""}, {"4", "CD", "q"}}))
            << v;
        EXPECT_EQ(t.line(3).type(), "");
        EXPECT_TRUE(t.line(3).blank());
    }
}

TEST(StatementText, WhatIsNoStatementTextIsNamedForWhatItIs)
{
    auto message = [](const std::string& bytes) {
        try {
            const import::StatementText text = textOf(bytes);
            text.forEachLine([](int, const import::LineFields&) { return true; });
            import::statementKind(text);
            return std::string();
        } catch (const import::StatementError& e) {
            return std::string(e.what());
        }
    };
    auto utf16 = [](const std::string& s, bool bom) {
        std::string out = bom ? "\xFF\xFE" : "";
        for (char c : s)
            out += std::string{c, '\0'};
        return out;
    };
    const std::string statement = "1^FH^NS1\r\n2^BH^1^0^26Q\r\n";
    const std::string utf32le = std::string("\xFF\xFE\0\0" "1\0\0\0^\0\0\0", 12);
    const std::pair<std::string, std::string> cases[] = {
        {"", "The text file TDS.txt is empty. Please put a valid Form 26Q text file."},
        {" \r\n\t\n", "The text file TDS.txt is empty. Please put a valid Form 26Q text file."},
        {std::string(100000, '^'), "The text file TDS.txt holds only field separators (\"^\") and no records."},
        {utf16(statement, true), "The text file TDS.txt is written in UTF-16."},
        {utf16(statement, false), "The text file TDS.txt is written in UTF-16."},
        {utf32le, "The text file TDS.txt is written in UTF-32."},
        {"1^FH\r\n" + std::string(70000, 'x'), "Line 2 of TDS.txt is 70000 characters long, far longer than any record"},
        {"1^FH^NS1^2^BH^1^0^26Q", "The text file TDS.txt is a single line: its records are not on lines of their own"},
        {"1^\"open^2\n", "Line 1 of TDS.txt: field 2 opens a double quote that the line does not close."},
    };
    for (const auto& [bytes, start] : cases)
        EXPECT_EQ(message(bytes).rfind(start, 0), 0u) << message(bytes);
    EXPECT_EQ(message(statement), "");
}

TEST(StatementDateText, CutsByLength)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"01072008", "01.07.2008"}, {"1072008", "1.07.2008"}, {"172008", "1.7.2008"}, {"abcdefgh", "ab.cd.efgh"},
        {"\xC3\xA9" "1072008", "\xC3\xA9" "1.07.2008"}, // characters, not bytes
        {"", ""}, {"12345", ""}, {"123456789", ""},
    };
    for (const auto& [digits, dotted] : cases)
        EXPECT_EQ(import::statementDateText(digits), dotted) << digits;
}

// Texts that a spreadsheet would take for dates or numbers reach the records as written; only
// amounts are numbers.
TEST(Records, TextsAsWrittenAmountsAsNumbers)
{
    Statement st;
    st.address = {"1-1-79", "12/3/45", "", "", "MUMBAI", "0019", "400001"};
    st.assessYear = "";
    st.challans.resize(2);
    st.challans[0].cheque = "12345678901234567";
    st.challans[0].bsr = "0510308";
    st.challans[0].deductees.resize(2);
    st.challans[0].deductees[0].name = "24/7";
    st.challans[0].deductees[1].name = "3-4-2024";
    st.challans[0].deductees[1].amount = "";  // nought
    st.challans[0].deductees[1].sc = "12.50";
    st.challans[1] = {"1E5", "0004329", "1082008", "94J", "1E5", {Deductee{}}};
    const import::Statement s = import::readStatement(textOf(st.text()));

    const import::Deductor& d = s.deductor;
    EXPECT_EQ((std::vector<std::string>{d.name, d.address, d.tan, d.pan, d.personResponsible, d.designation,
                                        d.placeOfIssue, d.formType, d.financialYear, d.assessmentYear, d.quarter,
                                        d.fileCreatedOn}),
              (std::vector<std::string>{"ACME TRADERS", "1-1-79,12/3/45,,,MUMBAI,0019,400001", "MUMA12345B",
                                        "AAACA1234Z", "S SHARMA", "DIRECTOR", "MUMBAI", "26Q", "2007-08", "-", "Q1",
                                        "12062008"}));
    ASSERT_EQ(s.challans.size(), 2u);
    const import::Challan& c = s.challans[0];
    EXPECT_EQ((std::vector<std::string>{c.challanNumber, c.bsrCode, c.depositedOn, c.section, c.chequeNumber}),
              (std::vector<std::string>{"00123", "0510308", "07.07.2008", "94C", "12345678901234567"}));
    EXPECT_EQ((std::vector<std::string>{s.challans[1].challanNumber, s.challans[1].chequeNumber, s.challans[1].depositedOn}),
              (std::vector<std::string>{"1E5", "1E5", "1.08.2008"}));
    EXPECT_EQ((std::vector<int>{c.line, s.challans[1].line}), (std::vector<int>{3, 6}));
    EXPECT_FALSE(c.deposit); // not stated

    ASSERT_EQ(s.payments.size(), 3u);
    const import::Payment& p = s.payments[1];
    EXPECT_EQ((std::vector<std::string_view>{s.text(s.payments[0].name), s.text(p.name), s.text(p.pan), s.text(p.section),
                                             s.text(p.paidOn), s.text(p.deductedOn)}),
              (std::vector<std::string_view>{"24/7", "3-4-2024", "ABCPK1234D", "94C", "15.06.2008", "15.06.2008"}));
    EXPECT_EQ((std::vector<double>{p.amountPaid, p.tds, p.surcharge, p.cess, p.totalDeducted, p.taxDeposited}),
              (std::vector<double>{0, 5000, 12.5, 150, 5150, 5150}));
    EXPECT_EQ((std::vector<int>{p.line, static_cast<int>(p.challan), static_cast<int>(s.payments[2].challan)}),
              (std::vector<int>{5, 0, 1}));
    EXPECT_EQ(s.challans[0].paymentCount, 2u);
    EXPECT_EQ(s.challans[1].firstPayment, 2u);
}

// The fields have meant the same since the 2007 format: only the section moved, from the challan
// to the payment, in 2013-14.
TEST(Records, LayoutOfTheYear)
{
    Statement st;
    st.challans.resize(1);
    st.challans[0].deductees.resize(2);
    Deductee& first = st.challans[0].deductees[0];
    first.section = "94J";
    first.deposited = "5000.50";
    first.creditedOn = "01062008";
    st.challans[0].deductees[1].creditedOn = "2062008"; // and no section of its own
    const std::pair<std::string, const char*> cases[] = {{"200708", "94C"}, {"201213", "94C"}, {"201314", "94J"}, {"202526", "94J"}};
    for (const auto& [year, firstSection] : cases) {
        st.finYear = year;
        const import::Statement s = import::readStatement(textOf(st.text()));
        ASSERT_EQ(s.payments.size(), 2u);
        EXPECT_EQ(s.text(s.payments[0].section), firstSection) << year;
        EXPECT_EQ(s.text(s.payments[1].section), "94C") << year;
        EXPECT_EQ(s.payments[0].taxDeposited, 5000.5) << year; // DD 19, not DD 17
        EXPECT_EQ(s.payments[0].totalDeducted, 5150) << year;
        EXPECT_EQ(s.text(s.payments[0].paidOn), "01.06.2008") << year; // DD 23, not DD 24
        EXPECT_EQ(s.text(s.payments[1].paidOn), "2.06.2008") << year;
    }
}

TEST(Records, AChallanStatesWhatItsRecordsAddUpTo)
{
    Statement st;
    st.challans.resize(1);
    st.challans[0].deductees.resize(1);
    st.challans[0].more = {{27, "6000.00"}, {29, "5150.00"}, {30, "5000"}, {32, "150"}, {33, "5150"}};
    const import::Challan c = import::readStatement(textOf(st.text())).challans[0];
    EXPECT_EQ((std::vector<std::optional<double>>{c.deposit, c.statedDeposited, c.statedTds, c.statedSurcharge,
                                                  c.statedCess, c.statedDeducted}),
              (std::vector<std::optional<double>>{6000, 5150, 5000, std::nullopt, 150, 5150}));
}

// What a certificate would print untruthfully is refused, naming the line and the field.
TEST(Records, ValuesACertificateCannotPrintAreRefused)
{
    const struct {
        std::function<void(Statement&)> set;
        std::string message; // "" when read
    } cases[] = {
        {[](Statement& s) { s.challans[0].deductees[0].creditedOn = "31022024"; },
         "Line 4 of TDS.txt: the date of payment or credit \"31022024\" (field 23) is not a calendar date."},
        {[](Statement& s) { s.challans[0].deductees[0].creditedOn = "00000000"; },
         "Line 4 of TDS.txt: the date of payment or credit \"00000000\" (field 23) is not a calendar date."},
        {[](Statement& s) { s.challans[0].deductees[0].creditedOn = "29022024"; }, ""},
        {[](Statement& s) { s.challans[0].deductees[0].creditedOn = ""; }, ""},
        {[](Statement& s) { s.challans[0].deductees[0].deductedOn = "99999999"; }, ""}, // on no certificate
        {[](Statement& s) { s.challans[0].date = "2024-07-07"; },
         "Line 3 of TDS.txt: the date of deposit \"2024-07-07\" (field 18) is not a calendar date."},
        {[](Statement& s) { s.challans[0].deductees[0].amount = "1E+308"; },
         "Line 4 of TDS.txt: Amt Paid \"1E+308\" (field 22) has more than 13 digits before the decimal point."},
        {[](Statement& s) { s.challans[0].deductees[0].tds = "99999999999999999999.99"; },
         "Line 4 of TDS.txt: TDS \"99999999999999999999.99\" (field 14) has more than 13 digits before the decimal point."},
        {[](Statement& s) { s.challans[0].deductees[0].amount = "9999999999999.99"; }, ""},
        {[](Statement& s) { s.challans[0].deductees[0].deposited = "1/2/2024"; },
         "Line 4 of TDS.txt: Total Tax Deposited \"1/2/2024\" (field 19) is not a number."},
        {[](Statement& s) { s.challans[0].deductees[0].pan = "ABCPK1234DX"; },
         "Line 4 of TDS.txt: the deductee's PAN \"ABCPK1234DX\" (field 10) is longer than the 10 characters of a PAN."},
        {[](Statement& s) { s.challans[0].deductees[0].pan = std::string(100000, 'P'); },
         "Line 4 of TDS.txt is 100"},
        {[](Statement& s) { s.challans[0].deductees[0].pan = "PANNOTAVBL"; }, ""},
        {[](Statement& s) { s.challans[0].deductees[0].name = std::string(40000, 'N'); },
         "Line 4 of TDS.txt: the deductee's name (field 13) is 40000 characters long, more than the 32767 a "
         "certificate's cell holds."},
        {[](Statement& s) { s.challans[0].deductees[0].name = std::string(32767, 'N'); }, ""},
    };
    for (const auto& c : cases) {
        Statement st;
        st.challans.resize(1);
        st.challans[0].deductees.resize(1);
        c.set(st);
        const std::string seen = refusal(st.text());
        EXPECT_EQ(seen.substr(0, c.message.size()), c.message);
        EXPECT_EQ(seen.empty(), c.message.empty()) << seen;
    }
}

TEST(WorkSheets, ReplacedButNotOnesDifferingInCase)
{
    host::Workbook wb;
    wb.addSheet("AcknDetails");
    wb.addSheet("Form 16A");
    wb.addSheet("Textdata").setValue(0, 0, txt("old statement"));
    wb.addSheet("deducteedetails").setValue(0, 0, txt("kept"));
    wb.setActiveSheet(wb.indexOf("Form 16A"));
    import::writeWorkSheets(wb, textOf("1^FH\n"));

    // The new sheet could not take the name of the one differing in case: that one is used.
    std::vector<std::string> names = wb.sheetNames();
    names.erase(names.begin() + 1); // a default name
    EXPECT_EQ(names, (std::vector<std::string>{"deducteedetails", "DeductorDetails", "Textdata", "Form 16A",
                                               "AcknDetails"}));
    EXPECT_EQ(wb.sheet("Textdata").value(0, 1), txt("FH"));
    EXPECT_EQ(wb.sheet(wb.activeSheet()).name(), "Textdata");
    EXPECT_EQ(import::sheetByName(wb, "DeducteeDetails").value(0, 1), txt("PAN"));
}

// A refused statement stays in the template as a spreadsheet would show it.
TEST(WorkSheets, TheStatementAsASpreadsheetShowsIt)
{
    host::Workbook wb;
    wb.addSheet("Form 16A");
    Statement st;
    st.formType = "27Q";
    st.address = {"1-1-79", "", "", "", "MUMBAI", "19", "400001"};
    import::writeWorkSheets(wb, textOf(st.text() + "7^00123^123^12.50-^01072008^1072008^15/07/2008^ 42 ^" +
                                       std::string(40000, 'n') + "\r\n"));
    const host::Sheet& t = wb.sheet("Textdata");
    const std::vector<std::tuple<int, int, Value>> cells = {
        {0, 1, txt("FH")}, {1, 4, txt("27Q")},
        {2, 1, txt("00123")}, // leading zeros stay
        {2, 2, num(123)}, {2, 3, num(-12.5)}, {2, 4, txt("01072008")}, {2, 5, num(1072008)},
        {2, 6, num(*host::dateSerial(2008, 7, 15))}, {2, 7, num(42)},
    };
    for (const auto& [r, c, v] : cells)
        EXPECT_EQ(t.value(r, c), v) << "row " << r << " column " << c;
    EXPECT_TRUE(wb.isDateXf(t.cell(2, 6)->xf));
    EXPECT_FALSE(wb.isDateXf(t.cell(2, 5)->xf));
    EXPECT_EQ(std::get<std::string>(t.value(2, 8)).size(), 32767u); // cut where a cell ends
    const host::Sheet& d = wb.sheet("DeductorDetails");
    EXPECT_EQ((std::vector<Value>{d.value("A3"), d.value("B3"), d.value("G3"), d.value("I3"), d.value("A2")}),
              (std::vector<Value>{txt("ACME TRADERS"), txt("1-1-79,,,,MUMBAI,19,400001"), txt("2007-08"), txt("27Q"),
                                  txt("Name")}));
}

} // namespace
