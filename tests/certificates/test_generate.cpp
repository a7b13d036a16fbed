#include "CertificateFixture.h"

#include "host/Error.h"
#include "certificates/AmountInWords.h"
#include "host/SaveHooks.h"

#include <fstream>
#include <map>
#include <set>

using namespace cwtest;
using cw::certificates::CertificateGroup;
using cw::host::Error;

namespace {

const std::vector<std::string> kPaymentColumns = {"C", "D", "E", "F", "G", "H", "I", "J", "K", "L"};

// The payment row `row` (1-based) of a certificate or annexure sheet holds payment p.
void expectPaymentRow(const Sheet& s, int row, const Payment& p)
{
    const std::string r = std::to_string(row);
    SCOPED_TRACE(s.name() + " row " + r);
    EXPECT_EQ(num(s.value("C" + r)), p.paid);
    EXPECT_EQ(str(s.value("D" + r)), p.paidOn);
    EXPECT_EQ(num(s.value("E" + r)), p.tds);
    EXPECT_EQ(num(s.value("F" + r)), p.surcharge);
    EXPECT_EQ(num(s.value("G" + r)), p.cess);
    EXPECT_EQ(num(s.value("H" + r)), p.total);
    EXPECT_EQ(str(s.value("I" + r)), p.cheque);
    EXPECT_EQ(str(s.value("J" + r)), p.bsr);
    EXPECT_EQ(str(s.value("K" + r)), p.depositedOn);
    EXPECT_EQ(str(s.value("L" + r)), p.cin);
}

void expectEmptyPaymentRow(const Sheet& s, int row)
{
    for (const std::string& c : kPaymentColumns)
        EXPECT_TRUE(cw::host::isEmpty(s.value(c + std::to_string(row)))) << s.name() << " " << c << row;
}

std::string numberFormatOf(const Workbook& wb, const Sheet& s, const char* a1)
{
    const auto ref = cw::host::cellRefOrThrow(a1);
    const cw::host::Cell* c = s.cell(ref.row, ref.col);
    return c ? wb.numberFormat(wb.xfs().at(c->xf).numFmt) : "<no cell>";
}

TEST(Certificate, WritesEveryCellOfThePageAndKeepsTheTemplate)
{
    std::vector<Payment> rows = paymentsOf("SUNRISE LOGISTICS PVT LTD", 3);
    rows[1].bsr = "0004329";
    rows[2].cin = "00217";
    GeneratorRun run(rows);
    Sheet& ackn = run.ackn();
    ackn.setValue("B5", Value{std::string("123456789012345")});
    ackn.setValue("C5", Value{*cw::host::dateSerial(2008, 7, 15)}); // a date value
    ackn.setValue("B6", Value{std::string("222222222222222")});
    ackn.setValue("C6", Value{std::string("15/10/2008")});         // a date typed as text
    ackn.setValue("B7", Value{333333333333333.0});                  // an old template's number
    ackn.setValue("C7", Value{std::string("15/01/2009")});
    ackn.setValue("B8", Value{std::string("444444444444444")});
    ackn.setValue("C8", Value{std::string("15/05/2009")});         // filed after the certificate

    ASSERT_EQ(run.generate(), 1);
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
    Workbook wb = run.certificate("001.xls");
    ASSERT_EQ(wb.sheetNames(), std::vector<std::string>{"001"});
    const Sheet& s = wb.sheet(0);

    EXPECT_EQ(str(s.value("K1")), "001/2008-09");
    EXPECT_EQ(str(s.value("B10")), "SAMPLE TRADERS PRIVATE LIMITED");
    EXPECT_EQ(str(s.value("B11")), "12 EXAMPLE STREET,FORT,NEAR TOWN HALL,,MUMBAI,19,400001");
    EXPECT_EQ(str(s.value("B16")), "MUMS12345B");
    EXPECT_EQ(str(s.value("B18")), "AABCS1234F");
    EXPECT_EQ(str(s.value("C47")), "MUMBAI");
    EXPECT_EQ(str(s.value("J48")), "ANIL KUMAR SHARMA");
    EXPECT_EQ(str(s.value("J49")), "DIRECTOR");
    EXPECT_EQ(str(s.value("I10")), "SUNRISE LOGISTICS PVT LTD");
    EXPECT_EQ(str(s.value("I16")), rows[0].pan);
    EXPECT_EQ(str(s.value("E16")), "194C");
    EXPECT_EQ(str(s.value("I18")), "F.Y. 2008-09 / Asst. Yr. 2009-10");
    EXPECT_EQ(str(s.value("C48")), "7.02.2009");

    EXPECT_EQ(str(s.value("G11")), "123456789012345");
    EXPECT_EQ(str(s.value("G12")), "222222222222222");
    EXPECT_EQ(str(s.value("G13")), "333333333333333"); // as text: a number would lose digits
    EXPECT_TRUE(cw::host::isEmpty(s.value("G14")));

    for (int i = 0; i < 3; ++i)
        expectPaymentRow(s, 24 + i, rows[static_cast<std::size_t>(i)]);
    for (int r = 27; r <= 39; ++r)
        expectEmptyPaymentRow(s, r);
    for (int r = 24; r <= 39; ++r)
        EXPECT_EQ(num(s.value("B" + std::to_string(r))), r - 23); // the template's serial column

    EXPECT_EQ(num(s.value("C40")), 6000);
    EXPECT_EQ(num(s.value("E40")), 60);
    EXPECT_EQ(num(s.value("F40")), 6);
    EXPECT_EQ(num(s.value("G40")), 3);
    EXPECT_EQ(num(s.value("H40")), 69);
    EXPECT_EQ(str(s.value("B42")),
              "Certified that a sum of Rs. (in words)  Rupees Sixty Nine Only has been deducted / collected at "
              "source and paid to the credit of the Central Government as per details given above.");

    // Values only: the template's labels and formats are still there.
    EXPECT_EQ(str(s.value("J1")), "Certificate No.");
    EXPECT_EQ(str(s.value("B47")), "Place");
    EXPECT_EQ(numberFormatOf(wb, s, "C24"), kAmountFormat);
    EXPECT_EQ(numberFormatOf(wb, s, "H40"), kAmountFormat);
    EXPECT_EQ(numberFormatOf(wb, s, "J25"), kTextFormat);
    EXPECT_EQ(numberFormatOf(wb, s, "G11"), kTextFormat);

    // The template keeps its own sheets, unchanged, and loses the work sheets.
    EXPECT_EQ(run.workbook.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    EXPECT_TRUE(cw::host::isEmpty(run.workbook.sheet("Form 16A").value("K1")));
    EXPECT_EQ(run.ctx.deducteeSheet, nullptr);
}

TEST(Certificate, GroupsOfSixteenFitThePageAndLargerOnesContinueOnAnAnnexure)
{
    const auto one = paymentsOf("ALPHA", 1);
    const auto sixteen = paymentsOf("BRAVO", 16);
    const auto seventeen = paymentsOf("CHARLIE", 17);
    const auto thirty = paymentsOf("DELTA", 30);
    std::vector<Payment> rows;
    for (const auto* g : {&thirty, &one, &seventeen, &sixteen}) // sorted by name on the way
        rows.insert(rows.end(), g->begin(), g->end());
    GeneratorRun run(rows);
    ASSERT_EQ(run.generate(), 4);
    EXPECT_EQ(run.files(), (std::vector<std::string>{"001.xls", "002.xls", "003.xls", "004.xls"}));

    {
        Workbook wb = run.certificate("001.xls");
        ASSERT_EQ(wb.sheetNames(), std::vector<std::string>{"001"});
        expectPaymentRow(wb.sheet(0), 24, one[0]);
        expectEmptyPaymentRow(wb.sheet(0), 25);
    }
    {
        Workbook wb = run.certificate("002.xls");
        ASSERT_EQ(wb.sheetNames(), std::vector<std::string>{"002"});
        const Sheet& s = wb.sheet(0);
        for (int i = 0; i < 16; ++i)
            expectPaymentRow(s, 24 + i, sixteen[static_cast<std::size_t>(i)]);
        EXPECT_EQ(num(s.value("B39")), 16);
        EXPECT_EQ(num(s.value("C40")), total(sixteen, &Payment::paid));
    }
    {
        Workbook wb = run.certificate("003.xls");
        ASSERT_EQ(wb.sheetNames(), (std::vector<std::string>{"003", "3A"}));
        EXPECT_EQ(wb.activeSheet(), 0);
        const Sheet& s = wb.sheet(0);
        for (int i = 0; i < 15; ++i)
            expectPaymentRow(s, 24 + i, seventeen[static_cast<std::size_t>(i)]);
        EXPECT_EQ(str(s.value("B39")), "Continued to Page 2......");
        expectEmptyPaymentRow(s, 39);
        // The totals cover the annexure's rows too.
        EXPECT_EQ(num(s.value("C40")), total(seventeen, &Payment::paid));
        EXPECT_EQ(num(s.value("H40")), total(seventeen, &Payment::total));

        const Sheet& a = wb.sheet(1);
        EXPECT_EQ(str(a.value("K1")), "003/2008-09");
        EXPECT_EQ(str(a.value("C1")), seventeen[0].pan);
        EXPECT_EQ(str(a.value("B1")), "PAN of the Payee");
        expectPaymentRow(a, 5, seventeen[15]);
        expectPaymentRow(a, 6, seventeen[16]);
        // Seven rows were inserted above row 5: rows 7 to 11 stay empty with row 4's formats,
        // and the signature lines moved from rows 6 to 8 down to rows 13 to 15.
        for (int r = 7; r <= 12; ++r)
            expectEmptyPaymentRow(a, r);
        EXPECT_EQ(numberFormatOf(wb, a, "C11"), kAmountFormat);
        EXPECT_EQ(numberFormatOf(wb, a, "L11"), kTextFormat);
        EXPECT_EQ(str(a.value("H13")), "Signature of the person responsible for deduction of tax");
        EXPECT_EQ(str(a.value("H14")), "Full Name:");
        EXPECT_EQ(str(a.value("H15")), "Designation:");
        EXPECT_EQ(str(a.value("C4")), "(2)");
    }
    {
        Workbook wb = run.certificate("004.xls");
        ASSERT_EQ(wb.sheetNames(), (std::vector<std::string>{"004", "4A"}));
        const Sheet& a = wb.sheet(1);
        for (int i = 15; i < 30; ++i)
            expectPaymentRow(a, 5 + i - 15, thirty[static_cast<std::size_t>(i)]);
        for (int r = 20; r <= 25; ++r)
            expectEmptyPaymentRow(a, r);
        EXPECT_EQ(str(a.value("H26")), "Signature of the person responsible for deduction of tax");
        EXPECT_EQ(num(wb.sheet(0).value("E40")), total(thirty, &Payment::tds));
    }
}

// The deductee of each certificate file, in file order, as (name, section, certificate date).
std::vector<std::vector<std::string>> certificateKeys(const GeneratorRun& run)
{
    std::vector<std::vector<std::string>> keys;
    for (const std::string& f : run.files()) {
        Workbook wb = run.certificate(f);
        const Sheet& s = wb.sheet(0);
        keys.push_back({str(s.value("I10")), str(s.value("I16")), str(s.value("E16")), str(s.value("C48"))});
    }
    return keys;
}

TEST(Grouping, EachSectionAndCertificateDateMakesItsOwnCertificate)
{
    std::vector<Payment> rows = paymentsOf("ANIL", 2, "194C", "7.02.2009");
    const auto later = paymentsOf("ANIL", 1, "194C", "10.03.2009");
    const auto otherSection = paymentsOf("ANIL", 1, "194J", "7.02.2009");
    rows.insert(rows.begin() + 1, otherSection.begin(), otherSection.end());
    rows.insert(rows.end(), later.begin(), later.end());
    GeneratorRun run(rows);
    ASSERT_EQ(run.generate(), 3);
    const std::string pan = rows[0].pan;
    // Ordered by name, then the date as text ("10.03..." before "7.02..."), then the section.
    EXPECT_EQ(certificateKeys(run), (std::vector<std::vector<std::string>>{
                                        {"ANIL", pan, "194C", "10.03.2009"},
                                        {"ANIL", pan, "194C", "7.02.2009"},
                                        {"ANIL", pan, "194J", "7.02.2009"},
                                    }));
    Workbook second = run.certificate("002.xls");
    expectPaymentRow(second.sheet(0), 24, rows[0]);
    expectPaymentRow(second.sheet(0), 25, rows[2]);
}

TEST(Grouping, KeysAreComparedFieldByFieldPanIncluded)
{
    // Joined without a separator these two keys would be the same text.
    Payment a;
    a.name = "MEHTA AND CO";
    a.section = "194A";
    a.pan = "AAAFM1111A";
    Payment b = a;
    b.name = "MEHTA AND CO1";
    b.section = "94A";
    b.pan = "AAAFM2222B";
    b.paid = 2;
    // Namesakes: one name, two people, given in interleaved order.
    Payment r1;
    r1.name = "RAMESH KUMAR";
    r1.pan = "BBBPK2222Q";
    r1.paid = 11;
    Payment r2 = r1;
    r2.pan = "BBBPK1111P";
    r2.paid = 12;
    Payment r3 = r1;
    r3.paid = 13;
    GeneratorRun run({a, r1, b, r2, r3});
    ASSERT_EQ(run.generate(), 4);
    const auto keys = certificateKeys(run);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0], (std::vector<std::string>{"MEHTA AND CO", "AAAFM1111A", "194A", a.certificateDate}));
    EXPECT_EQ(keys[1], (std::vector<std::string>{"MEHTA AND CO1", "AAAFM2222B", "94A", a.certificateDate}));
    EXPECT_EQ(keys[2][1], "BBBPK1111P");
    EXPECT_EQ(keys[3][1], "BBBPK2222Q");
    Workbook third = run.certificate("003.xls");
    expectPaymentRow(third.sheet(0), 24, r2);
    expectEmptyPaymentRow(third.sheet(0), 25);
    Workbook fourth = run.certificate("004.xls");
    expectPaymentRow(fourth.sheet(0), 24, r1);
    expectPaymentRow(fourth.sheet(0), 25, r3);
}

TEST(Grouping, NamesDifferingInCaseSortTogetherButMakeSeparateCertificates)
{
    Payment lower;
    lower.name = "Ravi Transport";
    Payment upper = lower;
    upper.name = "RAVI TRANSPORT";
    upper.paid = 2;
    Payment lower2 = lower;
    lower2.paid = 3;
    Payment other;
    other.name = "RAVI TRANSPORTS";
    other.paid = 4;
    // Interleaved in the statement: the two spellings still make one certificate each.
    GeneratorRun run({other, lower, upper, lower2});
    ASSERT_EQ(run.generate(), 3);
    const auto keys = certificateKeys(run);
    EXPECT_EQ(keys[0][0], "Ravi Transport");
    EXPECT_EQ(keys[1][0], "RAVI TRANSPORT");
    EXPECT_EQ(keys[2][0], "RAVI TRANSPORTS");
    Workbook first = run.certificate("001.xls");
    expectPaymentRow(first.sheet(0), 24, lower);
    expectPaymentRow(first.sheet(0), 25, lower2);
}

TEST(Grouping, SortPutsNumbersBeforeTextAndEmptyLastAndKeepsTiesInOrder)
{
    Workbook wb;
    Sheet& s = wb.addSheet("DeducteeDetails");
    s.setValue(0, 0, Value{std::string("Name of the deductee")});
    auto row = [&](int r, Value name, double paid, const char* date = "1.01.2009") {
        s.setValue(r, 0, std::move(name));
        s.setValue(r, 3, Value{paid});
        if (*date)
            s.setValue(r, 13, Value{std::string(date)});
    };
    row(1, Value{std::string("beta")}, 1);
    row(2, Value{}, 2);
    row(3, Value{42.0}, 3);
    row(4, Value{std::string("Alpha")}, 4);
    row(5, Value{std::string("BETA")}, 5);
    row(6, Value{std::string("beta")}, 6);
    row(7, Value{std::string("alpha")}, 7, "");
    row(8, Value{std::string("alpha")}, 8);
    ASSERT_EQ(cw::certificates::lastDeducteeRow(s), 8);
    ASSERT_EQ(cw::certificates::sortDeducteeRows(s, 8), 8);
    std::vector<double> order;
    for (int r = 1; r <= 8; ++r)
        order.push_back(num(s.value(r, 3)));
    // 42; Alpha and alpha (same date: statement order); alpha with no date after them; the two
    // spellings of beta kept apart; the row without a name last.
    EXPECT_EQ(order, (std::vector<double>{3, 4, 8, 7, 1, 6, 5, 2}));
    const auto groups = cw::certificates::certificateGroups(s, 8);
    std::vector<int> sizes;
    for (const CertificateGroup& g : groups)
        sizes.push_back(g.size());
    EXPECT_EQ(sizes, (std::vector<int>{1, 1, 1, 1, 2, 1, 1}));
}

// An independent statement of the sort order: kind (number, text, empty), then text with
// ASCII letters folded.
std::pair<int, std::string> sortForm(const Value& v)
{
    if (std::holds_alternative<double>(v))
        return {0, std::to_string(std::get<double>(v) + 1e9)}; // positive, same digit count
    if (!std::holds_alternative<std::string>(v))
        return {2, {}};
    std::string t = std::get<std::string>(v);
    for (char& c : t)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return {1, t};
}

std::string exactForm(const Value& v)
{
    if (std::holds_alternative<double>(v))
        return "n" + std::to_string(std::get<double>(v));
    return std::holds_alternative<std::string>(v) ? "t" + std::get<std::string>(v) : "e";
}

TEST(Grouping, RandomRowsComeOutInOrderWithTiesInStatementOrder)
{
    std::mt19937 rng(7);
    const std::vector<Value> names = {Value{std::string("Rao")}, Value{std::string("RAO")}, Value{std::string("rao k")},
                                      Value{std::string("Iyer")}, Value{std::string("IYER")}, Value{},
                                      Value{12.0}, Value{3.0}, Value{std::string("Ä Bank")}};
    const std::vector<Value> dates = {Value{std::string("7.02.2009")}, Value{std::string("10.03.2009")}, Value{}};
    const std::vector<Value> sections = {Value{std::string("194C")}, Value{std::string("194c")}, Value{std::string("94J")}};
    const std::vector<Value> pans = {Value{std::string("AAAPR1111A")}, Value{std::string("aaapr1111a")}, Value{}};
    Workbook wb;
    Sheet& s = wb.addSheet("DeducteeDetails");
    const int n = 3000;
    for (int r = 1; r <= n; ++r) {
        s.setValue(r, 0, names[rng() % names.size()]);
        s.setValue(r, 13, dates[rng() % dates.size()]);
        s.setValue(r, 2, sections[rng() % sections.size()]);
        s.setValue(r, 1, pans[rng() % pans.size()]);
        s.setValue(r, 3, Value{double(r)}); // the statement order
    }
    ASSERT_EQ(cw::certificates::sortDeducteeRows(s, n), n);
    auto key = [&](int r) {
        return std::vector<std::pair<int, std::string>>{sortForm(s.value(r, 0)), sortForm(s.value(r, 13)),
                                                        sortForm(s.value(r, 2)), sortForm(s.value(r, 1))};
    };
    std::map<std::vector<std::string>, double> lastOfExactKey;
    for (int r = 1; r <= n; ++r) {
        if (r > 1) {
            ASSERT_LE(key(r - 1), key(r)) << "row " << r;
        }
        std::vector<std::string> exact;
        for (int c : {0, 13, 2, 1})
            exact.push_back(exactForm(s.value(r, c)));
        const double order = num(s.value(r, 3));
        auto [it, added] = lastOfExactKey.emplace(exact, order);
        if (!added) {
            EXPECT_LT(it->second, order) << "row " << r; // same key: statement order
            it->second = order;
        }
    }
    // Rows with one exact key stand together: every group is one run.
    const auto groups = cw::certificates::certificateGroups(s, n);
    std::set<std::vector<std::string>> groupKeys;
    for (const CertificateGroup& g : groups) {
        std::vector<std::string> k;
        for (int c : {0, 1, 2, 13})
            k.push_back(exactForm(s.value(g.firstRow, c)));
        EXPECT_TRUE(groupKeys.insert(k).second) << "a key split over two groups at row " << g.firstRow;
    }
}

TEST(Grouping, ARecordWithoutANameIsNotLost)
{
    Payment named;
    Payment nameless;
    nameless.name.clear();
    nameless.paid = 77;
    // The nameless record is the statement's last row: no record may fall off the end.
    GeneratorRun run({named, nameless});
    ASSERT_EQ(run.generate(), 2);
    Workbook second = run.certificate("002.xls");
    EXPECT_TRUE(cw::host::isEmpty(second.sheet(0).value("I10")) || str(second.sheet(0).value("I10")).empty());
    expectPaymentRow(second.sheet(0), 24, nameless);
}

TEST(QuarterNumbers, CertificateAndFilingDatesCompareAsCalendarDates)
{
    using cw::certificates::quarterAcknApplies;
    const Value filedText{std::string("15/07/2008")};
    const Value filedDate{*cw::host::dateSerial(2008, 7, 15)};
    // As texts "05.08.2008" is not later than "15/07/2008"; as dates it is.
    EXPECT_TRUE(quarterAcknApplies(Value{std::string("05.08.2008")}, filedText));
    EXPECT_TRUE(quarterAcknApplies(Value{std::string("5.08.2008")}, filedDate));
    EXPECT_TRUE(quarterAcknApplies(Value{std::string("1.1.2009")}, filedText));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("15.07.2008")}, filedText)); // same day
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("14.07.2008")}, filedDate));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("20.12.2007")}, filedText));
    // No date of filing: the number goes on every certificate that has a date.
    EXPECT_TRUE(quarterAcknApplies(Value{std::string("5.08.2008")}, Value{}));
    EXPECT_TRUE(quarterAcknApplies(Value{std::string("not a date")}, Value{std::string()}));
    EXPECT_FALSE(quarterAcknApplies(Value{}, Value{}));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string()}, filedText));
    // Either side unreadable: nothing is written.
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("31.02.2009")}, filedText));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("5.08.08")}, filedText));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("5.08.2008")}, Value{std::string("July 2008")}));
    EXPECT_FALSE(quarterAcknApplies(Value{std::string("5.08.2008")}, Value{std::string("2008-07-15")}));
}

TEST(Numbering, StartsAtB2)
{
    {
        // Empty B2 numbers from 0; a serial of 0 names its annexure 0A.
        GeneratorRun run(paymentsOf("ALPHA", 17));
        run.ackn().setValue("B2", Value{});
        ASSERT_EQ(run.generate(), 1);
        EXPECT_EQ(run.files(), std::vector<std::string>{"000.xls"});
        Workbook wb = run.certificate("000.xls");
        EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"000", "0A"}));
        EXPECT_EQ(str(wb.sheet(0).value("K1")), "000/2008-09");
        EXPECT_EQ(str(wb.sheet(1).value("K1")), "000/2008-09");
    }
    {
        std::vector<Payment> rows = paymentsOf("ALPHA", 1);
        const auto more = paymentsOf("BRAVO", 20);
        rows.insert(rows.end(), more.begin(), more.end());
        GeneratorRun run(rows);
        run.ackn().setValue("B2", Value{1000.0});
        ASSERT_EQ(run.generate(), 2);
        EXPECT_EQ(run.files(), (std::vector<std::string>{"1000.xls", "1001.xls"}));
        Workbook wb = run.certificate("1001.xls");
        EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"1001", "1001A"}));
        EXPECT_EQ(str(wb.sheet(0).value("K1")), "1001/2008-09");
    }
    {
        GeneratorRun run(paymentsOf("ALPHA", 1));
        run.ackn().setValue("B2", Value{std::string("42")}); // typed as text into an old template
        ASSERT_EQ(run.generate(), 1);
        EXPECT_EQ(run.files(), std::vector<std::string>{"042.xls"});
    }
}

TEST(Numbering, ASerialThatIsNotANumberStopsBeforeAnythingIsTouched)
{
    GeneratorRun run(paymentsOf("ALPHA", 1));
    std::filesystem::create_directories(run.output());
    std::ofstream(run.output() / "001.xls") << "an earlier certificate";
    run.ackn().setValue("B2", Value{std::string("one")});
    try {
        run.generate();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("TDS16A.xls"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("B2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
}

TEST(Run, NoDeducteeRowsLeavesAnEmptyFolderAndTheMessage)
{
    GeneratorRun run({});
    std::filesystem::create_directories(run.output() / "sub");
    std::ofstream(run.output() / "001.xls") << "an earlier certificate";
    EXPECT_EQ(run.generate(), 0);
    ASSERT_EQ(run.reporter.messages.size(), 1u);
    EXPECT_EQ(run.reporter.messages[0].prompt, "No deductee records found. Please re-import the file.");
    EXPECT_EQ(run.reporter.messages[0].title, "No data found!");
    EXPECT_EQ(run.reporter.messages[0].icon, cw::core::Icon::Information);
    EXPECT_TRUE(std::filesystem::is_directory(run.output()));
    EXPECT_TRUE(run.files().empty());
    EXPECT_TRUE(run.reporter.steps.empty());
    // The run ends there: the work sheets are not deleted.
    EXPECT_GE(run.workbook.indexOf("DeducteeDetails"), 0);
}

TEST(Run, ASecondRunReplacesTheFirstRunsFiles)
{
    std::vector<Payment> rows = paymentsOf("ALPHA", 2);
    const auto more = paymentsOf("BRAVO", 1);
    rows.insert(rows.end(), more.begin(), more.end());
    rows.push_back(paymentsOf("CHARLIE", 1)[0]);
    GeneratorRun run(rows);
    ASSERT_EQ(run.generate(), 3);
    EXPECT_EQ(run.reporter.steps,
              (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    std::ofstream(run.output() / "notes.txt") << "left by the user";

    run.reset(paymentsOf("ZULU", 1));
    ASSERT_EQ(run.generate(), 1);
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
    EXPECT_EQ(str(run.certificate("001.xls").sheet(0).value("I10")), "ZULU");
}

TEST(Run, ACertificateThatCannotBeSavedEndsTheRunNamingTheFile)
{
    std::vector<Payment> rows = paymentsOf("ALPHA", 1);
    for (const char* name : {"BRAVO", "CHARLIE"})
        rows.push_back(paymentsOf(name, 1)[0]);
    GeneratorRun run(rows);
    // Something in the way of the second file, as a folder that can't take it would be.
    run.reporter.onProgress = [&](int done, int) {
        if (done == 1)
            std::filesystem::create_directory(run.output() / "002.xls");
    };
    try {
        run.generate();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Io);
        EXPECT_NE(std::string(e.what()).find("002.xls"), std::string::npos) << e.what();
        EXPECT_FALSE(e.message().empty());
    }
    // The first certificate stays; nothing but the obstacle is left under the second's name.
    EXPECT_EQ(run.files(), (std::vector<std::string>{"001.xls", "002.xls"}));
    EXPECT_TRUE(std::filesystem::is_directory(run.output() / "002.xls"));
    EXPECT_EQ(str(run.certificate("001.xls").sheet(0).value("I10")), "ALPHA");
}

TEST(Run, AFullDiskLeavesNoPartCertificateAndTheEarlierOnes)
{
    std::vector<Payment> rows = paymentsOf("ALPHA", 1);
    rows.push_back(paymentsOf("BRAVO", 17)[0]);
    rows.push_back(paymentsOf("CHARLIE", 1)[0]);
    GeneratorRun run(rows);
    run.reporter.onProgress = [&](int done, int) {
        if (done == 1)
            cw::host::detail::failSaveAfterBytes = 3000; // the disk fills up during the second
    };
    try {
        run.generate();
        cw::host::detail::failSaveAfterBytes = -1;
        FAIL() << "expected an error";
    } catch (const Error& e) {
        cw::host::detail::failSaveAfterBytes = -1;
        const std::string what = e.what();
        EXPECT_NE(what.find("002.xls could not be saved ("), std::string::npos) << what;
        EXPECT_NE(what.find(std::make_error_code(std::errc::no_space_on_device).message()), std::string::npos) << what;
    }
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"}); // no temporary file either
    EXPECT_EQ(str(run.certificate("001.xls").sheet(0).value("I10")), "ALPHA");
}

TEST(Run, AFolderThatGoesAwayMidRunIsReportedWithTheFileAndReason)
{
    std::vector<Payment> rows = paymentsOf("ALPHA", 1);
    rows.push_back(paymentsOf("BRAVO", 1)[0]);
    GeneratorRun run(rows);
    run.reporter.onProgress = [&](int done, int) {
        if (done == 1)
            std::filesystem::remove_all(run.output());
    };
    try {
        run.generate();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("002.xls could not be saved ("), std::string::npos) << what;
        EXPECT_NE(what.find(std::make_error_code(std::errc::no_such_file_or_directory).message()), std::string::npos)
            << what;
    }
}

TEST(Run, TemplateWithoutTheCertificateSheetIsReported)
{
    GeneratorRun run(paymentsOf("ALPHA", 1));
    run.workbook.deleteSheet(run.workbook.indexOf("Form 16A"));
    try {
        run.generate();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Form 16A"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("TDS16A.xls"), std::string::npos) << e.what();
    }
}

TEST(Run, AMissingAnnexSheetMattersOnlyToLongCertificatesAndStopsBeforeTheFirst)
{
    {
        GeneratorRun run(paymentsOf("ALPHA", 16));
        run.workbook.deleteSheet(run.workbook.indexOf("Annex"));
        EXPECT_EQ(run.generate(), 1);
    }
    std::vector<Payment> rows = paymentsOf("ALPHA", 1);
    const auto longOne = paymentsOf("BRAVO", 17);
    rows.insert(rows.end(), longOne.begin(), longOne.end());
    GeneratorRun run(rows);
    run.workbook.deleteSheet(run.workbook.indexOf("Annex"));
    try {
        run.generate();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("\"Annex\""), std::string::npos) << e.what();
    }
    EXPECT_TRUE(run.files().empty());
}

} // namespace
