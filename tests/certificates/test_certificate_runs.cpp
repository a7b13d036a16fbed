// Whole Generate runs: which records make which certificate, in which order, and what a
// refused or failed run leaves behind.
#include "CertificateRun.h"

#include "host/Ascii.h"
#include "host/SaveHooks.h"

#include <map>
#include <random>
#include <set>

using namespace cw::test;
using cw::app::GenerateOutcome;
namespace fs = std::filesystem;

namespace {

// Random statements with namesakes, names that differ only in letter case, sections and dates
// that read alike, and runs long enough for an annexure. Each record's amount paid is its
// number in the statement, so it can be traced to its certificate.
Statement randomStatement(std::mt19937& rng, int records)
{
    const std::pair<const char*, const char*> people[] = {
        {"RAMESH KUMAR", "AAAPK1111A"}, {"RAMESH KUMAR", "AAAPK2222B"}, {"Ramesh Kumar", "AAAPK1111A"},
        {"MEHTA AND CO", "AAAFM3333C"}, {"MEHTA AND CO1", "AAAFM4444D"}, {"ANIL", "ABCPA6666F"},
        {"anil", "abcpa6666f"},         {"BANK OF ABC", "AAACB7777G"},
    };
    const char* sections[] = {"94C", "94c", "94J", "4A"};
    const char* dates[] = {"07022009", "7022009", "10032009", "15072008"};
    auto pick = [&](int n) { return static_cast<std::size_t>(rng() % static_cast<unsigned>(n)); };
    Statement s;
    int id = 0;
    while (id < records) {
        Challan c;
        c.section = sections[pick(4)];
        c.date = dates[pick(4)];
        const int runs = 1 + static_cast<int>(pick(3));
        for (int r = 0; r < runs && id < records; ++r) {
            const auto& [name, pan] = people[pick(8)];
            const int length = pick(6) == 0 ? 10 + static_cast<int>(pick(30)) : 1 + static_cast<int>(pick(3));
            for (int i = 0; i < length && id < records; ++i) {
                Deductee d;
                d.name = name;
                d.pan = pan;
                d.amount = std::to_string(++id);
                d.tds = std::to_string(pick(1000)) + "." + std::to_string(10 + pick(90));
                d.total = d.tds;
                d.cess = d.sc = "0";
                c.deductees.push_back(d);
            }
        }
        s.challans.push_back(c);
    }
    return s;
}

std::string folded(std::string t)
{
    for (char& c : t)
        c = cw::host::asciiLower(c);
    return t;
}

TEST(CertificateRuns, EveryRecordOnExactlyOneCertificateInSortOrder)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const Statement statement = randomStatement(rng, 300);
        std::map<int, std::pair<const Challan*, const Deductee*>> byId;
        for (const Challan& c : statement.challans)
            for (const Deductee& d : c.deductees)
                byId[std::stoi(d.amount)] = {&c, &d};
        CertificateRun run(statement);
        ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

        std::set<int> seen;
        std::set<std::vector<std::string>> keys;
        std::vector<std::string> previous;
        for (const std::string& file : run.files()) {
            const Workbook wb = run.certificate(file);
            const Sheet& page = wb.sheet(0);
            const std::vector<std::string> key = {text(page.value("I10")), text(page.value("C48")),
                                                  text(page.value("E16")), text(page.value("I16"))};
            EXPECT_TRUE(keys.insert(key).second) << file << ": a deductee's records split over two certificates";
            const std::vector<std::string> order = {folded(key[0]), key[1], folded(key[2]), folded(key[3])};
            EXPECT_LE(previous, order) << file << " is out of order";
            previous = order;

            std::vector<std::pair<const Sheet*, int>> rows;
            for (int r = 24; r <= 39 && !cw::host::isEmpty(page.value(r - 1, 2)); ++r)
                rows.emplace_back(&page, r);
            for (int r = 5; wb.sheetCount() == 2 && !cw::host::isEmpty(wb.sheet(1).value(r - 1, 2)); ++r)
                rows.emplace_back(&wb.sheet(1), r);
            double paid = 0, tax = 0;
            int last = 0;
            for (const auto& [sheet, row] : rows) {
                const int id = static_cast<int>(number(sheet->value(row - 1, 2)));
                ASSERT_TRUE(byId.count(id)) << file << " row " << row;
                const auto& [challan, record] = byId[id];
                EXPECT_TRUE(seen.insert(id).second) << "record " << id << " on two certificates";
                EXPECT_GT(id, last) << file << ": records of one certificate in statement order";
                last = id;
                EXPECT_EQ(key, (std::vector<std::string>{record->name, dotted(challan->date), challan->section, record->pan}))
                    << "record " << id;
                EXPECT_EQ(number(sheet->value(row - 1, 4)), std::stod(record->tds));
                paid += id;
                tax += std::stod(record->total);
            }
            EXPECT_EQ(number(page.value("C40")), paid) << file;
            EXPECT_NEAR(number(page.value("H40")), tax, 1e-6) << file;
        }
        EXPECT_EQ(seen.size(), byId.size()) << "records missing from the certificates";
    }
}

// A run refused or failed on the way: its message, and what it leaves in place.
TEST(CertificateRuns, ARefusedRunSaysWhyAndLeavesTheTemplate)
{
    Challan longOne;
    longOne.deductees = recordsOf("LONG", "AAAPL1234L", 17);
    Challan shortOne;
    shortOne.deductees = recordsOf("SHORT", "AAAPS1234S", 2);
    const struct {
        const char* name;
        std::vector<Challan> challans;
        std::function<void(Workbook&)> editTemplate;
        GenerateOutcome outcome;
        const char* message;
    } cases[] = {
        {"serial not a number", {shortOne}, [](Workbook& wb) { wb.sheet("AcknDetails").setValue("B2", Value{std::string("one")}); },
         GenerateOutcome::Failed, "holds \"one\" in cell B2 of sheet \"AcknDetails\", which is not a certificate serial number."},
        {"no certificate sheet", {shortOne}, [](Workbook& wb) { wb.deleteSheet(wb.indexOf("Form 16A")); },
         GenerateOutcome::Failed, "has no sheet \"Form 16A\"."},
        {"no annexure sheet", {shortOne, longOne}, [](Workbook& wb) { wb.deleteSheet(wb.indexOf("Annex")); },
         GenerateOutcome::Failed, "has no sheet \"Annex\" for the certificates of 17 payments or more."},
        {"no deductee records", {Challan{}}, {}, GenerateOutcome::EndProgram,
         "No deductee records found. Please re-import the file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CertificateRun run(statementOf(c.challans), c.editTemplate);
        writeBytes(run.output() / "001.xls", "an earlier certificate");
        const std::string before = readBytes(run.templatePath());
        EXPECT_EQ(run.generate(), c.outcome);
        ASSERT_EQ(run.reporter.messages.size(), 1u);
        const std::string prompt = run.reporter.lastPrompt();
        EXPECT_EQ(prompt.substr(prompt.size() - std::min(prompt.size(), std::strlen(c.message))), c.message) << prompt;
        EXPECT_EQ(readBytes(run.templatePath()), before);
    }
    // Without an annexure to make, a template without "Annex" serves.
    CertificateRun run(statementOf({shortOne}), [](Workbook& wb) { wb.deleteSheet(wb.indexOf("Annex")); });
    EXPECT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
}

TEST(CertificateRuns, AFullDiskEndsTheRunNamingTheCertificate)
{
    Statement s;
    for (const char* name : {"ALPHA", "BRAVO", "CHARLIE"}) {
        s.challans.emplace_back();
        s.challans.back().deductees = recordsOf(name, "AAAPA1234A", name[0] == 'B' ? 17 : 1);
    }
    CertificateRun run(s);
    run.reporter.onProgress = [](int done) {
        if (done == 1)
            cw::host::detail::failSaveAfterBytes = 3000; // the disk fills up during the second
    };
    const GenerateOutcome outcome = run.generate();
    cw::host::detail::failSaveAfterBytes = -1;
    EXPECT_EQ(outcome, GenerateOutcome::Failed);
    const std::string noSpace = std::make_error_code(std::errc::no_space_on_device).message();
    EXPECT_EQ(run.reporter.lastPrompt(),
              "The certificate " + cw::core::pathText(run.output() / "002.xls") + " could not be saved (" + noSpace + ").");
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"}); // no part certificate, no temporary file
}

TEST(CertificateRuns, ASecondRunReplacesTheFirstRunsCertificates)
{
    Statement s;
    for (const char* name : {"ALPHA", "BRAVO", "CHARLIE"}) {
        s.challans.emplace_back();
        s.challans.back().deductees = recordsOf(name, "AAAPA1234A", 1);
    }
    CertificateRun run(s);
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded);
    EXPECT_EQ(run.reporter.done, 3);
    EXPECT_EQ(run.reporter.lastPrompt(), "Certificates Successfully Generated and saved to " + cw::core::pathText(run.output()));
    writeBytes(run.output() / "notes.txt", "left by the user");

    writeBytes(run.folder / "TDS.txt", statementOf({Challan{"00123", "0510308", "07072008", "94C", "456789", recordsOf("ZULU", "AAAPZ1234Z", 1)}}).text());
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded);
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
    EXPECT_EQ(text(run.certificate("001.xls").sheet(0).value("I10")), "ZULU");
}

} // namespace
