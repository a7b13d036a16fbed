// The .xls writer at the byte level, for what the corpus round trip cannot show: strings across
// record boundaries, the offsets the stream points with, the records chosen for values, names
// and formulas after sheets are copied and moved, record placement, limits, and the save.

#include "XlsTestSupport.h"

#include "TestSupport.h"
#include "host/Error.h"
#include "host/SaveHooks.h"
#include "host/Workbook.h"
#include "host/biff/RecordReader.h"
#include "host/biff/RecordWriter.h"
#include "host/biff/XlsWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace cw::host;
using namespace xlstest;
namespace fs = std::filesystem;

namespace {

std::vector<Rec> recordsOf(const Workbook& wb) { return records(XlsWriter(wb).workbookStream()); }

// The type of the cell record at (row, col): FORMULA, LABELSST, NUMBER, RK, BLANK or BOOLERR.
std::uint16_t cellType(const std::vector<Rec>& sheet, int row, int col)
{
    for (const Rec& r : sheet)
        for (std::uint16_t t : {0x0006, 0x00FD, 0x0203, 0x027E, 0x0201, 0x0205})
            if (r.type == t && u16(r.data, 0) == row && u16(r.data, 2) == col)
                return t;
    return 0;
}

std::vector<std::uint16_t> typesOf(const std::vector<Rec>& recs)
{
    std::vector<std::uint16_t> t;
    for (const Rec& r : recs)
        t.push_back(r.type);
    return t;
}

std::ptrdiff_t indexOf(const std::vector<std::uint16_t>& types, std::uint16_t type)
{
    return std::find(types.begin(), types.end(), type) - types.begin();
}

// Strings of every kind across record boundaries: ASCII, Latin-1, Devanagari, surrogate pairs,
// an empty string, and one text over three records. Read back with the record cursor (whose
// CONTINUE handling the corpus proves), each string must come back, each record hold at most
// 8,224 bytes, and EXTSST point at every dsst-th string's count, in the stream and its record.
TEST(SharedStrings, ContinuationRulesAndExtSstOffsetsHold)
{
    std::mt19937 rng(7);
    std::vector<std::string> texts;
    const char* pieces[] = {"Form 16A", "é", "₹", "\xF0\x9F\x8D\xA3", "कर", " ", "0123456789"};
    for (int i = 0; i < 3000; ++i) {
        std::string s;
        for (int k = static_cast<int>(rng() % 40); k > 0; --k)
            s += pieces[rng() % 7];
        texts.push_back(i == 1500 ? std::string() : s);
    }
    std::string huge;
    for (int i = 0; i < 6000; ++i)
        huge += (i % 3 == 0) ? "\xF0\x9F\x8D\xA3" : "x";
    texts.insert(texts.begin() + 700, huge);
    const std::vector<std::string_view> views(texts.begin(), texts.end());

    for (std::size_t lead : {0u, 1u, 4097u}) {
        Bytes out(lead, 0x55);
        biff::RecordWriter w(out);
        w.sharedStrings(views, 12345);
        for (const Rec& rec : records(Bytes(out.begin() + static_cast<std::ptrdiff_t>(lead), out.end())))
            EXPECT_LE(rec.data.size(), 8224u);
        biff::RecordReader r(out.data(), out.size(), "sst");
        r.seek(lead);
        ASSERT_TRUE(r.next());
        const std::uint32_t total = r.u32();
        EXPECT_EQ(std::make_pair(total, r.u32()), std::make_pair(12345u, std::uint32_t(texts.size())));
        std::vector<std::pair<std::size_t, std::size_t>> starts; // in the stream, in its record
        for (const std::string& text : texts) {
            if (r.remaining() == 0)
                ASSERT_TRUE(r.continueRecord());
            starts.emplace_back(r.offset() + 4 + r.position(), 4 + r.position());
            std::string back;
            r.richExtendedString(back);
            ASSERT_EQ(back, text) << "string " << starts.size() - 1 << ", lead " << lead;
        }
        ASSERT_TRUE(r.next());
        ASSERT_EQ(r.type(), 0x00FF);
        const std::size_t dsst = r.u16(), buckets = r.remaining() / 8;
        EXPECT_TRUE(dsst >= 8 && buckets <= 128 && buckets == (texts.size() + dsst - 1) / dsst) << dsst << " " << buckets;
        for (std::size_t b = 0; b < buckets; ++b) {
            const std::size_t at = r.u32(), inRecord = r.u16();
            r.u16();
            EXPECT_EQ(std::make_pair(at, inRecord), starts[b * dsst]) << "bucket " << b;
        }
    }
}

// BOUNDSHEET offsets, the INDEX and each DBCELL: back to its first ROW and on to each row's
// first cell; only the active sheet is selected.
TEST(XlsWriter, OffsetsInTheStreamPointWhereTheyShould)
{
    Workbook wb;
    Sheet& a = wb.addSheet("Alpha");
    wb.addSheet("Beta").setValue(2, 3, std::string("only")); // in front of Alpha, active
    for (int r = 0; r < 100; r += 3)
        for (int c = 0; c < 5; ++c)
            a.setValue(r, c, r * 10.0 + c);
    a.setRowHeight(40, 30); // a row with properties and no cells
    wb.setActiveSheet(0);

    const auto all = recordsOf(wb);
    for (int i = 0; i < 2; ++i) {
        const auto sheet = sheetOf(all, i);
        EXPECT_EQ(std::make_tuple(sheet.front().type, sheet.back().type), std::make_tuple(0x0809, 0x000A));
        EXPECT_EQ((u16(ofType(sheet, 0x023E).at(0)->data, 0) & 0x0200) != 0, i == 0);
    }
    const auto alpha = sheetOf(all, 1);
    auto at = [&](std::size_t pos) -> const Rec* {
        const auto it = std::find_if(alpha.begin(), alpha.end(), [&](const Rec& r) { return r.pos == pos; });
        return it == alpha.end() ? nullptr : &*it;
    };
    const Rec& index = *ofType(alpha, 0x020B).at(0);
    EXPECT_EQ(std::make_pair(u32(index.data, 4), u32(index.data, 8)), std::make_pair(0u, 100u));
    ASSERT_NE(at(u32(index.data, 12)), nullptr);
    EXPECT_EQ(at(u32(index.data, 12))->type, 0x0055);
    ASSERT_EQ((index.data.size() - 16) / 4, 4u); // rows 0..99 in blocks of 32
    std::size_t rowsSeen = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const Rec* db = at(u32(index.data, 16 + 4 * k));
        ASSERT_TRUE(db && db->type == 0x00D7);
        const Rec* firstRow = at(db->pos - u32(db->data, 0));
        ASSERT_TRUE(firstRow && firstRow->type == 0x0208);
        std::size_t pos = firstRow->pos + 20;
        for (std::size_t j = 0; j + 4 < db->data.size(); j += 2, ++rowsSeen) {
            const Rec* row = at(firstRow->pos + 20 * (j / 2));
            ASSERT_TRUE(row && row->type == 0x0208);
            EXPECT_EQ(u16(row->data, 0) / 32, k); // a block holds the rows of one run of 32
            pos += u16(db->data, 4 + j);
            if (u16(row->data, 4) == 0)
                continue; // a row without cells
            ASSERT_NE(at(pos), nullptr);
            EXPECT_EQ(std::make_tuple(u16(at(pos)->data, 0), u16(at(pos)->data, 2)),
                      std::make_tuple(u16(row->data, 0), u16(row->data, 2)));
        }
    }
    EXPECT_EQ(rowsSeen, 35u); // 34 rows with cells and row 40
}

// Values the corpus cannot hold: a number that needs all its bits, -0, infinity (no cell holds
// it: #NUM!), and a format past the table (the default one).
TEST(XlsWriter, CellsKeepTheirExactValueOrAreMadeSafe)
{
    Workbook wb;
    Sheet& s = wb.addSheet("Cells");
    const Value values[] = {0.15, 3.141592653589793, -0.0, 1e300, std::numeric_limits<double>::infinity(), true};
    for (int c = 0; c < 6; ++c)
        s.setValue(0, c, values[c]);
    s.setXf(1, 0, 9999);
    const Workbook back = Workbook::fromBytes(wb.toBytes(), "cells");
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(back.sheet(0).value(0, c), c == 4 ? Value(ErrorValue::Num) : values[c]) << c;
    EXPECT_TRUE(std::signbit(std::get<double>(back.sheet(0).value(0, 2))));
    EXPECT_EQ(back.sheet(0).cell(1, 0), nullptr); // a blank in the default format is no cell
}

// Print_Area / Print_Titles: (itab, code) -> areas as (sheet through EXTERNSHEET, range).
struct PrintName {
    int itab = 0, code = 0;
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
        PrintName p{u16(r->data, 8), r->data[15], {}};
        for (std::size_t i = 16, end = 16 + u16(r->data, 4); i < end;) {
            const std::uint8_t t = r->data[i];
            if (t == 0x29 || t == 0x10) {
                i += t == 0x29 ? 3 : 1;
                continue;
            }
            if (t != 0x3B) {
                ADD_FAILURE() << "unexpected token " << int(t);
                break;
            }
            const auto& [sup, first, last] = xtis.at(u16(r->data, i + 1));
            EXPECT_EQ(std::make_tuple(sup, first), std::make_tuple(0, last));
            p.areas.emplace_back(first, Range{u16(r->data, i + 3), u16(r->data, i + 7), u16(r->data, i + 5), u16(r->data, i + 9)});
            i += 11;
        }
        out.push_back(p);
    }
    return out;
}

TEST(XlsWriter, PrintRangesAreSheetNamesThroughALinkTableRebuiltOnCopyAndMove)
{
    Workbook wb;
    Sheet& one = wb.addSheet("One");
    wb.setActiveSheet(0);
    Sheet& two = wb.addSheet("Two"); // Two, One
    one.printArea() = {Range{0, 0, 40, 13}};
    one.printTitleRows() = std::make_pair(0, 2);
    one.printTitleCols() = std::make_pair(0, 0);
    two.printArea() = {Range{0, 0, 9, 3}, Range{20, 0, 29, 3}};

    auto check = [](const Workbook& w, const std::string& when) {
        SCOPED_TRACE(when);
        const auto globals = globalsOf(recordsOf(w));
        const auto sup = ofType(globals, 0x01AE);
        ASSERT_EQ(sup.size(), 1u);
        EXPECT_EQ(sup[0]->data, (Bytes{Bytes::value_type(w.sheetCount()), 0, 0x01, 0x04}));
        const auto names = printNames(globals);
        std::size_t expected = 0;
        for (int i = 0; i < w.sheetCount(); ++i) {
            const Sheet& s = w.sheet(i);
            expected += !s.printArea().empty() + bool(s.printTitleRows() || s.printTitleCols());
            for (const PrintName& p : names) {
                if (p.itab != i + 1)
                    continue;
                std::vector<Range> got;
                for (const auto& [sheet, range] : p.areas) {
                    EXPECT_EQ(sheet, i);
                    got.push_back(range);
                }
                EXPECT_EQ(got, (p.code == 6 ? s.printArea() : std::vector<Range>{{0, 0, 65535, 0}, {0, 0, 2, 255}}));
            }
        }
        EXPECT_EQ(names.size(), expected);
    };
    check(wb, "as built");
    wb.copySheet(1, 0); // One (2), Two, One
    wb.copySheet(1, 2, true);
    check(wb, "after copies");
    Workbook moved = wb.moveSheetsToNewWorkbook({0, 3});
    check(wb, "left behind");
    check(moved, "moved");
}

Formula formula(Bytes rgce, std::vector<RawRecord> follow = {})
{
    Formula f;
    rgce.insert(rgce.begin(), {static_cast<std::uint8_t>(rgce.size()), 0});
    f.parsed = std::move(rgce);
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

// A formula is written as read while what it points through holds, else as its cached value.
TEST(XlsWriter, FormulasStayWhileTheirReferencesHold)
{
    Workbook wb;
    wb.addSheet("Data");
    Sheet& s = wb.addSheet("Calc");
    wb.rawGlobals() = {RawRecord{0x01AE, {0x02, 0x00, 0x01, 0x04}},
                       RawRecord{0x0017, {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}}};
    setFormula(s, 0, 0, formula({0x3A, 0, 0, 0, 0, 0, 0}), 5.0);                          // Data!A1
    setFormula(s, 1, 0, formula({0x17, 0x02, 0x00, 'h', 'i'}), std::string("hi"));       // ="hi"
    const RawRecord shr{0x04BC, {0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x1E, 0x07, 0x00}};
    setFormula(s, 2, 0, formula({0x01, 0x02, 0x00, 0x00, 0x00}, {shr}), 7.0);             // shared over A3:A4
    setFormula(s, 3, 0, formula({0x01, 0x02, 0x00, 0x00, 0x00}), 7.0);
    setFormula(s, 4, 0, formula({0x01, 0x09, 0x00, 0x00, 0x00}), 8.0);                    // its anchor is gone
    wb.setStructureChanged(false);

    auto typesIn = [](const std::vector<Rec>& sheet) {
        std::vector<std::uint16_t> t;
        for (int r = 0; r < 5; ++r)
            t.push_back(cellType(sheet, r, 0));
        return t;
    };
    const auto all = recordsOf(wb);
    const auto calc = sheetOf(all, 0);
    EXPECT_EQ(typesIn(calc), (std::vector<std::uint16_t>{0x0006, 0x0006, 0x0006, 0x0006, 0x027E}));
    const auto types = typesOf(calc);
    EXPECT_EQ(types[indexOf(types, 0x0006) + 2], 0x0207); // FORMULA "hi", then STRING
    EXPECT_EQ(calc[indexOf(types, 0x0207)].data, (Bytes{0x02, 0x00, 0x00, 'h', 'i'}));
    EXPECT_EQ(types[indexOf(types, 0x04BC) - 1], 0x0006);
    EXPECT_EQ(ofType(globalsOf(all), 0x0017).at(0)->data, wb.rawGlobals()[1].data);

    wb.copySheet(1, 1, true); // the sheets change, their number does not: the link table is
    wb.deleteSheet(1);        // rebuilt and the 3-D formula becomes its value
    const auto changed = sheetOf(recordsOf(wb), 0);
    EXPECT_EQ(typesIn(changed), (std::vector<std::uint16_t>{0x027E, 0x0006, 0x0006, 0x0006, 0x027E}));

    // A name used by a formula: its index holds only while the name table is as read.
    Workbook named;
    Sheet& n = named.addSheet("N");
    named.names().push_back(DefinedName{"Rate", false, 0, 0, {0x1E, 0x05, 0x00}, {}, 0});
    setFormula(n, 0, 0, formula({0x23, 0x01, 0x00, 0x00, 0x00}), 5.0);
    EXPECT_EQ(cellType(sheetOf(recordsOf(named), 0), 0, 0), 0x0006);
    n.printArea() = {Range{0, 0, 5, 5}};
    EXPECT_EQ(cellType(sheetOf(recordsOf(named), 0), 0, 0), 0x027E);
}

TEST(XlsWriter, RawRecordsKeepTheirPlaceAndRebuiltOnesAreNotRepeated)
{
    Workbook wb;
    Sheet& s = wb.addSheet("S");
    s.setValue(0, 0, 1.0);
    s.mergedRanges() = {Range{1, 1, 2, 2}, Range{2, 2, 3, 3}}; // the second overlaps: not written
    wb.rawGlobals() = {
        RawRecord{0x003D, Bytes(18, 0x11)}, // WINDOW1 as read: ours replaces it
        RawRecord{0x0863, {0x01, 0x02}},    // BOOKEXT: after the shared strings
        RawRecord{0x0FFF, {0x09}},          // unknown: stays after BOOKEXT
        RawRecord{0x0018, {0x00}},          // NAME as read: names come from the model ...
        RawRecord{0x003C, {0x43}},          // ... and its CONTINUE goes with it
    };
    s.rawAfterCells() = {RawRecord{0x023E, Bytes(18, 0)}, RawRecord{0x001D, {0x03}}, RawRecord{0x00E5, {0x00, 0x00}},
                         RawRecord{0x01B8, {0x77}}};
    s.rawBeforeCells() = {RawRecord{0x001B, {0x00, 0x00}}, RawRecord{0x0081, {0xC1, 0x04}}};
    s.pageSetup().fitToPage = true;

    const auto all = recordsOf(wb);
    const auto g = typesOf(globalsOf(all));
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x003D) + std::count(g.begin(), g.end(), 0x0018), 1);
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x003C), 0);
    EXPECT_EQ(ofType(globalsOf(all), 0x003D).at(0)->data[8] & 0x01, 0); // a hidden window shows again
    EXPECT_EQ(std::make_tuple(g[indexOf(g, 0x00FF) + 1], g[indexOf(g, 0x0863) + 1]), std::make_tuple(0x0863, 0x0FFF));
    const auto sheet = sheetOf(all, 0);
    const auto t = typesOf(sheet);
    for (std::uint16_t once : {0x023E, 0x00E5, 0x0081})
        EXPECT_EQ(std::count(t.begin(), t.end(), once), 1) << once;
    const std::uint16_t order[] = {0x0081, 0x001B, 0x0014, 0x023E, 0x001D, 0x00E5, 0x01B8};
    for (std::size_t k = 0; k + 1 < std::size(order); ++k)
        EXPECT_LT(indexOf(t, order[k]), indexOf(t, order[k + 1])) << order[k];
    EXPECT_EQ(u16(ofType(sheet, 0x0081)[0]->data, 0), 0x05C1); // fit to page set on the read bits
    EXPECT_EQ(ofType(sheet, 0x00E5)[0]->data, (Bytes{1, 0, 1, 0, 2, 0, 1, 0, 2, 0}));

    Workbook many; // at most 1,026 merged ranges to a record
    Sheet& m = many.addSheet("M");
    for (int r = 0; r < 2100; ++r)
        m.merge(Range{r, 0, r, 1});
    const auto manySheet = sheetOf(recordsOf(many), 0);
    const auto merges = ofType(manySheet, 0x00E5);
    ASSERT_EQ(merges.size(), 3u);
    EXPECT_EQ(std::make_tuple(u16(merges[0]->data, 0), u16(merges[1]->data, 0), merges[2]->data.size()),
              std::make_tuple(1026, 1026, std::size_t(2 + 48 * 8)));
    EXPECT_EQ(u16(merges[2]->data, 2 + 47 * 8), 2099);
}

// A chart sheet is written as read: its series still use the file's EXTERNSHEET indices. After
// a structure change those indices must stay in range, as sheets that cannot be found.
TEST(XlsWriter, ChartSeriesKeepTheirLinkIndicesInRange)
{
    Workbook wb = Workbook::open(cw::test::corpusDir() / "chartsheet.xls");
    std::size_t before = 0;
    for (const RawRecord& r : wb.rawGlobals())
        if (r.type == 0x0017)
            before = u16(r.data, 0);
    ASSERT_GT(before, 0u);
    wb.copySheet(wb.indexOf("Data"), wb.sheetCount() - 1, true);
    wb.sheet(0).printArea() = {Range{0, 0, 5, 5}};
    const auto globals = globalsOf(recordsOf(wb));
    EXPECT_EQ(ofType(globals, 0x01AE).at(0)->data, (Bytes{3, 0, 0x01, 0x04}));
    const Bytes& es = ofType(globals, 0x0017).at(0)->data;
    ASSERT_EQ(u16(es, 0), before + 1);
    for (std::size_t k = 0; k < before; ++k)
        EXPECT_EQ(Bytes(es.begin() + 2 + 6 * k, es.begin() + 8 + 6 * k), (Bytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(printNames(globals).at(0).areas.at(0).first, 0);
}

TEST(XlsWriter, RefusesWhatTheFormatCannotHold)
{
    std::string clefs; // 16 characters, 32 UTF-16 units
    for (int i = 0; i < 16; ++i)
        clefs += "\xF0\x9D\x84\x9E";
    const std::pair<std::function<void(Workbook&)>, std::string> cases[] = {
        {[](Workbook&) {}, "without sheets"},
        {[](Workbook& w) { w.addSheet("Statement").setValue(kXlsMaxRows, 0, 1.0); }, "\"Statement\" has 65537 rows"},
        {[&](Workbook& w) { w.addSheet(clefs); }, clefs},
        {[](Workbook& w) { w.addSheet("Notes").setValue(3, 1, std::string(32768, 'x')); }, "cell B4 of sheet \"Notes\""},
    };
    for (const auto& [make, named] : cases) {
        Workbook wb;
        make(wb);
        try {
            XlsWriter(wb).workbookStream();
            ADD_FAILURE() << "written: " << named;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
    }
    Workbook tall;
    tall.addSheet("Statement").setValue(kXlsMaxRows - 1, 0, 1.0);
    EXPECT_NO_THROW(XlsWriter(tall).workbookStream());
}

// A stream under 4,096 bytes is padded so that it lives in regular sectors, never the mini stream.
TEST(XlsWriter, TheContainerHoldsTheStreamInRegularSectors)
{
    Workbook wb;
    wb.addSheet("Small").setValue(0, 0, std::string("x"));
    const Bytes stream = XlsWriter(wb).workbookStream();
    const Bytes back = workbookStreamOf(XlsWriter(wb).fileBytes());
    ASSERT_LT(stream.size(), 4096u);
    ASSERT_EQ(back.size(), 4096u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), back.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + static_cast<std::ptrdiff_t>(stream.size()), back.end(), [](auto b) { return b == 0; }));
}

// Every field of the model in one workbook: written, read back, the same.
TEST(RoundTrip, EveryModelFieldComesBack)
{
    Workbook wb;
    const Font font{.name = "Mangal", .heightTwips = 260, .weight = 700, .italic = true, .strikeout = true, .outline = true,
                    .shadow = true, .underline = 0x22, .colorIndex = 12, .escapement = 1, .family = 2, .charset = 1};
    const std::uint16_t xi = wb.addXf(Xf{
        .font = wb.addFont(font), .numFmt = wb.addNumberFormat("[$₹-4009] #,##,##0.00"), .locked = false, .hidden = true,
        .prefix123 = true, .hAlign = HAlign::CenterAcross, .wrap = true, .vAlign = VAlign::Distributed, .justLast = true,
        .rotation = 255, .indent = 15, .shrink = true, .readingOrder = 2, .usedAttrib = 0x2A, .left = {1, 8},
        .right = {2, 9}, .top = {5, 10}, .bottom = {13, 0x7F}, .diagColor = 0x41, .diagStyle = 7, .diagFlags = 3,
        .hasXfExt = true, .fillPattern = 18, .fillFg = 0x3F, .fillBg = 0x40, .pivotButton = true});
    std::array<Rgb, 56> palette{};
    for (std::size_t k = 0; k < palette.size(); ++k)
        palette[k] = Rgb{std::uint8_t(k), std::uint8_t(k * 3), std::uint8_t(255 - k)};
    wb.palette() = palette;
    wb.setDate1904(true);

    Sheet& s = wb.addSheet("Einträge ₹");
    s.setValue(0, 0, std::string("𝄞 clef"));
    s.setValue(0, 1, 1e-300);
    s.setValue(0, 2, ErrorValue::Null);
    s.setValue(0, 3, false);
    s.setXf(0, 3, xi);
    s.setXf(3, 200, xi);
    s.setValue(65535, 255, std::string("last cell"));
    s.rowInfoAt(7) = RowInfo{1000, true, true, true, xi, 3, true, true, true, true};
    s.columns() = {ColumnInfo{2, 5, 4000, xi, true, true, true, 2, true}, ColumnInfo{250, 255, 100, kDefaultXf, false, false, false, 0, false}};
    s.setDefaultColumnWidth(11);
    s.setDefaultRowHeight(300);
    s.setDefaultRowFlags(0x0001);
    s.merge(Range{10, 1, 12, 4});
    s.pageSetup() = PageSetup{5,    85,   3,    2,   0,   true, false, true, true, true, true, true, true, 300, 1200, 4,
                              0.25, 0.35, 0.5, 0.55, 0.6, 0.65, true,  true, true, true, true, "&CForm 16A", "&RPage &P ₹"};
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

// A save goes through a temporary file and a rename: a failure at any point leaves the old file
// as it was, and no file under the name of a new one.
TEST(Save, ReplacesTheFileOrLeavesTheOldOneAsItWas)
{
    cw::test::TempFolder dir("save");
    auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        return names;
    };
    Workbook wb;
    Sheet& s = wb.addSheet("A");
    for (int r = 0; r < 2000; ++r)
        s.setValue(r, 0, std::string("line ") + std::to_string(r));
    const fs::path target = dir / "TDS16A.xls";
    cw::test::writeBytes(target, "old");
    for (std::int64_t after : {0, 1000, 30000}) {
        detail::failSaveAfterBytes = after;
        try {
            wb.save(target);
            ADD_FAILURE() << "the save did not fail";
        } catch (const Error& e) {
            EXPECT_EQ(std::make_tuple(e.code(), e.file()), std::make_tuple(Error::Code::Io, target.string()));
            EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
        }
        EXPECT_THROW(wb.save(dir / "001.xls"), Error);
        EXPECT_EQ(cw::test::readBytes(target), "old");
        EXPECT_EQ(entries(), std::vector<std::string>{"TDS16A.xls"}) << "after " << after << " bytes";
    }
    detail::failSaveAfterBytes = -1;
    wb.save(target);
    const Bytes bytes = wb.toBytes();
    EXPECT_EQ(cw::test::readBytes(target), std::string(bytes.begin(), bytes.end()));
    for (const fs::path& bad : {dir / "no such folder" / "001.xls", dir.path()}) {
        try {
            wb.save(bad);
            ADD_FAILURE() << "saved to " << bad;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(bad.string()), std::string::npos) << e.what();
        }
    }
}

} // namespace
