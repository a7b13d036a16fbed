// Certificates made from the shipped template open in two independent readers, xlrd and
// LibreOffice, with every value we wrote.
#include "CertificateFixture.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

using namespace cwtest;

namespace {

const std::filesystem::path kTemplate = std::filesystem::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls";
const std::filesystem::path kXlrdDump = std::filesystem::path(CERTWRIGHT_SOURCE_DIR) / "tests/certificates/dump_xlrd.py";

// (file, sheet, row, col) -> value
using CellKey = std::tuple<std::string, std::string, int, int>;
using CellMap = std::map<CellKey, Value>;

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& line, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    if (!line.empty() && line.back() == sep)
        parts.emplace_back();
    return parts;
}

// Every certificate of the run as our own reader sees it, with the sheet names per file.
CellMap ourCells(const GeneratorRun& run, std::map<std::string, std::vector<std::string>>& sheets)
{
    CellMap cells;
    for (const std::string& file : run.files()) {
        Workbook wb = run.certificate(file);
        sheets[file] = wb.sheetNames();
        for (int i = 0; i < wb.sheetCount(); ++i) {
            const Sheet& s = wb.sheet(i);
            for (int r = 0; r < s.rowCount(); ++r)
                for (int c = 0; c < s.rowWidth(r); ++c)
                    if (!cw::host::isEmpty(s.value(r, c)))
                        cells[{file, s.name(), r, c}] = s.value(r, c);
        }
    }
    return cells;
}

// RFC 4180 fields of a whole CSV text, row by row.
std::vector<std::vector<std::string>> parseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
        any = true;
    }
    if (!field.empty() || (any && !rows.back().empty()))
        rows.back().push_back(field);
    if (rows.back().empty())
        rows.pop_back();
    return rows;
}

bool sameNumber(double a, double b) { return a == b || std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b)); }

class OtherReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(kTemplate))
            << "The staged template " << kTemplate << " is missing: build the target certwright_app_folder first.";
        std::vector<Payment> rows = paymentsOf("SUNRISE LOGISTICS PVT LTD", 3);
        for (const auto& more : {paymentsOf("KAPOOR AND ASSOCIATES", 17, "194J", "10.03.2009"),
                                 paymentsOf("MEERA IYER", 1, "194A"), paymentsOf("RAVI TRANSPORT COMPANY", 30)})
            rows.insert(rows.end(), more.begin(), more.end());
        rows[1].name = rows[0].name = rows[2].name = "MÜLLER & SÖHNE"; // not ASCII: UTF-16 in the file
        rows[4].paid = 1234.56;
        rows[5].tds = 0.1 + 0.2; // a value with binary noise
        m_run = std::make_unique<GeneratorRun>(rows, Workbook::open(kTemplate));
        Sheet& ackn = m_run->ackn();
        ackn.setValue("B5", Value{std::string("123456789012345")});
        ackn.setValue("C5", Value{*cw::host::dateSerial(2008, 7, 15)});
        ackn.setValue("B6", Value{std::string("098765432109876")});
        ASSERT_EQ(m_run->generate(), 4);
        m_cells = ourCells(*m_run, m_sheets);
    }

    // The certificates hold what the generator wrote: spot checks on our own reading.
    void expectWrittenValues()
    {
        const auto v = [&](const char* file, const char* sheet, const char* a1) {
            const auto ref = cw::host::cellRefOrThrow(a1);
            auto it = m_cells.find({file, sheet, ref.row, ref.col});
            return it == m_cells.end() ? Value{} : it->second;
        };
        EXPECT_EQ(str(v("001.xls", "001", "I10")), "KAPOOR AND ASSOCIATES");
        EXPECT_EQ(str(v("001.xls", "1A", "K1")), "001/2008-09");
        EXPECT_EQ(str(v("001.xls", "001", "B39")), "Continued to Page 2......");
        EXPECT_EQ(str(v("001.xls", "001", "G11")), "123456789012345");
        EXPECT_EQ(str(v("001.xls", "001", "G12")), "098765432109876");
        EXPECT_EQ(str(v("003.xls", "003", "I10")), "MÜLLER & SÖHNE");
        EXPECT_EQ(num(v("004.xls", "4A", "C19")), 30000);
    }

    std::unique_ptr<GeneratorRun> m_run;
    CellMap m_cells;
    std::map<std::string, std::vector<std::string>> m_sheets;
};

TEST_F(OtherReaders, XlrdReadsEveryValueWeWrote)
{
    expectWrittenValues();
    const auto out = m_run->folder.path() / "xlrd.tsv";
    std::string command = "/usr/bin/python3 " + quoted(kXlrdDump);
    for (const std::string& f : m_run->files())
        command += " " + quoted(m_run->output() / f);
    command += " > " + quoted(out) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0)
        << "xlrd could not read the certificates (is python3-xlrd installed?):\n" << readFile(out);

    CellMap theirs;
    std::map<std::string, std::vector<std::string>> theirSheets;
    std::istringstream lines(readFile(out));
    std::string line;
    while (std::getline(lines, line)) {
        const auto f = split(line, '\t');
        ASSERT_EQ(f.size(), 6u) << line;
        const std::string sheet = unescape(f[1]);
        if (f[4] == "sheet") {
            theirSheets[f[0]].push_back(sheet);
            continue;
        }
        Value v;
        if (f[4] == "n")
            v = std::stod(f[5]);
        else if (f[4] == "t")
            v = unescape(f[5]);
        else
            v = std::string("<" + f[4] + " " + f[5] + ">");
        theirs[{f[0], sheet, std::stoi(f[2]), std::stoi(f[3])}] = v;
    }
    EXPECT_EQ(theirSheets, m_sheets);
    EXPECT_EQ(theirs.size(), m_cells.size());
    for (const auto& [key, value] : m_cells) {
        auto it = theirs.find(key);
        const std::string where = std::get<0>(key) + " " + std::get<1>(key) + "!" +
                                  cw::host::toA1(std::get<2>(key), std::get<3>(key));
        ASSERT_NE(it, theirs.end()) << where << " is missing in xlrd's reading";
        if (std::holds_alternative<double>(value))
            EXPECT_TRUE(std::holds_alternative<double>(it->second) && num(it->second) == num(value)) << where;
        else
            EXPECT_EQ(it->second, value) << where;
    }
}

TEST_F(OtherReaders, LibreOfficeReadsEveryValueWeWrote)
{
    expectWrittenValues();
    const auto csv = m_run->folder.path() / "csv";
    const auto log = m_run->folder.path() / "soffice.log";
    // A profile of its own, so that a LibreOffice already running elsewhere does not take the
    // job; every certificate in one start (starting takes seconds). The last filter option
    // writes every sheet, to FILE-SHEET.csv, with values as stored rather than as shown.
    std::string command = "soffice -env:UserInstallation=file://" + (m_run->folder.path() / "profile").string() +
                          " --headless --convert-to "
                          "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' "
                          "--outdir " + quoted(csv);
    for (const std::string& f : m_run->files())
        command += " " + quoted(m_run->output() / f);
    command += " > " + quoted(log) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "LibreOffice could not convert the certificates:\n" << readFile(log);

    std::size_t compared = 0;
    for (const auto& [file, sheets] : m_sheets) {
        const std::string stem = std::filesystem::path(file).stem().string();
        for (const std::string& sheet : sheets) {
            const auto path = csv / (stem + "-" + sheet + ".csv");
            ASSERT_TRUE(std::filesystem::exists(path)) << path << "\n" << readFile(log);
            const auto grid = parseCsv(readFile(path));
            // Every cell of their grid against ours (empty where we hold nothing), and every
            // value of ours inside their grid.
            std::size_t ours = 0;
            for (const auto& [key, value] : m_cells)
                ours += std::get<0>(key) == file && std::get<1>(key) == sheet;
            std::size_t seen = 0;
            for (std::size_t r = 0; r < grid.size(); ++r) {
                for (std::size_t c = 0; c < grid[r].size(); ++c) {
                    const std::string& text = grid[r][c];
                    const std::string where = file + " " + sheet + "!" + cw::host::toA1(int(r), int(c));
                    auto it = m_cells.find({file, sheet, int(r), int(c)});
                    if (it == m_cells.end()) {
                        EXPECT_EQ(text, "") << where;
                        continue;
                    }
                    ++seen;
                    ++compared;
                    if (std::holds_alternative<double>(it->second)) {
                        char* end = nullptr;
                        const double d = std::strtod(text.c_str(), &end);
                        EXPECT_TRUE(!text.empty() && *end == '\0' && sameNumber(d, num(it->second)))
                            << where << ": " << text << " for " << num(it->second);
                    } else {
                        EXPECT_EQ(text, str(it->second)) << where;
                    }
                }
            }
            EXPECT_EQ(seen, ours) << file << " " << sheet << ": values outside LibreOffice's grid";
        }
    }
    EXPECT_GT(compared, 500u);
}

} // namespace
