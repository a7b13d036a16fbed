// The .xls reader on streams built record by record: the record cursor, every kind of cell,
// the raw records kept around the cell table, print ranges, the container, and a table of
// broken inputs that must each give one clear error.

#include "host/Error.h"
#include "host/Workbook.h"
#include "host/biff/RecordReader.h"
#include "host/biff/XlsReader.h"

#include <gsf/gsf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace cw::host;
using Bytes = std::vector<std::uint8_t>;

const std::string kName = "broken.xls";

// ---- building streams -----------------------------------------------------------------------

struct Body {
    Bytes b;
    Body& u8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); return *this; }
    Body& u16(unsigned v) { u8(v & 0xFF); return u8((v >> 8) & 0xFF); }
    Body& u32(std::uint32_t v) { u16(v & 0xFFFF); return u16(v >> 16); }
    Body& f64(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        u32(static_cast<std::uint32_t>(bits));
        return u32(static_cast<std::uint32_t>(bits >> 32));
    }
    Body& bytes(const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); return *this; }
    Body& latin1(const std::string& s) { return bytes(Bytes(s.begin(), s.end())); }
    Body& str16(const std::string& s) { u16(static_cast<unsigned>(s.size())).u8(0); return latin1(s); }
    Body& str8(const std::string& s) { u8(static_cast<unsigned>(s.size())).u8(0); return latin1(s); }
    operator Bytes() const { return b; }
};

Bytes rec(std::uint16_t type, const Bytes& body)
{
    Bytes out = Body().u16(type).u16(static_cast<unsigned>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes bof(std::uint16_t dt, std::uint16_t vers = 0x0600)
{
    return rec(0x0809, Body().u16(vers).u16(dt).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x0206));
}
Bytes eof() { return rec(0x000A, {}); }
Bytes xf(unsigned font, unsigned fmt, bool style)
{
    return rec(0x00E0, Body().u16(font).u16(fmt).u16(style ? 0xFFF5 : 0x0001).u8(0x20).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0x20C0));
}
Bytes number(int r, int c, int x, double v) { return rec(0x0203, Body().u16(r).u16(c).u16(x).f64(v)); }
Bytes rk(int r, int c, int x, std::uint32_t v) { return rec(0x027E, Body().u16(r).u16(c).u16(x).u32(v)); }
Bytes labelSst(int r, int c, int x, std::uint32_t i) { return rec(0x00FD, Body().u16(r).u16(c).u16(x).u32(i)); }
Bytes blank(int r, int c, int x) { return rec(0x0201, Body().u16(r).u16(c).u16(x)); }
Bytes boolErr(int r, int c, unsigned v, bool err) { return rec(0x0205, Body().u16(r).u16(c).u16(15).u8(v).u8(err)); }
// A FORMULA whose cached result is given as its eight raw bytes; its formula is "=1".
Bytes formula(int r, int c, const Bytes& result)
{
    return rec(0x0006, Body().u16(r).u16(c).u16(15).bytes(result).u16(0).u32(0).u16(3).u8(0x1E).u16(1));
}
Bytes cachedNumber(double d) { return Body().f64(d); }
Bytes cachedSpecial(unsigned kind, unsigned v) { return Body().u8(kind).u8(0).u8(v).u8(0).u8(0).u8(0).u16(0xFFFF); }
Bytes stringRec(const std::string& s) { return rec(0x0207, Body().str16(s)); }

struct SheetSpec {
    std::string name;
    unsigned kind = 0;   // BOUNDSHEET dt
    unsigned state = 0;  // visibility
    std::uint16_t bofType = 0x0010;
    std::vector<Bytes> records;
    bool withEof = true;
};

struct Book {
    std::vector<Bytes> first;   // right after the BOF
    std::vector<Bytes> later;   // after the BOUNDSHEETs
    std::vector<std::string> sst;
    std::vector<SheetSpec> sheets;
    std::vector<std::int64_t> offsetOverride; // per sheet; -1 = computed
    bool globalsEof = true;

    Bytes globals(const std::vector<std::uint32_t>& offsets) const
    {
        Bytes g = bof(0x0005);
        auto add = [&](const Bytes& r) { g.insert(g.end(), r.begin(), r.end()); };
        for (const Bytes& r : first)
            add(r);
        add(rec(0x0042, Body().u16(1200)));
        add(rec(0x0031, Body().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).str8("Arial")));
        add(rec(0x041E, Body().u16(164).str16("0.000")));
        for (int i = 0; i < 15; ++i)
            add(xf(0, 0, true));
        add(xf(0, 0, false));
        add(xf(0, 164, false)); // 16: a custom format
        for (std::size_t i = 0; i < sheets.size(); ++i)
            add(rec(0x0085, Body().u32(offsets[i]).u8(sheets[i].state).u8(sheets[i].kind).str8(sheets[i].name)));
        for (const Bytes& r : later)
            add(r);
        if (!sst.empty()) {
            Body b;
            b.u32(static_cast<std::uint32_t>(sst.size())).u32(static_cast<std::uint32_t>(sst.size()));
            for (const std::string& s : sst)
                b.str16(s);
            add(rec(0x00FC, b));
        }
        if (globalsEof)
            add(eof());
        return g;
    }

    Bytes build() const
    {
        std::vector<std::uint32_t> offsets(sheets.size(), 0);
        const std::size_t globalsSize = globals(offsets).size();
        std::vector<Bytes> subs;
        std::size_t at = globalsSize;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            Bytes s = bof(sheets[i].bofType);
            for (const Bytes& r : sheets[i].records)
                s.insert(s.end(), r.begin(), r.end());
            if (sheets[i].withEof) {
                const Bytes e = eof();
                s.insert(s.end(), e.begin(), e.end());
            }
            offsets[i] = static_cast<std::uint32_t>(at);
            if (i < offsetOverride.size() && offsetOverride[i] >= 0)
                offsets[i] = static_cast<std::uint32_t>(offsetOverride[i]);
            at += s.size();
            subs.push_back(std::move(s));
        }
        Bytes out = globals(offsets);
        for (const Bytes& s : subs)
            out.insert(out.end(), s.begin(), s.end());
        return out;
    }
};

Book oneSheet(std::vector<Bytes> records)
{
    Book b;
    b.sst = {"alpha", "beta"};
    b.sheets.push_back({"Data", 0, 0, 0x0010, std::move(records)});
    return b;
}

Workbook parse(const Bytes& stream) { return XlsReader::parse(stream, kName); }

// ---- the record cursor ----------------------------------------------------------------------

TEST(RecordCursor, ReadsRealRecords)
{
    // A FONT record (Calibri 11pt) and a BOUNDSHEET with a Devanagari name, as Excel wrote them
    // (PageSetup.xls, DBCSSheetName.xls).
    const Bytes font = {0x31, 0x00, 0x1E, 0x00, 0xdc, 0x00, 0x00, 0x00, 0x08, 0x00, 0x90, 0x01, 0x00, 0x00,
                        0x00, 0x02, 0x00, 0x00, 0x07, 0x01, 0x43, 0x00, 0x61, 0x00, 0x6c, 0x00, 0x69, 0x00,
                        0x62, 0x00, 0x72, 0x00, 0x69, 0x00};
    const Bytes sheet = {0x85, 0x00, 0x0c, 0x00, 0x92, 0x05, 0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x1c, 0x09, 0x3e, 0x09};
    Bytes stream = font;
    stream.insert(stream.end(), sheet.begin(), sheet.end());

    biff::RecordReader r(stream.data(), stream.size(), kName);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.type(), 0x0031);
    EXPECT_EQ(r.u16(), 220);
    r.skip(12);
    std::string name;
    r.shortString(name);
    EXPECT_EQ(name, "Calibri");
    EXPECT_EQ(r.remaining(), 0u);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.offset(), font.size());
    EXPECT_EQ(r.u32(), 0x0592u);
    r.skip(2);
    name.clear();
    r.shortString(name);
    EXPECT_EQ(name, "\xE0\xA4\x9C\xE0\xA4\xBE"); // U+091C U+093E
    EXPECT_FALSE(r.next());
}

TEST(RecordCursor, NeverReadsPastARecordOrTheStream)
{
    const Bytes stream = Body().bytes(rec(0x0203, Body().u16(7))).bytes({0x06, 0x00, 0x50, 0x00, 0x01});
    biff::RecordReader r(stream.data(), stream.size(), kName);
    ASSERT_TRUE(r.next());
    try {
        r.u32();
        FAIL() << "read past the record";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Corrupt);
        EXPECT_EQ(e.file(), kName);
        EXPECT_EQ(e.offset(), 0);
        EXPECT_EQ(e.recordType(), 0x0203);
        EXPECT_NE(e.message().find("expected 4 more bytes"), std::string::npos) << e.message();
        EXPECT_NE(e.message().find("found 2"), std::string::npos) << e.message();
        EXPECT_NE(std::string(e.what()).find(kName), std::string::npos);
    }
    // The next record declares 80 bytes but only one follows.
    try {
        r.next();
        FAIL() << "accepted a record longer than the stream";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Corrupt);
        EXPECT_EQ(e.offset(), 6);
        EXPECT_NE(e.message().find("declares 80 bytes"), std::string::npos) << e.message();
    }
    const Bytes stub = {0x09, 0x08, 0x10};
    biff::RecordReader s(stub.data(), stub.size(), kName);
    EXPECT_THROW(s.next(), Error);
}

TEST(RecordCursor, SharedStringsRunOnThroughContinueRecords)
{
    // String 1 begins compressed and goes on as UTF-16 in the CONTINUE, which restates its
    // flags byte; string 2 carries rich-text runs that are split by the next CONTINUE; string 3
    // has phonetic data; string 4 begins exactly at a CONTINUE.
    Bytes sst = Body().u32(4).u32(4).u16(6).u8(0x00).latin1("abc");
    Bytes c1 = Body().u8(0x01).u16('d').u16(0x20AC).u16('f')           // "d€f" in UTF-16
                   .u16(2).u8(0x08).u16(2).latin1("xy").u32(0x00010000).u16(0x0001);
    Bytes c2 = Body().u16(0x0002)                                        // the rest of the runs
                   .u16(1).u8(0x04).u32(5).latin1("z").bytes({1, 2, 3, 4, 5});
    Bytes c3 = Body().u16(2).u8(0x01).u16(0xD83C).u16(0xDF63);          // a non-BMP character
    Bytes stream = rec(0x00FC, sst);
    for (const Bytes* c : {&c1, &c2, &c3}) {
        const Bytes r = rec(0x003C, *c);
        stream.insert(stream.end(), r.begin(), r.end());
    }
    const Bytes tail = eof();
    stream.insert(stream.end(), tail.begin(), tail.end());

    biff::RecordReader r(stream.data(), stream.size(), kName);
    ASSERT_TRUE(r.next());
    r.u32();
    r.u32();
    std::vector<std::string> out(4);
    for (std::string& s : out)
        r.richExtendedString(s);
    EXPECT_EQ(out[0], "abcd\xE2\x82\xAC" "f");
    EXPECT_EQ(out[1], "xy");
    EXPECT_EQ(out[2], "z");
    EXPECT_EQ(out[3], "\xF0\x9F\x8D\xA3");
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.type(), 0x000A);

    // Without its CONTINUE the first string is cut short.
    const Bytes cut = rec(0x00FC, sst);
    biff::RecordReader rc(cut.data(), cut.size(), kName);
    rc.next();
    rc.u32();
    rc.u32();
    std::string s;
    EXPECT_THROW(rc.richExtendedString(s), Error);
}

TEST(RecordCursor, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const char16_t units[] = {u'a', 0xD800, u'b', 0xDC00};
    std::string out;
    biff::appendUtf8(units, 4, out);
    EXPECT_EQ(out, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

// ---- cells and sheet structure --------------------------------------------------------------

TEST(XlsReader, ReadsEveryKindOfCell)
{
    Book b = oneSheet({
        number(0, 0, 16, 2.5),
        rk(0, 1, 15, (123u << 2) | 0x02),               // integer 123
        rk(0, 2, 15, (12345u << 2) | 0x03),             // integer / 100
        rk(0, 3, 15, 0xBFF00000u),                      // the double -1.0, top 30 bits
        rec(0x00BD, Body().u16(1).u16(2).u16(15).u32((7u << 2) | 2).u16(16).u32((8u << 2) | 2).u16(3)),
        labelSst(2, 0, 15, 1),
        rec(0x0204, Body().u16(2).u16(1).u16(15).str16("plain label")),
        boolErr(3, 0, 1, false),
        boolErr(3, 1, 0x07, true),
        blank(4, 0, 16),
        rec(0x00BE, Body().u16(4).u16(2).u16(16).u16(16).u16(3)),
        formula(5, 0, cachedNumber(42)),
        formula(5, 1, cachedSpecial(0, 0)),
        rec(0x04BC, Body().u16(5).u16(5).u8(1).u8(1).u16(0).u8(0).u8(1).u16(3).u8(0x1E).u16(1)),
        stringRec("cached text"),
        formula(5, 2, cachedSpecial(1, 1)),
        formula(5, 3, cachedSpecial(2, 0x2A)),
        formula(5, 4, cachedSpecial(3, 0)),
    });
    const Workbook wb = parse(b.build());
    ASSERT_EQ(wb.sheetCount(), 1);
    const Sheet& s = wb.sheet(0);
    EXPECT_EQ(s.value(0, 0), Value(2.5));
    EXPECT_EQ(s.cell(0, 0)->xf, 16);
    EXPECT_EQ(s.value(0, 1), Value(123.0));
    EXPECT_EQ(s.value(0, 2), Value(123.45));
    EXPECT_EQ(s.value(0, 3), Value(-1.0));
    EXPECT_EQ(s.value(1, 2), Value(7.0));
    EXPECT_EQ(s.value(1, 3), Value(8.0));
    EXPECT_EQ(s.cell(1, 3)->xf, 16);
    EXPECT_EQ(s.value(2, 0), Value(std::string("beta")));
    EXPECT_EQ(s.value(2, 1), Value(std::string("plain label")));
    EXPECT_EQ(s.value(3, 0), Value(true));
    EXPECT_EQ(s.value(3, 1), Value(ErrorValue::Div0));
    ASSERT_NE(s.cell(4, 0), nullptr);
    EXPECT_TRUE(isEmpty(s.cell(4, 0)->value));
    EXPECT_EQ(s.cell(4, 3)->xf, 16);

    ASSERT_EQ(s.formulas().size(), 5u);
    EXPECT_EQ(s.value(5, 0), Value(42.0));
    EXPECT_EQ(s.cell(5, 0)->formula, 0u);
    EXPECT_EQ(s.formulas()[0].parsed, (Bytes{3, 0, 0x1E, 1, 0}));
    EXPECT_EQ(s.value(5, 1), Value(std::string("cached text")));
    ASSERT_EQ(s.formulas()[1].follow.size(), 1u);
    EXPECT_EQ(s.formulas()[1].follow[0].type, 0x04BC);
    EXPECT_EQ(s.value(5, 2), Value(true));
    EXPECT_EQ(s.value(5, 3), Value(ErrorValue::NA));
    EXPECT_EQ(s.value(5, 4), Value(std::string()));
    EXPECT_TRUE(s.cell(5, 4)->hasFormula());
}

TEST(XlsReader, ReadsRowsColumnsMergesWindowAndPageSetup)
{
    Book b = oneSheet({
        rec(0x0225, Body().u16(0x0001).u16(300)),
        rec(0x0081, Body().u16(0x05C1)),
        rec(0x0014, Body().str16("&CTitle")),
        rec(0x0015, {}),
        rec(0x0083, Body().u16(1)),
        rec(0x0026, Body().f64(0.25)),
        rec(0x00A1, Body().u16(9).u16(85).u16(3).u16(1).u16(0).u16(0x0081).u16(600).u16(600).f64(0.4).f64(0.45).u16(2)),
        rec(0x0055, Body().u16(10)),
        rec(0x007D, Body().u16(1).u16(256).u16(4000).u16(16).u16(0x0101).u16(0)),
        rec(0x0200, Body().u32(0).u32(3).u16(0).u16(3).u16(0)),
        rec(0x0208, Body().u16(2).u16(0).u16(3).u16(600).u16(0).u16(0).u16(0x01E0).u16(16)),
        number(2, 0, 15, 1),
        rec(0x023E, Body().u16(0x06B4).u16(0).u16(0).u32(0x40).u16(0).u16(0).u32(0)),
        rec(0x00E5, Body().u16(2).u16(0).u16(0).u16(0).u16(3).u16(4).u16(9).u16(1).u16(2)),
    });
    const Workbook wb = parse(b.build());
    const Sheet& s = wb.sheet(0);
    EXPECT_EQ(s.defaultRowHeight(), 300);
    EXPECT_EQ(s.defaultRowFlags(), 1);
    EXPECT_EQ(s.defaultColumnWidth(), 10);
    const PageSetup& ps = s.pageSetup();
    EXPECT_TRUE(ps.fitToPage);
    EXPECT_EQ(ps.header, "&CTitle");
    EXPECT_EQ(ps.footer, "");
    EXPECT_TRUE(ps.hCenter);
    EXPECT_FALSE(ps.vCenter);
    EXPECT_DOUBLE_EQ(ps.leftMargin, 0.25);
    EXPECT_EQ(ps.scale, 85);
    EXPECT_EQ(ps.pageStart, 3);
    EXPECT_EQ(ps.fitWidth, 1);
    EXPECT_EQ(ps.fitHeight, 0);
    EXPECT_TRUE(ps.leftToRight);
    EXPECT_FALSE(ps.portrait);
    EXPECT_TRUE(ps.usePageStart);
    EXPECT_DOUBLE_EQ(ps.footerMargin, 0.45);
    EXPECT_EQ(ps.copies, 2);

    ASSERT_EQ(s.columns().size(), 1u);
    const ColumnInfo& ci = s.columns()[0];
    EXPECT_EQ(ci.first, 1);
    EXPECT_EQ(ci.last, 255); // 256 means "to the last column"
    EXPECT_EQ(ci.width, 4000);
    EXPECT_EQ(ci.xf, 16);
    EXPECT_TRUE(ci.hidden);
    EXPECT_EQ(ci.outlineLevel, 1);

    const RowInfo* ri = s.rowInfo(2);
    ASSERT_NE(ri, nullptr);
    EXPECT_EQ(ri->heightTwips, 600);
    EXPECT_TRUE(ri->customHeight);
    EXPECT_TRUE(ri->hidden);
    EXPECT_TRUE(ri->hasFormat);
    EXPECT_EQ(ri->xf, 16);

    EXPECT_EQ(s.window2Flags(), 0x06B4);
    EXPECT_FALSE(s.showGridlines());
    EXPECT_EQ(s.mergedRanges(), (std::vector<Range>{{0, 0, 0, 3}, {4, 1, 9, 2}}));
}

TEST(XlsReader, KeepsWhatItDoesNotInterpretInPlace)
{
    const Bytes drawing = Body().u32(0xF00F0000).u32(8);
    Book b = oneSheet({
        rec(0x000D, Body().u16(1)),                                    // CALCMODE: before the cells
        rec(0x0200, Body().u32(0).u32(1).u16(0).u16(1).u16(0)),
        number(0, 0, 15, 1),
        rec(0x00EC, drawing),                                          // MSODRAWING ...
        rec(0x003C, Body().u32(7)),                                    // ... and its CONTINUE
        bof(0x0020), rec(0x1002, Body().u32(0).u32(0)), eof(),        // an embedded chart
        rec(0x023E, Body().u16(0x06B6).u16(0).u16(0).u32(0x40).u16(0).u16(0).u32(0)),
        rec(0x001D, Body().u8(3).u16(0).u16(0).u16(0).u16(1).u16(0).u16(0).u8(0).u8(0)),
    });
    b.sheets.push_back({"Chart1", 2, 1, 0x0020, {rec(0x1002, Body().u32(1).u32(2)), rec(0x1033, {})}});
    b.later.push_back(rec(0x0161, Body().u16(0)));                    // DSF
    const Workbook wb = parse(b.build());

    const auto types = [](const std::vector<RawRecord>& rs) {
        std::vector<int> t;
        for (const RawRecord& r : rs)
            t.push_back(r.type);
        return t;
    };
    const Sheet& s = wb.sheet(0);
    EXPECT_EQ(types(s.rawBeforeCells()), (std::vector<int>{0x000D}));
    EXPECT_EQ(types(s.rawAfterCells()), (std::vector<int>{0x00EC, 0x003C, 0x0809, 0x1002, 0x000A, 0x023E, 0x001D}));
    EXPECT_EQ(s.rawAfterCells()[0].data, drawing);
    EXPECT_EQ(s.bof().size(), 16u);

    const Sheet& chart = wb.sheet(1);
    EXPECT_EQ(chart.kind(), SheetKind::Chart);
    EXPECT_EQ(chart.visibility(), Visibility::Hidden);
    EXPECT_EQ(types(chart.rawSubstream()), (std::vector<int>{0x1002, 0x1033}));

    const std::vector<int> globals = types(wb.rawGlobals());
    EXPECT_NE(std::find(globals.begin(), globals.end(), 0x0161), globals.end());
    EXPECT_EQ(std::find(globals.begin(), globals.end(), 0x0042), globals.end()); // CODEPAGE is rebuilt
    EXPECT_EQ(wb.fonts().size(), 1u);
    EXPECT_EQ(wb.xfs().size(), 17u);
    EXPECT_EQ(wb.numberFormat(164), "0.000");
}

// ---- names ----------------------------------------------------------------------------------

Bytes nameRecord(unsigned builtinCode, unsigned itab, const Bytes& rgce)
{
    return rec(0x0018, Body().u16(0x0020).u8(0).u8(1).u16(static_cast<unsigned>(rgce.size())).u16(0).u16(itab)
                           .u32(0).u8(0).u8(builtinCode).bytes(rgce));
}
Bytes area3d(unsigned ixti, unsigned r1, unsigned r2, unsigned c1, unsigned c2)
{
    return Body().u8(0x3B).u16(ixti).u16(r1).u16(r2).u16(c1).u16(c2);
}

TEST(XlsReader, DecodesPrintAreasAndTitlesThroughTheLinkTable)
{
    Book b = oneSheet({number(0, 0, 15, 1)});
    b.sheets.push_back({"Other", 0, 0, 0x0010, {}});
    const Bytes internal = Body().u16(2).u16(0x0401);
    const Bytes external = Body().u16(1).u16(3).u8(0).latin1("x.x").u16(1).u8(0).latin1("S");
    b.later = {
        rec(0x01AE, internal),
        rec(0x01AE, external),
        rec(0x0017, Body().u16(3).u16(0).u16(0).u16(0).u16(0).u16(1).u16(1).u16(1).u16(0).u16(0)),
        nameRecord(0x06, 1, area3d(0, 0, 40, 0, 7)),
        // Titles: columns A:B and rows 1:3, joined, inside a ptgMemFunc.
        nameRecord(0x07, 1, Body().u8(0x29).u16(23).bytes(area3d(0, 0, 65535, 0, 1)).bytes(area3d(0, 0, 2, 0, 255)).u8(0x10)),
        // Sheet 2's print area points at sheet 1: kept as a name, not moved.
        nameRecord(0x06, 2, area3d(0, 0, 5, 0, 5)),
        // A print area in another workbook: kept.
        nameRecord(0x06, 2, area3d(2, 0, 5, 0, 5)),
    };
    const Workbook wb = parse(b.build());
    const Sheet& s = wb.sheet(0);
    EXPECT_EQ(s.printArea(), (std::vector<Range>{{0, 0, 40, 7}}));
    EXPECT_EQ(s.printTitleRows(), (std::optional<std::pair<int, int>>{{0, 2}}));
    EXPECT_EQ(s.printTitleCols(), (std::optional<std::pair<int, int>>{{0, 1}}));
    EXPECT_TRUE(wb.sheet(1).printArea().empty());
    ASSERT_EQ(wb.names().size(), 2u);
    EXPECT_TRUE(wb.names()[0].builtin);
    EXPECT_EQ(wb.names()[0].name, std::string(1, '\x06'));
    EXPECT_EQ(wb.names()[0].sheetIndex, 2);
    EXPECT_EQ(wb.names()[0].formula, area3d(0, 0, 5, 0, 5));
    const auto& raw = wb.rawGlobals();
    EXPECT_EQ(std::count_if(raw.begin(), raw.end(), [](const RawRecord& r) { return r.type == 0x01AE || r.type == 0x0017; }), 3);
}

// ---- broken input ---------------------------------------------------------------------------

struct BrokenCase {
    const char* label;
    std::function<Bytes()> make;
    Error::Code code;
    const char* fragment;
};

Bytes withSheetRecords(std::vector<Bytes> records) { return oneSheet(std::move(records)).build(); }

Bytes truncatedAt(std::size_t keep)
{
    Bytes b = withSheetRecords({number(0, 0, 15, 1)});
    if (keep < b.size())
        b.resize(keep);
    return b;
}

const BrokenCase kBroken[] = {
    {"empty stream", [] { return Bytes{}; }, Error::Code::Corrupt, "empty"},
    {"no BOF first", [] { return eof(); }, Error::Code::Corrupt, "does not start with a BOF"},
    {"BIFF5 BOF", [] { Bytes b = bof(0x0005, 0x0500); return b; }, Error::Code::OldFormat, "Excel 5.0/95"},
    {"FILEPASS",
     [] { Book b = oneSheet({}); b.first.push_back(rec(0x002F, Body().u16(1).u16(1).u16(1))); return b.build(); },
     Error::Code::Encrypted, "password"},
    {"globals without EOF", [] { Book b = oneSheet({}); b.sheets.clear(); b.globalsEof = false; return b.build(); },
     Error::Code::Corrupt, "without an EOF"},
    {"sheet without EOF", [] { Book b = oneSheet({number(0, 0, 15, 1)}); b.sheets[0].withEof = false; return b.build(); },
     Error::Code::Corrupt, "ends without an EOF"},
    {"BOF inside a sheet", [] { return withSheetRecords({bof(0x0010)}); }, Error::Code::Corrupt, "BOF record inside the sheet"},
    {"BOF inside the globals", [] { Book b = oneSheet({}); b.later.push_back(bof(0x0010)); return b.build(); },
     Error::Code::Corrupt, "inside the workbook globals"},
    {"shared string out of range", [] { return withSheetRecords({labelSst(1, 1, 15, 5)}); }, Error::Code::Corrupt,
     "shared string 5 does not exist"},
    {"cell format out of range", [] { return withSheetRecords({number(0, 2, 99, 1)}); }, Error::Code::Corrupt,
     "cell C1: cell format 99 does not exist"},
    {"column beyond IV", [] { return withSheetRecords({number(3, 256, 15, 1)}); }, Error::Code::Limit, "beyond column IV"},
    {"MULRK beyond IV", [] { return withSheetRecords({rec(0x00BD, Body().u16(0).u16(255).u16(15).u32(2).u16(15).u32(2).u16(256))}); },
     Error::Code::Limit, "beyond column IV"},
    {"MULRK whose last column lies", [] { return withSheetRecords({rec(0x00BD, Body().u16(0).u16(1).u16(15).u32(2).u16(9))}); },
     Error::Code::Corrupt, "MULRK"},
    {"short NUMBER", [] { return withSheetRecords({rec(0x0203, Body().u16(0).u16(0).u16(15).u32(0))}); },
     Error::Code::Corrupt, "expected 8 more bytes"},
    {"record longer than the stream",
     [] { Book b = oneSheet({Body().u16(0x0203).u16(0x00FF)}); b.sheets[0].withEof = false; return b.build(); },
     Error::Code::Corrupt, "declares 255 bytes"},
    {"text formula without STRING", [] { return withSheetRecords({formula(0, 0, cachedSpecial(0, 0)), number(1, 0, 15, 1)}); },
     Error::Code::Corrupt, "STRING record"},
    {"stray STRING", [] { return withSheetRecords({number(1, 0, 15, 1), stringRec("x")}); }, Error::Code::Corrupt, "STRING record"},
    {"SHRFMLA without its formula", [] { return withSheetRecords({rec(0x04BC, Body().u32(0).u16(0))}); },
     Error::Code::Corrupt, "without the formula cell"},
    {"unknown error code", [] { return withSheetRecords({boolErr(0, 0, 0x55, true)}); }, Error::Code::Corrupt, "unknown error value"},
    {"SST with fewer strings than it says",
     [] { Book b = oneSheet({}); b.later.push_back(rec(0x00FC, Body().u32(3).u32(3).str16("only one"))); return b.build(); },
     Error::Code::Corrupt, "ends early"},
    {"sheet offset beyond the stream", [] { Book b = oneSheet({}); b.offsetOverride = {1 << 20}; return b.build(); },
     Error::Code::Corrupt, "outside the sheets' part"},
    {"sheet offset inside the globals", [] { Book b = oneSheet({}); b.offsetOverride = {0}; return b.build(); },
     Error::Code::Corrupt, "outside the sheets' part"},
    {"two sheets at one offset",
     [] { Book b = oneSheet({}); b.sheets.push_back({"Two", 0, 0, 0x0010, {}});
          b.offsetOverride = {-1, static_cast<std::int64_t>(b.globals({0, 0}).size())}; return b.build(); },
     Error::Code::Corrupt, "same offset"},
    {"sheet offset not at a BOF",
     [] { Book b = oneSheet({number(0, 0, 15, 1)}); const Bytes ok = b.build(); b.offsetOverride = {static_cast<std::int64_t>(ok.size() - 4)}; return b.build(); },
     Error::Code::Corrupt, "no BOF record"},
    {"two sheets with one name", [] { Book b = oneSheet({}); b.sheets.push_back({"DATA", 0, 0, 0x0010, {}}); return b.build(); },
     Error::Code::Corrupt, "two sheets are named"},
    {"sheet BOF of another BIFF version", [] { Book b = oneSheet({}); b.sheets[0].records.clear(); Bytes s = b.build();
          const std::size_t at = b.globals({0}).size(); s[at + 5] = 0x05; return s; },
     Error::Code::Corrupt, "BIFF version 5.0"},
    {"worksheet whose BOF says chart", [] { Book b = oneSheet({}); b.sheets[0].bofType = 0x0020; return b.build(); },
     Error::Code::Corrupt, "its BOF says type 32"},
    {"XF with the missing font 4", [] { Book b = oneSheet({}); b.later.push_back(xf(4, 0, false)); return b.build(); },
     Error::Code::Corrupt, "uses font 4"},
    {"merged range with columns reversed", [] { return withSheetRecords({rec(0x00E5, Body().u16(1).u16(0).u16(0).u16(3).u16(1))}); },
     Error::Code::Corrupt, "merged range"},
    {"cut inside the last record", [] { Bytes b = withSheetRecords({number(0, 0, 15, 1)}); b.resize(b.size() - 2); return b; },
     Error::Code::Corrupt, "record header"},
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.label; }

class BrokenInput : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenInput, GivesOneClearError)
{
    const BrokenCase& c = GetParam();
    try {
        parse(c.make());
        FAIL() << c.label << ": read without complaint";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), c.code) << c.label << ": " << e.what();
        EXPECT_NE(e.message().find(c.fragment), std::string::npos) << c.label << ": " << e.message();
        EXPECT_EQ(e.file(), kName);
        EXPECT_NE(std::string(e.what()).find(kName), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenInput, ::testing::ValuesIn(kBroken),
                         [](const ::testing::TestParamInfo<BrokenCase>& info) {
                             std::string n;
                             for (const char* p = info.param.label; *p; ++p)
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return n;
                         });

TEST(XlsReader, EveryTruncationIsAnError)
{
    const std::size_t full = truncatedAt(SIZE_MAX).size();
    EXPECT_NO_THROW(parse(truncatedAt(full)));
    for (std::size_t keep = 0; keep < full; ++keep)
        EXPECT_THROW(parse(truncatedAt(keep)), Error) << "kept " << keep << " of " << full << " bytes";
}

TEST(XlsReader, SparseCellsCannotClaimUnboundedMemory)
{
    // One cell at the last row of each of many sheets: a few kilobytes that would otherwise
    // make millions of empty rows.
    Book b;
    for (int i = 0; i < 200; ++i)
        b.sheets.push_back({"S" + std::to_string(i), 0, 0, 0x0010, {number(65535, 0, 15, 1)}});
    try {
        parse(b.build());
        FAIL() << "read 200 sheets of 65,536 rows from a few kilobytes";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Limit);
    }
    // The last row itself is fine.
    EXPECT_EQ(parse(withSheetRecords({number(65535, 255, 15, 1)})).sheet(0).value(65535, 255), Value(1.0));
}

// ---- the container ---------------------------------------------------------------------------

// An OLE2 compound document holding the given streams, written with libgsf.
Bytes compoundDocument(const std::vector<std::pair<std::string, Bytes>>& streams)
{
    gsf_init();
    GsfOutput* mem = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(mem);
    for (const auto& [name, data] : streams) {
        GsfOutput* child = gsf_outfile_new_child(ole, name.c_str(), FALSE);
        gsf_output_write(child, data.size(), data.data());
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem));
    Bytes out(bytes, bytes + gsf_output_size(mem));
    g_object_unref(mem);
    return out;
}

Error::Code codeOf(const Bytes& file, std::string* message = nullptr)
{
    try {
        Workbook::fromBytes(file, kName);
    } catch (const Error& e) {
        if (message)
            *message = e.what();
        return e.code();
    }
    return Error::Code::Invalid; // "no error" for these tests
}

TEST(Container, FindsTheWorkbookStreamAndRefusesOtherFiles)
{
    const Bytes stream = withSheetRecords({number(0, 0, 15, 7)});
    EXPECT_EQ(Workbook::fromBytes(compoundDocument({{"WORKBOOK", stream}}), kName).sheet(0).value(0, 0), Value(7.0));
    EXPECT_EQ(Workbook::fromBytes(compoundDocument({{"Book", Bytes{1}}, {"Workbook", stream}}), kName).sheetCount(), 1);
    EXPECT_EQ(Workbook::fromBytes(stream, kName).sheet(0).value(0, 0), Value(7.0)); // bare stream

    std::string msg;
    EXPECT_EQ(codeOf(compoundDocument({{"Book", stream}}), &msg), Error::Code::OldFormat);
    EXPECT_NE(msg.find(kName), std::string::npos);
    EXPECT_EQ(codeOf(compoundDocument({{"WordDocument", stream}})), Error::Code::NoWorkbook);
    EXPECT_EQ(codeOf({'P', 'K', 3, 4, 20, 0, 0, 0}, &msg), Error::Code::NotOle2);
    EXPECT_NE(msg.find(".xlsx"), std::string::npos) << msg;
    EXPECT_EQ(codeOf({}), Error::Code::NotOle2);
    EXPECT_EQ(codeOf({'<', 'h', 't', 'm', 'l', '>'}, &msg), Error::Code::NotOle2);
    EXPECT_NE(msg.find("HTML"), std::string::npos) << msg;
    EXPECT_EQ(codeOf({0x09, 0x04, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00}), Error::Code::OldFormat);
    EXPECT_EQ(codeOf({'h', 'e', 'l', 'l', 'o'}), Error::Code::NotOle2);

    Bytes damaged = compoundDocument({{"Workbook", stream}});
    std::fill(damaged.begin() + 8, damaged.begin() + 512, 0xFF);
    EXPECT_EQ(codeOf(damaged), Error::Code::Corrupt);
    Bytes halved = compoundDocument({{"Workbook", Bytes(20000, 0)}});
    halved.resize(halved.size() / 2);
    EXPECT_EQ(codeOf(halved), Error::Code::Corrupt);
}

TEST(Container, OpenNamesTheFileItCannotRead)
{
    const std::filesystem::path missing = std::filesystem::temp_directory_path() / "certwright-no-such-file.xls";
    try {
        Workbook::open(missing);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Io);
        EXPECT_NE(std::string(e.what()).find("certwright-no-such-file.xls"), std::string::npos) << e.what();
    }
    try {
        Workbook::open(std::filesystem::temp_directory_path());
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::Io);
    }
}

} // namespace
