// Over random statements: every deductee record lands on exactly one certificate, on the
// certificate of its own deductee, section and date, and the certificates' totals add up to the
// statement's.
#include "CertificateFixture.h"

#include <cmath>
#include <map>

using namespace cwtest;

namespace {

struct Deductee {
    std::string name;
    std::string pan;
};

std::vector<Payment> randomStatement(std::mt19937& rng, int records)
{
    // A few namesakes, spellings that differ only in case, and names that run into sections.
    const std::vector<Deductee> people = {
        {"RAMESH KUMAR", "AAAPK1111A"}, {"RAMESH KUMAR", "AAAPK2222B"}, {"Ramesh Kumar", "AAAPK1111A"},
        {"MEHTA AND CO", "AAAFM3333C"}, {"MEHTA AND CO1", "AAAFM4444D"}, {"SUNRISE LOGISTICS", "AAJCS9753M"},
        {"", "AAAPZ5555E"},             {"ANIL", "ABCPA6666F"},         {"anil", "ABCPA6666F"},
    };
    const std::vector<std::string> sections = {"194C", "94C", "194J", "194A", "4A"};
    const std::vector<std::string> dates = {"7.02.2009", "07.02.2009", "10.03.2009", "15.07.2008", ""};
    std::uniform_int_distribution<int> pick(0, 1000);
    std::vector<Payment> rows;
    while (static_cast<int>(rows.size()) < records) {
        // Runs of one key, some long enough for an annexure.
        const int run = pick(rng) % 7 == 0 ? 10 + pick(rng) % 40 : 1 + pick(rng) % 4;
        const Deductee& who = people[static_cast<std::size_t>(pick(rng)) % people.size()];
        const std::string& section = sections[static_cast<std::size_t>(pick(rng)) % sections.size()];
        const std::string& date = dates[static_cast<std::size_t>(pick(rng)) % dates.size()];
        for (int i = 0; i < run && static_cast<int>(rows.size()) < records; ++i) {
            Payment p;
            p.name = who.name;
            p.pan = who.pan;
            p.section = section;
            p.certificateDate = date;
            p.tds = pick(rng) + pick(rng) / 100.0;
            p.surcharge = pick(rng) % 3 == 0 ? pick(rng) / 4.0 : 0;
            p.cess = pick(rng) / 100.0;
            p.total = p.tds + p.surcharge + p.cess;
            p.cheque = std::to_string(pick(rng));
            rows.push_back(p);
        }
    }
    // Shuffle the runs a little so the sort has work to do.
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        if (pick(rng) % 5 == 0)
            std::swap(rows[i], rows[i + 1 + static_cast<std::size_t>(pick(rng)) % (rows.size() - i - 1)]);
    // Each record's amount paid is its number, so it can be traced to one certificate.
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].paid = static_cast<double>(i + 1);
    return rows;
}

std::string textOf(const Value& v) { return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : ""; }

TEST(Conservation, EveryRecordOnExactlyOneCertificateAndTotalsAgree)
{
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const std::vector<Payment> rows = randomStatement(rng, 400);
        GeneratorRun run(rows);
        const int certificates = run.generate();
        ASSERT_GT(certificates, 0);
        ASSERT_EQ(static_cast<int>(run.files().size()), certificates);

        std::map<int, int> seen; // record number -> times found
        double sums[5] = {0, 0, 0, 0, 0};
        int annexures = 0;
        for (const std::string& file : run.files()) {
            Workbook wb = run.certificate(file);
            const Sheet& page = wb.sheet(0);
            const std::vector<std::string> key = {textOf(page.value("I10")), textOf(page.value("I16")),
                                                  textOf(page.value("E16")), textOf(page.value("C48"))};
            double own[5] = {0, 0, 0, 0, 0};
            auto visit = [&](const Sheet& s, int row) {
                const double paid = num(s.value(row, 2));
                const int id = static_cast<int>(paid);
                ASSERT_TRUE(id >= 1 && id <= static_cast<int>(rows.size()) && id == paid) << file << " row " << row + 1;
                ++seen[id];
                const Payment& p = rows[static_cast<std::size_t>(id - 1)];
                EXPECT_EQ(key, (std::vector<std::string>{p.name, p.pan, p.section, p.certificateDate})) << file;
                EXPECT_EQ(num(s.value(row, 4)), p.tds);
                const double values[5] = {p.paid, p.tds, p.surcharge, p.cess, p.total};
                for (int k = 0; k < 5; ++k)
                    own[k] += values[k];
            };
            const bool continued = wb.sheetCount() == 2;
            for (int r = 23; r < (continued ? 38 : 39); ++r)
                if (!cw::host::isEmpty(page.value(r, 2)))
                    visit(page, r);
            if (continued) {
                ++annexures;
                const Sheet& annex = wb.sheet(1);
                for (int r = 4; !cw::host::isEmpty(annex.value(r, 2)); ++r)
                    visit(annex, r);
            }
            const char* totals[5] = {"C40", "E40", "F40", "G40", "H40"};
            for (int k = 0; k < 5; ++k) {
                EXPECT_NEAR(num(page.value(totals[k])), own[k], 1e-6) << file << " " << totals[k];
                sums[k] += num(page.value(totals[k]));
            }
        }
        EXPECT_GT(annexures, 0);
        ASSERT_EQ(seen.size(), rows.size());
        for (const auto& [id, times] : seen)
            EXPECT_EQ(times, 1) << "record " << id;
        EXPECT_NEAR(sums[0], total(rows, &Payment::paid), 1e-6);
        EXPECT_NEAR(sums[1], total(rows, &Payment::tds), 1e-6);
        EXPECT_NEAR(sums[2], total(rows, &Payment::surcharge), 1e-6);
        EXPECT_NEAR(sums[3], total(rows, &Payment::cess), 1e-6);
        EXPECT_NEAR(sums[4], total(rows, &Payment::total), 1e-6);
    }
}

} // namespace
