// The register a run writes beside its certificates, read back and held against the
// certificates themselves and the statement they were made from.
#include "CertificateRun.h"
#include "certificates/CertificateGroups.h"
#include "core/CertificateLayout.h"
#include "import/StatementText.h"
#include "mail/Deductees.h"
#include "register/Register.h"

namespace cw::test {
namespace {

namespace form = core::layout::form;

// Columns of the sheet "Certificates" and the row its table starts on (after the heading).
enum { kNumber, kFile, kPan, kName, kSection, kDate, kPayments, kPaid, kDeducted, kDeposited, kAnnexure };
constexpr int kFirstRow = 9;

Deductee paid(std::string name, std::string pan, std::string amount, std::string tds, std::string section = {})
{
    Deductee d;
    d.name = std::move(name);
    d.pan = std::move(pan);
    d.amount = std::move(amount);
    d.tds = tds;
    d.cess = "0";
    d.total = d.deposited = std::move(tds);
    d.section = std::move(section);
    return d;
}

// Two challans, three deductees, one of whom has more payments than a page holds; in the
// newer layout the payments carry their own sections.
Statement statementOfLayout(bool newer)
{
    Statement s;
    if (newer) {
        s.finYear = "202324";
        s.assessYear = "202425";
    }
    const std::string a = newer ? "94C" : "", j = newer ? "94J" : "";
    Challan& first = s.challans.emplace_back();
    first.date = newer ? "07072023" : "07072008";
    for (int i = 0; i < 18; ++i)
        first.deductees.push_back(paid("ASHA TRADERS", "AAAPA1234A", std::to_string(1000 + i) + ".50", "10.25", a));
    first.deductees.push_back(paid("BALAJI STORES", "AAAPB1234B", "40000", "4000", j));
    Challan& second = s.challans.emplace_back();
    second.section = "94J";
    second.date = newer ? "07082023" : "07082008";
    second.deductees.push_back(paid("CHETAN RAO", "AAAPC1234C", "2500.75", "250.10", j));
    second.deductees.push_back(paid("ASHA TRADERS", "AAAPA1234A", "300", "30", a));
    return s;
}

double numberAt(const host::Sheet& sheet, int row, int col) { return sheet.number(row, col).value_or(-1); }

TEST(Register, HoldsEveryCertificateAndAddsUpToTheStatementInBothLayouts)
{
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer layout" : "older layout");
        CertificateRun run(statementOfLayout(newer));
        ASSERT_EQ(run.generate(), app::GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
        const Workbook reg = Workbook::open(run.registerPath());
        EXPECT_EQ(reg.sheetNames(), (std::vector<std::string>{"Certificates", "Challans", "Sections"}));
        const Sheet& list = reg.sheet("Certificates");

        const std::vector<std::string> files = run.files();
        double paidInAll = 0, depositedInAll = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i]);
            const int row = kFirstRow + static_cast<int>(i);
            const Workbook certificate = run.certificate(files[i]);
            const Sheet& page = certificate.sheet(0);
            EXPECT_EQ(list.text(row, kFile), files[i]);
            EXPECT_EQ(list.text(row, kNumber), page.text(form::kNumber.row, form::kNumber.col));
            EXPECT_EQ(list.text(row, kPan), page.text(form::kDeducteePan.row, form::kDeducteePan.col));
            EXPECT_EQ(list.text(row, kName), page.text(form::kDeducteeName.row, form::kDeducteeName.col));
            EXPECT_EQ(list.text(row, kSection), page.text(form::kSection.row, form::kSection.col));
            const int totals = form::kTotals.row;
            EXPECT_DOUBLE_EQ(numberAt(list, row, kPaid), numberAt(page, totals, 2));
            EXPECT_DOUBLE_EQ(numberAt(list, row, kDeposited), numberAt(page, totals, 7));
            EXPECT_EQ(list.text(row, kAnnexure), certificate.sheetCount() > 1 ? "Yes" : "No");
            // PANs and names are text cells as written; amounts number cells.
            EXPECT_TRUE(std::holds_alternative<std::string>(list.value(row, kPan)));
            EXPECT_TRUE(std::holds_alternative<double>(list.value(row, kPaid)));
            paidInAll += numberAt(list, row, kPaid);
            depositedInAll += numberAt(list, row, kDeposited);
        }
        ASSERT_EQ(files.size(), 4u); // ASHA's payments of two challans are two certificates
        const int total = kFirstRow + static_cast<int>(files.size());
        EXPECT_EQ(list.text(total, kNumber), "Total");
        // Only the totals stand out in bold.
        const auto bold = [&](int row, int col) { return reg.font(reg.xfs()[list.cell(row, col)->xf].font)->bold(); };
        EXPECT_EQ(std::make_tuple(bold(kFirstRow, kPaid), bold(kFirstRow, kPan), bold(total, kPaid), bold(total, kNumber)),
                  std::make_tuple(false, false, true, true));
        EXPECT_EQ(numberAt(list, total, kPayments), 21);
        EXPECT_NEAR(numberAt(list, total, kPaid), paidInAll, 1e-6);
        EXPECT_NEAR(numberAt(list, total, kPaid), 18 * 1000.5 + 153 + 40000 + 2500.75 + 300, 1e-6);
        EXPECT_NEAR(numberAt(list, total, kDeposited), depositedInAll, 1e-6);
        EXPECT_NEAR(numberAt(list, total, kDeducted), 18 * 10.25 + 4000 + 250.10 + 30, 1e-6);

        const Sheet& challans = reg.sheet("Challans");
        for (int row : {kFirstRow, kFirstRow + 1}) {
            EXPECT_EQ(challans.text(row, 5), "not stated"); // the generated challans state no sums
            EXPECT_EQ(challans.text(row, 17), "agrees");
            EXPECT_DOUBLE_EQ(numberAt(challans, row, 10), numberAt(challans, row, 15));
        }
        EXPECT_NEAR(numberAt(challans, kFirstRow + 1, 10), 280.10, 1e-9);

        const Sheet& sections = reg.sheet("Sections");
        for (int row = kFirstRow; !sections.text(row, 0).empty(); ++row)
            for (int col : {1, 2, 3, 4})
                EXPECT_DOUBLE_EQ(numberAt(sections, row, col), numberAt(sections, row, col + 4)) << row;

        std::string out;
        EXPECT_EQ(runCommand(shellQuote(readerCheck()) + " --strict " + shellQuote(run.registerPath()) + " 2>&1", out), 0)
            << out;
    }
}

// Sums the statement states for a challan that are not what its records add up to are the
// statement's fault: named, and the certificates are made all the same.
TEST(Register, NamesTheStatementsOwnSumsThatDisagreeWithItsRecords)
{
    Statement s = statementOfLayout(true);
    s.challans[1].more = {{27, "500.00"}, {29, "999.00"}, {30, "280.10"}, {33, "280.10"}};
    CertificateRun run(s);
    app::GenerateCommand command(run.app, run.reporter);
    ASSERT_EQ(command.run(), app::GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
    EXPECT_NE(command.registerLine().find("line 23, challan 2: tax deposited (CD 29) Rs. 999.00, its records Rs. "
                                             "280.10."),
              std::string::npos)
        << command.registerLine();
    const Workbook reg = Workbook::open(run.registerPath());
    const Sheet& challans = reg.sheet("Challans");
    EXPECT_EQ(challans.text(kFirstRow, 17), "agrees");
    EXPECT_EQ(challans.text(kFirstRow + 1, 17), "tax deposited (CD 29) Rs. 999.00, its records Rs. 280.10");
    EXPECT_DOUBLE_EQ(numberAt(challans, kFirstRow + 1, 4), 500);
}

// Certificates that do not carry what the records hold can only be our fault: every kind of
// difference is found, per challan and in all.
// The certificates of a statement as a run would list them, without writing any: each
// challan's records on `copies` certificates of their own.
struct ListedRun {
    std::string text = statementOfLayout(false).text();
    import::Statement statement = import::readStatement(import::StatementText::fromBytes(text, "TDS.txt"));
    certificates::CertificatePlan plan = certificates::planCertificates(statement);
    certificates::CertificateCounts made;

    explicit ListedRun(std::size_t copies = 1)
    {
        made.byChallan.resize(statement.challans.size());
        for (const import::Payment& p : statement.payments)
            made.byChallan[p.challan].add(p.amountPaid, p.tds, p.surcharge, p.cess, p.taxDeposited);
        certificates::WrittenCertificate all;
        for (const auto& sums : made.byChallan)
            all.totals.add(sums);
        for (std::size_t i = 0; i < copies; ++i) {
            all.serial = static_cast<int>(i + 1);
            made.written.push_back(all);
        }
    }
    reg::RegisterRun run() const { return {&statement, &plan, &made, "TDS.txt", text.size(), "07/12/2026 10:00"}; }
};

TEST(Register, FindsCertificatesThatDoNotCarryTheRecords)
{
    const ListedRun listed;
    const import::Statement& statement = listed.statement;
    const certificates::CertificatePlan& plan = listed.plan;
    const certificates::CertificateCounts& made = listed.made;
    const std::string& text = listed.text;
    EXPECT_TRUE(reg::reconcile(listed.run()).certificateDifferences.empty());

    const std::vector<std::function<void(certificates::PaymentSums&)>> faults = {
        [](auto& s) { ++s.payments; }, [](auto& s) { s.amountPaid += 100; }, [](auto& s) { s.tds -= 1; },
        [](auto& s) { s.surcharge += 1; }, [](auto& s) { s.cess += 1; }, [](auto& s) { s.deposited += 1; }};
    for (std::size_t f = 0; f < faults.size(); ++f) {
        certificates::CertificateCounts wrong = made;
        faults[f](wrong.byChallan[1]);
        faults[f](wrong.written[0].totals);
        const reg::RegisterRun tampered{&statement, &plan, &wrong, "TDS.txt", text.size(), ""};
        const auto differences = reg::reconcile(tampered).certificateDifferences;
        ASSERT_EQ(differences.size(), f == 0 || f == 1 ? 2u : 1u) << f; // a paisa is within the totals' rounding
        EXPECT_EQ(differences[0].rfind("Line 23, challan 2: the certificates carry", 0), 0u) << differences[0];
    }
}

// An .xls sheet holds 65,536 rows: more certificates than one takes go on on further sheets,
// each with the heading, the totals at the end of the last.
TEST(Register, CarriesOnOverFurtherSheetsWhenOneIsFull)
{
    constexpr int kPerSheet = 65536 - kFirstRow - 1;
    const ListedRun listed(kPerSheet + 2);
    const reg::RegisterRun run = listed.run();
    TempFolder folder("register");
    const std::filesystem::path file = folder.path() / "Register.xls";
    reg::writeRegister(file, run, reg::reconcile(run));

    const Workbook reg = Workbook::open(file);
    EXPECT_EQ(reg.sheetNames(), (std::vector<std::string>{"Certificates", "Certificates (2)", "Challans", "Sections"}));
    const Sheet& first = reg.sheet("Certificates");
    const Sheet& second = reg.sheet("Certificates (2)");
    EXPECT_EQ(first.text(kFirstRow + kPerSheet - 1, kFile), "65526.xls");
    EXPECT_EQ(second.text(kFirstRow - 1, kFile), "File");
    EXPECT_EQ(second.text(kFirstRow, kFile), "65527.xls");
    EXPECT_EQ(second.text(kFirstRow + 1, kFile), "65528.xls");
    EXPECT_EQ(second.text(kFirstRow + 2, kNumber), "Total");
    EXPECT_EQ(numberAt(second, kFirstRow + 2, kPayments), 21.0 * (kPerSheet + 2));

    // What e-mail reads of it: every sheet's certificates, none lost past the first.
    const mail::CertificateList list = mail::readRegister(folder.path());
    ASSERT_EQ(list.deductees.size(), 1u);
    EXPECT_EQ(list.deductees[0].certificates.size(), kPerSheet + 2u);
    EXPECT_EQ(list.deductees[0].certificates.back().file, "65528");

    // Another reader sees the full first sheet and the rest on the second. (All five readers over
    // 720,000 cells take longer than their own time limits; the small registers get all five.)
    std::string out;
    EXPECT_EQ(runCommand("/usr/bin/python3 -c 'import sys, xlrd; b = xlrd.open_workbook(sys.argv[1]); "
                         "print(b.sheet_by_index(0).nrows, b.sheet_by_index(1).nrows)' " + shellQuote(file) + " 2>&1", out), 0)
        << out;
    EXPECT_EQ(out, "65535 12\n");
}

TEST(Register, RupeesAreGroupedInLakhsAndCrores)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0.00"}, {5, "0.05"}, {99999, "999.99"}, {100000, "1,000.00"}, {123456700, "12,34,567.00"},
        {100000000000, "1,00,00,00,000.00"}, {-150, "-1.50"}, {INT64_MIN, "-92,23,37,20,36,85,47,758.08"}};
    for (const auto& [paise, text] : cases)
        EXPECT_EQ(reg::rupees(paise), text) << paise;
}

} // namespace
} // namespace cw::test
