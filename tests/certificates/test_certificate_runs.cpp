// Whole Generate runs: which records make which certificate in which order, and what a run
// that can't finish leaves behind: everything as it was.
#include "CertificateRun.h"

#include "certificates/OutputFolder.h"
#include "host/Ascii.h"

#include <csignal>
#include <cstdio>
#include <random>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace cw::test;
using cw::app::GenerateOutcome;

namespace {

// Random statements with namesakes, names differing only in letter case, a record without a name,
// sections and dates that read alike, runs long enough for an annexure. Each record's amount paid
// is its number in the statement, so it can be traced to its certificate.
Statement randomStatement(std::mt19937& rng, int records)
{
    const std::pair<const char*, const char*> people[] = {
        {"RAMESH KUMAR", "AAAPK1111A"}, {"RAMESH KUMAR", "AAAPK2222B"}, {"Ramesh Kumar", "AAAPK1111A"},
        {"MEHTA AND CO", "AAAFM3333C"}, {"MEHTA AND CO1", "AAAFM4444D"}, {"ANIL", "ABCPA6666F"},
        {"anil", "abcpa6666f"},         {"", "AAAPZ5555E"},
    };
    const char* sections[] = {"94C", "94c", "94J", "4A"};
    const char* dates[] = {"07022009", "7022009", "10032009", "15072008"};
    auto pick = [&](int n) { return static_cast<std::size_t>(rng() % static_cast<unsigned>(n)); };
    Statement s;
    for (int id = 0; id < records;) {
        Challan& c = s.challans.emplace_back(challanOf({}, sections[pick(4)], dates[pick(4)]));
        for (int runs = 1 + static_cast<int>(pick(3)); runs > 0 && id < records; --runs) {
            const auto& [name, pan] = people[pick(8)];
            for (int n = pick(6) == 0 ? 10 + static_cast<int>(pick(30)) : 1 + static_cast<int>(pick(3)); n > 0 && id < records; --n) {
                const std::string tax = std::to_string(pick(1000)) + "." + std::to_string(10 + pick(90));
                c.deductees.push_back({name, pan, std::to_string(++id), tax, "0", "0", tax, tax});
            }
        }
    }
    return s;
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
            // By name (letter case ignored, no name last), date, section and PAN.
            const std::vector<std::string> order{(key[0].empty() ? "1" : "0") + cw::host::lowerAscii(key[0]), key[1],
                                                 cw::host::lowerAscii(key[2]), cw::host::lowerAscii(key[3])};
            EXPECT_LE(previous, order) << file << " is out of order";
            previous = order;

            std::vector<std::pair<const Sheet*, int>> rows; // 0-based rows holding a payment
            for (int r = 23; r <= 38 && !cw::host::isEmpty(page.value(r, 2)); ++r)
                rows.emplace_back(&page, r);
            for (int r = 4; wb.sheetCount() == 2 && !cw::host::isEmpty(wb.sheet(1).value(r, 2)); ++r)
                rows.emplace_back(&wb.sheet(1), r);
            double paid = 0, tax = 0;
            int last = 0;
            for (const auto& [sheet, row] : rows) {
                const int id = static_cast<int>(number(sheet->value(row, 2)));
                ASSERT_TRUE(byId.count(id)) << file << " row " << row + 1;
                const auto& [challan, record] = byId[id];
                EXPECT_TRUE(seen.insert(id).second) << "record " << id << " on two certificates";
                EXPECT_GT(id, last) << file << ": records of one certificate in statement order";
                EXPECT_EQ(key, (std::vector<std::string>{record->name, dotted(challan->date), challan->section, record->pan}));
                EXPECT_EQ(number(sheet->value(row, 4)), std::stod(record->tds));
                last = id;
                paid += id;
                tax += std::stod(record->total);
            }
            EXPECT_EQ(number(page.value("C40")), paid) << file;
            EXPECT_NEAR(number(page.value("H40")), tax, 1e-6) << file;
        }
        EXPECT_EQ(seen.size(), byId.size()) << "records missing from the certificates";
    }
}

// After a good run, a second one that is refused or fails leaves the application folder as it
// was: the certificates, the template, and nothing of its own.
TEST(CertificateRuns, ARunThatCannotFinishChangesNothing)
{
    const struct {
        const char* name;
        std::function<void(CertificateRun&)> prepare;
        GenerateOutcome outcome;
        std::string message; // how the prompt ends
        bool needsPermissions = false;
    } cases[] = {
        {"serial not a number", [](CertificateRun& r) { r.editTemplate([](Workbook& wb) { wb.sheet("AcknDetails").setValue("B2", Value{std::string("one")}); }); },
         GenerateOutcome::Failed, "holds \"one\" in cell B2 of sheet \"AcknDetails\", which is not a certificate serial number: "
                                  "the first serial number is a whole number from 0 to 999999."},
        {"serial with a fraction", [](CertificateRun& r) { r.editTemplate([](Workbook& wb) { wb.sheet("AcknDetails").setValue("B2", Value{7.5}); }); },
         GenerateOutcome::Failed, "holds \"7.5\" in cell B2 of sheet \"AcknDetails\", which is not a certificate serial number: "
                                  "the first serial number is a whole number from 0 to 999999."},
        {"no certificate sheet", [](CertificateRun& r) { r.editTemplate([](Workbook& wb) { wb.deleteSheet(wb.indexOf("Form 16A")); }); },
         GenerateOutcome::Failed, "has no sheet \"Form 16A\"."},
        {"no annexure sheet", [](CertificateRun& r) { r.editTemplate([](Workbook& wb) { wb.deleteSheet(wb.indexOf("Annex")); }); },
         GenerateOutcome::Failed, "has no sheet \"Annex\" for the certificates of 17 payments or more."},
        {"annexure without rows enough", [](CertificateRun& r) { r.editTemplate([](Workbook& wb) { wb.sheet("Annex").setValue(65529, 0, Value{1.0}); }); },
         GenerateOutcome::Failed, "would carry 17 payments, more than the 16 its annexure has rows for. Nothing was made; "
                                  "Form16A keeps the certificates of the last complete run."},
        {"no deductee records", [](CertificateRun& r) { writeBytes(r.app / "TDS.txt", statementOf({Challan{}}).text()); },
         GenerateOutcome::EndProgram, "No deductee records found. Please re-import the file."},
        {"disk full", [](CertificateRun& r) { r.writer = diskFullAfter(3000); },
         GenerateOutcome::Failed, "001.xls could not be saved (" + std::make_error_code(std::errc::no_space_on_device).message() +
                                      "). Form16A keeps the certificates of the last complete run."},
        {"template save fails", [](CertificateRun& r) { writeBytes(r.app / "TDS.txt", "1^FH\r\n2^BH^1^0^27Q\r\n"); r.writer = diskFullAfter(0); },
         GenerateOutcome::Failed, "TDS16A.xls could not be saved (" + std::make_error_code(std::errc::no_space_on_device).message() + ")."},
        {"output folder a file", [](CertificateRun& r) { fs::remove_all(r.output()); writeBytes(r.output(), "a file"); },
         GenerateOutcome::Failed, "Form16A is a file, not a folder. The certificates go into a folder of that name: move it away and try again."},
        {"output folder a link", [](CertificateRun& r) { fs::rename(r.output(), r.app / "kept"); fs::create_directory_symlink("kept", r.output()); },
         GenerateOutcome::Failed, "Form16A is a link, not a folder. The certificates go into a folder of that name: move it away and try again."},
        {"template read-only", [](CertificateRun& r) { fs::permissions(r.templatePath(), fs::perms::owner_write, fs::perm_options::remove); },
         GenerateOutcome::Failed, "cannot be saved: it is read-only. Certwright saves it at the end of every run; nothing was changed."},
        {"template folder takes no file", [](CertificateRun& r) {
             fs::create_directory(r.app / "shared");
             fs::rename(r.templatePath(), r.app / "shared" / "TDS16A.xls");
             fs::create_symlink("shared/TDS16A.xls", r.templatePath());
             fs::permissions(r.app / "shared", fs::perms::owner_write, fs::perm_options::remove);
         }, GenerateOutcome::Failed, "takes no new file (Permission denied). Certwright saves it at the end of every run; nothing was changed.", true},
        {"application folder read-only", [](CertificateRun& r) { fs::permissions(r.app, fs::perms::owner_write, fs::perm_options::remove); },
         GenerateOutcome::Failed, "it takes no lock file. Certwright makes the certificates and saves the template there, so it needs a folder it may write in.", true},
    };
    const Statement statement = statementOf({challanOf(recordsOf("LONG", "AAAPL1234L", 17)), challanOf(recordsOf("SHORT", "AAAPS1234S", 2))});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
#ifndef _WIN32
        if (c.needsPermissions && geteuid() == 0) // an administrator may write where the test forbids it
            continue;
#endif
        CertificateRun run(statement);
        ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
        c.prepare(run);
        const auto before = snapshot(run.app);
        EXPECT_EQ(run.generate(), c.outcome);
        const std::string prompt = run.reporter.lastPrompt();
        EXPECT_EQ(prompt.substr(prompt.size() - std::min(prompt.size(), c.message.size())), c.message) << prompt;
        EXPECT_EQ(snapshot(run.app), before);
        fs::permissions(run.app, fs::perms::owner_all, fs::perm_options::add);
    }
}

TEST(CertificateRuns, ASecondRunReplacesTheCertificatesAndWhatInterruptedRunsLeft)
{
    CertificateRun run(statementOf({challanOf(recordsOf("ALPHA", "AAAPA1234A", 3))}));
    // The template is a shared copy behind a link, with a mode of its own.
    fs::create_directory(run.app / "shared");
    fs::rename(run.templatePath(), run.app / "shared" / "TDS16A.xls");
    fs::create_symlink("shared/TDS16A.xls", run.templatePath());
    fs::permissions(run.app / "shared" / "TDS16A.xls", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#ifndef _WIN32
    // An administrator's run keeps the owner of a template that belongs to another user.
    const bool otherOwner = geteuid() == 0 && chown((run.app / "shared" / "TDS16A.xls").c_str(), 65534, 65534) == 0;
#endif
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

    const char* ours[] = {".TDS16A.xls.0123456789abcdef.tmp", ".~0123abcd", ".~N1a2b/001.xls", ".~O3c4d/001.xls"};
    const char* theirs[] = {".TDS16A.xls.backup", ".~notes", "Form16A.old/001.xls", ".~N1a2b3/001.xls"};
    for (const char* name : ours)
        writeBytes(run.app / name, "left by an interrupted run");
    for (const char* name : theirs)
        writeBytes(run.app / name, "the user's");
    writeBytes(run.app / "TDS.txt", statementOf({challanOf(recordsOf("ZULU", "AAAPZ1234Z", 1))}).text());
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
    EXPECT_EQ(text(run.certificate("001.xls").sheet(0).value("I10")), "ZULU");
    for (const char* name : ours)
        EXPECT_FALSE(fs::exists(run.app / name)) << name;
    for (const char* name : theirs)
        EXPECT_TRUE(fs::exists(run.app / name)) << name;
    EXPECT_EQ(fs::read_symlink(run.templatePath()), "shared/TDS16A.xls");
    EXPECT_EQ(fs::status(run.templatePath()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#ifndef _WIN32
    struct stat owner {};
    if (otherOwner && stat(run.templatePath().c_str(), &owner) == 0) {
        EXPECT_EQ(std::make_pair(owner.st_uid, owner.st_gid), std::make_pair(uid_t(65534), gid_t(65534)));
    }
#endif
}

// A folder path near the system's limit works. Where folders can't be exchanged in one step, a
// run killed between the two renames leaves Form16A set aside: the next run puts it back first.
TEST(CertificateRuns, ALongFolderPathWorksAndASetAsideForm16AComesBack)
{
    TempFolder scratch("long");
    fs::path app = scratch.path();
    while (app.native().size() < 4070)
        app /= std::string(std::min<std::size_t>(200, 4070 - app.native().size() - 1), 'd');
    ASSERT_EQ(app.native().size(), 4070u);
    fs::create_directories(app);
    CertificateRun run(statementOf({challanOf(recordsOf("A", "AAAPA1234A", 1))}), {}, app);
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
    EXPECT_EQ(run.files(), std::vector<std::string>{"001.xls"});
    const auto before = snapshot(run.output());
    fs::rename(run.output(), run.app / ".~O1a2b");
    EXPECT_TRUE(cw::certificates::clearLeftovers(run.app).empty());
    EXPECT_EQ(snapshot(run.output()), before);
}

#ifndef _WIN32
// Killed while writing certificates: Form16A is as the last run left it, and the next run
// clears what the killed one left. The statement has more lines than an .xls sheet has rows.
TEST(CertificateRuns, AKilledRunLeavesTheLastCertificates)
{
    const int records = 66000;
    CertificateRun run(largeStatement(records));
    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
    const auto files = run.files();
    ASSERT_EQ(files.size(), 997u); // names repeat every 997 records: each group has an annexure
    double paid = 0;
    for (const std::string& f : files)
        paid += number(run.certificate(f).sheet(0).value("C40"));
    EXPECT_EQ(paid, records * 10000.0 + records * (records - 1.0) / 2);
    const auto before = snapshot(run.output());
    ASSERT_EQ(before.count("Register.xls"), 1u); // the register is swapped in and kept with them

    writeBytes(run.app / "TDS.txt", largeStatement(records + 1).text()); // other certificates
    const auto started = fs::file_time_type::clock::now();
    const std::string command = "echo $$; exec " + shellQuote(fs::path(CERTWRIGHT_APP_DIR) / "certwright") +
                                " generate --folder " + shellQuote(run.app) + " >/dev/null 2>&1";
    FILE* child = popen(command.c_str(), "r");
    long pid = 0;
    ASSERT_TRUE(child && std::fscanf(child, "%ld", &pid) == 1);
    auto writing = [&] { // the killed run is well into its certificates, wherever it writes them
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(run.app, ec))
            if (fs::last_write_time(entry.path() / "050.xls", ec) >= started && !ec)
                return true;
        return false;
    };
    for (int waited = 0; !writing() && waited < 30000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(static_cast<pid_t>(pid), SIGKILL);
    pclose(child);
    EXPECT_EQ(snapshot(run.output()), before);

    ASSERT_EQ(run.generate(), GenerateOutcome::Succeeded) << run.reporter.lastPrompt();
    for (const auto& entry : fs::directory_iterator(run.app))
        EXPECT_NE(entry.path().filename().string().rfind(".~", 0), 0u) << entry.path();
}
#endif

} // namespace
