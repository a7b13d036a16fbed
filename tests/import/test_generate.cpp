// The Generate command and `certwright generate` on folders made here: statements of both
// layouts end to end, and every refusal leaving the template and the certificates as they were.
#include "SyntheticStatement.h"
#include "TestSupport.h"

#include "app/GenerateCommand.h"
#include "app/cli/GenerateCli.h"
#include "core/PathText.h"
#include "import/StatementImport.h"

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
        return app::GenerateCommand(folder.path(), reporter).run();
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
    host::Sheet certificate(int serial)
    {
        const std::string name = std::string(serial < 10 ? "00" : "0") + std::to_string(serial);
        return host::Workbook::open(folder / "Form16A" / (name + ".xls")).sheet(0);
    }

    test::TempFolder folder{"generate"};
    std::string templateBytes;
    test::RecordingReporter reporter;
};

// 1 FH, 2 BH, 3 CD of two records, 4 and 5 DD, 6 CD of one record, 7 DD.
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

TEST_F(GenerateTest, OlderLayoutGivesTheCertificatesAsBeforeAndKeepsTheTemplateSheets)
{
    test::Statement st = twoChallans();
    // The tax deposited (19) and the date of payment or credit (23) mean what they mean in every
    // layout, apart from the tax deducted (17) and the date of deduction (24).
    st.challans[0].deductees[1].deposited = "10";
    st.challans[0].deductees[1].creditedOn = "01012008";
    st.challans[0].deductees[1].section = "94J";           // not read in this layout
    ASSERT_EQ(run("\xEF\xBB\xBF" + st.text("\n")), app::GenerateOutcome::Succeeded) << only();

    const host::Sheet meena = certificate(1);
    const std::vector<Value> seen = {meena.value("K1"), meena.value("B11"), meena.value("I10"), meena.value("E16"),
                                     meena.value("C24"), meena.value("D24"), meena.value("H24"), meena.value("L24")};
    EXPECT_EQ(seen, (std::vector<Value>{txt("001/2007-08"), txt("FLAT 1,MAIN ROAD,,,MUMBAI,19,400001"),
                                        txt("MEENA IYER"), txt("94C"), Value{1234.5}, txt("01.01.2008"),
                                        Value{10.0}, txt("00123")}));
    EXPECT_EQ(certificate(2).value("E16"), txt("194I")); // sorted before "94C"
    EXPECT_EQ(certificate(2).value("L24"), txt("00456"));

    host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
    EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"Form 16A", "Annex", "AcknDetails"}));
    EXPECT_EQ(saved.sheet("Form 16A").value("A1"), txt("FORM NO. 16A"));
}

// The current layout: payments under several sections in one challan, tax deposited below the
// tax deducted, credit dates apart from deduction dates, codes with leading zeros. A deductee
// gets one certificate per section and challan date, its rows carrying these facts.
TEST_F(GenerateTest, CurrentLayoutGivesTheCertificatesItsRecordsCallFor)
{
    test::Statement st;
    st.finYear = "202324";
    auto paid = [](const char* name, const char* section, const char* deposited, const char* creditedOn) {
        test::Deductee d;
        std::tie(d.name, d.section, d.deposited, d.creditedOn, d.deductedOn) =
            std::tuple(name, section, deposited, creditedOn, "30062023");
        return d;
    };
    st.challans = {
        {"00045", "0004329", "07072023", "", "", {paid("ASHA TRADERS", "94C", "5150", "12062023"),
                                                  paid("BALAJI STORES", "94J", "4000", "20062023"),
                                                  paid("ASHA TRADERS", "94J", "5150", "05062023"),
                                                  paid("ASHA TRADERS", "94C", "1000.50", "3062023")}},
        {"00046", "0510032", "07082023", "", "", {paid("BALAJI STORES", "94J", "5150", "3072023")}},
    };
    test::writeBytes(folder / "TDS.txt", st.text());
    std::ostringstream out, err;
    ASSERT_EQ(app::runGenerate(folder.path(), out, err), 0) << err.str();
    EXPECT_EQ(out.str().substr(out.str().find('\n') + 1),
              "4 certificates (0 with an annexure) carrying 5 payment records.\n"
              "Register.xls: 4 certificates, tax deposited Rs. 20,450.50, equal to the statement's deductee records.\n");

    using Row = std::vector<Value>; // date of payment, tax deposited, BSR code, date of deposit, challan
    const std::vector<std::tuple<std::string, std::string, std::vector<Row>>> certificates = {
        {"ASHA TRADERS", "94C",
         {{txt("12.06.2023"), Value{5150.0}, txt("0004329"), txt("07.07.2023"), txt("00045")},
          {txt("3.06.2023"), Value{1000.5}, txt("0004329"), txt("07.07.2023"), txt("00045")}}},
        {"ASHA TRADERS", "94J", {{txt("05.06.2023"), Value{5150.0}, txt("0004329"), txt("07.07.2023"), txt("00045")}}},
        {"BALAJI STORES", "94J", {{txt("20.06.2023"), Value{4000.0}, txt("0004329"), txt("07.07.2023"), txt("00045")}}},
        {"BALAJI STORES", "94J", {{txt("3.07.2023"), Value{5150.0}, txt("0510032"), txt("07.08.2023"), txt("00046")}}},
    };
    int serial = 0;
    for (const auto& [name, section, rows] : certificates) {
        const host::Sheet c = certificate(++serial);
        EXPECT_EQ((std::vector<Value>{c.value("I10"), c.value("E16")}), (std::vector<Value>{txt(name), txt(section)}));
        for (std::size_t i = 0; i <= rows.size(); ++i) { // and no row more
            const std::string r = std::to_string(24 + i);
            const Row seen = {c.value("D" + r), c.value("H" + r), c.value("J" + r), c.value("K" + r), c.value("L" + r)};
            EXPECT_EQ(seen, i < rows.size() ? rows[i] : Row(5)) << serial << " row " << r;
        }
    }
}

TEST_F(GenerateTest, AMissingOrUnreadableTemplateIsLeftAsItIs)
{
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
    const std::string notForm26Q = "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.";
    for (const auto& [form, message] : std::vector<std::pair<std::string, std::string>>{
             {"24Q", notForm26Q}, {"26q", notForm26Q}, {"", notForm26Q},
             {"140", "TDS.txt is a Form 140 statement. Certwright makes Form 16A certificates from Form 26Q "
                     "statements, for the financial years up to 2025-26."}}) {
        test::Statement st = twoChallans();
        st.formType = form;
        st.finYear = "202627";
        EXPECT_EQ(run(st.text()), app::GenerateOutcome::InvalidStatement) << form;
        EXPECT_EQ(only(), message);
        host::Workbook saved = host::Workbook::open(folder / "TDS16A.xls");
        EXPECT_EQ(saved.sheetNames(), (std::vector<std::string>{"DeducteeDetails", "DeductorDetails", "Textdata",
                                                                "Form 16A", "Annex", "AcknDetails"}));
        EXPECT_EQ(saved.sheet("DeductorDetails").value("A3"), txt("ACME TRADERS"));
        EXPECT_EQ(saved.sheet("DeducteeDetails").rowCount(), 1);
        EXPECT_EQ(saved.sheet("Textdata").value("B4"), txt("DD"));
        EXPECT_EQ(test::readBytes(folder / "Form16A" / "001.xls"), "earlier certificate");
    }
}

TEST_F(GenerateTest, RefusedStatementsLeaveTheTemplateAndTheCertificatesAsTheyWere)
{
    using Damage = std::function<void(std::vector<std::string>&)>;
    auto insert = [](int line, std::string text) {
        return Damage([=](auto& l) { l.insert(l.begin() + line - 1, text); });
    };
    // Field k (1-based) of a line set to a value.
    auto setField = [](int line, std::size_t k, std::string value) {
        return Damage([=](auto& l) {
            std::vector<std::string> fields(1);
            for (char c : l[line - 1u])
                c == '^' ? (void)fields.emplace_back() : fields.back().push_back(c);
            fields[k - 1] = value;
            l[line - 1u] = test::record(fields);
        });
    };
    // A real case: 28 lines of 2023-24, 6 challans of 20 records, four challan lines blanked.
    test::Statement real;
    real.finYear = "202324";
    for (std::size_t records : {10, 2, 3, 2, 2, 1})
        real.challans.push_back({"00045", "0004329", "07042024", "", "", std::vector<test::Deductee>(records)});
    std::vector<std::string> blanked = real.lines();
    for (int line : {3, 14, 17, 24})
        blanked[line - 1u] = "  ";
    const std::string notRecord = " is not a challan or deductee record.";
    const std::string empty = "The text file " + shown("TDS.txt") + " is empty. Please put a valid Form 26Q text file.";
    const std::string years = ": Certwright reads Form 26Q statements of the financial years 2007-08 to 2025-26, not ";

    const std::vector<std::pair<Damage, std::string>> cases = {
        {[](auto& l) { l.clear(); }, empty},
        {[](auto& l) { l = {"", ""}; }, empty},
        {[](auto& l) { l.erase(l.begin() + 1); }, "Line 2 of TDS.txt is not a batch header record (BH). Please put "
                                                   "a valid Form 26Q text file."},
        {insert(5, ""), "Line 5 of TDS.txt" + notRecord},
        {insert(5, "  "), "Line 5 of TDS.txt" + notRecord},
        {insert(5, std::string(100000, 'x')), "Line 5 of TDS.txt is 100000 characters long, far longer than any record of "
                                             "a statement: the file has lost its line breaks, or it is no e-TDS statement."},
        {[&](auto& l) { l = blanked; }, "Line 3 of TDS.txt" + notRecord},
        {[](auto& l) { l.erase(l.begin() + 5); }, "Line 3 of TDS.txt: challan 1 counts 2 deductee records, but 3 follow."},
        {insert(3, twoChallans().lines()[3]), "Line 3 of TDS.txt: a deductee record before any challan."},
        {[](auto& l) { l[2] = test::record(test::fields(35, {{2, "CD"}, {5, "2"}})); },
         "Line 3 of TDS.txt: the challan record has 35 fields; Certwright reads up to field 36."},
        {[](auto& l) { l[4] = test::record(test::fields(23, {{2, "DD"}})); },
         "Line 5 of TDS.txt: the deductee record has 23 fields; Certwright reads up to field 24."},
        {setField(2, 4, "3"), "Line 2 of TDS.txt: the batch header counts 3 challan records, but 2 follow."},
        {setField(6, 5, "2"), "Line 6 of TDS.txt: challan 2 counts 2 deductee records, but 1 follows."},
        {setField(3, 5, "2.5"), "Line 3 of TDS.txt: the challan's count of deductee records \"2.5\" is not a whole number."},
        {setField(7, 22, "12a"), "Line 7 of TDS.txt: Amt Paid \"12a\" (field 22) is not a number."},
        {setField(4, 17, "\x01" + std::string(45, 'x')),
         "Line 4 of TDS.txt: Total Tax Deducted \"?" + std::string(39, 'x') + "...\" (field 17) is not a number."},
        {setField(5, 13, "\"SUNRISE LOGISTICS"), "Line 5 of TDS.txt: field 13 opens a double quote that the line does "
                                                 "not close."},
        {setField(4, 13, "\"RAMESH \"\""), "Line 4 of TDS.txt: field 13 opens a double quote that the line does not "
                                          "close."},
        {setField(2, 17, "202325"), "Line 2 of TDS.txt: \"202325\" is not a financial year such as 202425."},
        {setField(2, 17, "202627"), "Line 2 of TDS.txt" + years + "2026-27."},
        {setField(2, 17, "200607"), "Line 2 of TDS.txt" + years + "2006-07."},
    };
    for (const auto& [damage, message] : cases) {
        std::vector<std::string> lines = twoChallans().lines();
        damage(lines);
        std::string text;
        for (const std::string& l : lines)
            text += l + "\r\n";
        EXPECT_EQ(run(text), app::GenerateOutcome::Failed) << message;
        EXPECT_EQ(only(), message);
        EXPECT_EQ(reporter.messages[0].title, "Invalid Text File!");
        EXPECT_TRUE(untouched()) << message;
    }

    // Blank lines at the end are no damage, in the older layout or the current one.
    real.challans.resize(1);
    for (const std::string& text : {twoChallans().text() + "\r\n  \r\n\r\n", real.text()})
        EXPECT_EQ(run(text), app::GenerateOutcome::Succeeded) << only();
}

// A statement that could take more memory than the program allows is refused from its size,
// before a byte of it is read (the file here is sparse: nothing to read but its size).
TEST_F(GenerateTest, AStatementBeyondTheMemoryBoundIsRefusedUnread)
{
    test::writeBytes(folder / "TDS.txt", "");
    fs::resize_file(folder / "TDS.txt", import::kMaxStatementBytes + 1);
    EXPECT_EQ(app::GenerateCommand(folder.path(), reporter).run(), app::GenerateOutcome::Failed);
    EXPECT_EQ(only(), "The text file " + shown("TDS.txt") + " is too large (" +
                          std::to_string(import::kMaxStatementBytes + 1) + " bytes) for an e-TDS statement.");
    EXPECT_TRUE(untouched());
}

// Lines of empty fields fill a cell for every byte of the sheet a statement of another form
// leaves in the template: such a file is refused as it reaches the cells a statement of its
// size could fill, before it takes eight times its size.
TEST_F(GenerateTest, AStatementOfEmptyFieldsIsRefusedAtTheCellLimit)
{
    test::Statement other = twoChallans();
    other.formType = "27Q";
    std::string text = other.text();
    const std::string empties = std::string(255, '^') + "x\r\n";
    ASSERT_LT(import::statementCellLimit(text.size() + 100000 * empties.size()), 100000u * 256);
    for (int i = 0; i < 100000; ++i)
        text += empties;
    EXPECT_EQ(run(text), app::GenerateOutcome::Failed);
    const std::string prefix = "The text file TDS.txt is not an e-TDS statement: up to line ";
    const std::string suffix = " fields, far more than a statement of its size has.";
    EXPECT_EQ(only().substr(0, prefix.size()), prefix);
    EXPECT_TRUE(only().ends_with(suffix)) << only();
    EXPECT_TRUE(untouched());
}

TEST_F(GenerateTest, CommandLinePrintsTheMessagesAndExits)
{
    test::Statement other = twoChallans(), seventeenPayments;
    other.formType = "27Q";
    seventeenPayments.challans.resize(1);
    seventeenPayments.challans[0].deductees.resize(17);
    const std::string done = "Certificates Successfully Generated and saved to " + shown("Form16A") + "\n";
    const std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        // statement, exit status, standard output, standard error
        {other.text(), 1, "", "The text file is not a valid Form 26Q text file. Please put a valid Form 26Q text file.\n"},
        {twoChallans().text(), 0, done + "3 certificates (0 with an annexure) carrying 3 payment records.\n"
                                         "Register.xls: 3 certificates, tax deposited Rs. 15,450.00, equal to the "
                                         "statement's deductee records.\n", ""},
        {seventeenPayments.text(), 0, done + "1 certificate (1 with an annexure) carrying 17 payment records.\n"
                                             "Register.xls: 1 certificate, tax deposited Rs. 87,550.00, equal to the "
                                             "statement's deductee records.\n", ""},
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
