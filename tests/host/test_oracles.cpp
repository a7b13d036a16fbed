// Files the writer produces, read by programs that are not ours: the shared reader cross-check
// (xlrd, Apache POI, SheetJS, LibreOffice, Gnumeric) must load them without a warning and agree,
// and xlrd and LibreOffice must see exactly the values the model holds. Every accepted corpus
// file is read, saved and read again by us and by them. Each test starts the readers once for
// all its files, since LibreOffice alone takes seconds to start.

#include "host/Error.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace cw::host;
using nlohmann::json;
namespace fs = std::filesystem;

const fs::path kShared = CERTWRIGHT_SHARED_DIR;
const fs::path kCheck = kShared / "tools" / "xls-readers" / "check";
const fs::path kCorpus = kShared / "xls-corpus";
const char* const kPython = "/usr/bin/python3";

std::string quote(const fs::path& p)
{
    std::string out = "'";
    for (char c : p.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A fresh folder for one test's files.
fs::path workDir(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("cw-oracles-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

bool sharedFolderPresent()
{
    if (fs::exists(kCheck))
        return true;
    ADD_FAILURE() << "the shared test folder is missing: " << kCheck
                  << " (configure with -DCERTWRIGHT_SHARED_DIR=/path/to/shared)";
    return false;
}

bool haveXlrd()
{
    return std::system((std::string(kPython) + " -c 'import xlrd' >/dev/null 2>&1").c_str()) == 0;
}

// Runs the reader cross-check over the files; returns its report, fills `dumps` with each
// reader's view (DIR/FILE.READER.txt).
std::string runCheck(const std::vector<fs::path>& files, const fs::path& dumps, bool strict, int& status)
{
    std::string cmd = quote(kCheck) + (strict ? " --strict" : "") + " --dumps " + quote(dumps);
    for (const fs::path& f : files)
        cmd += " " + quote(f);
    const fs::path report = dumps / "report.txt";
    status = std::system((cmd + " > " + quote(report) + " 2>&1").c_str());
    return readText(report);
}

// The block of the report about one file: from its name to its "=>" verdict.
std::string reportBlock(const std::string& report, const std::string& file)
{
    const std::size_t at = report.find(file + "\n");
    if (at == std::string::npos)
        return {};
    const std::size_t verdict = report.find("=>", at);
    const std::size_t end = report.find('\n', verdict);
    return report.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// One reader's view of a file: "SHEET!A1" -> the value as dumped (JSON text, number, TRUE,
// #N/A ...). Empty when the reader did not run.
using DumpView = std::map<std::string, std::string>;
std::optional<DumpView> readDump(const fs::path& dumps, const std::string& file, const std::string& reader)
{
    const fs::path p = dumps / (file + "." + reader + ".txt");
    if (!fs::exists(p))
        return std::nullopt;
    DumpView out;
    std::istringstream in(readText(p));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos)
            out[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return out;
}

// Whether a dumped value is the model's value. LibreOffice has no booleans: it shows 1 and 0.
bool sameValue(const Value& v, const std::string& dumped, bool libreOffice)
{
    if (const auto* s = std::get_if<std::string>(&v))
        return !dumped.empty() && dumped[0] == '"' && json::parse(dumped).get<std::string>() == *s;
    if (const auto* b = std::get_if<bool>(&v)) {
        if (libreOffice)
            return dumped == (*b ? "1.0" : "0.0");
        return dumped == (*b ? "TRUE" : "FALSE");
    }
    if (const auto* e = std::get_if<ErrorValue>(&v))
        return dumped == errorText(*e);
    if (const auto* d = std::get_if<double>(&v)) {
        char* end = nullptr;
        const double got = std::strtod(dumped.c_str(), &end);
        return end && *end == 0 && std::fabs(got - *d) <= 1e-9 * std::max(1.0, std::fabs(*d));
    }
    return false;
}

std::string sheetCell(const Sheet& s, int r, int c) { return s.name() + "!" + toA1(r, c); }

// Every value of the workbook's worksheets as the reader shows it, and nothing more. Cells
// whose formula the reader may compute afresh (skipFormulas) are left out of the comparison.
void expectReaderSees(const Workbook& wb, const DumpView& view, const std::string& reader, bool skipFormulas)
{
    SCOPED_TRACE(reader);
    const bool lo = reader == "libreoffice";
    std::size_t expected = 0, formulaCells = 0, mismatches = 0; // formula cells: left out
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        if (s.kind() != SheetKind::Worksheet)
            continue;
        for (int r = 0; r < s.rowCount(); ++r) {
            const auto* cells = s.rowCells(r);
            for (int c = 0; cells && c < static_cast<int>(cells->size()); ++c) {
                const Cell& cell = (*cells)[static_cast<std::size_t>(c)];
                const auto* text = std::get_if<std::string>(&cell.value);
                if (skipFormulas && cell.hasFormula()) {
                    ++formulaCells;
                    continue;
                }
                if (isEmpty(cell.value) || (text && text->empty()))
                    continue;
                ++expected;
                const auto it = view.find(sheetCell(s, r, c));
                if (it == view.end() || !sameValue(cell.value, it->second, lo)) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << sheetCell(s, r, c) << ": " << reader << " shows "
                                      << (it == view.end() ? std::string("nothing") : it->second);
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
    // No cells beyond the model's (formula cells may or may not be shown).
    EXPECT_GE(view.size(), expected);
    EXPECT_LE(view.size(), expected + formulaCells);
}

// ---- workbooks to write ---------------------------------------------------------------------

// A one-page certificate-like sheet: headings in a bold font, a bordered table with amounts,
// dates and texts (some Unicode), merged title cells, column widths and a print area.
void fillCertificate(Workbook& wb, Sheet& s, int serial, int top = 0)
{
    Font bold;
    bold.weight = 700;
    bold.heightTwips = 240;
    Font italic;
    italic.italic = true;
    italic.name = "Times New Roman";
    italic.underline = 1;
    italic.colorIndex = 10;
    Xf title = wb.xfs()[kDefaultXf];
    title.font = wb.addFont(bold);
    title.hAlign = HAlign::Center;
    Xf boxed = wb.xfs()[kDefaultXf];
    boxed.left.style = boxed.right.style = boxed.top.style = boxed.bottom.style = 1;
    Xf amount = boxed;
    amount.numFmt = wb.addNumberFormat("#,##0.00");
    amount.bottom.style = 2;
    Xf date = boxed;
    date.numFmt = wb.addNumberFormat("dd/mm/yyyy");
    Xf note = wb.xfs()[kDefaultXf];
    note.font = wb.addFont(italic);
    note.wrap = true;
    const std::uint16_t xTitle = wb.addXf(title), xBoxed = wb.addXf(boxed), xAmount = wb.addXf(amount),
                        xDate = wb.addXf(date), xNote = wb.addXf(note);

    s.setValue(top + 0, 0, std::string("FORM NO. 16A"));
    s.setXf(top + 0, 0, xTitle);
    s.merge(Range{top + 0, 0, top + 0, 6});
    s.setValue(top + 1, 0, std::string("Certificate of deduction of tax at source — प्रमाणपत्र ") + std::to_string(serial));
    s.merge(Range{top + 1, 0, top + 1, 6});
    s.setValue(top + 2, 0, std::string("Deductee ") + std::to_string(serial) + " (₹ amounts)");
    for (int r = 0; r < 20; ++r) {
        const int row = top + 4 + r;
        s.setValue(row, 0, static_cast<double>(r + 1));
        s.setXf(row, 0, xBoxed);
        s.setValue(row, 1, std::string("Payment ") + std::to_string(serial) + "-" + std::to_string(r));
        s.setXf(row, 1, xBoxed);
        s.setValue(row, 2, 1234.5 * (r + 1) + serial * 0.01);
        s.setXf(row, 2, xAmount);
        s.setValue(row, 3, 45000.0 + r + serial);
        s.setXf(row, 3, xDate);
        s.setValue(row, 4, r % 3 == 0);
        s.setXf(row, 5, xBoxed); // formatted, empty
        s.setXf(row, 6, xBoxed);
    }
    s.setValue(top + 25, 0, std::string("Note: amounts in rupees; the deductor's seal is not required."));
    s.setXf(top + 25, 0, xNote);
    s.merge(Range{top + 25, 0, top + 27, 6});
    s.setValue(top + 28, 2, ErrorValue::NA);
    if (top > 0)
        return;
    s.setColumnWidth(0, 0, 6);
    s.setColumnWidth(1, 1, 28);
    s.setColumnWidth(2, 3, 14.5);
    s.setRowHeight(0, 24);
    s.printArea() = {Range{0, 0, 30, 6}};
    s.pageSetup().fitToPage = true;
    s.pageSetup().fitWidth = 1;
    s.pageSetup().fitHeight = 1;
    s.pageSetup().hCenter = true;
}

struct Written {
    std::string name;
    Workbook wb;
};

std::vector<Written> buildWorkbooks()
{
    std::vector<Written> out;

    // 300 certificates' worth of strings (in 20 sheets: LibreOffice takes minutes over 300):
    // the shared string table runs over many CONTINUE records, with compressed and UTF-16
    // strings meeting the record boundaries.
    {
        Workbook wb;
        for (int i = 0; i < 20; ++i) {
            Sheet& s = wb.addSheet("C" + std::to_string(i + 1));
            wb.setActiveSheet(wb.indexOf(s.name()));
            for (int k = 0; k < 15; ++k)
                fillCertificate(wb, s, i * 15 + k + 1, k * 32);
        }
        wb.setActiveSheet(0);
        out.push_back({"certificates300.xls", std::move(wb)});
    }
    // Print areas and print titles on several sheets, one a union of two areas.
    {
        Workbook wb;
        Sheet& a = wb.addSheet("Annex");
        fillCertificate(wb, a, 7);
        a.printTitleRows() = std::make_pair(0, 3);
        a.printTitleCols() = std::make_pair(0, 1);
        Sheet& b = wb.addSheet("Form 16A");
        fillCertificate(wb, b, 8);
        b.printArea() = {Range{0, 0, 10, 6}, Range{20, 0, 29, 6}};
        b.printTitleRows() = std::make_pair(4, 4);
        Sheet& c = wb.addSheet("No print setup");
        c.setValue(0, 0, std::string("plain"));
        out.push_back({"printsetup.xls", std::move(wb)});
    }
    // A formatted sheet copied within its workbook, then both moved to a new workbook; the
    // 1904 date system.
    {
        Workbook wb;
        Sheet& t = wb.addSheet("Template");
        fillCertificate(wb, t, 16);
        wb.addSheet("Stays").setValue(0, 0, 1.0);
        const int copy = wb.copySheet(wb.indexOf("Template"), wb.indexOf("Template"), true);
        wb.sheet(copy).setValue(2, 0, std::string("the copy"));
        Workbook moved = wb.moveSheetsToNewWorkbook({wb.indexOf("Template"), copy});
        moved.setDate1904(true);
        out.push_back({"moved.xls", std::move(moved)});
        out.push_back({"leftover.xls", std::move(wb)});
    }
    return out;
}

TEST(Oracles, WrittenWorkbooksReadTheSameEverywhere)
{
    if (!sharedFolderPresent())
        return;
    const fs::path dir = workDir("written");
    std::vector<Written> books = buildWorkbooks();
    std::vector<fs::path> files;
    for (Written& w : books) {
        files.push_back(dir / w.name);
        w.wb.save(files.back());
    }
    int status = 0;
    const std::string report = runCheck(files, dir, true, status);
    for (const Written& w : books) {
        SCOPED_TRACE(w.name);
        const std::string block = reportBlock(report, w.name);
        EXPECT_NE(block.find("=> passed"), std::string::npos) << block;
    }
    EXPECT_EQ(status, 0) << report;

    if (!haveXlrd())
        GTEST_SKIP() << "xlrd is not installed for " << kPython << ": the values were not compared";
    bool sawLibreOffice = false;
    for (const Written& w : books) {
        SCOPED_TRACE(w.name);
        const auto x = readDump(dir, w.name, "xlrd");
        ASSERT_TRUE(x) << "no xlrd view of " << w.name;
        expectReaderSees(w.wb, *x, "xlrd", false);
        if (const auto lo = readDump(dir, w.name, "libreoffice")) {
            sawLibreOffice = true;
            expectReaderSees(w.wb, *lo, "libreoffice", false);
        }
    }
    if (!sawLibreOffice)
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: only xlrd's values were compared";
}

// ---- the corpus, read, saved and read again -----------------------------------------------------

struct CorpusFile {
    std::string name;
    json expect;
};

std::vector<CorpusFile> acceptedCorpus()
{
    std::vector<CorpusFile> out;
    std::istringstream in(readText(kCorpus / "MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t'))
            f.push_back(field);
        if (f.size() >= 8 && f[7] == "accept")
            out.push_back({f[0], json::parse(readText(kCorpus / (f[0] + ".expect.json")))});
    }
    return out;
}

void expectMatchesFacts(const Workbook& wb, const json& expect)
{
    std::vector<const Sheet*> worksheets;
    for (int i = 0; i < wb.sheetCount(); ++i)
        if (wb.sheet(i).kind() == SheetKind::Worksheet)
            worksheets.push_back(&wb.sheet(i));
    ASSERT_EQ(worksheets.size(), expect["sheets"].size());
    ASSERT_EQ(wb.sheetCount(), static_cast<int>(expect["boundsheets"].size()));
    for (int i = 0; i < wb.sheetCount(); ++i) {
        EXPECT_EQ(wb.sheet(i).name(), expect["boundsheets"][i]["name"].get<std::string>());
        EXPECT_EQ(static_cast<int>(wb.sheet(i).visibility()), expect["boundsheets"][i]["visibility"].get<int>());
    }
    EXPECT_EQ(wb.date1904(), expect["datemode"].get<int>() == 1);
    for (std::size_t k = 0; k < worksheets.size(); ++k) {
        const Sheet& s = *worksheets[k];
        const json& js = expect["sheets"][k];
        SCOPED_TRACE(s.name());
        std::size_t nonEmpty = 0;
        for (int r = 0; r < s.rowCount(); ++r) {
            const auto* cells = s.rowCells(r);
            for (std::size_t c = 0; cells && c < cells->size(); ++c)
                nonEmpty += !isEmpty((*cells)[c].value);
        }
        EXPECT_EQ(nonEmpty, js["nonempty_cells"].get<std::size_t>());
        std::vector<Range> merged;
        for (const json& m : js["merged_ranges"]) {
            const json& rc = m["rc"];
            merged.push_back(Range{rc[0].get<int>(), rc[2].get<int>(), rc[1].get<int>() - 1, rc[3].get<int>() - 1});
        }
        std::vector<Range> got = s.mergedRanges();
        auto order = [](const Range& a, const Range& b) {
            return std::tie(a.firstRow, a.firstCol, a.lastRow, a.lastCol) < std::tie(b.firstRow, b.firstCol, b.lastRow, b.lastCol);
        };
        std::sort(merged.begin(), merged.end(), order);
        std::sort(got.begin(), got.end(), order);
        EXPECT_EQ(got, merged);
        for (const json& c : js["sample_cells"]) {
            const Value& v = s.value(c["row"].get<int>(), c["col"].get<int>());
            const int ctype = c["ctype"].get<int>();
            SCOPED_TRACE(c["cell"].get<std::string>());
            switch (ctype) {
            case 1: EXPECT_EQ(std::get<std::string>(v), c["value"].get<std::string>()); break;
            case 2:
            case 3: EXPECT_DOUBLE_EQ(std::get<double>(v), c["value"].get<double>()); break;
            case 4: EXPECT_EQ(std::get<bool>(v), c["value"].get<int>() != 0); break;
            case 5: EXPECT_EQ(static_cast<int>(std::get<ErrorValue>(v)), c["value"].get<int>()); break;
            default: break;
            }
        }
        for (const json& f : js["format_samples"]) {
            const CellRef at = cellRefOrThrow(f["cell"].get<std::string>());
            const Cell* cell = s.cell(at.row, at.col);
            const Xf& xf = wb.xfs().at(cell ? cell->xf : kDefaultXf);
            SCOPED_TRACE(f["cell"].get<std::string>());
            const Font* font = wb.font(xf.font);
            ASSERT_NE(font, nullptr);
            EXPECT_EQ(font->name, f["font_name"].get<std::string>());
            EXPECT_EQ(font->weight, f["weight"].get<int>());
            EXPECT_EQ(font->italic, f["italic"].get<bool>());
            EXPECT_EQ(font->heightTwips, f["height_twips"].get<int>());
            EXPECT_EQ(font->underline, f["underline_type"].get<int>());
            EXPECT_EQ(font->colorIndex, f["colour_index"].get<int>());
            EXPECT_EQ(xf.left.style, f["borders"]["left"].get<int>());
            EXPECT_EQ(xf.bottom.style, f["borders"]["bottom"].get<int>());
        }
    }
}

TEST(Oracles, CorpusFilesSurviveASave)
{
    if (!sharedFolderPresent())
        return;
    const fs::path dir = workDir("corpus");
    const std::vector<CorpusFile> corpus = acceptedCorpus();
    ASSERT_FALSE(corpus.empty());
    std::vector<fs::path> copies;
    std::vector<Workbook> read;
    for (const CorpusFile& f : corpus) {
        SCOPED_TRACE(f.name);
        try {
            read.push_back(Workbook::open(kCorpus / f.name));
            copies.push_back(dir / f.name);
            read.back().save(copies.back());
            const Workbook again = Workbook::open(copies.back());
            expectMatchesFacts(again, f.expect);
        } catch (const Error& e) {
            ADD_FAILURE() << e.what();
            return;
        }
    }

    // Files with drawings, charts, names, 3-D references and print ranges once more after a
    // structure change (a sheet copied, one deleted): the link table is rebuilt, drawings of
    // the copy dropped, formulas through the old table written as their values.
    std::vector<std::string> names;
    for (const CorpusFile& f : corpus)
        names.push_back(f.name);
    for (const char* name : {"SimpleWithImages.xls", "comments.xls", "comments_stress_test.xls", "chartsheet.xls",
                             "SimpleChart.xls", "namesdemo.xls", "55906-MultiSheetRefs.xls", "optional_records.xls",
                             "A4X_gnumeric.xls", "PageSetup.xls", "SimpleWithPrintArea.xls"}) {
        SCOPED_TRACE(name);
        Workbook wb = Workbook::open(kCorpus / name);
        int first = 0;
        while (wb.sheet(first).kind() != SheetKind::Worksheet)
            ++first;
        const int copy = wb.copySheet(first, wb.sheetCount() - 1, true);
        if (wb.sheetCount() >= 3 && copy != 1)
            wb.deleteSheet(1);
        names.push_back(std::string("changed-") + name);
        copies.push_back(dir / names.back());
        wb.save(copies.back());
        read.push_back(std::move(wb));
    }

    int status = 0;
    const std::string report = runCheck(copies, dir, false, status);
    if (!haveXlrd())
        GTEST_SKIP() << "xlrd is not installed for " << kPython << ": the saved copies were not compared";
    bool sawLibreOffice = false;
    for (std::size_t k = 0; k < names.size(); ++k) {
        SCOPED_TRACE(names[k]);
        // Every reader loads the file (a reader that fails to shows no sheets).
        const std::string block = reportBlock(report, copies[k].string());
        EXPECT_FALSE(block.empty());
        EXPECT_EQ(block.find(" 0 sheets"), std::string::npos) << block;
        const auto x = readDump(dir, names[k], "xlrd");
        ASSERT_TRUE(x) << "xlrd did not read the saved copy";
        expectReaderSees(read[k], *x, "xlrd", false);
        // LibreOffice computes some formulas afresh (RANDBETWEEN, TODAY, macro functions);
        // their cells are left to the cached-value comparison above.
        if (const auto lo = readDump(dir, names[k], "libreoffice")) {
            sawLibreOffice = true;
            expectReaderSees(read[k], *lo, "libreoffice", true);
        }
    }
    if (!sawLibreOffice)
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: only xlrd's values were compared";
}

// ---- formatting through copy and move, as xlrd reports it -------------------------------------

const char* const kFormattingScript = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_name(sys.argv[2])
cells = {}
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        xf = book.xf_list[sheet.cell_xf_index(r, c)]
        font = book.font_list[xf.font_index]
        b = xf.border
        cells['%d,%d' % (r, c)] = [font.name, font.height, font.weight, font.italic, font.underline_type,
            font.colour_index, book.format_map[xf.format_key].format_str,
            [b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style], xf.alignment.hor_align,
            xf.alignment.text_wrapped]
widths = {str(c): sheet.colinfo_map[c].width for c in sheet.colinfo_map}
print(json.dumps({'cells': cells, 'merged': sorted(sheet.merged_cells), 'widths': widths,
    'heights': {str(r): sheet.rowinfo_map[r].height for r in sheet.rowinfo_map if sheet.rowinfo_map[r].has_default_height == 0}}))
)";

TEST(Oracles, ACopiedAndMovedSheetKeepsItsFormattingForXlrd)
{
    if (!sharedFolderPresent())
        return;
    if (!haveXlrd())
        GTEST_SKIP() << "xlrd is not installed for " << kPython;
    const fs::path dir = workDir("formatting");

    Workbook wb;
    Sheet& t = wb.addSheet("Form 16A");
    fillCertificate(wb, t, 1);
    wb.addSheet("AcknDetails");
    const int copy = wb.copySheet(wb.indexOf("Form 16A"), wb.indexOf("Form 16A"), true);
    const std::string copyName = wb.sheet(copy).name();
    Workbook moved = wb.moveSheetsToNewWorkbook({copy});
    const fs::path file = dir / "001.xls";
    moved.save(file);
    fs::path script = dir / "formatting.py";
    std::ofstream(script) << kFormattingScript;
    const fs::path out = dir / "formatting.json";
    ASSERT_EQ(std::system((std::string(kPython) + " " + quote(script) + " " + quote(file) + " " + quote(copyName) +
                           " > " + quote(out) + " 2>&1")
                              .c_str()),
              0)
        << readText(out);
    const json seen = json::parse(readText(out));

    // What the original sheet (still in `wb`) holds, cell by cell.
    const Sheet& src = wb.sheet("Form 16A");
    int checked = 0;
    for (int r = 0; r < src.rowCount(); ++r) {
        const auto* cells = src.rowCells(r);
        for (int c = 0; cells && c < static_cast<int>(cells->size()); ++c) {
            const Cell& cell = (*cells)[static_cast<std::size_t>(c)];
            if (cell.isVoid())
                continue;
            SCOPED_TRACE(toA1(r, c));
            const json& got = seen["cells"].at(std::to_string(r) + "," + std::to_string(c));
            const Xf& xf = wb.xfs()[cell.xf];
            const Font& font = *wb.font(xf.font);
            EXPECT_EQ(got[0].get<std::string>(), font.name);
            EXPECT_EQ(got[1].get<int>(), font.heightTwips);
            EXPECT_EQ(got[2].get<int>(), font.weight);
            EXPECT_EQ(got[3].get<int>() != 0, font.italic);
            EXPECT_EQ(got[4].get<int>(), font.underline);
            EXPECT_EQ(got[5].get<int>(), font.colorIndex == 0x7FFF ? 0x7FFF : font.colorIndex);
            EXPECT_EQ(got[6].get<std::string>(), wb.numberFormat(xf.numFmt));
            EXPECT_EQ(got[7], (json::array({xf.left.style, xf.right.style, xf.top.style, xf.bottom.style})));
            EXPECT_EQ(got[8].get<int>(), static_cast<int>(xf.hAlign));
            EXPECT_EQ(got[9].get<int>() != 0, xf.wrap);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
    json merged = json::array();
    std::vector<Range> ranges = src.mergedRanges();
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.firstRow < b.firstRow; });
    for (const Range& m : ranges)
        merged.push_back({m.firstRow, m.lastRow + 1, m.firstCol, m.lastCol + 1});
    EXPECT_EQ(seen["merged"], merged);
    for (const ColumnInfo& ci : src.columns())
        for (int c = ci.first; c <= ci.last; ++c)
            EXPECT_EQ(seen["widths"].at(std::to_string(c)).get<int>(), ci.width) << "column " << c;
    EXPECT_EQ(seen["heights"].at("0").get<int>(), src.rowInfo(0)->heightTwips);
}

} // namespace
