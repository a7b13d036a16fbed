// The certificates a Generate run writes: every cell of the page and the annexure, the
// numbering, the quarter acknowledgement numbers.
#include "CertificateRun.h"

#include "certificates/AmountInWords.h"
#include "certificates/CertificateGroups.h"

using namespace cw::test;
using cw::app::GenerateOutcome;

namespace {

// Payment row `row` (1-based) of a certificate or annexure sheet holds record d of challan c.
void expectPayment(const Sheet& s, int row, const Challan& c, const Deductee& d)
{
    const struct {
        const char* column;
        Value expected;
    } cells[] = {
        {"C", Value{std::stod(d.amount)}}, {"D", Value{dotted(d.deductedOn)}}, {"E", Value{std::stod(d.tds)}},
        {"F", Value{std::stod(d.sc)}},     {"G", Value{std::stod(d.cess)}}, {"H", Value{std::stod(d.total)}},
        {"I", Value{c.cheque}},            {"J", Value{c.bsr}},             {"K", Value{dotted(c.date)}},
        {"L", Value{c.cin}},
    };
    for (const auto& cell : cells)
        EXPECT_EQ(s.value(cell.column + std::to_string(row)), cell.expected) << s.name() << "!" << cell.column << row;
}

void expectNoPayment(const Sheet& s, int row)
{
    for (const char* column : {"C", "D", "E", "F", "G", "H", "I", "J", "K", "L"})
        EXPECT_TRUE(cw::host::isEmpty(s.value(column + std::to_string(row)))) << s.name() << "!" << column << row;
}

TEST(Certificates, PageAnnexureTotalsAndQuarterNumbers)
{
    Challan kapoor{"00217", "0004329", "10032009", "94J", "000123", recordsOf("KAPOOR AND ASSOCIATES", "AAAFK1234K", 17)};
    kapoor.deductees[3].tds = "1234.56";
    const Challan sunrise = challanOf(recordsOf("SUNRISE LOGISTICS", "AAJCS9753M", 3, 1000));
    CertificateRun run(statementOf({sunrise, kapoor}), [](Workbook& wb) {
        Sheet& ackn = wb.sheet("AcknDetails");
        ackn.setValue("B5", Value{std::string("111111111111111")});
        ackn.setValue("C5", Value{*cw::host::dateSerial(2008, 6, 15)}); // before both certificates
        ackn.setValue("B6", Value{std::string("222222222222222")});
        ackn.setValue("C6", Value{std::string("15/10/2008")}); // typed as text, between them
        ackn.setValue("B7", Value{333333333333333.0});         // an old template's number, no date
        ackn.setValue("B8", Value{std::string("444444444444444")});
        ackn.setValue("C8", Value{std::string("15/05/2009")}); // after both
    });
    const Workbook shipped = Workbook::open(shippedTemplate());
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

    const Workbook first = run.certificate("001.xls");
    const Workbook second = run.certificate("002.xls");
    ASSERT_EQ(first.sheetNames(), (std::vector<std::string>{"001", "1A"}));
    ASSERT_EQ(second.sheetNames(), (std::vector<std::string>{"002"}));
    EXPECT_EQ(first.activeSheet(), 0);
    const struct {
        const Sheet& sheet;
        const char* cell;
        std::string expected;
    } cells[] = {
        {first.sheet(0), "K1", "001/2007-08"},
        {first.sheet(0), "B10", "ACME TRADERS"},
        {first.sheet(0), "B11", "FLAT 1,MAIN ROAD,,,MUMBAI,19,400001"},
        {first.sheet(0), "B16", "MUMA12345B"},
        {first.sheet(0), "B18", "AAACA1234Z"},
        {first.sheet(0), "C47", "MUMBAI"},
        {first.sheet(0), "J48", "S SHARMA"},
        {first.sheet(0), "J49", "DIRECTOR"},
        {first.sheet(0), "I10", "KAPOOR AND ASSOCIATES"},
        {first.sheet(0), "I16", "AAAFK1234K"},
        {first.sheet(0), "E16", "94J"},
        {first.sheet(0), "I18", "F.Y. 2007-08 / Asst. Yr. 2008-09"},
        {first.sheet(0), "C48", "10.03.2009"},
        {first.sheet(0), "G11", "111111111111111"},
        {first.sheet(0), "G12", "222222222222222"},
        {first.sheet(0), "G13", "333333333333333"}, // as text: a number would lose digits
        {first.sheet(0), "G14", ""},
        {first.sheet(0), "B39", "Continued to Page 2......"},
        {first.sheet(1), "K1", "001/2007-08"},
        {first.sheet(1), "C1", "AAAFK1234K"},
        {second.sheet(0), "K1", "002/2007-08"},
        {second.sheet(0), "I10", "SUNRISE LOGISTICS"},
        {second.sheet(0), "C48", "07.07.2008"},
        {second.sheet(0), "G11", "111111111111111"},
        {second.sheet(0), "G12", ""},
        {second.sheet(0), "G13", "333333333333333"},
        {second.sheet(0), "B39", "16"}, // the template's own row number stays
    };
    for (const auto& c : cells)
        EXPECT_EQ(text(c.sheet.value(c.cell)), c.expected) << c.sheet.name() << "!" << c.cell;

    // Fifteen payments on the page, the rest on the annexure below its headings; rows were
    // inserted there, five more than filled, so the signature lines move down clear of them.
    for (int i = 0; i < 15; ++i)
        expectPayment(first.sheet(0), 24 + i, kapoor, kapoor.deductees[static_cast<std::size_t>(i)]);
    expectNoPayment(first.sheet(0), 39);
    expectPayment(first.sheet(1), 5, kapoor, kapoor.deductees[15]);
    expectPayment(first.sheet(1), 6, kapoor, kapoor.deductees[16]);
    for (int row = 7; row <= 12; ++row)
        expectNoPayment(first.sheet(1), row);
    for (int row = 6; row <= 8; ++row)
        EXPECT_EQ(first.sheet(1).value("H" + std::to_string(row + 7)), shipped.sheet("Annex").value("H" + std::to_string(row)));
    for (int i = 0; i < 16; ++i)
        i < 3 ? expectPayment(second.sheet(0), 24 + i, sunrise, sunrise.deductees[static_cast<std::size_t>(i)])
              : expectNoPayment(second.sheet(0), 24 + i);

    // Totals over every payment of the certificate, annexure included, and the tax in words.
    EXPECT_EQ(number(first.sheet(0).value("C40")), 17 * 18 / 2);
    EXPECT_DOUBLE_EQ(number(first.sheet(0).value("E40")), 16 * 5000 + 1234.56);
    EXPECT_EQ(number(first.sheet(0).value("F40")), 0);
    EXPECT_EQ(number(first.sheet(0).value("G40")), 17 * 150);
    EXPECT_EQ(number(first.sheet(0).value("H40")), 17 * 5150);
    EXPECT_EQ(number(second.sheet(0).value("C40")), 3 * 1000 + 6);
    EXPECT_EQ(text(first.sheet(0).value("B42")),
              "Certified that a sum of Rs. (in words) " + cw::certificates::amountInWords(17 * 5150) +
                  " has been deducted / collected at source and paid to the credit of the Central Government as "
                  "per details given above.");

    // The template keeps its own sheets as they were, without the work sheets.
    const Workbook saved = Workbook::open(run.templatePath());
    EXPECT_EQ(saved.sheetNames(), shipped.sheetNames());
    for (const char* sheet : {"Form 16A", "Annex"})
        EXPECT_EQ(saved.sheet(sheet).value("K1"), Value{}) << sheet;
}

TEST(Certificates, NumberedFromCellB2)
{
    const struct {
        Value b2;
        std::vector<int> groups;
        std::vector<std::string> files;
        std::vector<std::string> lastSheets;
    } cases[] = {
        {Value{}, {17}, {"000.xls"}, {"000", "0A"}}, // an empty B2 counts as 0
        {Value{1000.0}, {1, 20}, {"1000.xls", "1001.xls"}, {"1001", "1001A"}},
        {Value{std::string("42")}, {1}, {"042.xls"}, {"042"}}, // typed as text into an old template
        {Value{std::string(" 007 ")}, {1}, {"007.xls"}, {"007"}},
    };
    for (const auto& c : cases) {
        Statement s;
        for (std::size_t g = 0; g < c.groups.size(); ++g)
            s.challans.push_back(challanOf(recordsOf(std::string(1, char('A' + g)), "AAAPA1234A", c.groups[g])));
        CertificateRun run(s, [&](Workbook& wb) { wb.sheet("AcknDetails").setValue("B2", c.b2); });
        ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
        EXPECT_EQ(run.files(), c.files);
        const Workbook last = run.certificate(c.files.back());
        EXPECT_EQ(last.sheetNames(), c.lastSheets);
        EXPECT_EQ(text(last.sheet(0).value("K1")), c.lastSheets[0] + "/2007-08");
    }
}

TEST(Certificates, QuarterNumberGoesOnCertificatesDatedAfterTheFiling)
{
    using cw::certificates::quarterAcknApplies;
    const struct {
        const char* certificateDate;
        const char* filedOn;
        bool applies;
    } cases[] = {
        {"05.08.2008", "15/07/2008", true}, // as texts it would not be later; as dates it is
        {"5.08.2008", "15/7/2008", true},
        {"15.07.2008", "15/07/2008", false}, // the same day
        {"5.08.2008", "", true}, // no date of filing: every dated certificate
        {"", "", false},
        {"31.02.2009", "15/07/2008", false}, // either side unreadable: nothing
        {"5.08.08", "15/07/2008", false},
        {"5.08.2008", "July 2008", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quarterAcknApplies(c.certificateDate, c.filedOn), c.applies) << c.certificateDate << " filed " << c.filedOn;
}

} // namespace
