// The Generate command and `certwright generate` on folders made here.
#include "SyntheticStatement.h"
#include "TestSupport.h"

#include "app/GenerateCommand.h"
#include "app/cli/GenerateCli.h"
#include "core/PathText.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace cw;
using host::Value;
namespace fs = std::filesystem;

namespace {

Value txt(const std::string& s) { return Value{s}; }

class GenerateTest : public ::testing::Test {
protected:
    GenerateTest()
    {
        host::Workbook wb;
        wb.addSheet("AcknDetails").setValue("B2", Value{1.0});
        wb.addSheet("Annex").setValue("A1", txt("Annexure"));
        wb.addSheet("Form 16A").setValue("A1", txt("FORM NO. 16A"));
        wb.save(folder / "TDS16A.xls");
        templateBytes = test::readBytes(folder / "TDS16A.xls");
        test::writeBytes(folder / "Form16A" / "001.xls", "earlier certificate");
    }

    app::GenerateOutcome run(const std::string& statement)
    {
        test::writeBytes(folder / "TDS.txt", statement);
        reporter.messages.clear();
        app::GenerateCommand command(folder.path(), reporter);
        // What the work sheets hold once the deductee rows are written.
        command.setExtractionObserver([&](const import::GenerationContext& ctx) {
            deductorRow3.clear();
            deducteeRows.clear();
            for (int c = 0; c < 10; ++c)
                deductorRow3.push_back(ctx.deductorSheet->value(2, c));
            for (int r = 1; r < ctx.deducteeSheet->rowCount(); ++r) {
                deducteeRows.emplace_back();
                for (int c = 0; c < 14; ++c)
                    deducteeRows.back().push_back(ctx.deducteeSheet->value(r, c));
            }
        });
        return command.run();
    }
    std::string only() const
    {
        EXPECT_EQ(reporter.messages.size(), 1u);
        return reporter.lastPrompt();
    }
    std::string shown(const fs::path& name) const { return core::pathText(fs::path(folder / name).make_preferred()); }
    bool untouched() const
    {
        return test::readBytes(folder / "TDS16A.xls") == templateBytes &&
               test::readBytes(folder / "Form16A" / "001.xls") == "earlier certificate";
    }

    test::TempFolder folder{"generate"};
    std::string templateBytes;
    test::RecordingReporter reporter;
    std::vector<Value> deductorRow3;
    std::vector<std::vector<Value>> deducteeRows;
};

test::Statement twoChallans()
{
    test::Statement st;
    st.challans.resize(2);
    st.challans[0].deductees.resize(2);
    st.challans[0].deductees[1].name = "MEENA IYER";
    st.challans[0].deductees[1].amount = "1234.50";
    st.challans[1].cin = "00456";
    st.challans[1].section = "194I";
    st.challans[1].deductees.resize(1);
    return st;
}

TEST_F(GenerateTest, FillsTheWorkSheetsAndKeepsTheTemplateSheets)
{
    ASSERT_EQ(run("\xEF\xBB\xBF" + twoChallans().text("\n")), app::GenerateOutcome::Succeeded) << only();
    EXPECT_EQ(only(), "Certificates Successfully Generated and saved to " + shown("Form16A"));
    EXPECT_EQ(reporter.messages[0].title, "Done!");

    EXPECT_EQ(deductorRow3[1], txt("FLAT 1,MAIN ROAD,,,MUMBAI,19,400001"));
    EXPECT_EQ(deductorRow3[6], txt("2007-08"));
    ASSERT_EQ(deducteeRows.size(), 3u);
    EXPECT_EQ(deducteeRows[1][0], txt("MEENA IYER"));
    EXPECT_EQ(deducteeRows[1][3], Value{1234.5});
    EXPECT_EQ(deducteeRows[2][2], txt("194I"));
    EXPECT_EQ(deducteeRows[2][12], txt("00456"));

    host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
    EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    EXPECT_EQ(saved.sheet("Form 16A").value("A1"), txt("FORM NO. 16A"));
    EXPECT_EQ(saved.sheet("AcknDetails").value("B2"), Value{1.0});
}

TEST_F(GenerateTest, MissingFilesAndTheGuardEndTheRun)
{
    fs::create_directory(folder / "TDS.txt"); // a folder is no statement file
    EXPECT_EQ(app::GenerateCommand(folder.path(), reporter).run(), app::GenerateOutcome::EndProgram);
    EXPECT_EQ(only(), "Text file TDS not found at " + core::pathText(folder.path()) + " .");
    EXPECT_EQ(reporter.messages[0].icon, core::Icon::Critical);

    const core::Message inUse{"TDS16A.xls is open.", "Close it!", core::Icon::Information};
    reporter.messages.clear();
    EXPECT_EQ(app::GenerateCommand(folder.path(), reporter, [&] { return std::optional(inUse); }).run(),
              app::GenerateOutcome::EndProgram);
    EXPECT_EQ(only(), inUse.prompt);
    EXPECT_TRUE(untouched());

    fs::remove(folder / "TDS.txt");
    fs::remove(folder / "TDS16A.xls");
    EXPECT_EQ(run(twoChallans().text()), app::GenerateOutcome::Failed);
    EXPECT_EQ(only(), "The template workbook TDS16A.xls was not found in " + core::pathText(folder.path()) + ".");
    test::writeBytes(folder / "TDS16A.xls", "not a workbook");
    EXPECT_EQ(run(twoChallans().text()), app::GenerateOutcome::Failed);
    EXPECT_EQ(only().rfind("The template workbook " + shown("TDS16A.xls") + " cannot be opened (", 0), 0u) << only();
    EXPECT_EQ(test::readBytes(folder / "TDS16A.xls"), "not a workbook");
}

TEST_F(GenerateTest, OtherFormsAreSavedWithTheWorkSheets)
{
    for (const char* form : {"24Q", "26q", "26", ""}) {
        SCOPED_TRACE(form);
        test::Statement st = twoChallans();
        st.formType = form;
        EXPECT_EQ(run(st.text()), app::GenerateOutcome::InvalidStatement);
        EXPECT_EQ(only(), "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.");
        EXPECT_EQ(reporter.messages[0].title, "Invalid Text File!");

        host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
        EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"DeducteeDetails", "DeductorDetails", "Textdata",
                                                                "Form 16A", "Annex", "AcknDetails"}));
        EXPECT_EQ(saved.sheet("DeductorDetails").value("A3"), txt("ACME TRADERS"));
        EXPECT_EQ(saved.sheet("DeducteeDetails").rowCount(), 1);
        EXPECT_EQ(saved.sheet("Textdata").value("B4"), txt("DD"));
        EXPECT_EQ(test::readBytes(folder / "Form16A" / "001.xls"), "earlier certificate");
    }
}

TEST_F(GenerateTest, RefusalsLeaveTheTemplateAndTheCertificatesAsTheyWere)
{
    test::Statement notANumber = twoChallans();
    notANumber.challans[1].deductees[0].amount = "12a"; // line 7
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    std::vector<std::string> lines = twoChallans().lines();
    lines.erase(lines.begin() + 1);
    std::string noBatchHeader;
    for (const std::string& l : lines)
        noBatchHeader += l + "\n";
    const std::string empty = "The text file " + shown("TDS.txt") + " is empty. Please put a valid Form 26Q text file.";
    const std::string notBatchHeader =
        "Line 2 of TDS.txt is not a batch header record (BH). Please put a valid Form 26Q text file.";

    const std::vector<std::pair<std::string, std::string>> cases = {
        {notANumber.text(), "Line 7 of TDS.txt: Amt Paid \"12a\" is not a number."},
        {"", empty},
        {"\r\n\r\n", empty},
        {binary, notBatchHeader},
        {noBatchHeader, notBatchHeader},
    };
    for (const auto& [text, prompt] : cases) {
        SCOPED_TRACE(prompt);
        EXPECT_EQ(run(text), app::GenerateOutcome::Failed);
        EXPECT_EQ(only(), prompt);
        EXPECT_EQ(reporter.messages[0].title, "Invalid Text File!");
        EXPECT_TRUE(untouched());
    }
}

TEST_F(GenerateTest, ShortAndOverlongLinesAreTakenAsTheyAre)
{
    std::vector<std::string> lines = twoChallans().lines();
    lines[3] = "4^DD^1^1";                                      // a record shorter than the fields read
    lines.insert(lines.begin() + 4, std::string(100000, 'x')); // one field of 100,000 characters
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    ASSERT_EQ(run(text), app::GenerateOutcome::Succeeded) << only();
    ASSERT_EQ(deducteeRows.size(), 4u);
    EXPECT_EQ(deducteeRows[0][0], txt(""));
    EXPECT_EQ(deducteeRows[0][10], txt("0510308"));
    EXPECT_EQ(deducteeRows[1][0], txt("")); // the long line: a record with no name
    EXPECT_EQ(deducteeRows[2][0], txt("MEENA IYER"));
}

TEST_F(GenerateTest, CommandLinePrintsTheMessagesAndExits)
{
    test::Statement other = twoChallans();
    other.formType = "27Q";
    const std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        // statement, exit status, standard output, standard error
        {other.text(), 1, "",
         "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.\n"},
        {twoChallans().text(), 0, "Certificates Successfully Generated and saved to " + shown("Form16A") + "\n", ""},
    };
    for (const auto& [statement, status, output, error] : cases) {
        test::writeBytes(folder / "TDS.txt", statement);
        std::ostringstream out, err;
        EXPECT_EQ(app::runGenerate(folder.path(), out, err), status);
        EXPECT_EQ(out.str(), output);
        EXPECT_EQ(err.str(), error);
    }
}

} // namespace
