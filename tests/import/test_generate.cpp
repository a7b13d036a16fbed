// The Generate command and `certwright generate` on folders made here.
#include "SyntheticStatement.h"
#include "TestSupport.h"

#include "app/GenerateCommand.h"
#include "app/cli/GenerateCli.h"
#include "core/PathText.h"

#include <gtest/gtest.h>

#include <functional>
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
    const std::string notForm26Q =
        "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"24Q", notForm26Q}, {"26q", notForm26Q}, {"26", notForm26Q}, {"", notForm26Q},
        {"140", "TDS.txt is a Form 140 statement. Certwright makes Form 16A certificates from Form 26Q "
                "statements, for the financial years up to 2025-26."},
    };
    for (const auto& [form, message] : cases) {
        SCOPED_TRACE(form);
        test::Statement st = twoChallans();
        st.formType = form;
        st.finYear = "202627";
        EXPECT_EQ(run(st.text()), app::GenerateOutcome::InvalidStatement);
        EXPECT_EQ(only(), message);
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

    auto ofYear = [](const char* year) {
        test::Statement st = twoChallans();
        st.finYear = year;
        return st.text();
    };
    const std::string years = "Line 2 of TDS.txt: Certwright reads Form 26Q statements of the financial years "
                              "2007-08 to 2025-26, not ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {notANumber.text(), "Line 7 of TDS.txt: Amt Paid \"12a\" is not a number."},
        {ofYear("2023"), "Line 2 of TDS.txt: \"2023\" is not a financial year such as 202425."},
        {ofYear("202325"), "Line 2 of TDS.txt: \"202325\" is not a financial year such as 202425."},
        {ofYear("202627"), years + "2026-27."},
        {ofYear("200607"), years + "2006-07."},
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

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    return text;
}

// The line with field k (1-based) set to `value`.
std::string withField(const std::string& line, int k, const std::string& value)
{
    std::size_t from = 0;
    for (int i = 1; i < k; ++i)
        from = line.find('^', from) + 1;
    return line.substr(0, from) + value + line.substr(std::min(line.find('^', from), line.size()));
}

TEST_F(GenerateTest, DamagedStatementsAreRefusedAtTheirFirstWrongLine)
{
    // 1 FH, 2 BH, 3 CD of two records, 4 and 5 DD, 6 CD of one record, 7 DD.
    const std::vector<std::string> good = twoChallans().lines();
    using Damage = std::function<void(std::vector<std::string>&)>;
    auto insert = [](int line, std::string text) {
        return Damage([=](std::vector<std::string>& l) { l.insert(l.begin() + line - 1, text); });
    };
    auto replace = [](int line, std::string text) {
        return Damage([=](std::vector<std::string>& l) { l[static_cast<std::size_t>(line - 1)] = text; });
    };
    auto setField = [](int line, int field, std::string value) {
        return Damage([=](std::vector<std::string>& l) {
            l[static_cast<std::size_t>(line - 1)] = withField(l[static_cast<std::size_t>(line - 1)], field, value);
        });
    };
    // The real case: 28 lines of 2023-24, 6 challans of 20 records, four challan lines blanked.
    test::Statement real;
    real.finYear = "202324";
    for (std::size_t records : {10, 2, 3, 2, 2, 1})
        real.challans.push_back({"00045", "0004329", "07042024", "", "", std::vector<test::Deductee>(records)});
    std::vector<std::string> blanked = real.lines();
    for (int line : {3, 14, 17, 24})
        blanked[static_cast<std::size_t>(line - 1)] = "  ";
    ASSERT_EQ(blanked.size(), 28u);

    const std::vector<std::pair<Damage, std::string>> cases = {
        {insert(5, ""), "Line 5 of TDS.txt is not a challan or deductee record."},
        {insert(5, "  "), "Line 5 of TDS.txt is not a challan or deductee record."},
        {insert(5, std::string(100000, 'x')), "Line 5 of TDS.txt is not a challan or deductee record."},
        {[](auto& l) { l.erase(l.begin() + 5); }, "Line 3 of TDS.txt: challan 1 counts 2 deductee records, but 3 follow."},
        {insert(3, good[3]), "Line 3 of TDS.txt: a deductee record before any challan."},
        {replace(3, "3^CD^1^1^2"), "Line 3 of TDS.txt: the challan record has 5 fields; Certwright reads up to field 36."},
        {replace(5, "5^DD^1^1^2^^^01^^ABCPK1234D^^^MEENA"),
         "Line 5 of TDS.txt: the deductee record has 13 fields; Certwright reads up to field 24."},
        {setField(2, 4, "3"), "Line 2 of TDS.txt: the batch header counts 3 challan records, but 2 follow."},
        {setField(6, 5, "2"), "Line 6 of TDS.txt: challan 2 counts 2 deductee records, but 1 follows."},
        {setField(3, 5, "2.5"), "Line 3 of TDS.txt: the challan's count of deductee records \"2.5\" is not a whole number."},
        {[&](auto& l) { l = blanked; }, "Line 3 of TDS.txt is not a challan or deductee record."},
    };
    for (const auto& [damage, message] : cases) {
        std::vector<std::string> lines = good;
        damage(lines);
        EXPECT_EQ(run(joined(lines)), app::GenerateOutcome::Failed) << message;
        EXPECT_EQ(only(), message);
        EXPECT_TRUE(untouched()) << message;
    }

    // Blank lines at the end are no damage; neither the 2008 nor the current layout is refused.
    real.challans.resize(1);
    for (const std::string& text : {joined(good) + "\r\n  \r\n\r\n", real.text()})
        EXPECT_EQ(run(text), app::GenerateOutcome::Succeeded) << only();
}

TEST_F(GenerateTest, CommandLinePrintsTheMessagesAndExits)
{
    test::Statement other = twoChallans();
    other.formType = "27Q";
    test::Statement eighteenPayments;
    eighteenPayments.challans.resize(1);
    eighteenPayments.challans[0].deductees.resize(18);
    const std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        // statement, exit status, standard output, standard error
        {other.text(), 1, "",
         "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.\n"},
        {twoChallans().text(), 0,
         "Certificates Successfully Generated and saved to " + shown("Form16A") +
             "\n3 certificates (0 with an annexure) carrying 3 payment records.\n",
         ""},
        {eighteenPayments.text(), 0,
         "Certificates Successfully Generated and saved to " + shown("Form16A") +
             "\n1 certificate (1 with an annexure) carrying 18 payment records.\n",
         ""},
    };
    for (const auto& [statement, status, output, error] : cases) {
        test::writeBytes(folder / "TDS.txt", statement);
        std::ostringstream out, err;
        EXPECT_EQ(app::runGenerate(folder.path(), out, err), status);
        EXPECT_EQ(out.str(), output);
        EXPECT_EQ(err.str(), error);
    }
}

// A statement of the current layout: payments under several sections in one challan, tax
// deposited below the tax deducted, credit dates apart from deduction dates, codes with leading
// zeros. Each deductee gets one certificate per section, its rows carrying these facts.
TEST_F(GenerateTest, CurrentLayoutGivesTheCertificatesItsRecordsCallFor)
{
    test::Statement st;
    st.finYear = "202324";
    st.assessYear = "202425";
    auto payment = [](const char* name, const char* section, const char* deposited, const char* creditedOn) {
        test::Deductee d;
        d.name = name;
        d.section = section;
        d.deposited = deposited;
        d.creditedOn = creditedOn;
        d.deductedOn = "30062023";
        return d;
    };
    st.challans = {
        {"00045", "0004329", "07072023", "", "", {payment("ASHA TRADERS", "94C", "5150", "12062023"),
                                                  payment("BALAJI STORES", "94J", "4000", "20062023"),
                                                  payment("ASHA TRADERS", "94J", "5150", "05062023"),
                                                  payment("ASHA TRADERS", "94C", "1000.50", "3062023")}},
        {"00046", "0510032", "07082023", "", "", {payment("BALAJI STORES", "94J", "5150", "3072023")}},
    };
    test::writeBytes(folder / "TDS.txt", st.text());
    std::ostringstream out, err;
    ASSERT_EQ(app::runGenerate(folder.path(), out, err), 0) << err.str();
    EXPECT_EQ(out.str().substr(out.str().find('\n') + 1),
              "4 certificates (0 with an annexure) carrying 5 payment records.\n");

    struct Row {
        std::string paidOn;
        double deposited;
        std::string bsr, depositedOn, challan;
    };
    const std::vector<std::tuple<std::string, std::string, std::vector<Row>>> certificates = {
        {"ASHA TRADERS", "94C",
         {{"12.06.2023", 5150, "0004329", "07.07.2023", "00045"}, {"3.06.2023", 1000.5, "0004329", "07.07.2023", "00045"}}},
        {"ASHA TRADERS", "94J", {{"05.06.2023", 5150, "0004329", "07.07.2023", "00045"}}},
        {"BALAJI STORES", "94J", {{"20.06.2023", 4000, "0004329", "07.07.2023", "00045"}}},
        {"BALAJI STORES", "94J", {{"3.07.2023", 5150, "0510032", "07.08.2023", "00046"}}},
    };
    ASSERT_EQ(std::distance(fs::directory_iterator(folder / "Form16A"), fs::directory_iterator()), 4);
    int serial = 0;
    for (const auto& [name, section, rows] : certificates) {
        const std::string file = "00" + std::to_string(++serial);
        host::Workbook wb = host::Workbook::open(folder / "Form16A" / (file + ".xls"));
        const host::Sheet& c = wb.sheet(0);
        EXPECT_EQ(c.value("I10"), txt(name)) << file;
        EXPECT_EQ(c.value("E16"), txt(section)) << file;
        EXPECT_EQ(c.value("K1"), txt(file + "/2023-24"));
        double total = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string r = std::to_string(24 + i);
            const std::vector<Value> seen = {c.value("D" + r), c.value("H" + r), c.value("J" + r), c.value("K" + r),
                                             c.value("L" + r)};
            EXPECT_EQ(seen, (std::vector<Value>{txt(rows[i].paidOn), Value{rows[i].deposited}, txt(rows[i].bsr),
                                                txt(rows[i].depositedOn), txt(rows[i].challan)}))
                << file << " row " << r;
            total += rows[i].deposited;
        }
        EXPECT_EQ(c.value("H" + std::to_string(24 + rows.size())), Value{}) << file;
        EXPECT_EQ(c.value("H40"), Value{total}) << file;
    }
}

} // namespace
