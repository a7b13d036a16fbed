// The Generate command end to end with the certificates: TDS.txt and TDS16A.xls in a folder
// become Form16A and a template without its work sheets.
#include "CertificateFixture.h"
#include "SyntheticStatement.h"

#include "app/GenerateCommand.h"
#include "import/StatementImport.h"
#include "core/PathText.h"

#include <fstream>
#include <iterator>

using namespace cwtest;
namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CommandRun {
    TempFolder folder;
    Recorder reporter;

    explicit CommandRun(const cw::test::Statement& statement)
    {
        makeTemplate().save(folder.path() / "TDS16A.xls");
        std::ofstream(folder.path() / "TDS.txt", std::ios::binary) << statement.text();
    }
    cw::app::GenerateOutcome run() { return cw::app::GenerateCommand(folder.path(), reporter).run(); }
    fs::path output() const { return folder.path() / "Form16A"; }
};

TEST(GenerateCommand, MakesTheCertificatesAndSavesTheTemplateWithoutWorkSheets)
{
    cw::test::Statement s;
    s.challans.resize(2);
    s.challans[0].deductees.resize(2);
    s.challans[0].deductees[1].name = "MEERA IYER";
    s.challans[1].section = "94J";
    s.challans[1].deductees.resize(1);
    CommandRun run(s);
    ASSERT_EQ(run.run(), cw::app::GenerateOutcome::Succeeded);
    ASSERT_EQ(run.reporter.messages.size(), 1u);
    EXPECT_EQ(run.reporter.messages[0].prompt,
              "Certificates Successfully Generated and saved to " + cw::core::pathText(run.output()));
    EXPECT_EQ(run.reporter.messages[0].title, "Done!");
    EXPECT_EQ(run.reporter.steps.back(), std::make_pair(3, 3));

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(run.output()))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"001.xls", "002.xls", "003.xls"}));
    const Workbook first = Workbook::open(run.output() / "001.xls");
    EXPECT_EQ(str(first.sheet(0).value("I10")), "MEERA IYER");
    EXPECT_EQ(str(first.sheet(0).value("C48")), "07.07.2008");
    EXPECT_EQ(str(first.sheet(0).value("K1")), "001/2007-08");

    const Workbook saved = Workbook::open(run.folder.path() / "TDS16A.xls");
    EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
}

TEST(GenerateCommand, NoDeducteeRecordsEndsWithTheMessageAndTheTemplateUnsaved)
{
    cw::test::Statement s;
    s.challans.resize(1); // a challan without deductee records
    CommandRun run(s);
    const std::string before = readBytes(run.folder.path() / "TDS16A.xls");
    EXPECT_EQ(run.run(), cw::app::GenerateOutcome::EndProgram);
    ASSERT_EQ(run.reporter.messages.size(), 1u);
    EXPECT_EQ(run.reporter.messages[0].prompt, "No deductee records found. Please re-import the file.");
    EXPECT_TRUE(fs::is_directory(run.output()));
    EXPECT_TRUE(fs::is_empty(run.output()));
    EXPECT_EQ(readBytes(run.folder.path() / "TDS16A.xls"), before);
}

TEST(GenerateCommand, AStatementOfMoreLinesThanASheetHoldsWorks)
{
    // Only what is saved as .xls is bound by its 65,536 rows; the certificates are small.
    const int records = 66000;
    const cw::test::Statement s = cw::test::largeStatement(records);
    ASSERT_GT(static_cast<int>(s.lines().size()), cw::host::kXlsMaxRows);
    CommandRun run(s);
    ASSERT_EQ(run.run(), cw::app::GenerateOutcome::Succeeded) << run.reporter.messages.at(0).prompt;
    // Names repeat every 997 records, all under one section and date: 997 certificates, each
    // continued on an annexure.
    double paid = 0;
    int certificates = 0;
    for (const auto& e : fs::directory_iterator(run.output())) {
        const Workbook wb = Workbook::open(e.path());
        EXPECT_EQ(wb.sheetCount(), 2) << e.path();
        paid += num(wb.sheet(0).value("C40"));
        ++certificates;
    }
    EXPECT_EQ(certificates, 997);
    double expected = 0;
    for (int i = 0; i < records; ++i)
        expected += 10000 + i;
    EXPECT_EQ(paid, expected);
}

} // namespace
