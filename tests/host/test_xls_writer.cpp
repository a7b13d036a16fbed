// The .xls writer at the byte level, for what the corpus round trip cannot show: strings across
// record boundaries, the offsets the stream points with, the records chosen for values, names
// and formulas after sheets are copied and moved, record placement, limits, and the save.

#include "XlsTestSupport.h"

#include "TestSupport.h"
#include "host/Error.h"
#include "host/Workbook.h"
#include "host/biff/RecordReader.h"
#include "host/biff/RecordWriter.h"
#include "host/biff/XlsWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

using namespace cw::host;
using namespace xlstest;
namespace fs = std::filesystem;

namespace {

std::vector<Rec> recordsOf(const Workbook& wb) { return records(XlsWriter(wb).workbookStream()); }

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
    // Pairs cut at a record's end fall at every place in the pattern in one of these.
    for (const char* lead : {"", "y", "yy", "yyy"})
        texts.insert(texts.begin() + 700, lead + huge);
    const std::vector<std::string_view> views(texts.begin(), texts.end());

    for (std::size_t lead : {0u, 1u, 4097u}) {
        Bytes out(lead, 0x55);
        biff::RecordWriter w(out);
        w.sharedStrings(views, 12345);
        const std::vector<Rec> recs = records(Bytes(out.begin() + static_cast<std::ptrdiff_t>(lead), out.end()));
        for (const Rec& rec : recs) {
            EXPECT_LE(rec.data.size(), 8224u);
            // No record ends inside a surrogate pair: readers that take each record's text on
            // its own would show half a character.
            if (rec.type == 0x003C || rec.type == 0x00FC) {
                const std::uint16_t last = u16(rec.data, rec.data.size() - 2);
                EXPECT_FALSE(last >= 0xD800 && last < 0xDC00) << "a record ends on a high surrogate, lead " << lead;
            }
        }
        biff::RecordReader r(out.data(), out.size(), "sst");
        r.seek(lead);
        ASSERT_TRUE(r.next());
        const std::uint32_t total = r.u32();
        EXPECT_EQ(std::make_pair(total, r.u32()), std::make_pair(12345u, std::uint32_t(texts.size())));
        std::vector<std::pair<std::size_t, std::size_t>> starts; // in the stream, in its record
        for (const std::string& text : texts) {
            ASSERT_TRUE(r.remaining() > 0 || r.continueRecord());
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

// INDEX points at DEFCOLWIDTH and at each DBCELL; a DBCELL points back at its block's first ROW
// and on to each row's first cell; a block holds the rows of one run of 32. Only the active
// sheet is selected.
TEST(XlsWriter, OffsetsInTheStreamPointWhereTheyShould)
{
    Workbook wb;
    Sheet& a = wb.addSheet("Alpha");
    wb.addSheet("Beta"); // in front of Alpha, active
    for (int r = 0; r < 100; r += 3)
        for (int c = 0; c < 5; ++c)
            a.setValue(r, c, r * 10.0 + c);
    a.setRowHeight(40, 30); // a row with properties and no cells
    wb.setActiveSheet(0);
    const auto all = recordsOf(wb);
    const auto alpha = sheetOf(all, 1);
    EXPECT_EQ(std::make_pair(u16(ofType(sheetOf(all, 0), 0x023E).at(0)->data, 0) & 0x0200, u16(ofType(alpha, 0x023E).at(0)->data, 0) & 0x0200), std::make_pair(0x0200, 0));
    std::map<std::size_t, const Rec*> at;
    for (const Rec& r : alpha)
        at[r.pos] = &r;
    const Rec& index = *ofType(alpha, 0x020B).at(0);
    EXPECT_EQ(at[u32(index.data, 12)]->type, 0x0055);
    ASSERT_EQ((index.data.size() - 16) / 4, 4u); // rows 0..99 in blocks of 32
    std::size_t rowsSeen = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const Rec* db = at[u32(index.data, 16 + 4 * k)];
        ASSERT_TRUE(db && db->type == 0x00D7);
        const std::size_t firstRow = db->pos - u32(db->data, 0);
        std::size_t cell = firstRow + 20;
        for (std::size_t j = 0; j + 4 < db->data.size(); j += 2, ++rowsSeen) {
            const Rec* row = at[firstRow + 20 * (j / 2)];
            ASSERT_TRUE(row && row->type == 0x0208);
            EXPECT_EQ(u16(row->data, 0) / 32, k);
            cell += u16(db->data, 4 + j);
            EXPECT_TRUE(u16(row->data, 4) == 0 || (at[cell] && u16(at[cell]->data, 0) == u16(row->data, 0) &&
                                                   u16(at[cell]->data, 2) == u16(row->data, 2))); // its first cell
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
    // Formatted blanks side by side, to the row's last cell, are one MULBLANK.
    Xf shaded;
    shaded.numFmt = 2;
    const auto blankXf = wb.addXf(shaded);
    for (int c = 1; c <= 3; ++c)
        s.setXf(2, c, blankXf);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> blanks; // MULBLANK's columns, or a BLANK's
    for (const Rec& r : recordsOf(wb))
        if ((r.type == 0x00BE || r.type == 0x0201) && u16(r.data, 0) == 2)
            blanks.emplace_back(u16(r.data, 2), r.type == 0x0201 ? u16(r.data, 2) : u16(r.data, r.data.size() - 2));
    EXPECT_EQ(blanks, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{1, 3}}));
    const Workbook back = Workbook::fromBytes(wb.toBytes(), "cells");
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(back.sheet(0).value(0, c), c == 4 ? Value(ErrorValue::Num) : values[c]) << c;
    EXPECT_TRUE(std::signbit(std::get<double>(back.sheet(0).value(0, 2))));
    EXPECT_FALSE(back.sheet(0).hasCell(1, 0)); // a blank in the default format is no cell
}

// A sheet's print area and titles are names of that sheet through the workbook's own SUPBOOK; a
// copy or a move rebuilds the link table, and our reader (whose decoding the corpus proves) finds
// every range back on its sheet, and no other name.
TEST(XlsWriter, PrintRangesAreSheetNamesThroughALinkTableRebuiltOnCopyAndMove)
{
    Workbook wb;
    Sheet& one = wb.addSheet("One");
    wb.setActiveSheet(0);
    Sheet& two = wb.addSheet("Two"); // Two, One
    one.printArea() = {Range{0, 0, 40, 13}};
    one.printTitleRows() = std::make_pair(0, 2);
    one.printTitleCols() = std::make_pair(0, 0);
    two.printArea() = {Range{0, 0, 9, 3}, Range{20, 255, 29, 255}}; // column IV, the last a file holds
    auto check = [](const Workbook& w, const std::string& when) {
        SCOPED_TRACE(when);
        const auto globals = globalsOf(recordsOf(w));
        ASSERT_EQ(ofType(globals, 0x01AE).size(), 1u);
        EXPECT_EQ(ofType(globals, 0x01AE)[0]->data, (Bytes{Bytes::value_type(w.sheetCount()), 0, 0x01, 0x04}));
        const Workbook back = Workbook::fromBytes(w.toBytes(), when);
        EXPECT_TRUE(back.names().empty());
        for (int i = 0; i < w.sheetCount(); ++i) {
            const Sheet &x = w.sheet(i), &y = back.sheet(i);
            EXPECT_EQ(std::tie(x.printArea(), x.printTitleRows(), x.printTitleCols()),
                      std::tie(y.printArea(), y.printTitleRows(), y.printTitleCols())) << x.name();
        }
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
    Cell c = s.cell(row, col).value_or(Cell{});
    c.value = std::move(cached);
    c.formula = static_cast<std::uint32_t>(s.formulas().size() - 1);
    s.setCell(row, col, c);
}

// Which cells of the first sheet come back as formulas (else as their values).
std::vector<bool> formulasIn(const Workbook& wb, int rows)
{
    const Workbook back = Workbook::fromBytes(wb.toBytes(), "formulas");
    std::vector<bool> out;
    for (int r = 0; r < rows; ++r)
        out.push_back(back.sheet(0).cell(r, 0)->hasFormula());
    return out;
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
    const RawRecord shr{0x04BC, {0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x1E, 0x07, 0x00}};
    setFormula(s, 1, 0, formula({0x01, 0x01, 0x00, 0x00, 0x00}, {shr}), 7.0);             // shared over A2:A3
    setFormula(s, 2, 0, formula({0x01, 0x01, 0x00, 0x00, 0x00}), 7.0);
    setFormula(s, 3, 0, formula({0x01, 0x09, 0x00, 0x00, 0x00}), 8.0);                    // its anchor is gone
    wb.setStructureChanged(false);
    EXPECT_EQ(formulasIn(wb, 4), (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(ofType(globalsOf(recordsOf(wb)), 0x0017).at(0)->data, wb.rawGlobals()[1].data);

    wb.copySheet(1, 1, true); // the sheets change, their number does not: the link table is
    wb.deleteSheet(1);        // rebuilt and the 3-D formula becomes its value
    EXPECT_EQ(formulasIn(wb, 4), (std::vector<bool>{false, true, true, false}));

    // A name used by a formula: its index holds only while the name table is as read.
    Workbook named;
    Sheet& n = named.addSheet("N");
    named.names().push_back(DefinedName{"Rate", false, 0, 0, {0x1E, 0x05, 0x00}, {}, 0});
    setFormula(n, 0, 0, formula({0x23, 0x01, 0x00, 0x00, 0x00}), 5.0);
    EXPECT_EQ(formulasIn(named, 1), std::vector<bool>{true});
    n.printArea() = {Range{0, 0, 5, 5}};
    EXPECT_EQ(formulasIn(named, 1), std::vector<bool>{false});
}

TEST(XlsWriter, RawRecordsKeepTheirPlaceAndRebuiltOnesAreNotRepeated)
{
    Workbook wb;
    Sheet& s = wb.addSheet("S");
    s.setValue(0, 0, 1.0);
    s.mergedRanges() = {Range{1, 1, 2, 2}, Range{2, 2, 3, 3}, Range{6, 1, 5, 2}}; // overlapping, upside down: not written
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
        const auto e = errorOf([&] { XlsWriter(wb).workbookStream(); });
        EXPECT_TRUE(e && std::string(e->what()).find(named) != std::string::npos) << (e ? e->what() : "written: " + named);
    }
}

// The fields of the model the corpus lacks, in one workbook: written, read back, the same.
TEST(RoundTrip, FieldsTheCorpusLacksComeBack)
{
    Workbook wb;
    const std::uint16_t xi = wb.addXf(Xf{.font = wb.addFont(Font{.name = "Mangal"}), .numFmt = wb.addNumberFormat("[$₹-4009] #,##,##0.00"),
                                         .hidden = true, .justLast = true, .rotation = 255, .indent = 15, .shrink = true,
                                         .left = {13, 8}, .right = {}, .top = {}, .bottom = {}, .diagColor = 0x41, .diagStyle = 7, .diagFlags = 3, .pivotButton = true});
    Sheet& s = wb.addSheet("Einträge ₹");
    s.setValue(0, 0, std::string("𝄞 clef"));
    s.setValue(0, 1, ErrorValue::Null);
    s.setXf(3, 200, xi);
    s.setValue(65535, 255, std::string("last cell"));
    s.rowInfoAt(7) = RowInfo{1000, true, true, true, xi, 3, true, true, true, true};
    s.columns() = {ColumnInfo{2, 5, 4000, xi, true, true, true, 2, true}};
    s.pageSetup().draft = s.pageSetup().noColor = s.pageSetup().printGridlines = s.pageSetup().printHeadings = true;
    s.pageSetup().footer = "&RPage &P ₹";
    s.merge(rangeOrThrow("E2:E4")); // one column
    s.merge(rangeOrThrow("F9:H9")); // one row
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
    for (std::size_t after : {0, 1000, 30000}) {
        const ByteWriter full = cw::test::diskFullAfter(after);
        const auto e = errorOf([&] { wb.save(target, SaveMode::Durable, full); });
        ASSERT_TRUE(e) << "the save did not fail";
        EXPECT_EQ(std::make_tuple(e->code(), e->file()), std::make_tuple(Error::Code::Io, target.string()));
        EXPECT_NE(std::string(e->what()).find("No space left on device"), std::string::npos) << e->what();
        EXPECT_TRUE(errorOf([&] { wb.save(dir / "001.xls", SaveMode::NewFile, full); }));
        EXPECT_EQ(cw::test::readBytes(target), "old");
        EXPECT_EQ(entries(), std::vector<std::string>{"TDS16A.xls"}) << "after " << after << " bytes";
    }
    wb.save(target);
    const Bytes bytes = wb.toBytes();
    EXPECT_EQ(cw::test::readBytes(target), std::string(bytes.begin(), bytes.end()));
    for (const fs::path& bad : {dir / "no such folder" / "001.xls", dir.path()}) {
        const auto e = errorOf([&] { wb.save(bad); });
        EXPECT_TRUE(e && std::string(e->what()).find(bad.string()) != std::string::npos) << bad;
    }
}

} // namespace
