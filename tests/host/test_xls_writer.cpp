#include "host/Error.h"
#include "host/SaveHooks.h"
#include "host/Workbook.h"
#include "host/biff/RecordWriter.h"
#include "host/biff/XlsWriter.h"

#include "XlsTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <tuple>

using namespace cw::host;
using namespace xlstest;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes streamOf(const Workbook& wb) { return XlsWriter(wb).workbookStream(); }

std::vector<Rec> globalsOf(const std::vector<Rec>& all) { return substream(all, 0); }

// The substream of sheet `i`, found through its BOUNDSHEET.
std::vector<Rec> sheetOf(const std::vector<Rec>& all, int i)
{
    const auto globals = globalsOf(all);
    const auto bs = ofType(globals, 0x0085);
    return substream(all, u32(bs.at(static_cast<std::size_t>(i))->data, 0));
}

const Rec* cellRecord(const std::vector<Rec>& sheet, int row, int col)
{
    for (const Rec& r : sheet) {
        switch (r.type) {
        case 0x0006: case 0x00FD: case 0x0203: case 0x027E: case 0x0201: case 0x0205:
            if (u16(r.data, 0) == row && u16(r.data, 2) == col)
                return &r;
            break;
        default:
            break;
        }
    }
    return nullptr;
}

Formula formula(std::vector<std::uint8_t> rgce, std::vector<RawRecord> follow = {})
{
    Formula f;
    const auto cce = static_cast<std::uint16_t>(rgce.size());
    f.parsed = std::move(rgce);
    f.parsed.insert(f.parsed.begin(), {static_cast<std::uint8_t>(cce), static_cast<std::uint8_t>(cce >> 8)});
    f.follow = std::move(follow);
    return f;
}

void setFormula(Sheet& s, int row, int col, Formula f, Value cached)
{
    s.formulas().push_back(std::move(f));
    Cell& c = s.cellAt(row, col);
    c.value = std::move(cached);
    c.formula = static_cast<std::uint32_t>(s.formulas().size() - 1);
}

// ---- records and strings ---------------------------------------------------------------------

TEST(RecordWriter, RecordsAndStringsHaveTheirExactBytes)
{
    Bytes out;
    biff::RecordWriter w(out);
    w.record(0x0042, {0xB0, 0x04});
    w.begin(0x0031);
    w.string8("Arial");
    w.end();
    w.begin(0x041E);
    w.string16("₹ 0.00"); // U+20B9 needs UTF-16
    w.end();
    w.begin(0x0014);
    w.string16("\xF0\x9D\x84\x9E", 1); // U+1D11E cut at one unit: the pair is not split
    w.end();
    const Bytes expected = {
        0x42, 0x00, 0x02, 0x00, 0xB0, 0x04,
        0x31, 0x00, 0x07, 0x00, 0x05, 0x00, 'A', 'r', 'i', 'a', 'l',
        0x1E, 0x04, 0x0F, 0x00, 0x06, 0x00, 0x01, 0xB9, 0x20, ' ', 0, '0', 0, '.', 0, '0', 0, '0', 0,
        0x14, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
    };
    EXPECT_EQ(out, expected);

    std::vector<char16_t> units;
    biff::utf8ToUtf16("a\xC3(\xF0\x9F\x8D\xA3\xE2\x82", units); // bad lead, sushi, truncated
    EXPECT_EQ(units, (std::vector<char16_t>{u'a', 0xFFFD, u'(', 0xD83C, 0xDF63, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(biff::utf16Length("\xF0\x9F\x8D\xA3x"), 3u);
}

TEST(RecordWriter, LongDataGoesOnInContinueRecords)
{
    Bytes data(20000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    Bytes out = {0xAA, 0xBB};
    biff::RecordWriter w(out);
    w.record(0x00EB, data);
    w.record(0x000A, {});
    const auto recs = records(Bytes(out.begin() + 2, out.end()));
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].type, 0x00EB);
    EXPECT_EQ(recs[1].type, 0x003C);
    EXPECT_EQ(recs[2].type, 0x003C);
    EXPECT_EQ(recs[3].type, 0x000A);
    EXPECT_EQ(recs[0].data.size(), 8224u);
    EXPECT_EQ(recs[1].data.size(), 8224u);
    EXPECT_EQ(recs[2].data.size(), 20000u - 2 * 8224u);
    Bytes joined;
    for (int i = 0; i < 3; ++i)
        joined.insert(joined.end(), recs[static_cast<std::size_t>(i)].data.begin(), recs[static_cast<std::size_t>(i)].data.end());
    EXPECT_EQ(joined, data);
}

// Strings of every kind across record boundaries: ASCII, Latin-1, Devanagari, surrogate pairs
// placed so that some pair meets a boundary, empty strings, and one text spanning 3 records.
TEST(SharedStrings, ContinuationRulesAndExtSstOffsetsHold)
{
    std::mt19937 rng(7);
    std::vector<std::string> texts;
    const char* pieces[] = {"Form 16A", "é", "₹", "\xF0\x9F\x8D\xA3", "कर", " ", "0123456789"};
    for (int i = 0; i < 3000; ++i) {
        std::string s;
        const int n = static_cast<int>(rng() % 40);
        for (int k = 0; k < n; ++k)
            s += pieces[rng() % 7];
        texts.push_back(s);
    }
    texts.insert(texts.begin() + 1500, std::string());
    std::string huge;
    for (int i = 0; i < 6000; ++i)
        huge += (i % 3 == 0) ? "\xF0\x9F\x8D\xA3" : "x";
    texts.insert(texts.begin() + 700, huge);
    std::vector<std::string_view> views(texts.begin(), texts.end());

    for (std::size_t lead : {0u, 1u, 4097u}) {
        Bytes out(lead, 0x55);
        biff::RecordWriter w(out);
        w.sharedStrings(views, 12345);
        Bytes stream(out.begin() + static_cast<std::ptrdiff_t>(lead), out.end());
        std::vector<Rec> recs = records(stream);
        for (Rec& r : recs)
            r.pos += lead; // offsets as in the whole stream
        const Sst sst = readSst(recs);
        ASSERT_TRUE(sst.ok) << "lead " << lead;
        EXPECT_FALSE(sst.headerSplit);
        EXPECT_FALSE(sst.pairSplit);
        EXPECT_GT(sst.sizes.size(), 10u);
        for (std::size_t k = 0; k + 1 < sst.sizes.size(); ++k)
            EXPECT_LE(sst.sizes[k], 8224u);
        EXPECT_EQ(sst.total, 12345u);
        ASSERT_EQ(sst.strings.size(), texts.size());
        for (std::size_t k = 0; k < texts.size(); ++k)
            ASSERT_EQ(sst.strings[k], utf16(texts[k])) << "string " << k;

        const auto ext = ofType(recs, 0x00FF);
        ASSERT_EQ(ext.size(), 1u);
        const std::size_t dsst = u16(ext[0]->data, 0);
        EXPECT_GE(dsst, 8u);
        const std::size_t buckets = (ext[0]->data.size() - 2) / 8;
        EXPECT_LE(buckets, 128u);
        EXPECT_EQ(buckets, (texts.size() + dsst - 1) / dsst);
        for (std::size_t b = 0; b < buckets; ++b) {
            const std::size_t k = b * dsst;
            EXPECT_EQ(u32(ext[0]->data, 2 + 8 * b), sst.starts[k]) << "bucket " << b;
            EXPECT_EQ(u16(ext[0]->data, 6 + 8 * b), sst.starts[k] - sst.recordStart[k]) << "bucket " << b;
        }
    }
}

// ---- the workbook stream -------------------------------------------------------------------

TEST(XlsWriter, OffsetsInTheStreamPointWhereTheyShould)
{
    Workbook wb;
    Sheet& a = wb.addSheet("Alpha");
    Sheet& b = wb.addSheet("Beta"); // in front of Alpha, active
    for (int r = 0; r < 100; r += 3)
        for (int c = 0; c < 5; ++c)
            a.setValue(r, c, r * 10.0 + c);
    a.rowInfoAt(40).heightTwips = 600; // a row with properties and no cells
    a.rowInfoAt(40).customHeight = true;
    b.setValue(2, 3, std::string("only"));
    wb.setActiveSheet(0);

    const Bytes stream = streamOf(wb);
    const auto all = records(stream);
    const auto globals = globalsOf(all);
    ASSERT_EQ(globals.front().type, 0x0809);
    EXPECT_EQ(u16(globals.front().data, 2), 0x0005);
    ASSERT_EQ(ofType(globals, 0x0042).size(), 1u);
    EXPECT_EQ(u16(ofType(globals, 0x0042)[0]->data, 0), 1200);
    EXPECT_GE(ofType(globals, 0x0031).size(), 4u);
    EXPECT_GE(ofType(globals, 0x00E0).size(), 16u);
    EXPECT_FALSE(ofType(globals, 0x0293).empty());
    EXPECT_EQ(u16(ofType(globals, 0x003D)[0]->data, 10), 0); // active tab

    const auto bs = ofType(globals, 0x0085);
    ASSERT_EQ(bs.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const auto sheet = sheetOf(all, i);
        ASSERT_FALSE(sheet.empty());
        EXPECT_EQ(sheet.front().type, 0x0809);
        EXPECT_EQ(u16(sheet.front().data, 2), 0x0010);
        EXPECT_EQ(sheet.back().type, 0x000A);
        // WINDOW2: only the active sheet is selected.
        const auto w2 = ofType(sheet, 0x023E);
        ASSERT_EQ(w2.size(), 1u);
        EXPECT_EQ((u16(w2[0]->data, 0) & 0x0200) != 0, i == 0);
    }

    const auto alpha = sheetOf(all, 1);
    const auto dim = ofType(alpha, 0x0200);
    ASSERT_EQ(dim.size(), 1u);
    EXPECT_EQ(u32(dim[0]->data, 0), 0u);
    EXPECT_EQ(u32(dim[0]->data, 4), 100u);
    EXPECT_EQ(u16(dim[0]->data, 10), 5);

    // INDEX: the DEFCOLWIDTH and every DBCELL; each DBCELL: back to its first ROW, and on to
    // the first cell of each of its rows.
    const auto index = ofType(alpha, 0x020B);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(u32(index[0]->data, 4), 0u);
    EXPECT_EQ(u32(index[0]->data, 8), 100u);
    auto at = [&](std::size_t pos) -> const Rec* {
        for (const Rec& r : alpha)
            if (r.pos == pos)
                return &r;
        return nullptr;
    };
    ASSERT_NE(at(u32(index[0]->data, 12)), nullptr);
    EXPECT_EQ(at(u32(index[0]->data, 12))->type, 0x0055);
    const std::size_t nBlocks = (index[0]->data.size() - 16) / 4;
    EXPECT_EQ(nBlocks, 4u); // rows 0..99 in blocks of 32
    std::size_t rowsSeen = 0;
    for (std::size_t k = 0; k < nBlocks; ++k) {
        const Rec* db = at(u32(index[0]->data, 16 + 4 * k));
        ASSERT_NE(db, nullptr);
        ASSERT_EQ(db->type, 0x00D7);
        const Rec* firstRow = at(db->pos - u32(db->data, 0));
        ASSERT_NE(firstRow, nullptr);
        ASSERT_EQ(firstRow->type, 0x0208);
        std::size_t pos = firstRow->pos + 20;
        for (std::size_t j = 0; j + 4 < db->data.size(); j += 2) {
            const Rec* row = at(firstRow->pos + 20 * (j / 2));
            ASSERT_NE(row, nullptr);
            ASSERT_EQ(row->type, 0x0208);
            ++rowsSeen;
            pos += u16(db->data, 4 + j);
            if (u16(row->data, 4) == 0)
                continue; // a row without cells
            const Rec* cell = at(pos);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(u16(cell->data, 0), u16(row->data, 0)) << "row " << u16(row->data, 0);
            EXPECT_EQ(u16(cell->data, 2), u16(row->data, 2));
        }
    }
    EXPECT_EQ(rowsSeen, 35u); // 34 rows with cells and row 40
}

TEST(XlsWriter, CellsUseTheSmallestExactRecord)
{
    Workbook wb;
    Sheet& s = wb.addSheet("Cells");
    s.setValue(0, 0, 42.0);
    s.setValue(0, 1, 0.15);
    s.setValue(0, 2, 3.141592653589793);
    s.setValue(0, 3, -0.0);
    s.setValue(0, 4, 1e300);
    s.setValue(0, 5, std::numeric_limits<double>::infinity());
    s.setValue(1, 0, true);
    s.setValue(1, 1, ErrorValue::NA);
    s.setValue(1, 2, std::string("b"));
    s.setValue(1, 3, std::string("a"));
    s.setValue(1, 4, std::string("b"));
    Xf boxed = wb.xfs()[kDefaultXf];
    boxed.left.style = boxed.right.style = 1;
    const std::uint16_t xf = wb.addXf(boxed);
    for (int c = 2; c <= 5; ++c)
        s.setXf(2, c, xf);
    s.setXf(2, 7, xf);
    s.setXf(3, 0, 9999); // past the table: written with the default format

    const auto all = records(streamOf(wb));
    const auto sheet = sheetOf(all, 0);
    auto type = [&](int r, int c) { return cellRecord(sheet, r, c) ? cellRecord(sheet, r, c)->type : 0; };
    EXPECT_EQ(type(0, 0), 0x027E);
    EXPECT_EQ(u32(cellRecord(sheet, 0, 0)->data, 6), (42u << 2) | 2u);
    EXPECT_EQ(type(0, 1), 0x027E);
    EXPECT_EQ(u32(cellRecord(sheet, 0, 1)->data, 6), (15u << 2) | 3u);
    EXPECT_EQ(type(0, 2), 0x0203);
    EXPECT_EQ(f64(cellRecord(sheet, 0, 2)->data, 6), 3.141592653589793);
    EXPECT_EQ(type(0, 3), 0x027E);
    EXPECT_TRUE(std::signbit(-0.0));
    EXPECT_EQ(u32(cellRecord(sheet, 0, 3)->data, 6), 0x80000000u);
    EXPECT_EQ(type(0, 4), 0x0203);
    EXPECT_EQ(type(0, 5), 0x0205); // no infinity in a cell: #NUM!
    EXPECT_EQ(cellRecord(sheet, 0, 5)->data[6], 0x24);
    EXPECT_EQ(cellRecord(sheet, 0, 5)->data[7], 1);
    EXPECT_EQ(type(1, 0), 0x0205);
    EXPECT_EQ(cellRecord(sheet, 1, 0)->data[6], 1);
    EXPECT_EQ(cellRecord(sheet, 1, 0)->data[7], 0);
    EXPECT_EQ(cellRecord(sheet, 1, 1)->data[6], 0x2A);

    // LABELSST: the same text shares one entry.
    const Sst sst = readSst(globalsOf(all));
    ASSERT_TRUE(sst.ok);
    EXPECT_EQ(sst.total, 3u);
    ASSERT_EQ(sst.unique, 2u);
    EXPECT_EQ(sst.strings[u32(cellRecord(sheet, 1, 2)->data, 6)], u"b");
    EXPECT_EQ(sst.strings[u32(cellRecord(sheet, 1, 3)->data, 6)], u"a");
    EXPECT_EQ(u32(cellRecord(sheet, 1, 4)->data, 6), u32(cellRecord(sheet, 1, 2)->data, 6));

    // Formatted empty cells: a run is one MULBLANK, a single one a BLANK.
    const auto mul = ofType(sheet, 0x00BE);
    ASSERT_EQ(mul.size(), 1u);
    EXPECT_EQ(u16(mul[0]->data, 2), 2);
    EXPECT_EQ(u16(mul[0]->data, mul[0]->data.size() - 2), 5);
    EXPECT_EQ(u16(mul[0]->data, 4), xf);
    EXPECT_EQ(type(2, 7), 0x0201);
    EXPECT_EQ(u16(cellRecord(sheet, 3, 0)->data, 4), kDefaultXf);
}

// Decodes the print-area / print-titles NAME records: (itab, code) -> areas as
// (sheet through EXTERNSHEET, range).
struct PrintName {
    int itab = 0;
    int code = 0;
    std::vector<std::pair<int, Range>> areas;
};

std::vector<PrintName> printNames(const std::vector<Rec>& globals)
{
    std::vector<std::tuple<int, int, int>> xtis;
    for (const Rec* r : ofType(globals, 0x0017))
        for (std::size_t k = 0; k < u16(r->data, 0); ++k)
            xtis.emplace_back(u16(r->data, 2 + 6 * k), static_cast<std::int16_t>(u16(r->data, 4 + 6 * k)),
                              static_cast<std::int16_t>(u16(r->data, 6 + 6 * k)));
    std::vector<PrintName> out;
    for (const Rec* r : ofType(globals, 0x0018)) {
        if (!(u16(r->data, 0) & 0x0020))
            continue;
        PrintName p;
        p.itab = u16(r->data, 8);
        p.code = r->data[15];
        const std::size_t cce = u16(r->data, 4);
        std::size_t i = 16, end = 16 + cce;
        while (i < end) {
            const std::uint8_t t = r->data[i];
            if (t == 0x29) {
                i += 3;
            } else if (t == 0x10) {
                i += 1;
            } else if (t == 0x3B) {
                const auto& [sup, first, last] = xtis.at(u16(r->data, i + 1));
                EXPECT_EQ(sup, 0);
                EXPECT_EQ(first, last);
                p.areas.emplace_back(first, Range{u16(r->data, i + 3), u16(r->data, i + 7), u16(r->data, i + 5),
                                                  u16(r->data, i + 9)});
                i += 11;
            } else {
                ADD_FAILURE() << "unexpected token " << int(t);
                break;
            }
        }
        out.push_back(p);
    }
    return out;
}

TEST(XlsWriter, PrintAreasAndTitlesAreSheetLevelNamesThroughTheLinkTable)
{
    Workbook wb;
    Sheet& one = wb.addSheet("One");
    wb.setActiveSheet(0);
    Sheet& two = wb.addSheet("Two"); // Two, One
    one.setValue(0, 0, 1.0);
    two.setValue(0, 0, 2.0);
    one.printArea() = {Range{0, 0, 40, 13}};
    one.printTitleRows() = std::make_pair(0, 2);
    one.printTitleCols() = std::make_pair(0, 0);
    two.printArea() = {Range{0, 0, 9, 3}, Range{20, 0, 29, 3}};

    auto check = [](const Workbook& w, const std::string& when) {
        const auto globals = globalsOf(records(streamOf(w)));
        const auto sup = ofType(globals, 0x01AE);
        ASSERT_EQ(sup.size(), 1u) << when;
        EXPECT_EQ(u16(sup[0]->data, 0), w.sheetCount()) << when;
        EXPECT_EQ(u16(sup[0]->data, 2), 0x0401) << when;
        const auto names = printNames(globals);
        std::size_t expected = 0;
        for (int i = 0; i < w.sheetCount(); ++i) {
            const Sheet& s = w.sheet(i);
            expected += !s.printArea().empty();
            expected += s.printTitleRows() || s.printTitleCols();
            for (const PrintName& p : names) {
                if (p.itab != i + 1)
                    continue;
                for (const auto& [sheet, range] : p.areas)
                    EXPECT_EQ(sheet, i) << when << ": a name of sheet " << i << " refers to sheet " << sheet;
                if (p.code == 6) {
                    std::vector<Range> got;
                    for (const auto& a : p.areas)
                        got.push_back(a.second);
                    EXPECT_EQ(got, s.printArea()) << when;
                } else {
                    ASSERT_EQ(p.code, 7);
                    ASSERT_EQ(p.areas.size(), 2u);
                    EXPECT_EQ(p.areas[0].second, (Range{0, 0, 65535, 0})) << when;
                    EXPECT_EQ(p.areas[1].second, (Range{0, 0, 2, 255})) << when;
                }
            }
        }
        EXPECT_EQ(names.size(), expected) << when;
    };
    check(wb, "as built");
    wb.copySheet(1, 0); // One (2), Two, One
    wb.copySheet(1, 2, true);
    check(wb, "after copies");
    Workbook moved = wb.moveSheetsToNewWorkbook({0, 3});
    check(wb, "left behind");
    check(moved, "moved");
}

TEST(XlsWriter, FormulasStayWhileTheirReferencesHold)
{
    // As read: two sheets, a link table with one entry for sheet 1, a 3-D formula, a plain
    // one with a text result, a shared formula over A3:A4 and a PtgExp whose anchor is gone.
    Workbook wb;
    wb.addSheet("Data");
    Sheet& s = wb.addSheet("Calc");
    wb.rawGlobals() = {RawRecord{0x01AE, {0x02, 0x00, 0x01, 0x04}},
                       RawRecord{0x0017, {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}}};
    setFormula(s, 0, 0, formula({0x3A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), 5.0);           // Data!A1
    setFormula(s, 1, 0, formula({0x17, 0x02, 0x00, 'h', 'i'}), std::string("hi"));            // ="hi"
    const RawRecord shr{0x04BC, {0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x1E, 0x07, 0x00}};
    setFormula(s, 2, 0, formula({0x01, 0x02, 0x00, 0x00, 0x00}, {shr}), 7.0);
    setFormula(s, 3, 0, formula({0x01, 0x02, 0x00, 0x00, 0x00}), 7.0);
    setFormula(s, 4, 0, formula({0x01, 0x09, 0x00, 0x00, 0x00}), 8.0);                          // no anchor
    wb.setStructureChanged(false);

    {
        const auto all = records(streamOf(wb));
        const auto sheet = sheetOf(all, 0);
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(cellRecord(sheet, r, 0)->type, 0x0006) << "row " << r;
        EXPECT_EQ(cellRecord(sheet, 4, 0)->type, 0x027E);
        // FORMULA, then its SHRFMLA; FORMULA with a text result, then STRING.
        for (std::size_t k = 0; k + 1 < sheet.size(); ++k) {
            if (sheet[k].type != 0x0006)
                continue;
            const int row = u16(sheet[k].data, 0);
            if (row == 1) {
                EXPECT_EQ(sheet[k + 1].type, 0x0207);
                EXPECT_EQ(sheet[k + 1].data, (Bytes{0x02, 0x00, 0x00, 'h', 'i'}));
                EXPECT_EQ(sheet[k].data[6], 0x00);
                EXPECT_EQ(u16(sheet[k].data, 12), 0xFFFF);
            }
            if (row == 2) {
                EXPECT_EQ(sheet[k + 1].type, 0x04BC);
            }
        }
        const auto globals = globalsOf(all);
        EXPECT_EQ(ofType(globals, 0x01AE).size(), 1u);
        ASSERT_EQ(ofType(globals, 0x0017).size(), 1u);
        EXPECT_EQ(ofType(globals, 0x0017)[0]->data, wb.rawGlobals()[1].data);
    }

    // A sheet added: the link table is rebuilt, the 3-D formula becomes its value.
    wb.addSheet("New");
    {
        const auto all = records(streamOf(wb));
        const auto sheet = sheetOf(all, 1);
        ASSERT_EQ(wb.sheet(1).name(), "Calc");
        EXPECT_EQ(cellRecord(sheet, 0, 0)->type, 0x027E);
        EXPECT_EQ(cellRecord(sheet, 1, 0)->type, 0x0006);
        EXPECT_EQ(cellRecord(sheet, 2, 0)->type, 0x0006);
        EXPECT_EQ(cellRecord(sheet, 3, 0)->type, 0x0006);
        const auto globals = globalsOf(all);
        EXPECT_TRUE(ofType(globals, 0x01AE).empty());
        EXPECT_TRUE(ofType(globals, 0x0017).empty());
        // The text result of a formula that became a value is in the shared strings.
        wb.sheet(1).formulas()[1].parsed = {0x07, 0x00, 0x3A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        const auto again = records(streamOf(wb));
        const auto againSheet = sheetOf(again, 1);
        const Rec* label = cellRecord(againSheet, 1, 0);
        ASSERT_EQ(label->type, 0x00FD);
        EXPECT_EQ(readSst(globalsOf(again)).strings.at(u32(label->data, 6)), u"hi");
    }

    // A name used by a formula: its index holds only while the name table is as read.
    Workbook named;
    Sheet& n = named.addSheet("N");
    named.names().push_back(DefinedName{"Rate", false, 0, 0, {0x1E, 0x05, 0x00}, {}, 0});
    setFormula(n, 0, 0, formula({0x23, 0x01, 0x00, 0x00, 0x00}), 5.0);
    EXPECT_EQ(cellRecord(sheetOf(records(streamOf(named)), 0), 0, 0)->type, 0x0006);
    n.printArea() = {Range{0, 0, 5, 5}};
    EXPECT_EQ(cellRecord(sheetOf(records(streamOf(named)), 0), 0, 0)->type, 0x027E);
}

TEST(XlsWriter, RawRecordsKeepTheirPlaceAndRebuiltOnesAreNotRepeated)
{
    Workbook wb;
    Sheet& s = wb.addSheet("S");
    s.setValue(0, 0, 1.0);
    s.mergedRanges().push_back(Range{1, 1, 2, 2});
    s.mergedRanges().push_back(Range{2, 2, 3, 3}); // overlaps the first: not written
    const RawRecord group{0x00EB, {0x0F, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00}};
    wb.rawGlobals() = {
        RawRecord{0x003D, Bytes(18, 0x11)}, // WINDOW1 as read: ours replaces it
        RawRecord{0x0863, {0x01, 0x02}},    // BOOKEXT: after the shared strings
        RawRecord{0x0FFF, {0x09}},          // unknown: stays after BOOKEXT
        group,                              // MSODRAWINGGROUP with its CONTINUE
        RawRecord{0x003C, {0x42}},
        RawRecord{0x0018, {0x00}},          // NAME as read: names come from the model
        RawRecord{0x003C, {0x43}},          // ... and its CONTINUE goes with it
    };
    // A drawing (dgId 1) and a hyperlink after the cells; a stale WINDOW2 and MERGEDCELLS.
    const RawRecord drawing{0x00EC, {0x0F, 0x00, 0x02, 0xF0, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0x08, 0xF0, 0, 0, 0, 0}};
    s.rawAfterCells() = {drawing, RawRecord{0x005D, {0x15, 0x00}}, RawRecord{0x023E, Bytes(18, 0)},
                         RawRecord{0x001D, {0x03}}, RawRecord{0x00E5, {0x00, 0x00}}, RawRecord{0x01B8, {0x77}}};
    s.rawBeforeCells() = {RawRecord{0x001B, {0x00, 0x00}}, RawRecord{0x0081, {0xC1, 0x04}}};
    s.pageSetup().fitToPage = true;

    auto typesOf = [](const std::vector<Rec>& recs) {
        std::vector<std::uint16_t> t;
        for (const Rec& r : recs)
            t.push_back(r.type);
        return t;
    };
    auto pos = [](const std::vector<std::uint16_t>& t, std::uint16_t type) {
        return std::find(t.begin(), t.end(), type) - t.begin();
    };
    const auto all = records(streamOf(wb));
    const auto g = typesOf(globalsOf(all));
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x003D), 1);
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x0018), 0);
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x003C), 1);
    EXPECT_EQ(g[pos(g, 0x00EB) + 1], 0x003C);
    EXPECT_LT(pos(g, 0x00EB), pos(g, 0x00FC));
    EXPECT_GT(pos(g, 0x0863), pos(g, 0x00FF));
    EXPECT_EQ(g[pos(g, 0x0863) + 1], 0x0FFF);

    auto sheetTypes = typesOf(sheetOf(all, 0));
    EXPECT_EQ(std::count(sheetTypes.begin(), sheetTypes.end(), 0x023E), 1);
    EXPECT_EQ(std::count(sheetTypes.begin(), sheetTypes.end(), 0x00E5), 1);
    EXPECT_EQ(std::count(sheetTypes.begin(), sheetTypes.end(), 0x0081), 1);
    EXPECT_LT(pos(sheetTypes, 0x0081), pos(sheetTypes, 0x001B));
    EXPECT_LT(pos(sheetTypes, 0x001B), pos(sheetTypes, 0x0014));
    EXPECT_LT(pos(sheetTypes, 0x00EC), pos(sheetTypes, 0x023E));
    EXPECT_LT(pos(sheetTypes, 0x023E), pos(sheetTypes, 0x001D));
    EXPECT_LT(pos(sheetTypes, 0x001D), pos(sheetTypes, 0x00E5));
    EXPECT_LT(pos(sheetTypes, 0x00E5), pos(sheetTypes, 0x01B8));
    const auto sheet = sheetOf(all, 0);
    EXPECT_EQ(u16(ofType(sheet, 0x0081)[0]->data, 0), 0x05C1); // fit to page set on the read bits
    EXPECT_EQ(ofType(sheet, 0x00E5)[0]->data, (Bytes{0x01, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01, 0x00, 0x02, 0x00}));

    // Many merged ranges: at most 1,026 to a record.
    Workbook many;
    Sheet& m = many.addSheet("M");
    for (int r = 0; r < 2100; ++r)
        m.merge(Range{r, 0, r, 1});
    const auto manySheet = sheetOf(records(streamOf(many)), 0);
    const auto mergeRecords = ofType(manySheet, 0x00E5);
    ASSERT_EQ(mergeRecords.size(), 3u);
    EXPECT_EQ(u16(mergeRecords[0]->data, 0), 1026);
    EXPECT_EQ(u16(mergeRecords[1]->data, 0), 1026);
    EXPECT_EQ(u16(mergeRecords[2]->data, 0), 48);
    EXPECT_EQ(mergeRecords[2]->data.size(), 2u + 48 * 8);
    EXPECT_EQ(u16(mergeRecords[2]->data, 2 + 47 * 8), 2099);

    // Copies share the drawing id: only the first sheet in order keeps the drawing.
    wb.copySheet(0, 0, true);
    const auto copied = records(streamOf(wb));
    EXPECT_EQ(ofType(sheetOf(copied, 0), 0x00EC).size(), 1u);
    EXPECT_EQ(ofType(sheetOf(copied, 1), 0x00EC).size(), 0u);
    EXPECT_EQ(ofType(sheetOf(copied, 1), 0x005D).size(), 0u);
    EXPECT_EQ(ofType(sheetOf(copied, 1), 0x01B8).size(), 1u);
    // Without the drawing group no sheet keeps one.
    Workbook moved = wb.moveSheetsToNewWorkbook({1});
    EXPECT_TRUE(ofType(sheetOf(records(streamOf(moved)), 0), 0x00EC).empty());
}

// A chart sheet is written as read: its series still use the EXTERNSHEET indices of the file.
// After a structure change those indices must stay in range, as sheets that cannot be found.
TEST(XlsWriter, ChartSeriesKeepTheirLinkIndicesInRange)
{
    const fs::path file = fs::path(CERTWRIGHT_SHARED_DIR) / "xls-corpus" / "chartsheet.xls";
    ASSERT_TRUE(fs::exists(file)) << "the shared corpus is missing: " << file;
    Workbook wb = Workbook::open(file);
    std::size_t before = 0;
    for (const RawRecord& r : wb.rawGlobals())
        if (r.type == 0x0017)
            before = u16(r.data, 0);
    ASSERT_GT(before, 0u);
    wb.copySheet(wb.indexOf("Data"), wb.sheetCount() - 1, true);
    wb.sheet(0).printArea() = {Range{0, 0, 5, 5}};

    const auto globals = globalsOf(records(streamOf(wb)));
    const auto sup = ofType(globals, 0x01AE);
    ASSERT_EQ(sup.size(), 1u);
    EXPECT_EQ(sup[0]->data, (Bytes{3, 0, 0x01, 0x04}));
    const auto es = ofType(globals, 0x0017);
    ASSERT_EQ(es.size(), 1u);
    ASSERT_EQ(u16(es[0]->data, 0), before + 1);
    for (std::size_t k = 0; k < before; ++k)
        EXPECT_EQ(Bytes(es[0]->data.begin() + 2 + 6 * k, es[0]->data.begin() + 8 + 6 * k),
                  (Bytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    const auto names = printNames(globals);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].areas.at(0).first, 0);
}

TEST(XlsWriter, RefusesWhatTheFormatCannotHold)
{
    Workbook empty;
    try {
        streamOf(empty);
        FAIL() << "a workbook without sheets was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Invalid);
    }

    Workbook tall;
    tall.addSheet("Statement").setValue(kXlsMaxRows - 1, 0, 1.0);
    EXPECT_NO_THROW(streamOf(tall));
    tall.sheet(0).setValue(kXlsMaxRows, 0, 1.0);
    try {
        streamOf(tall);
        FAIL() << "a sheet of 65,537 rows was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Limit);
        EXPECT_NE(std::string(e.what()).find("\"Statement\""), std::string::npos) << e.what();
    }

    // The model counts characters; the format counts UTF-16 units: 16 clefs are 32 units.
    Workbook clefs;
    std::string name;
    for (int i = 0; i < 16; ++i)
        name += "\xF0\x9D\x84\x9E";
    clefs.addSheet(name);
    try {
        streamOf(clefs);
        FAIL() << "a sheet name of 32 UTF-16 units was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Limit);
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }

    Workbook wide;
    wide.addSheet("Notes").setValue(3, 1, std::string(32768, 'x'));
    try {
        streamOf(wide);
        FAIL() << "a text of 32,768 characters was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Limit);
        EXPECT_NE(std::string(e.what()).find("B4"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Notes"), std::string::npos) << e.what();
    }
}

TEST(XlsWriter, TheContainerHoldsTheStreamInRegularSectors)
{
    Workbook wb;
    wb.addSheet("Small").setValue(0, 0, std::string("x"));
    XlsWriter writer(wb);
    const Bytes stream = XlsWriter(wb).workbookStream();
    ASSERT_LT(stream.size(), 4096u);
    const Bytes file = writer.fileBytes();
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}));
    const Bytes back = workbookStreamOf(file);
    ASSERT_EQ(back.size(), 4096u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), back.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + static_cast<std::ptrdiff_t>(stream.size()), back.end(),
                            [](std::uint8_t b) { return b == 0; }));
}

// ---- round trips through our reader ----------------------------------------------------------

void expectSamePageSetup(const PageSetup& a, const PageSetup& b)
{
    EXPECT_EQ(std::tie(a.paperSize, a.scale, a.pageStart, a.fitWidth, a.fitHeight, a.hRes, a.vRes, a.copies),
              std::tie(b.paperSize, b.scale, b.pageStart, b.fitWidth, b.fitHeight, b.hRes, b.vRes, b.copies));
    EXPECT_EQ(std::tie(a.leftToRight, a.portrait, a.noPrinterSettings, a.noColor, a.draft, a.notes, a.noOrient,
                       a.usePageStart, a.hCenter, a.vCenter, a.fitToPage, a.printGridlines, a.printHeadings),
              std::tie(b.leftToRight, b.portrait, b.noPrinterSettings, b.noColor, b.draft, b.notes, b.noOrient,
                       b.usePageStart, b.hCenter, b.vCenter, b.fitToPage, b.printGridlines, b.printHeadings));
    EXPECT_EQ(std::tie(a.headerMargin, a.footerMargin, a.leftMargin, a.rightMargin, a.topMargin, a.bottomMargin),
              std::tie(b.headerMargin, b.footerMargin, b.leftMargin, b.rightMargin, b.topMargin, b.bottomMargin));
    EXPECT_EQ(a.header, b.header);
    EXPECT_EQ(a.footer, b.footer);
}

// What a save must carry: formatting tables, sheets, cells (values and formats; a formula may
// have become its value), rows, columns, merges, page setup and print ranges.
void expectSameModel(const Workbook& a, const Workbook& b)
{
    EXPECT_EQ(a.fonts(), b.fonts());
    EXPECT_EQ(a.numberFormats(), b.numberFormats());
    EXPECT_EQ(a.xfs(), b.xfs());
    EXPECT_EQ(a.styleRecords(), b.styleRecords());
    EXPECT_EQ(a.palette(), b.palette());
    EXPECT_EQ(a.date1904(), b.date1904());
    EXPECT_EQ(a.activeSheet(), b.activeSheet());
    ASSERT_EQ(a.sheetNames(), b.sheetNames());
    for (int i = 0; i < a.sheetCount(); ++i) {
        const Sheet& x = a.sheet(i);
        const Sheet& y = b.sheet(i);
        SCOPED_TRACE(x.name());
        EXPECT_EQ(x.kind(), y.kind());
        EXPECT_EQ(x.visibility(), y.visibility());
        if (x.kind() != SheetKind::Worksheet) {
            EXPECT_EQ(x.rawSubstream(), y.rawSubstream());
            continue;
        }
        ASSERT_EQ(x.rowCount(), y.rowCount());
        for (int r = 0; r < x.rowCount(); ++r) {
            const RowInfo* ri = x.rowInfo(r);
            const RowInfo* rj = y.rowInfo(r);
            if (ri && rj) {
                EXPECT_EQ(std::tie(ri->heightTwips, ri->customHeight, ri->hidden, ri->hasFormat, ri->outlineLevel,
                                   ri->collapsed, ri->thickTop, ri->thickBottom),
                          std::tie(rj->heightTwips, rj->customHeight, rj->hidden, rj->hasFormat, rj->outlineLevel,
                                   rj->collapsed, rj->thickTop, rj->thickBottom))
                    << "row " << r;
                if (ri->hasFormat) {
                    EXPECT_EQ(ri->xf, rj->xf) << "row " << r;
                }
            }
            for (int c = 0; c < std::max(x.rowWidth(r), y.rowWidth(r)); ++c) {
                const Cell* p = x.cell(r, c);
                const Cell* q = y.cell(r, c);
                ASSERT_EQ(p == nullptr, q == nullptr) << toA1(r, c);
                if (!p)
                    continue;
                EXPECT_EQ(p->value, q->value) << toA1(r, c);
                EXPECT_EQ(p->xf, q->xf) << toA1(r, c);
                if (p->hasFormula() && q->hasFormula()) {
                    EXPECT_EQ(x.formulas()[p->formula].parsed, y.formulas()[q->formula].parsed) << toA1(r, c);
                }
            }
        }
        ASSERT_EQ(x.columns().size(), y.columns().size());
        for (std::size_t k = 0; k < x.columns().size(); ++k) {
            const ColumnInfo& p = x.columns()[k];
            const ColumnInfo& q = y.columns()[k];
            EXPECT_EQ(std::tie(p.first, p.last, p.width, p.xf, p.hidden, p.customWidth, p.bestFit, p.outlineLevel, p.collapsed),
                      std::tie(q.first, q.last, q.width, q.xf, q.hidden, q.customWidth, q.bestFit, q.outlineLevel, q.collapsed));
        }
        EXPECT_EQ(x.defaultColumnWidth(), y.defaultColumnWidth());
        EXPECT_EQ(x.defaultRowHeight(), y.defaultRowHeight());
        EXPECT_EQ(x.defaultRowFlags(), y.defaultRowFlags());
        EXPECT_EQ(x.mergedRanges(), y.mergedRanges());
        expectSamePageSetup(x.pageSetup(), y.pageSetup());
        EXPECT_EQ(x.printArea(), y.printArea());
        EXPECT_EQ(x.printTitleRows(), y.printTitleRows());
        EXPECT_EQ(x.printTitleCols(), y.printTitleCols());
        EXPECT_EQ(x.window2Flags() & ~0x0600, y.window2Flags() & ~0x0600);
        EXPECT_EQ((y.window2Flags() & 0x0200) != 0, i == b.activeSheet());
    }
}

TEST(RoundTrip, EveryModelFieldComesBack)
{
    Workbook wb;
    Font f;
    f.name = "Mangal";
    f.heightTwips = 260;
    f.weight = 700;
    f.italic = f.strikeout = f.outline = f.shadow = true;
    f.underline = 0x22;
    f.colorIndex = 12;
    f.escapement = 1;
    f.family = 2;
    f.charset = 1;
    Xf x;
    x.font = wb.addFont(f);
    x.numFmt = wb.addNumberFormat("[$₹-4009] #,##,##0.00");
    x.locked = false;
    x.hidden = x.prefix123 = x.wrap = x.justLast = x.shrink = x.hasXfExt = x.pivotButton = true;
    x.parent = 0;
    x.hAlign = HAlign::CenterAcross;
    x.vAlign = VAlign::Distributed;
    x.rotation = 255;
    x.indent = 15;
    x.readingOrder = 2;
    x.usedAttrib = 0x2A;
    x.left = {1, 8};
    x.right = {2, 9};
    x.top = {5, 10};
    x.bottom = {13, 0x7F};
    x.diagColor = 0x41;
    x.diagStyle = 7;
    x.diagFlags = 3;
    x.fillPattern = 18;
    x.fillFg = 0x3F;
    x.fillBg = 0x40;
    const std::uint16_t xi = wb.addXf(x);
    std::array<Rgb, 56> pal{};
    for (std::size_t k = 0; k < pal.size(); ++k)
        pal[k] = Rgb{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k * 3), static_cast<std::uint8_t>(255 - k)};
    wb.palette() = pal;
    wb.setDate1904(true);

    Sheet& s = wb.addSheet("Einträge ₹");
    s.setValue(0, 0, std::string("𝄞 clef"));
    s.setValue(0, 1, 1e-300);
    s.setValue(0, 2, -123456789012.5);
    s.setValue(0, 3, ErrorValue::Null);
    s.setValue(0, 4, false);
    s.setXf(0, 4, xi);
    s.setXf(3, 200, xi);
    s.setValue(65535, 255, std::string("last cell"));
    RowInfo& ri = s.rowInfoAt(7);
    ri.heightTwips = 1000;
    ri.customHeight = ri.hidden = ri.hasFormat = ri.collapsed = ri.thickTop = ri.thickBottom = true;
    ri.outlineLevel = 3;
    ri.xf = xi;
    s.columns().push_back(ColumnInfo{2, 5, 4000, xi, true, true, true, 2, true});
    s.columns().push_back(ColumnInfo{250, 255, 100, kDefaultXf, false, false, false, 0, false});
    s.setDefaultColumnWidth(11);
    s.setDefaultRowHeight(300);
    s.setDefaultRowFlags(0x0001);
    s.merge(Range{10, 1, 12, 4});
    s.merge(Range{20, 0, 20, 255});
    PageSetup& ps = s.pageSetup();
    ps = PageSetup{5, 85, 3, 2, 0, true, false, true, true, true, true, true, true, 300, 1200, 4,
                   0.25, 0.35, 0.5, 0.55, 0.6, 0.65, true, true, true, true, true, "&CForm 16A", "&RPage &P ₹"};
    s.printArea() = {Range{0, 0, 30, 7}, Range{40, 0, 50, 7}};
    s.printTitleCols() = std::make_pair(1, 2);
    s.setWindow2Flags(0x06B6 & ~0x0002);
    Sheet& hidden = wb.addSheet("Hidden");
    hidden.setVisibility(Visibility::VeryHidden);
    hidden.printTitleRows() = std::make_pair(0, 0);
    wb.setActiveSheet(1);

    const Bytes once = wb.toBytes();
    const Workbook back = Workbook::fromBytes(once, "round trip");
    expectSameModel(wb, back);
    EXPECT_EQ(back.toBytes(), once);
}

// Every accepted corpus file: read, write, read again gives the same model, and writing that
// gives the same bytes again.
TEST(RoundTrip, CorpusFilesComeBackAsTheyWereRead)
{
    const fs::path corpus = fs::path(CERTWRIGHT_SHARED_DIR) / "xls-corpus";
    std::ifstream manifest(corpus / "MANIFEST.tsv");
    ASSERT_TRUE(manifest) << "the shared corpus is missing: " << corpus;
    std::string line;
    std::getline(manifest, line);
    int files = 0;
    while (std::getline(manifest, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() < 8 || f[7] != "accept")
            continue;
        SCOPED_TRACE(f[0]);
        ++files;
        const Workbook read = Workbook::open(corpus / f[0]);
        const Bytes once = read.toBytes();
        const Workbook again = Workbook::fromBytes(once, f[0]);
        expectSameModel(read, again);
        EXPECT_LE(again.names().size(), read.names().size());
        EXPECT_EQ(again.toBytes(), once);
    }
    EXPECT_GT(files, 20);
}

// ---- saving --------------------------------------------------------------------------------

class Save : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("cw-save-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        detail::failSaveAfterBytes = -1;
        fs::remove_all(dir);
    }
    static Bytes readAll(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir;
};

TEST_F(Save, WritesTheBytesAndReplacesAnOldFile)
{
    Workbook wb;
    wb.addSheet("A").setValue(0, 0, std::string("first"));
    const fs::path target = dir / "007.xls";
    wb.save(target);
    EXPECT_EQ(readAll(target), wb.toBytes());
    wb.sheet(0).setValue(0, 0, std::string("second"));
    wb.save(target);
    EXPECT_EQ(readAll(target), wb.toBytes());
    EXPECT_EQ(entries(), std::vector<std::string>{"007.xls"});
}

TEST_F(Save, AFailedSaveLeavesTheOldFileAsItWas)
{
    Workbook wb;
    Sheet& s = wb.addSheet("A");
    for (int r = 0; r < 2000; ++r)
        s.setValue(r, 0, std::string("line ") + std::to_string(r));
    const fs::path target = dir / "TDS16A.xls";
    const Bytes old = {'o', 'l', 'd'};
    std::ofstream(target, std::ios::binary).write("old", 3);

    for (std::int64_t after : {0, 1000, 30000}) {
        detail::failSaveAfterBytes = after;
        try {
            wb.save(target);
            FAIL() << "the save did not fail";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Error::Code::Io);
            EXPECT_EQ(e.file(), target.string());
            EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("TDS16A.xls"), std::string::npos) << e.what();
        }
        EXPECT_EQ(readAll(target), old);
        EXPECT_EQ(entries(), std::vector<std::string>{"TDS16A.xls"}) << "after " << after << " bytes";
    }

    // Nothing by the target's name appears when there was no old file either.
    const fs::path fresh = dir / "001.xls";
    detail::failSaveAfterBytes = 100;
    EXPECT_THROW(wb.save(fresh), Error);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(entries(), std::vector<std::string>{"TDS16A.xls"});
}

TEST_F(Save, AMissingFolderIsReportedWithTheFileName)
{
    Workbook wb;
    wb.addSheet("A");
    const fs::path target = dir / "no such folder" / "001.xls";
    try {
        wb.save(target);
        FAIL() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Io);
        EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
    try {
        wb.save(dir);
        FAIL() << "saved over a folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Io);
    }
}

} // namespace
