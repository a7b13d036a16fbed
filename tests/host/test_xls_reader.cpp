// The .xls reader on streams built record by record, for what the corpus does not hold: the
// rarer cell records, shared strings split in every way, print ranges that point elsewhere,
// and a table of broken or odd inputs that must each give one clear error or a usable model.

#include "XlsTestSupport.h"

#include "host/Error.h"
#include "host/Workbook.h"
#include "host/biff/Ole2Writer.h"
#include "host/biff/XlsReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

using namespace cw::host;
using Bytes = std::vector<std::uint8_t>;

const std::string kName = "broken.xls";

struct Body {
    Bytes b;
    Body& u8(unsigned v) { return b.push_back(static_cast<std::uint8_t>(v)), *this; }
    Body& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Body& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Body& f64(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
    }
    Body& bytes(const Bytes& more) { return b.insert(b.end(), more.begin(), more.end()), *this; }
    Body& latin1(const std::string& s) { return bytes(Bytes(s.begin(), s.end())); }
    Body& str16(const std::string& s) { return u16(static_cast<unsigned>(s.size())).u8(0).latin1(s); }
    Body& str8(const std::string& s) { return u8(static_cast<unsigned>(s.size())).u8(0).latin1(s); }
    operator Bytes() const { return b; }
};

Bytes rec(std::uint16_t type, const Bytes& body) { return Body().u16(type).u16(static_cast<unsigned>(body.size())).bytes(body); }
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
Bytes rk(int r, int c, std::uint32_t v) { return rec(0x027E, Body().u16(r).u16(c).u16(15).u32(v)); }
Bytes labelSst(int r, int c, int x, std::uint32_t i) { return rec(0x00FD, Body().u16(r).u16(c).u16(x).u32(i)); }
Bytes boolErr(int r, int c, unsigned v, bool err) { return rec(0x0205, Body().u16(r).u16(c).u16(15).u8(v).u8(err)); }
// A FORMULA "=1" whose cached result is given as its eight raw bytes.
Bytes formula(int r, int c, const Bytes& result)
{
    return rec(0x0006, Body().u16(r).u16(c).u16(15).bytes(result).u16(0).u32(0).u16(3).u8(0x1E).u16(1));
}
Bytes cached(unsigned kind, unsigned v) { return Body().u8(kind).u8(0).u8(v).u8(0).u8(0).u8(0).u16(0xFFFF); }
Bytes stringRec(const std::string& s) { return rec(0x0207, Body().str16(s)); }

struct SheetSpec {
    std::string name;
    unsigned kind = 0;   // BOUNDSHEET dt
    std::uint16_t bofType = 0x0010;
    std::vector<Bytes> records;
};

// A workbook stream: globals with one font, 15 style XFs, XF 15 and XF 16 (format 164), the
// sheets' BOUNDSHEETs, a shared string table, then each sheet's substream.
struct Book {
    std::vector<Bytes> first; // right after the BOF
    std::vector<Bytes> later; // after the BOUNDSHEETs
    std::vector<std::string> sst = {"alpha", "beta"};
    std::vector<SheetSpec> sheets;
    std::vector<std::int64_t> offsetOverride; // per sheet; -1 = computed
    bool globalsEof = true;
    int styleXfs = 15; // with 15, the cell XFs 15 and 16 follow
    int fonts = 1;

    Bytes globals(const std::vector<std::uint32_t>& offsets) const
    {
        Body g;
        g.bytes(bof(0x0005));
        for (const Bytes& r : first)
            g.bytes(r);
        g.bytes(rec(0x0042, Body().u16(1200)));
        for (int i = 0; i < fonts; ++i)
            g.bytes(rec(0x0031, Body().u16(200 + 20 * i).u16(0).u16(0x7FFF).u16(400).u16(0).u32(0).str8("Arial")));
        g.bytes(rec(0x041E, Body().u16(164).str16("0.000")));
        for (int i = 0; i < styleXfs; ++i)
            g.bytes(xf(0, 0, true));
        if (styleXfs == 15)
            g.bytes(xf(0, 0, false)).bytes(xf(0, 164, false));
        for (std::size_t i = 0; i < sheets.size(); ++i)
            g.bytes(rec(0x0085, Body().u32(offsets[i]).u8(0).u8(sheets[i].kind).str8(sheets[i].name)));
        for (const Bytes& r : later)
            g.bytes(r);
        Body s;
        s.u32(static_cast<std::uint32_t>(sst.size())).u32(static_cast<std::uint32_t>(sst.size()));
        for (const std::string& text : sst)
            s.str16(text);
        if (!sst.empty())
            g.bytes(rec(0x00FC, s));
        if (globalsEof)
            g.bytes(eof());
        return g;
    }

    Bytes build() const
    {
        std::vector<std::uint32_t> offsets(sheets.size(), 0);
        std::size_t at = globals(offsets).size();
        Body subs;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            Body s;
            s.bytes(bof(sheets[i].bofType));
            for (const Bytes& r : sheets[i].records)
                s.bytes(r);
            s.bytes(eof());
            offsets[i] = static_cast<std::uint32_t>(i < offsetOverride.size() && offsetOverride[i] >= 0 ? offsetOverride[i] : at);
            at += s.b.size();
            subs.bytes(s);
        }
        return Body().bytes(globals(offsets)).bytes(subs);
    }
};

Book oneSheet(std::vector<Bytes> records)
{
    Book b;
    b.sheets.push_back({"Data", 0, 0x0010, std::move(records)});
    return b;
}

Workbook parse(const Bytes& stream) { return XlsReader::parse(stream, kName); }

// ---- what a valid stream holds --------------------------------------------------------------

TEST(XlsReader, ReadsTheRarerCellRecords)
{
    const Workbook wb = parse(oneSheet({
        rk(0, 1, (123u << 2) | 0x02),                 // integer
        rk(0, 2, (12345u << 2) | 0x03),               // integer / 100
        rk(0, 3, 0xBFF00000u),                        // the top 30 bits of -1.0
        rk(0, 4, 0x3FF00001u),                        // 1.0 / 100
        rec(0x00BD, Body().u16(1).u16(2).u16(15).u32((7u << 2) | 2).u16(16).u32((8u << 2) | 2).u16(3)),
        rec(0x0204, Body().u16(2).u16(1).u16(15).str16("plain label")),
        rec(0x00D6, Body().u16(2).u16(2).u16(15).str16("rich").u16(0)),
        rec(0x00BE, Body().u16(4).u16(2).u16(16).u16(16).u16(3)),
        formula(5, 1, cached(0, 0)), // a text result: its STRING comes after the SHRFMLA
        rec(0x04BC, Body().u16(5).u16(5).u8(1).u8(1).u16(0).u8(0).u8(1).u16(3).u8(0x1E).u16(1)),
        stringRec("cached text"),
    }).build());
    const Sheet& s = wb.sheet(0);
    const std::vector<std::pair<const char*, Value>> want = {
        {"B1", 123.0}, {"C1", 123.45}, {"D1", -1.0}, {"E1", 0.01}, {"C2", 7.0}, {"D2", 8.0},
        {"B3", std::string("plain label")}, {"C3", std::string("rich")}, {"B6", std::string("cached text")}};
    for (const auto& [cell, value] : want)
        EXPECT_EQ(s.value(cell), value) << cell;
    EXPECT_EQ(std::make_tuple(s.cell(1, 3)->xf, s.cell(4, 3)->xf, s.formulas().at(0).follow.size()), std::make_tuple(16, 16, std::size_t(1)));
}

// String 1 goes on in UTF-16 in a CONTINUE that restates its flags; string 2's rich-text runs
// are split by the next CONTINUE; string 3 has phonetic data; string 4 starts a CONTINUE.
TEST(XlsReader, SharedStringsRunOnThroughContinueRecords)
{
    Book b = oneSheet({labelSst(0, 0, 15, 0), labelSst(0, 1, 15, 1), labelSst(0, 2, 15, 2), labelSst(0, 3, 15, 3)});
    b.sst.clear();
    b.later = {rec(0x00FC, Body().u32(4).u32(4).u16(6).u8(0x00).latin1("abc")),
               rec(0x003C, Body().u8(0x01).u16('d').u16(0x20AC).u16('f').u16(2).u8(0x08).u16(2).latin1("xy").u32(0x10000).u16(1)),
               rec(0x003C, Body().u16(0x0002).u16(1).u8(0x04).u32(5).latin1("z").bytes({1, 2, 3, 4, 5})),
               rec(0x003C, Body().u16(2).u8(0x01).u16(0xD83C).u16(0xDF63).u16(1).u8(1).u16(0xD800))};
    b.later.front()[8] = 5; // five strings; the fifth is a lone surrogate
    b.sheets[0].records.push_back(labelSst(0, 4, 15, 4));
    const Workbook wb = parse(b.build());
    const Sheet& s = wb.sheet(0);
    const std::vector<std::string> want = {"abcd\xE2\x82\xAC" "f", "xy", "z", "\xF0\x9F\x8D\xA3", "\xEF\xBF\xBD"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(s.value(0, c), Value(want[c])) << c;
}

Bytes nameRecord(unsigned builtinCode, unsigned itab, const Bytes& rgce)
{
    return rec(0x0018, Body().u16(0x0020).u8(0).u8(1).u16(static_cast<unsigned>(rgce.size())).u16(0).u16(itab).u32(0)
                           .u8(0).u8(builtinCode).bytes(rgce));
}
Bytes area3d(unsigned ixti, unsigned r1, unsigned r2, unsigned c1, unsigned c2)
{
    return Body().u8(0x3B).u16(ixti).u16(r1).u16(r2).u16(c1).u16(c2);
}

// A print range lands on its sheet only when it refers to that sheet of this workbook.
TEST(XlsReader, PrintRangesThatPointElsewhereStayNames)
{
    Book b = oneSheet({number(0, 0, 15, 1)});
    b.sheets.push_back({"Other", 0, 0x0010, {}});
    b.later = {
        rec(0x01AE, Body().u16(2).u16(0x0401)),
        rec(0x01AE, Body().u16(1).u16(3).u8(0).latin1("x.x").u16(1).u8(0).latin1("S")),
        rec(0x0017, Body().u16(2).u16(0).u16(0).u16(0).u16(1).u16(0).u16(0)),
        nameRecord(0x06, 1, area3d(0, 0, 40, 0, 7)),
        nameRecord(0x07, 1, Body().u8(0x29).u16(23).bytes(area3d(0, 0, 65535, 0, 1)).bytes(area3d(0, 0, 2, 0, 255)).u8(0x10)),
        nameRecord(0x06, 2, area3d(0, 0, 5, 0, 5)), // sheet 2's area on sheet 1
        nameRecord(0x07, 2, area3d(1, 0, 5, 0, 5)), // an area in another workbook
    };
    const Workbook wb = parse(b.build());
    EXPECT_EQ(wb.sheet(0).printArea(), (std::vector<Range>{{0, 0, 40, 7}}));
    EXPECT_EQ(wb.sheet(0).printTitleRows(), (std::optional<std::pair<int, int>>{{0, 2}}));
    EXPECT_EQ(wb.sheet(0).printTitleCols(), (std::optional<std::pair<int, int>>{{0, 1}}));
    EXPECT_TRUE(wb.sheet(1).printArea().empty());
    EXPECT_EQ(wb.names().size(), 2u);
}

// Some writers make files with fewer than the four fonts and sixteen formats every workbook
// holds. The tables are completed as the writer completes them, so that a cell given the default
// format, a copy and a save all find what they name.
TEST(XlsReader, ShortFormatTablesAreCompleted)
{
    const std::pair<int, int> tables[] = {{1, 4}, {0, 0}, {2, 15}, {5, 1}}; // fonts, XFs
    for (const auto& [fonts, xfs] : tables) {
        SCOPED_TRACE(std::to_string(fonts) + " fonts, " + std::to_string(xfs) + " XFs");
        Book b = oneSheet({number(0, 0, 0, 1.5)});
        b.fonts = fonts;
        b.styleXfs = xfs;
        Workbook wb = parse(b.build());
        ASSERT_GE(wb.xfs().size(), 16u);
        EXPECT_FALSE(wb.xfs()[kDefaultXf].isStyle);
        for (const Xf& x : wb.xfs())
            EXPECT_NE(wb.font(x.font), nullptr);
        wb.sheet(0).setValue(3, 3, std::string("new"));
        EXPECT_FALSE(wb.isDateXf(wb.sheet(0).cell(3, 3)->xf));
        wb.copySheet(0, 0, true);
        const Workbook back = Workbook::fromBytes(wb.toBytes(), kName);
        xlstest::expectSameModel(wb, back);
    }
}

// ---- broken input ---------------------------------------------------------------------------

Bytes sheetWith(std::vector<Bytes> records) { return oneSheet(std::move(records)).build(); }

// A compound file whose one stream has the eight-letter name given ("Workbook" as written).
Bytes compoundDocument(const std::string& name, const Bytes& stream)
{
    Bytes file = biff::wrapInCompoundFile(stream);
    const Bytes written = {'W', 0, 'o', 0, 'r', 0, 'k', 0, 'b', 0, 'o', 0, 'o', 0, 'k', 0};
    const auto at = std::search(file.begin(), file.end(), written.begin(), written.end());
    for (std::size_t i = 0; i < 8; ++i)
        at[static_cast<std::ptrdiff_t>(2 * i)] = static_cast<std::uint8_t>(name.at(i));
    return file;
}

struct BrokenCase {
    const char* label;
    std::function<Bytes()> make;
    Error::Code code;
    const char* fragment;
    bool bareStream = true; // read as a Workbook stream; else as a whole file
};

const BrokenCase kBroken[] = {
    {"empty stream", [] { return Bytes{}; }, Error::Code::Corrupt, "empty"},
    {"no BOF first", [] { return eof(); }, Error::Code::Corrupt, "does not start with a BOF"},
    {"BIFF5 BOF", [] { return Body().bytes(bof(0x0005, 0x0500)).bytes(eof()); }, Error::Code::OldFormat, "Excel 5.0/95"},
    {"FILEPASS", [] { Book b = oneSheet({}); b.first.push_back(rec(0x002F, Body().u16(1).u16(1).u16(1))); return b.build(); },
     Error::Code::Encrypted, "password"},
    {"globals without EOF", [] { Book b = oneSheet({}); b.sheets.clear(); b.globalsEof = false; return b.build(); },
     Error::Code::Corrupt, "without an EOF"},
    {"BOF inside a sheet", [] { return sheetWith({bof(0x0010)}); }, Error::Code::Corrupt, "BOF record inside the sheet"},
    {"BOF inside the globals", [] { Book b = oneSheet({}); b.later.push_back(bof(0x0010)); return b.build(); },
     Error::Code::Corrupt, "inside the workbook globals"},
    {"shared string out of range", [] { return sheetWith({labelSst(1, 1, 15, 2)}); }, Error::Code::Corrupt, "shared string 2 does not exist (the table holds 2)"},
    {"cell format out of range", [] { return sheetWith({number(0, 2, 99, 1)}); }, Error::Code::Corrupt, "cell C1: cell format 99"},
    {"column beyond IV", [] { return sheetWith({number(3, 256, 15, 1)}); }, Error::Code::Limit, "beyond column IV"},
    {"MULRK whose last column lies", [] { return sheetWith({rec(0x00BD, Body().u16(0).u16(1).u16(15).u32(2).u16(9))}); },
     Error::Code::Corrupt, "MULRK"},
    {"short NUMBER", [] { return sheetWith({rec(0x0203, Body().u16(0).u16(0).u16(15).u32(0))}); }, Error::Code::Corrupt,
     "expected 8 more bytes"},
    {"text formula without STRING", [] { return sheetWith({formula(0, 0, cached(0, 0)), number(1, 0, 15, 1)}); },
     Error::Code::Corrupt, "STRING record"},
    {"stray STRING", [] { return sheetWith({number(1, 0, 15, 1), stringRec("x")}); }, Error::Code::Corrupt, "STRING record"},
    {"SHRFMLA without its formula", [] { return sheetWith({rec(0x04BC, Body().u32(0).u16(0))}); }, Error::Code::Corrupt,
     "without the formula cell"},
    {"unknown error code", [] { return sheetWith({boolErr(0, 0, 0x55, true)}); }, Error::Code::Corrupt, "unknown error value"},
    {"SST with fewer strings than it says", [] { Book b = oneSheet({}); b.sst.clear();
          b.later.push_back(rec(0x00FC, Body().u32(3).u32(3).str16("only one"))); return b.build(); },
     Error::Code::Corrupt, "ends early"},
    {"sheet offset beyond the stream", [] { Book b = oneSheet({}); b.offsetOverride = {1 << 20}; return b.build(); },
     Error::Code::Corrupt, "outside the sheets' part"},
    {"two sheets at one offset", [] { Book b = oneSheet({}); b.sheets.push_back({"Two", 0, 0x0010, {}});
          b.offsetOverride = {-1, static_cast<std::int64_t>(b.globals({0, 0}).size())}; return b.build(); },
     Error::Code::Corrupt, "same offset"},
    {"sheet offset not at a BOF", [] { Book b = oneSheet({number(0, 0, 15, 1)});
          b.offsetOverride = {static_cast<std::int64_t>(b.build().size() - 4)}; return b.build(); },
     Error::Code::Corrupt, "no BOF record"},
    {"two sheets with one name", [] { Book b = oneSheet({}); b.sheets.push_back({"DATA", 0, 0x0010, {}}); return b.build(); },
     Error::Code::Corrupt, "two sheets are named"},
    {"sheet BOF of another BIFF version", [] { Book b = oneSheet({}); Bytes s = b.build(); s[b.globals({0}).size() + 5] = 0x05; return s; },
     Error::Code::Corrupt, "BIFF version 5.0"},
    {"worksheet whose BOF says chart", [] { Book b = oneSheet({}); b.sheets[0].bofType = 0x0020; return b.build(); },
     Error::Code::Corrupt, "its BOF says type 32"},
    {"XF with the missing font 4", [] { Book b = oneSheet({}); b.later.push_back(xf(4, 0, false)); return b.build(); },
     Error::Code::Corrupt, "uses font 4"},
    {"merged range with columns reversed", [] { return sheetWith({rec(0x00E5, Body().u16(1).u16(0).u16(0).u16(3).u16(1))}); },
     Error::Code::Corrupt, "merged range"},
    // The container around the stream (the corpus holds an .xlsx, a BIFF5 and a cut file).
    {"a compound file without a workbook", [] { return compoundDocument("Notebook", sheetWith({})); },
     Error::Code::NoWorkbook, "", false},
    {"a damaged compound file", [] { Bytes d = compoundDocument("Workbook", sheetWith({})); std::fill(d.begin() + 8, d.begin() + 512, 0xFF); return d; },
     Error::Code::Corrupt, "", false},
    {"HTML", [] { return Bytes{'<', 'h', 't', 'm', 'l', '>'}; }, Error::Code::NotOle2, "HTML", false},
    {"HTML after a byte-order mark", [] { return Bytes{0xEF, 0xBB, 0xBF, '\r', '\n', '<', 'h', 't', 'm', 'l', '>'}; },
     Error::Code::NotOle2, "HTML", false},
};

class BrokenInput : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenInput, GivesOneClearErrorNamingTheFile)
{
    const BrokenCase& c = GetParam();
    const auto e = xlstest::errorOf([&] { c.bareStream ? parse(c.make()) : Workbook::fromBytes(c.make(), kName); });
    ASSERT_TRUE(e) << c.label << ": read without complaint";
    EXPECT_EQ(e->code(), c.code) << c.label << ": " << e->what();
    EXPECT_NE(std::string(e->what()).find(c.fragment), std::string::npos) << c.label << ": " << e->what();
    EXPECT_NE(std::string(e->what()).find(kName), std::string::npos) << e->what();
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenInput, ::testing::ValuesIn(kBroken), [](const auto& info) {
    std::string n;
    for (const char* p = info.param.label; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
});

TEST(XlsReader, EveryTruncationIsAnError)
{
    const Bytes full = sheetWith({number(0, 0, 15, 1)});
    EXPECT_NO_THROW(parse(full));
    for (std::size_t keep = 0; keep < full.size(); ++keep)
        EXPECT_THROW(parse(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep))), Error) << keep;
}

// One cell in the last row of each of many sheets: a few kilobytes that would otherwise make
// millions of empty rows. The last row itself is fine.
TEST(XlsReader, SparseCellsCannotClaimUnboundedMemory)
{
    Book b;
    for (int i = 0; i < 200; ++i)
        b.sheets.push_back({"S" + std::to_string(i), 0, 0x0010, {number(65535, 0, 15, 1)}});
    EXPECT_THROW(parse(b.build()), Error);
    EXPECT_EQ(parse(sheetWith({number(65535, 255, 15, 1)})).sheet(0).value(65535, 255), Value(1.0));
}

// The container: the stream found by any case of its name (and, written short, padded to 4,096
// bytes so that it lives in regular sectors, not the mini stream), or a bare stream.
TEST(XlsReader, FindsTheStreamByAnyCaseAndOpenNamesTheFile)
{
    const Bytes stream = sheetWith({number(0, 0, 15, 7)});
    EXPECT_EQ(Workbook::fromBytes(compoundDocument("WORKBOOK", stream), kName).sheet(0).value(0, 0), Value(7.0));
    EXPECT_EQ(xlstest::workbookStreamOf(compoundDocument("Workbook", stream)).size(), 4096u);
    EXPECT_EQ(Workbook::fromBytes(stream, kName).sheet(0).value(0, 0), Value(7.0)); // a bare stream
    for (const std::filesystem::path& p : {std::filesystem::temp_directory_path() / "certwright-no-such-file.xls",
                                           std::filesystem::temp_directory_path()}) {
        const auto e = xlstest::errorOf([&] { Workbook::open(p); });
        EXPECT_TRUE(e && e->code() == Error::Code::Io && std::string(e->what()).find(p.filename().string()) != std::string::npos) << p;
    }
}

} // namespace
