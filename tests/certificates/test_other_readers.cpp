// The certificates of a run open in every independent reader, which all read what we wrote.
#include "CertificateRun.h"

#include "host/Utf8.h"

#include <sstream>

using namespace cw::test;

namespace {

// Sheet!A1 -> value, of a reader's dump (text JSON-quoted, non-ASCII as it is) or of our own reading.
using Cells = std::map<std::string, Value>;

Cells dumpCells(const std::string& dump)
{
    Cells cells;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        if (line.rfind("#sheet\t", 0) == 0 || tab == std::string::npos)
            continue;
        if (line[tab + 1] != '"') {
            cells[line.substr(0, tab)] = Value{std::stod(line.substr(tab + 1))};
            continue;
        }
        std::string t;
        for (std::size_t i = tab + 2; i + 1 < line.size(); ++i) {
            if (line[i] != '\\') {
                t += line[i];
            } else if (line[++i] == 'u') {
                cw::host::appendUtf8(t, static_cast<char32_t>(std::stoul(line.substr(i + 1, 4), nullptr, 16)));
                i += 4;
            } else {
                t += line[i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i];
            }
        }
        cells[line.substr(0, tab)] = Value{t};
    }
    return cells;
}

Cells ourCells(const Workbook& wb)
{
    Cells cells;
    for (int i = 0; i < wb.sheetCount(); ++i)
        for (int r = 0; r < wb.sheet(i).rowCount(); ++r)
            for (int c = 0; c < wb.sheet(i).rowWidth(r); ++c)
                if (!cw::host::isEmpty(wb.sheet(i).value(r, c)))
                    cells[wb.sheet(i).name() + "!" + cw::host::toA1(r, c)] = wb.sheet(i).value(r, c);
    return cells;
}

// Texts that a spreadsheet would take for dates or numbers (door numbers, a 17-digit cheque
// number, 1E5, a name such as 24/7) are on the certificates as written; amounts are numbers.
TEST(OtherReaders, ReadEveryValueOfEveryCertificateAsWeWroteIt)
{
    Challan c = challanOf(recordsOf("M\x9aLLER & S\x99HNE", "AAAFM1234M", 17)); // UTF-16 in the file
    c.deductees[1].amount = "1234.56";
    c.deductees[2].tds = "0.3";
    Challan other = challanOf(recordsOf("24/7", "AAAPI1234I", 2), "94J");
    other.cheque = "12345678901234567";
    other.cin = "1E5";
    Statement statement = statementOf({c, other});
    statement.address = {"1-1-79", "12/3/45", "3-4-2024", "", "MUMBAI", "19", "400001"};
    CertificateRun run(statement, [](Workbook& wb) {
        wb.sheet("AcknDetails").setValue("B5", Value{std::string("098765432109876")});
    });
    ASSERT_EQ(run.generate(), cw::app::GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

    const auto dumps = run.folder / "dumps";
    std::string command = shellQuote(readerCheck()) + " --strict --dumps " + shellQuote(dumps);
    for (const std::string& f : run.files())
        command += " " + shellQuote(run.output() / f);
    command += " " + shellQuote(run.registerPath());
    std::string output;
    ASSERT_EQ(runCommand(command, output), 0) << output;

    // All readers agree with one another, so one reader's dump stands for them all.
    for (const std::string& f : run.files()) {
        const Cells ours = ourCells(run.certificate(f));
        EXPECT_GT(ours.size(), 50u) << f;
        EXPECT_EQ(dumpCells(readBytes(dumps / (f + ".xlrd.txt"))), ours) << f;
    }
    const Cells seen = dumpCells(readBytes(dumps / "001.xls.xlrd.txt"));
    const std::pair<const char*, Value> expected[] = {
        {"001!I10", Value{std::string("24/7")}},
        {"001!B11", Value{std::string("1-1-79,12/3/45,3-4-2024,,MUMBAI,19,400001")}},
        {"001!I24", Value{std::string("12345678901234567")}},
        {"001!L24", Value{std::string("1E5")}},
        {"001!C24", Value{1.0}},
    };
    for (const auto& [cell, value] : expected)
        EXPECT_EQ(seen.count(cell) ? seen.at(cell) : Value{}, value) << cell;
}

} // namespace
