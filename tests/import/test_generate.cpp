// The Generate command and `certwright generate` on folders made here.
#include "SyntheticStatement.h"

#include "app/GenerateCommand.h"
#include "import/StatementImport.h"
#include "app/cli/GenerateCli.h"
#include "core/PathText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace cw;
using host::Value;
namespace fs = std::filesystem;

namespace {

class Recorder : public core::Reporter {
public:
    void message(const core::Message& m) override { messages.push_back(m); }
    std::vector<core::Message> messages;
};

std::string readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

// What the observer saw of the work sheets once the deductee rows were written.
struct Seen {
    std::vector<std::vector<Value>> deductor, deductee; // rows 2-3 A:J; every row A:N
    std::vector<Value> textRow2;
};

class GenerateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Unique per run: the same tests may run from several build folders at once.
        folder = fs::temp_directory_path() /
                 ("certwright-generate-" + std::string(info->name()) + "-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        host::Workbook wb;
        wb.addSheet("AcknDetails").setValue("B2", Value{1.0});
        wb.addSheet("Annex").setValue("A1", Value{std::string("Annexure")});
        wb.addSheet("Form 16A").setValue("A1", Value{std::string("FORM NO. 16A")});
        wb.save(folder / "TDS16A.xls");
        templateBytes = readBytes(folder / "TDS16A.xls");
    }
    void TearDown() override { fs::remove_all(folder); }

    void statement(const std::string& text) { writeBytes(folder / "TDS.txt", text); }

    app::GenerateOutcome run(app::GenerateCommand::Guard guard = {})
    {
        app::GenerateCommand g(folder, recorder, std::move(guard));
        g.setExtractionObserver([&](const import::GenerationContext& ctx) {
            seen = Seen{};
            for (int r = 1; r <= 2; ++r) {
                seen.deductor.emplace_back();
                for (int c = 0; c < 10; ++c)
                    seen.deductor.back().push_back(ctx.deductorSheet->value(r, c));
            }
            for (int r = 0; r < ctx.deducteeSheet->rowCount(); ++r) {
                seen.deductee.emplace_back();
                for (int c = 0; c < 14; ++c)
                    seen.deductee.back().push_back(ctx.deducteeSheet->value(r, c));
            }
            for (int c = 0; c < ctx.textSheet->rowWidth(1); ++c)
                seen.textRow2.push_back(ctx.textSheet->value(1, c));
        });
        return g.run();
    }

    std::string only() const
    {
        EXPECT_EQ(recorder.messages.size(), 1u);
        return recorder.messages.empty() ? "" : recorder.messages[0].prompt;
    }
    bool templateUnchanged() const { return readBytes(folder / "TDS16A.xls") == templateBytes; }
    std::string folderText() const { return core::pathText(fs::path(folder).make_preferred()); }

    fs::path folder;
    std::string templateBytes;
    Recorder recorder;
    Seen seen;
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

TEST_F(GenerateTest, SucceedsWithTheWorkSheetsFilled)
{
    statement(twoChallans().text());
    ASSERT_EQ(run(), app::GenerateOutcome::Succeeded);
    EXPECT_EQ(only(), "Certificates Successfully Generated and saved to " +
                          core::pathText(fs::path(folder / "Form16A").make_preferred()));
    EXPECT_EQ(recorder.messages[0].title, "Done!");
    EXPECT_EQ(recorder.messages[0].icon, core::Icon::Information);

    ASSERT_EQ(seen.deductor.size(), 2u);
    EXPECT_EQ(seen.deductor[0][7], Value{std::string("Asstt. Yr.")});
    EXPECT_EQ(seen.deductor[1][1], Value{std::string("FLAT 1,MAIN ROAD,,,MUMBAI,19,400001")});
    EXPECT_EQ(seen.deductor[1][6], Value{std::string("2007-08")});
    EXPECT_EQ(seen.deductor[1][8], Value{std::string("26Q")});
    ASSERT_EQ(seen.deductee.size(), 4u);
    EXPECT_EQ(seen.deductee[0][13], Value{std::string("DO Certificate")});
    EXPECT_EQ(seen.deductee[2][0], Value{std::string("MEENA IYER")});
    EXPECT_EQ(seen.deductee[2][3], Value{1234.5});
    EXPECT_EQ(seen.deductee[2][12], Value{std::string("00123")});
    EXPECT_EQ(seen.deductee[3][2], Value{std::string("194I")});
    EXPECT_EQ(seen.deductee[3][12], Value{std::string("00456")});

    // The template's own sheets come through the save as they were.
    host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
    EXPECT_EQ(saved.sheet("Form 16A").value("A1"), Value{std::string("FORM NO. 16A")});
    EXPECT_EQ(saved.sheet("AcknDetails").value("B2"), Value{1.0});
}

TEST_F(GenerateTest, LineEndingsAndByteOrderMarkDoNotChangeTheResult)
{
    const test::Statement st = twoChallans();
    std::vector<Seen> results;
    for (const std::string& text : {st.text("\n"), st.text("\r\n"), "\xEF\xBB\xBF" + st.text("\r\n")}) {
        recorder.messages.clear();
        statement(text);
        ASSERT_EQ(run(), app::GenerateOutcome::Succeeded) << only();
        results.push_back(seen);
    }
    for (const Seen& s : results) {
        EXPECT_EQ(s.deductee, results[0].deductee);
        EXPECT_EQ(s.textRow2, results[0].textRow2);
    }
    EXPECT_EQ(results[2].textRow2[0], Value{2.0});
}

TEST_F(GenerateTest, MissingStatementEndsTheProgram)
{
    EXPECT_EQ(run(), app::GenerateOutcome::EndProgram);
    EXPECT_EQ(only(), "Text file TDS not found at " + folderText() + " .");
    EXPECT_EQ(recorder.messages[0].title, "File Not Found!");
    EXPECT_EQ(recorder.messages[0].icon, core::Icon::Critical);

    fs::create_directory(folder / "TDS.txt"); // a folder is no statement file
    recorder.messages.clear();
    EXPECT_EQ(run(), app::GenerateOutcome::EndProgram);
    EXPECT_TRUE(templateUnchanged());
}

TEST_F(GenerateTest, GuardComesFirst)
{
    const core::Message inUse{"TDS16A.xls is open.", "Close it!", core::Icon::Information};
    EXPECT_EQ(run([&] { return std::optional<core::Message>(inUse); }), app::GenerateOutcome::EndProgram);
    EXPECT_EQ(only(), inUse.prompt);
}

TEST_F(GenerateTest, OtherFormIsSavedWithTheWorkSheets)
{
    for (const char* form : {"24Q", "26q", "26", ""}) {
        SCOPED_TRACE(form);
        recorder.messages.clear();
        test::Statement st = twoChallans();
        st.formType = form;
        statement(st.text());
        EXPECT_EQ(run(), app::GenerateOutcome::InvalidStatement);
        EXPECT_EQ(only(),
                  "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.");
        EXPECT_EQ(recorder.messages[0].title, "Invalid Text File!");

        host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
        EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"DeducteeDetails", "DeductorDetails", "Textdata",
                                                                "Form 16A", "Annex", "AcknDetails"}));
        EXPECT_EQ(saved.sheet("DeductorDetails").value("A3"), Value{std::string("ACME TRADERS")});
        EXPECT_EQ(saved.sheet("DeducteeDetails").rowCount(), 1);
        EXPECT_EQ(saved.sheet("Textdata").value("B4"), Value{std::string("DD")});
    }
}

TEST_F(GenerateTest, RefusalsLeaveTheTemplateAsItWas)
{
    test::Statement notANumber = twoChallans();
    notANumber.challans[1].deductees[0].amount = "12a"; // line 7
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    std::vector<std::string> noBatchHeader = twoChallans().lines();
    noBatchHeader.erase(noBatchHeader.begin() + 1);
    std::string noBatchHeaderText;
    for (const std::string& l : noBatchHeader)
        noBatchHeaderText += l + "\n";

    const std::vector<std::pair<std::string, std::string>> cases = {
        {notANumber.text(), "Line 7 of TDS.txt: Amt Paid \"12a\" is not a number."},
        {"", "The text file " + core::pathText(fs::path(folder / "TDS.txt").make_preferred()) +
                 " is empty. Please put a valid Form 26Q text file."},
        {"\r\n\r\n", "The text file " + core::pathText(fs::path(folder / "TDS.txt").make_preferred()) +
                         " is empty. Please put a valid Form 26Q text file."},
        {binary, "Line 2 of TDS.txt is not a batch header record (BH). Please put a valid Form 26Q text file."},
        {noBatchHeaderText,
         "Line 2 of TDS.txt is not a batch header record (BH). Please put a valid Form 26Q text file."},
    };
    fs::create_directory(folder / "Form16A");
    writeBytes(folder / "Form16A" / "001.xls", "earlier certificate");
    for (const auto& [text, prompt] : cases) {
        SCOPED_TRACE(prompt);
        recorder.messages.clear();
        statement(text);
        EXPECT_EQ(run(), app::GenerateOutcome::Failed);
        EXPECT_EQ(only(), prompt);
        EXPECT_TRUE(templateUnchanged());
        EXPECT_EQ(readBytes(folder / "Form16A" / "001.xls"), "earlier certificate");
    }
}

TEST_F(GenerateTest, ShortAndOverlongLinesAreTakenAsTheyAre)
{
    std::vector<std::string> lines = twoChallans().lines();
    lines[3] = "4^DD^1^1";                              // a record shorter than the fields read
    lines.insert(lines.begin() + 4, std::string(100000, 'x')); // one field of 100,000 characters
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    statement(text);
    ASSERT_EQ(run(), app::GenerateOutcome::Succeeded) << only();
    ASSERT_EQ(seen.deductee.size(), 5u);
    EXPECT_EQ(seen.deductee[1][0], Value{});
    EXPECT_EQ(seen.deductee[1][3], Value{0.0});
    EXPECT_EQ(seen.deductee[1][4], Value{});
    EXPECT_EQ(seen.deductee[1][10], Value{std::string("0510308")});
    EXPECT_EQ(seen.deductee[2][0], Value{}); // the long line: a record with no name
    EXPECT_EQ(seen.deductee[3][0], Value{std::string("MEENA IYER")});
}

TEST_F(GenerateTest, MissingOrUnreadableTemplate)
{
    statement(twoChallans().text());
    fs::remove(folder / "TDS16A.xls");
    EXPECT_EQ(run(), app::GenerateOutcome::Failed);
    EXPECT_EQ(only(), "The template workbook TDS16A.xls was not found in " + folderText() + ".");

    writeBytes(folder / "TDS16A.xls", "not a workbook");
    recorder.messages.clear();
    EXPECT_EQ(run(), app::GenerateOutcome::Failed);
    const std::string shown = core::pathText(fs::path(folder / "TDS16A.xls").make_preferred());
    EXPECT_EQ(only().rfind("The template workbook " + shown + " cannot be opened (", 0), 0u) << only();
    EXPECT_EQ(readBytes(folder / "TDS16A.xls"), "not a workbook");
}

TEST_F(GenerateTest, CommandLinePrintsTheMessageAndExits)
{
    std::ostringstream out, err;
    EXPECT_EQ(app::runGenerate(folder, out, err), 1);
    EXPECT_EQ(err.str(), "Text file TDS not found at " + folderText() + " .\n");
    EXPECT_EQ(out.str(), "");

    test::Statement st = twoChallans();
    st.formType = "27Q";
    statement(st.text());
    out.str("");
    err.str("");
    EXPECT_EQ(app::runGenerate(folder, out, err), 1);
    EXPECT_EQ(err.str(), "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.\n");

    statement(twoChallans().text());
    out.str("");
    err.str("");
    EXPECT_EQ(app::runGenerate(folder, out, err), 0);
    EXPECT_EQ(out.str(), "Certificates Successfully Generated and saved to " +
                             core::pathText(fs::path(folder / "Form16A").make_preferred()) + "\n");
    EXPECT_EQ(err.str(), "");
}

} // namespace
