// Every workbook of the shared .xls corpus, one case each. An accepted file must read as the
// facts beside it say (FILE.expect.json, made with independent readers), and survive a save:
// read, write, read again gives the same model, every record kept raw comes back, and writing
// that again gives the same bytes. A rejected file must fail with its error, naming the file.

#include "XlsTestSupport.h"

#include "TestSupport.h"
#include "host/Error.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

namespace {

using namespace cw::host;
using nlohmann::json;
namespace fs = std::filesystem;

// What each rejected file is, as the corpus describes it.
const std::map<std::string, Error::Code> kRejects = {
    {"sheet_visibility5.xls", Error::Code::OldFormat},     // BIFF5 in a "Book" stream
    {"testEXCEL_4.xls", Error::Code::OldFormat},           // a raw BIFF4 stream
    {"rc4cryptoapi_password.xls", Error::Code::Encrypted}, // FILEPASS
    {"type_excelx.xls", Error::Code::NotOle2},             // .xlsx under an .xls name
    {"truncated_half_freeze.xls", Error::Code::Corrupt},   // half a compound file
};

std::vector<cw::test::CorpusFile> allFiles()
{
    try {
        auto files = cw::test::corpusFiles("accept");
        for (auto& f : cw::test::corpusFiles("reject"))
            files.push_back(f);
        return files;
    } catch (const std::exception&) {
        return {}; // CorpusPresence says why
    }
}

// Each fact the expectations hold that the model's view also states must agree with it.
void expectFacts(const json& seen, const json& want, const std::string& where)
{
    for (const auto& [key, value] : want.items()) {
        if (seen.contains(key) && seen[key].is_object()) {
            expectFacts(seen[key], value, where + "." + key);
        } else if (seen.contains(key)) {
            EXPECT_EQ(seen[key], value) << where << "." << key;
        }
    }
}

json formatView(const Workbook& wb, std::size_t index)
{
    const Xf& xf = wb.xfs().at(index);
    const Font& font = *wb.font(xf.font);
    json v = {{"font_index", xf.font}, {"font_name", font.name}, {"weight", font.weight}, {"italic", font.italic},
              {"height_twips", font.heightTwips}, {"underline_type", font.underline}, {"colour_index", font.colorIndex},
              {"borders", {{"left", xf.left.style}, {"right", xf.right.style}, {"top", xf.top.style}, {"bottom", xf.bottom.style}}}};
    if (wb.numberFormats().count(xf.numFmt)) // builtin formats show in the reading program's locale
        v["number_format"] = wb.numberFormat(xf.numFmt);
    return v;
}

json pageView(const PageSetup& p)
{
    return {{"fit_to_page", p.fitToPage}, {"hcenter", p.hCenter}, {"vcenter", p.vCenter}, {"header", p.header}, {"footer", p.footer},
            {"margins_in", {{"left", p.leftMargin}, {"right", p.rightMargin}, {"top", p.topMargin}, {"bottom", p.bottomMargin}}},
            {"setup", {{"pages_over_then_down", p.leftToRight}, {"fNoPls", p.noPrinterSettings}, {"portrait", p.portrait},
                       {"fNoOrient", p.noOrient}, {"fit_width", p.fitWidth}, {"fit_height", p.fitHeight},
                       {"header_margin_in", p.headerMargin}, {"footer_margin_in", p.footerMargin}, {"paper_size", p.paperSize},
                       {"scale_percent", p.scale}, {"copies", p.copies}, {"first_page_number", p.pageStart}}}};
}

void checkCell(const Workbook& wb, const Sheet& sh, const json& c)
{
    SCOPED_TRACE(sh.name() + "!" + c["cell"].get<std::string>());
    const std::optional<Cell> cell = sh.cell(c["row"].get<int>(), c["col"].get<int>());
    const int ctype = c["ctype"].get<int>();
    if (ctype == 6 && c["xf_index"].get<int>() == kDefaultXf) {
        EXPECT_TRUE(!cell || isEmpty(cell->value));
        return;
    }
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(cell->xf, c["xf_index"].get<int>());
    const Value& v = cell->value;
    switch (ctype) {
    case 1: EXPECT_EQ(v, Value(c["value"].get<std::string>())); break;
    case 2:
    case 3:
        ASSERT_TRUE(isNumber(v));
        EXPECT_DOUBLE_EQ(std::get<double>(v), c["value"].get<double>());
        // What xlrd calls a date the engine must show as one.
        EXPECT_TRUE(ctype == 2 || wb.isDateXf(cell->xf)) << c["number_format"];
        break;
    case 4: EXPECT_EQ(v, Value(c["value"].get<int>() != 0)); break;
    case 5: EXPECT_EQ(v, Value(static_cast<ErrorValue>(c["value"].get<int>()))); break;
    default: EXPECT_TRUE(isEmpty(v));
    }
    expectFacts(formatView(wb, cell->xf), {{"number_format", c["number_format"]}}, "cell");
}

// A print area or print titles goes onto its sheet; every other name is kept as it was.
void checkNames(const Workbook& wb, const json& e)
{
    int decoded = 0;
    for (int i = 0; i < wb.sheetCount(); ++i)
        decoded += !wb.sheet(i).printArea().empty() + bool(wb.sheet(i).printTitleRows() || wb.sheet(i).printTitleCols());
    EXPECT_EQ(static_cast<int>(wb.names().size()) + decoded, e["raw_facts"]["name_records"].get<int>());
}

int count(const std::vector<RawRecord>& list, std::uint16_t type, int chartBof = -1)
{
    return static_cast<int>(std::count_if(list.begin(), list.end(), [&](const RawRecord& r) {
        return r.type == type && (chartBof < 0 || (r.data.size() >= 4 && r.data[2] == 0x20 && r.data[3] == 0));
    }));
}

void checkFacts(const Workbook& wb, const json& e)
{
    EXPECT_EQ(wb.date1904(), e["datemode"].get<int>() == 1);
    const json& bounds = e["boundsheets"];
    ASSERT_EQ(wb.sheetCount(), static_cast<int>(bounds.size()));
    static const std::map<SheetKind, std::string> kinds = {{SheetKind::Worksheet, "worksheet"}, {SheetKind::Chart, "chart"},
                                                           {SheetKind::MacroSheet, "macro"}, {SheetKind::VbModule, "module"}};
    int formulas = 0, shared = 0, arrays = 0, hlinks = 0, notes = 0, charts = 0;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& sh = wb.sheet(i);
        EXPECT_EQ(sh.name(), bounds[i]["name"].get<std::string>());
        EXPECT_EQ(static_cast<int>(sh.visibility()), bounds[i]["visibility"].get<int>());
        EXPECT_EQ(kinds.at(sh.kind()), bounds[i]["type"].get<std::string>());
        if (sh.kind() == SheetKind::Worksheet)
            expectFacts(pageView(sh.pageSetup()), bounds[i]["page_setup"], sh.name());
        charts += (sh.kind() == SheetKind::Chart) + count(sh.rawAfterCells(), 0x0809, 1) + count(sh.rawBeforeCells(), 0x0809, 1);
        formulas += static_cast<int>(sh.formulas().size());
        for (const Formula& f : sh.formulas())
            shared += count(f.follow, 0x04BC), arrays += count(f.follow, 0x0221);
        hlinks += count(sh.rawAfterCells(), 0x01B8) + count(sh.rawBeforeCells(), 0x01B8);
        notes += count(sh.rawAfterCells(), 0x001C) + count(sh.rawBeforeCells(), 0x001C);
    }
    const json& f = e["raw_facts"];
    EXPECT_EQ(std::make_tuple(formulas, shared, arrays, hlinks, notes, charts),
              std::make_tuple(f["formula_records"].get<int>(), f["shrfmla_records"].get<int>(), f["array_records"].get<int>(),
                              f["hlink_records"].get<int>(), f["note_records"].get<int>(), f["chart_substreams"].get<int>()));
    for (const json& s : e["sheets"]) {
        const Sheet* sh = wb.findSheet(s["name"].get<std::string>());
        ASSERT_NE(sh, nullptr) << s["name"];
        int nonEmpty = 0;
        for (int r = 0; r < sh->rowCount(); ++r)
            for (int c = 0; c < sh->rowWidth(r); ++c)
                nonEmpty += !isEmpty(sh->value(r, c));
        EXPECT_EQ(nonEmpty, s["nonempty_cells"].get<int>()) << sh->name();
        std::set<std::tuple<int, int, int, int>> want, got;
        for (const json& m : s["merged_ranges"])
            want.insert({m["rc"][0].get<int>(), m["rc"][1].get<int>() - 1, m["rc"][2].get<int>(), m["rc"][3].get<int>() - 1});
        for (const Range& r : sh->mergedRanges())
            got.insert({r.firstRow, r.lastRow, r.firstCol, r.lastCol});
        EXPECT_EQ(got, want) << sh->name();
        for (const json& c : s["sample_cells"])
            checkCell(wb, *sh, c);
        for (const json& fs : s["format_samples"])
            expectFacts(formatView(wb, fs["xf_index"].get<std::size_t>()), fs, fs["cell"].get<std::string>());
    }
    checkNames(wb, e);
}

// Every raw record read from the file is written back. The writer adds the settings records a
// file left out, rebuilds the sheet order (TABID) and its own DSF, function-group and ELF records,
// drops OBPROJ (the VBA project is not carried), and gives the drawings new ids (their records
// are compared as the objects they show).
void expectRawKept(const std::vector<RawRecord>& read, const std::vector<RawRecord>& again, const char* where)
{
    static const std::set<std::uint16_t> rebuilt = {0x00D3, 0x013D, 0x009C, 0x0160, 0x0161, 0x00EB, 0x00EC, 0x00ED, 0x005D, 0x001C};
    std::multiset<std::pair<std::uint16_t, std::vector<std::uint8_t>>> left;
    for (const RawRecord& r : again)
        left.insert({r.type, r.data});
    std::uint16_t previous = 0;
    for (const RawRecord& r : read) {
        const auto it = left.find({r.type, r.data});
        previous = r.type == 0x003C ? previous : r.type;
        if (it != left.end())
            left.erase(it);
        else if (!rebuilt.count(previous))
            ADD_FAILURE() << where << ": record type 0x" << std::hex << r.type << " of " << std::dec << r.data.size()
                          << " bytes was lost or changed";
    }
}

class Corpus : public ::testing::TestWithParam<cw::test::CorpusFile> {};

TEST(CorpusPresence, TheManifestListsTheCorpus)
{
    ASSERT_GE(allFiles().size(), 30u) << "the shared corpus is missing or short: " << CERTWRIGHT_SHARED_DIR;
}

TEST_P(Corpus, ReadsAsIndependentReadersDoAndSurvivesASave)
{
    const cw::test::CorpusFile& entry = GetParam();
    if (entry.kind == "reject") {
        ASSERT_TRUE(kRejects.count(entry.file)) << "no expected error for the rejected " << entry.file;
        const auto e = xlstest::errorOf([&] { Workbook::open(entry.path()); });
        ASSERT_TRUE(e) << entry.file << " was read, but must be refused";
        EXPECT_EQ(e->code(), kRejects.at(entry.file)) << e->what();
        EXPECT_NE(std::string(e->what()).find(entry.file), std::string::npos) << e->what();
        return;
    }
    const Workbook read = Workbook::open(entry.path());
    checkFacts(read, json::parse(cw::test::readBytes(entry.path().string() + ".expect.json")));

    const std::vector<std::uint8_t> once = read.toBytes();
    const Workbook again = Workbook::fromBytes(once, entry.file);
    xlstest::expectSameModel(read, again);
    expectRawKept(read.rawGlobals(), again.rawGlobals(), "globals");
    for (int i = 0; i < read.sheetCount(); ++i) {
        expectRawKept(read.sheet(i).rawBeforeCells(), again.sheet(i).rawBeforeCells(), read.sheet(i).name().c_str());
        expectRawKept(read.sheet(i).rawAfterCells(), again.sheet(i).rawAfterCells(), read.sheet(i).name().c_str());
        EXPECT_TRUE(read.drawingObjects(i) == again.drawingObjects(i)) << read.sheet(i).name();
    }
    EXPECT_EQ(again.toBytes(), once);
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(allFiles()), [](const auto& info) {
    std::string name;
    for (char c : info.param.file)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Corpus);

} // namespace
