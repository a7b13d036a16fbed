// Reads every workbook of the shared .xls corpus and compares what the engine sees with the
// facts recorded beside each file (FILE.expect.json, made with independent readers): sheets,
// visibility, sample cells and their formats, merged ranges, page setup, names, and counts of
// the records the engine keeps as they are. Files the corpus lists as rejects must fail with
// the right error code and a message that names the file.

#include "host/Error.h"
#include "host/Workbook.h"
#include "app/cli/Inspect.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace cw::host;
using nlohmann::json;
namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(CERTWRIGHT_SHARED_DIR) / "xls-corpus";

struct Entry {
    std::string file;
    std::string biffVersion;
    std::string kind; // accept / reject
};

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        out.push_back(field);
    return out;
}

std::vector<Entry> loadManifest()
{
    std::vector<Entry> entries;
    std::ifstream in(kCorpus / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        const auto f = splitTabs(line);
        if (f.size() >= 8)
            entries.push_back({f[0], f[6], f[7]});
    }
    return entries;
}

// The error each kind of rejected file must give, from the corpus's own description of it.
std::optional<Error::Code> expectedRejection(const std::string& biffVersion)
{
    if (biffVersion.rfind("BIFF5", 0) == 0 || biffVersion.rfind("BIFF4", 0) == 0)
        return Error::Code::OldFormat;
    if (biffVersion.find("FILEPASS") != std::string::npos)
        return Error::Code::Encrypted;
    if (biffVersion.find("ZIP") != std::string::npos)
        return Error::Code::NotOle2;
    if (biffVersion.find("truncated") != std::string::npos)
        return Error::Code::Corrupt;
    return std::nullopt;
}

std::string builtinName(const DefinedName& n)
{
    static const char* const names[] = {"Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database",
                                        "Criteria", "Print_Area", "Print_Titles", "Recorder", "Data_Form",
                                        "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase"};
    if (!n.builtin || n.name.size() != 1)
        return n.name;
    const auto code = static_cast<unsigned char>(n.name[0]);
    return code < std::size(names) ? names[code] : n.name;
}

const char* kindName(SheetKind k)
{
    switch (k) {
    case SheetKind::Chart: return "chart";
    case SheetKind::MacroSheet: return "macro";
    case SheetKind::VbModule: return "module";
    default: return "worksheet";
    }
}

int countRaw(const std::vector<RawRecord>& records, std::uint16_t type)
{
    int n = 0;
    for (const RawRecord& r : records)
        n += r.type == type;
    return n;
}

int countEmbeddedCharts(const std::vector<RawRecord>& records)
{
    int n = 0;
    for (const RawRecord& r : records)
        n += r.type == 0x0809 && r.data.size() >= 4 && r.data[2] == 0x20 && r.data[3] == 0x00;
    return n;
}

void checkPageSetup(const Sheet& sh, const json& p)
{
    SCOPED_TRACE("page setup of " + sh.name());
    const PageSetup& ps = sh.pageSetup();
    EXPECT_EQ(ps.fitToPage, p.value("fit_to_page", false));
    EXPECT_EQ(ps.hCenter, p.value("hcenter", false));
    EXPECT_EQ(ps.vCenter, p.value("vcenter", false));
    if (p.contains("header")) {
        EXPECT_EQ(ps.header, p["header"].get<std::string>());
    }
    if (p.contains("footer")) {
        EXPECT_EQ(ps.footer, p["footer"].get<std::string>());
    }
    if (p.contains("margins_in")) {
        const json& m = p["margins_in"];
        EXPECT_DOUBLE_EQ(ps.leftMargin, m["left"].get<double>());
        EXPECT_DOUBLE_EQ(ps.rightMargin, m["right"].get<double>());
        EXPECT_DOUBLE_EQ(ps.topMargin, m["top"].get<double>());
        EXPECT_DOUBLE_EQ(ps.bottomMargin, m["bottom"].get<double>());
    }
    if (p.contains("setup")) {
        const json& s = p["setup"];
        EXPECT_EQ(ps.leftToRight, s["pages_over_then_down"].get<bool>());
        EXPECT_EQ(ps.noPrinterSettings, s["fNoPls"].get<bool>());
        EXPECT_EQ(ps.portrait, s["portrait"].get<bool>());
        EXPECT_EQ(ps.noOrient, s["fNoOrient"].get<bool>());
        EXPECT_DOUBLE_EQ(ps.headerMargin, s["header_margin_in"].get<double>());
        EXPECT_DOUBLE_EQ(ps.footerMargin, s["footer_margin_in"].get<double>());
        EXPECT_EQ(ps.fitWidth, s["fit_width"].get<int>());
        EXPECT_EQ(ps.fitHeight, s["fit_height"].get<int>());
        if (s.contains("paper_size")) {
            EXPECT_EQ(ps.paperSize, s["paper_size"].get<int>());
        }
        if (s.contains("scale_percent")) {
            EXPECT_EQ(ps.scale, s["scale_percent"].get<int>());
        }
        if (s.contains("copies")) {
            EXPECT_EQ(ps.copies, s["copies"].get<int>());
        }
        if (s.contains("first_page_number")) {
            EXPECT_EQ(ps.pageStart, s["first_page_number"].get<int>());
        }
    }
}

void checkCellValue(const Workbook& wb, const Sheet& sh, const json& c)
{
    const std::string where = sh.name() + "!" + c["cell"].get<std::string>();
    SCOPED_TRACE(where);
    const int row = c["row"].get<int>(), col = c["col"].get<int>();
    const Cell* cell = sh.cell(row, col);
    const int ctype = c["ctype"].get<int>();
    const int xf = c["xf_index"].get<int>();
    if (ctype == 6 && xf == kDefaultXf) {
        EXPECT_TRUE(cell == nullptr || isEmpty(cell->value));
        return;
    }
    ASSERT_NE(cell, nullptr) << "no cell at " << where;
    EXPECT_EQ(cell->xf, xf);
    const Value& v = cell->value;
    switch (ctype) {
    case 1:
        ASSERT_TRUE(isText(v));
        EXPECT_EQ(std::get<std::string>(v), c["value"].get<std::string>());
        break;
    case 2:
    case 3:
        ASSERT_TRUE(isNumber(v));
        EXPECT_DOUBLE_EQ(std::get<double>(v), c["value"].get<double>());
        // What xlrd calls a date the engine must show as one; the engine also counts formats of
        // elapsed time alone ("[h]") as times, which xlrd leaves plain numbers.
        if (ctype == 3) {
            EXPECT_TRUE(wb.isDateXf(cell->xf)) << "format " << c["number_format"];
        }
        break;
    case 4:
        ASSERT_TRUE(std::holds_alternative<bool>(v));
        EXPECT_EQ(std::get<bool>(v), c["value"].get<int>() != 0);
        break;
    case 5:
        ASSERT_TRUE(std::holds_alternative<ErrorValue>(v));
        EXPECT_EQ(static_cast<int>(std::get<ErrorValue>(v)), c["value"].get<int>());
        EXPECT_EQ(errorText(std::get<ErrorValue>(v)), c["error_text"].get<std::string>());
        break;
    case 6:
        EXPECT_TRUE(isEmpty(v));
        break;
    default:
        FAIL() << "unexpected cell type " << ctype;
    }
    // Builtin formats are shown in the reading program's own locale; custom ones must match.
    const std::uint16_t id = wb.xfs().at(cell->xf).numFmt;
    if (wb.numberFormats().count(id)) {
        EXPECT_EQ(wb.numberFormat(id), c["number_format"].get<std::string>());
    }
}

void checkFormatSample(const Workbook& wb, const json& f)
{
    SCOPED_TRACE("format sample at " + f["cell"].get<std::string>());
    const Xf& xf = wb.xfs().at(f["xf_index"].get<std::size_t>());
    EXPECT_EQ(xf.font, f["font_index"].get<int>());
    const Font* font = wb.font(xf.font);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->name, f["font_name"].get<std::string>());
    // Bold is the weight; the expectations' "bold" comes from a FONT flag bit BIFF8 leaves unused.
    EXPECT_EQ(font->weight, f["weight"].get<int>());
    EXPECT_EQ(font->italic, f["italic"].get<bool>());
    EXPECT_EQ(font->heightTwips, f["height_twips"].get<int>());
    EXPECT_EQ(font->underline, f["underline_type"].get<int>());
    EXPECT_EQ(font->colorIndex, f["colour_index"].get<int>());
    const json& b = f["borders"];
    EXPECT_EQ(xf.left.style, b["left"].get<int>());
    EXPECT_EQ(xf.right.style, b["right"].get<int>());
    EXPECT_EQ(xf.top.style, b["top"].get<int>());
    EXPECT_EQ(xf.bottom.style, b["bottom"].get<int>());
    if (wb.numberFormats().count(xf.numFmt)) {
        EXPECT_EQ(wb.numberFormat(xf.numFmt), f["number_format"].get<std::string>());
    }
}

void checkWorksheet(const Workbook& wb, const Sheet& sh, const json& s)
{
    SCOPED_TRACE("sheet " + sh.name());
    EXPECT_EQ(static_cast<int>(sh.visibility()), s["visibility"].get<int>());

    int nonEmpty = 0;
    for (int r = 0; r < sh.rowCount(); ++r)
        if (const auto* cells = sh.rowCells(r))
            for (const Cell& c : *cells)
                nonEmpty += !isEmpty(c.value);
    EXPECT_EQ(nonEmpty, s["nonempty_cells"].get<int>());

    std::set<std::tuple<int, int, int, int>> expectedMerged, merged;
    for (const json& m : s["merged_ranges"]) {
        const json& rc = m["rc"];
        expectedMerged.insert({rc[0].get<int>(), rc[1].get<int>() - 1, rc[2].get<int>(), rc[3].get<int>() - 1});
    }
    for (const Range& r : sh.mergedRanges())
        merged.insert({r.firstRow, r.lastRow, r.firstCol, r.lastCol});
    EXPECT_EQ(merged, expectedMerged);

    for (const json& c : s["sample_cells"])
        checkCellValue(wb, sh, c);
    for (const json& f : s["format_samples"])
        checkFormatSample(wb, f);
}

void checkNames(const Workbook& wb, const json& e)
{
    int decoded = 0;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        decoded += !sh.printArea().empty();
        decoded += sh.printTitleRows() || sh.printTitleCols();
    }
    EXPECT_EQ(static_cast<int>(wb.names().size()) + decoded, e["raw_facts"]["name_records"].get<int>());
    if (!e.contains("defined_names"))
        return;
    for (const json& n : e["defined_names"]) {
        const std::string name = n["name"].get<std::string>();
        const int scope = n["scope"].get<int>();
        const bool builtin = n["builtin"].get<bool>();
        SCOPED_TRACE("name " + name + " of scope " + std::to_string(scope));
        // A builtin print area or print titles of a sheet is decoded onto that sheet (unless
        // its formula is no plain reference: Gnumeric writes #REF! print areas); every other
        // name is kept as it was.
        if (builtin && scope >= 0 && (name == "Print_Area" || name == "Print_Titles")) {
            const Sheet& sh = wb.sheet(scope);
            if (name == "Print_Area" ? !sh.printArea().empty() : (sh.printTitleRows() || sh.printTitleCols()))
                continue;
        }
        const auto it = std::find_if(wb.names().begin(), wb.names().end(), [&](const DefinedName& d) {
            return builtinName(d) == name && d.builtin == builtin && d.sheetIndex == scope + 1;
        });
        ASSERT_NE(it, wb.names().end());
        EXPECT_EQ((it->flags & 0x0001) != 0, n["hidden"].get<bool>());
    }
}

void checkRawFacts(const Workbook& wb, const json& f)
{
    int formulas = 0, shared = 0, arrays = 0, hlinks = 0, notes = 0, charts = 0;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        if (sh.kind() == SheetKind::Chart)
            ++charts;
        charts += countEmbeddedCharts(sh.rawAfterCells()) + countEmbeddedCharts(sh.rawBeforeCells())
            + countEmbeddedCharts(sh.rawSubstream());
        formulas += static_cast<int>(sh.formulas().size());
        for (const Formula& fm : sh.formulas()) {
            shared += countRaw(fm.follow, 0x04BC);
            arrays += countRaw(fm.follow, 0x0221);
        }
        hlinks += countRaw(sh.rawAfterCells(), 0x01B8) + countRaw(sh.rawBeforeCells(), 0x01B8);
        notes += countRaw(sh.rawAfterCells(), 0x001C) + countRaw(sh.rawBeforeCells(), 0x001C);
    }
    EXPECT_EQ(formulas, f["formula_records"].get<int>());
    EXPECT_EQ(shared, f["shrfmla_records"].get<int>());
    EXPECT_EQ(arrays, f["array_records"].get<int>());
    EXPECT_EQ(hlinks, f["hlink_records"].get<int>());
    EXPECT_EQ(notes, f["note_records"].get<int>());
    EXPECT_EQ(charts, f["chart_substreams"].get<int>());
}

void PrintTo(const Entry& e, std::ostream* os) { *os << e.file; }

class CorpusRead : public ::testing::TestWithParam<Entry> {};

TEST(CorpusPresence, CorpusFolderIsThere)
{
    ASSERT_TRUE(fs::exists(kCorpus / "MANIFEST.tsv"))
        << "The .xls corpus is missing: expected " << (kCorpus / "MANIFEST.tsv").string()
        << ". Configure with -DCERTWRIGHT_SHARED_DIR=<folder holding xls-corpus/>.";
    EXPECT_GE(loadManifest().size(), 20u) << "MANIFEST.tsv lists too few files";
}

TEST_P(CorpusRead, MatchesWhatIndependentReadersSee)
{
    const Entry& entry = GetParam();
    const fs::path path = kCorpus / entry.file;
    ASSERT_TRUE(fs::exists(path)) << path << " is listed in MANIFEST.tsv but missing";

    if (entry.kind == "reject") {
        const auto code = expectedRejection(entry.biffVersion);
        ASSERT_TRUE(code.has_value()) << "no expected error for a reject described as " << entry.biffVersion;
        try {
            Workbook::open(path);
            FAIL() << entry.file << " was read, but must be refused";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), *code) << e.what();
            EXPECT_NE(std::string(e.what()).find(entry.file), std::string::npos) << e.what();
        }
        return;
    }

    std::ifstream in(kCorpus / (entry.file + ".expect.json"));
    ASSERT_TRUE(in) << "missing " << entry.file << ".expect.json";
    const json e = json::parse(in);

    Workbook wb;
    try {
        wb = Workbook::open(path);
    } catch (const Error& err) {
        FAIL() << err.what();
    }
    EXPECT_EQ(wb.date1904() ? 1 : 0, e["datemode"].get<int>());

    const json& bounds = e["boundsheets"];
    ASSERT_EQ(wb.sheetCount(), static_cast<int>(bounds.size()));
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        const json& b = bounds[i];
        EXPECT_EQ(sh.name(), b["name"].get<std::string>());
        EXPECT_EQ(static_cast<int>(sh.visibility()), b["visibility"].get<int>());
        EXPECT_EQ(kindName(sh.kind()), b["type"].get<std::string>());
        if (sh.kind() == SheetKind::Worksheet)
            checkPageSetup(sh, b["page_setup"]);
    }
    int worksheets = 0;
    for (int i = 0; i < wb.sheetCount(); ++i)
        worksheets += wb.sheet(i).kind() == SheetKind::Worksheet;
    EXPECT_EQ(worksheets, e["nsheets_xlrd"].get<int>());

    for (const json& s : e["sheets"]) {
        const Sheet* sh = wb.findSheet(s["name"].get<std::string>());
        ASSERT_NE(sh, nullptr) << "no sheet " << s["name"];
        checkWorksheet(wb, *sh, s);
    }
    checkNames(wb, e);
    checkRawFacts(wb, e["raw_facts"]);
}

Workbook openCorpusFile(const std::string& file)
{
    const fs::path path = kCorpus / file;
    if (!fs::exists(path))
        throw std::runtime_error("The .xls corpus is missing " + path.string());
    return Workbook::open(path);
}

using Rows = std::optional<std::pair<int, int>>;

// The forms in which Excel stores print ranges: one area, and rows plus columns as a union.
TEST(CorpusDetails, PrintAreasAndTitlesLandOnTheirSheets)
{
    {
        const Workbook wb = openCorpusFile("SimpleWithPrintArea.xls");
        EXPECT_EQ(wb.sheet(0).printArea(), (std::vector<Range>{{0, 0, 4, 2}}));
        EXPECT_TRUE(wb.names().empty());
    }
    {
        const Workbook wb = openCorpusFile("namesdemo.xls");
        EXPECT_EQ(wb.sheet(2).printArea(), (std::vector<Range>{{0, 0, 3, 13}}));
        EXPECT_EQ(wb.sheet(2).printTitleRows(), Rows(std::make_pair(0, 0)));
        EXPECT_EQ(wb.sheet(2).printTitleCols(), Rows(std::make_pair(0, 0)));
        EXPECT_EQ(wb.names().size(), 32u);
    }
    {
        const Workbook wb = openCorpusFile("optional_records.xls");
        EXPECT_EQ(wb.sheet(0).printArea(), (std::vector<Range>{{0, 0, 37, 15}}));
        EXPECT_EQ(wb.sheet(0).printTitleRows(), Rows(std::make_pair(0, 8)));
        EXPECT_FALSE(wb.sheet(0).printTitleCols());
    }
}

// `certwright inspect`: the sheet lines, then one line per cell, formulas with their cached
// result; an unreadable file gives its reason on the error stream and a non-zero status.
TEST(Inspect, ListsSheetsAndCellsInItsDocumentedForm)
{
    std::ostringstream out, err;
    ASSERT_EQ(cw::app::runInspect((kCorpus / "sheet_visibility.xls").string(), out, err), 0) << err.str();
    const std::string vis = out.str();
    EXPECT_EQ(vis.rfind("sheet\t1\tVisible\tvisible\tworksheet\n"
                        "sheet\t2\tHidden\thidden\tworksheet\n"
                        "sheet\t3\tVeryHidden\tvery hidden\tworksheet\n",
                        0),
              0u)
        << vis;
    EXPECT_NE(vis.find("Visible!A1\ttext\tv\n"), std::string::npos) << vis;

    out.str("");
    ASSERT_EQ(cw::app::runInspect((kCorpus / "ErrorTypes.xls").string(), out, err), 0) << err.str();
    const std::string errors = out.str();
    EXPECT_NE(errors.find("RawErrors!A2\terror\t#NULL!\n"), std::string::npos);
    EXPECT_NE(errors.find("RawErrors!E2\tnumber\t1\n"), std::string::npos);
    EXPECT_NE(errors.find("RawErrors!G2\tformula\tnumber 16\n"), std::string::npos);
    EXPECT_NE(errors.find("RawErrors!H2\tformula\tboolean TRUE\n"), std::string::npos);
    EXPECT_EQ(err.str(), "");

    out.str("");
    EXPECT_NE(cw::app::runInspect((kCorpus / "type_excelx.xls").string(), out, err), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("type_excelx.xls"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(".xlsx"), std::string::npos) << err.str();
}

std::string testName(const ::testing::TestParamInfo<Entry>& info)
{
    std::string name;
    for (char c : info.param.file)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRead, ::testing::ValuesIn(loadManifest()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusRead);

} // namespace
