// Pictures and comments through a copy, rows inserted into it, and a move to a new workbook.
// Each workbook written must be consistent on its own, as its records say: unique drawing and
// shape ids in their own clusters, OBJ ids that are their shapes', NOTEs and selections that
// point at what is there, picture references within the store and reference counts that add up.

#include "XlsTestSupport.h"

#include "TestSupport.h"
#include "host/Workbook.h"
#include "host/biff/DrawingGroup.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

using namespace cw::host;
using namespace xlstest;

// The OfficeArt records of a joined stream, containers opened: (type, instance, body offset, length).
void scan(const Bytes& art, std::size_t at, std::size_t end, const std::function<void(int, int, std::size_t, std::size_t)>& f)
{
    while (at + 8 <= end) {
        const std::uint16_t verInst = u16(art, at), type = u16(art, at + 2);
        const std::size_t length = u32(art, at + 4);
        ASSERT_LE(at + 8 + length, end) << "an OfficeArt record runs past its container";
        f(type, verInst >> 4, at + 8, length);
        if ((verInst & 0x0F) == 0x0F && type != 0xF007)
            scan(art, at + 8, at + 8 + length, f);
        at += 8 + length;
    }
}

// The bodies of every record of a type and of the CONTINUEs that go on from it, joined.
Bytes joined(const std::vector<Rec>& recs, std::uint16_t type)
{
    Bytes out;
    std::uint16_t previous = 0;
    for (const Rec& r : recs) {
        previous = r.type == 0x003C ? previous : r.type;
        if (previous == type)
            out.insert(out.end(), r.data.begin(), r.data.end());
    }
    return out;
}

void expectConsistentDrawings(const Bytes& file)
{
    const auto all = records(workbookStreamOf(file));
    const Bytes group = joined(globalsOf(all), 0x00EB);
    std::map<std::uint32_t, std::set<std::uint32_t>> clusters; // dgid -> its clusters
    std::vector<std::uint32_t> storeRefs;                      // cRef of each store entry
    scan(group, 0, group.size(), [&](int type, int, std::size_t body, std::size_t length) {
        for (std::size_t k = 16; type == 0xF006 && k + 8 <= length; k += 8)
            clusters[u32(group, body + k)].insert(static_cast<std::uint32_t>(k / 8 - 1));
        if (type == 0xF007)
            storeRefs.push_back(u32(group, body + 24));
    });
    std::set<std::uint32_t> dgids, spids;
    std::vector<std::uint32_t> refs(storeRefs.size() + 2); // by index; the last: past the store
    for (int sheet = 0; sheet < static_cast<int>(ofType(globalsOf(all), 0x0085).size()); ++sheet) {
        const auto recs = sheetOf(all, sheet);
        const Bytes art = joined(recs, 0x00EC);
        std::uint32_t dgid = 0, csp = 0, spidCur = 0;
        std::set<std::uint32_t> own, objIds;
        scan(art, 0, art.size(), [&](int type, int instance, std::size_t body, std::size_t) {
            if (type == 0xF008)
                dgid = static_cast<std::uint32_t>(instance), csp = u32(art, body), spidCur = u32(art, body + 4);
            if (type == 0xF00A)
                own.insert(u32(art, body));
            for (std::size_t k = 0; type == 0xF00B && k < static_cast<std::size_t>(instance); ++k)
                if ((u16(art, body + 6 * k) & 0xBFFF) == 0x0104 || (u16(art, body + 6 * k) & 0xC000) == 0x4000)
                    ++refs[std::min<std::size_t>(u32(art, body + 6 * k + 2), storeRefs.size() + 1)];
        });
        const Bytes selection = joined(recs, 0x00ED); // the shapes it names follow a 20-byte head
        for (std::size_t k = 20; k + 4 <= selection.size(); k += 4)
            EXPECT_TRUE(own.count(u32(selection, k))) << "a selected shape that is not there";
        if (art.empty())
            continue;
        EXPECT_TRUE(dgids.insert(dgid).second) << "drawing id " << dgid << " twice";
        EXPECT_EQ(std::make_pair(csp, spidCur), std::make_pair(std::uint32_t(own.size()), *own.rbegin()));
        for (std::uint32_t spid : own)
            EXPECT_TRUE(spids.insert(spid).second && clusters[dgid].count(spid / 1024)) << "shape id " << spid;
        for (const Rec* obj : ofType(recs, 0x005D))
            EXPECT_TRUE(objIds.insert(u16(obj->data, 6)).second && own.count(1024 * (*own.begin() / 1024) + u16(obj->data, 6)));
        for (const Rec* note : ofType(recs, 0x001C))
            EXPECT_TRUE(objIds.count(u16(note->data, 6))) << "a NOTE points at no OBJ";
    }
    EXPECT_EQ(refs.back(), 0u) << "a reference past the picture store";
    for (std::size_t k = 0; k < storeRefs.size(); ++k)
        EXPECT_EQ(storeRefs[k], refs[k + 1]) << "picture " << k + 1;
}

// A shape's picture number is 1-based into the store; 0 and numbers past its end are no picture.
TEST(Drawings, PictureNumbersOutsideTheStoreAreNoPicture)
{
    const Workbook wb = Workbook::open(cw::test::corpusDir() / "SimpleWithImages.xls");
    const auto group = cw::host::biff::DrawingGroup::read(wb.rawGlobals());
    ASSERT_TRUE(group && group->storeSize() > 0);
    EXPECT_NE(group->format(1), cw::host::PictureFormat::None);
    for (const std::uint32_t outside : {std::uint32_t(0), std::uint32_t(group->storeSize() + 1)}) {
        EXPECT_EQ(group->format(outside), cw::host::PictureFormat::None) << outside;
        EXPECT_TRUE(group->image(outside).empty()) << outside;
    }
}

TEST(Drawings, CopiesAndMovesAreConsistentAndCarryPicturesAndComments)
{
    for (const char* name : {"SimpleWithImages.xls", "comments.xls"}) {
        SCOPED_TRACE(name);
        Workbook wb = Workbook::open(cw::test::corpusDir() / name);
        const std::vector<DrawingObject> original = wb.drawingObjects(0);
        ASSERT_FALSE(original.empty());
        wb.copySheet(0, 0);
        const int moved = wb.copySheet(1, 1, true); // copies of sheet 1 at 0 and 2
        wb.sheet(moved).insertRows(2, 5);
        EXPECT_TRUE(wb.drawingObjects(0) == original);
        std::vector<DrawingObject> shifted = original; // below the insertion point, 5 rows down
        for (DrawingObject& o : shifted) { // (those that span row 2 are not sized with their cells)
            const int by = o.from.row >= 2 ? 5 : 0;
            o.from.row += by, o.to.row += by;
            o.noteCell.row += o.kind == DrawingKind::Comment && o.noteCell.row >= 2 ? 5 : 0;
        }
        EXPECT_TRUE(wb.drawingObjects(moved) == shifted);
        Workbook out = wb.moveSheetsToNewWorkbook({0, moved});
        EXPECT_TRUE(out.drawingObjects(0) == original && out.drawingObjects(1) == shifted);
        EXPECT_TRUE(wb.warnings().empty());
        for (const Workbook* w : {&wb, &out}) {
            const Bytes bytes = w->toBytes();
            expectConsistentDrawings(bytes);
            EXPECT_TRUE(Workbook::fromBytes(bytes, name).drawingObjects(0) == w->drawingObjects(0));
        }
    }
}

TEST(Drawings, WhatACopyCannotCarryIsLeftOutAndNamedOnce)
{
    Workbook wb = Workbook::open(cw::test::corpusDir() / "SimpleChart.xls");
    for (int i = 0; i < 3; ++i)
        wb.copySheet(wb.indexOf("Sheet1"), 0);
    EXPECT_EQ(wb.warnings(), std::vector<std::string>{"the chart on sheet \"Sheet1\" can't be copied with the sheet and is left out"});
    EXPECT_TRUE(wb.drawingObjects(0).empty());
    ASSERT_EQ(wb.drawingObjects(wb.indexOf("Sheet1")).size(), 1u);
    EXPECT_EQ(wb.drawingObjects(wb.indexOf("Sheet1"))[0].kind, DrawingKind::Chart);
    expectConsistentDrawings(wb.toBytes());
}

} // namespace
