// The certificates of a run open in every independent reader, which all read what we wrote.
#include "CertificateRun.h"

#include "host/Utf8.h"

#include <cstdlib>
#include <map>
#include <sstream>

using namespace cw::test;

namespace {

// A text of the readers' dumps: JSON-quoted (non-ASCII as it is), back to its characters.
std::string unquoted(const std::string& json)
{
    std::string out;
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        if (json[i] != '\\') {
            out += json[i];
            continue;
        }
        const char c = json[++i];
        if (c == 'u') {
            cw::host::appendUtf8(out, static_cast<char32_t>(std::stoul(json.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        }
    }
    return out;
}

// Sheet!A1 -> value, of a dump or of our own reading.
using Cells = std::map<std::string, Value>;

Cells dumpCells(const std::string& dump)
{
    Cells cells;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        if (line.rfind("#sheet\t", 0) == 0 || tab == std::string::npos)
            continue;
        const std::string value = line.substr(tab + 1);
        cells[line.substr(0, tab)] = value.front() == '"' ? Value{unquoted(value)} : Value{std::stod(value)};
    }
    return cells;
}

Cells ourCells(const Workbook& wb)
{
    Cells cells;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        for (int r = 0; r < s.rowCount(); ++r)
            for (int c = 0; c < s.rowWidth(r); ++c)
                if (!cw::host::isEmpty(s.value(r, c)))
                    cells[s.name() + "!" + cw::host::toA1(r, c)] = s.value(r, c);
    }
    return cells;
}

TEST(OtherReaders, ReadEveryValueOfEveryCertificateAsWeWroteIt)
{
    Challan c;
    c.deductees = recordsOf("M\x9aLLER & S\x99HNE", "AAAFM1234M", 17); // MÜLLER & SÖHNE: UTF-16 in the file
    c.deductees[1].amount = "1234.56";
    c.deductees[2].tds = "0.3";
    Challan other;
    other.section = "94J";
    other.deductees = recordsOf("MEERA IYER", "AAAPI1234I", 2);
    CertificateRun run(statementOf({c, other}), [](Workbook& wb) {
        wb.sheet("AcknDetails").setValue("B5", Value{std::string("098765432109876")});
    });
    ASSERT_EQ(run.generate(), cw::app::GenerateOutcome::Succeeded) << run.reporter.lastPrompt();

    const auto dumps = run.folder / "dumps";
    std::string command = shellQuote(readerCheck()) + " --strict --dumps " + shellQuote(dumps);
    for (const std::string& f : run.files())
        command += " " + shellQuote(run.output() / f);
    std::string output;
    ASSERT_EQ(runCommand(command, output), 0) << output;

    // All readers agree with one another, so one reader's dump stands for them all.
    for (const std::string& f : run.files()) {
        const Cells theirs = dumpCells(readBytes(dumps / (f + ".xlrd.txt")));
        const Cells ours = ourCells(run.certificate(f));
        EXPECT_GT(ours.size(), 50u) << f;
        EXPECT_EQ(theirs, ours) << f;
    }
}

} // namespace
