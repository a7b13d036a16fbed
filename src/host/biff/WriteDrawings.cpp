// The drawing layer as written. Every drawing gets its own id and its own cluster of shape ids,
// its OBJ and NOTE records the ids that go with them, and the picture store keeps the pictures
// the drawings refer to, with their reference counts. So a copied sheet (whose drawing repeats
// its original's ids) and a sheet moved to a new workbook both come out consistent, as Excel
// requires.

#include "host/biff/DrawingGroup.h"
#include "host/biff/OfficeArt.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/Records.h"
#include "host/biff/SheetDrawing.h"
#include "host/biff/WriterState.h"
#include "host/biff/Bytes.h"

#include <algorithm>
#include <map>

namespace cw::host {

using namespace biff;

namespace {

bool holds(const std::vector<RawRecord>& list, std::uint16_t type)
{
    return std::any_of(list.begin(), list.end(), [&](const RawRecord& r) { return r.type == type; });
}

// The list with the drawing's records put back, its NOTEs pointing at the renumbered OBJs, and
// no drawing selection (which names shapes by their old ids).
std::vector<RawRecord> relisted(const std::vector<RawRecord>& list, const SheetDrawing& d,
                                const std::map<std::uint16_t, std::uint16_t>& objIds)
{
    std::vector<RawRecord> out(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(d.first));
    const std::vector<RawRecord> drawing = d.records();
    out.insert(out.end(), drawing.begin(), drawing.end());
    out.insert(out.end(), list.begin() + static_cast<std::ptrdiff_t>(d.last), list.end());
    std::erase_if(out, [](const RawRecord& r) { return r.type == rt::MsoDrawingSelection; });
    for (RawRecord& r : out)
        if (r.type == rt::Note && objIds.count(noteObjId(r)))
            putLe16(&r.data[6], objIds.at(noteObjId(r)));
    return out;
}

} // namespace

// A drawing that can't be followed keeps its records and ids as read; that is safe only while
// the sheets are as read. Once they changed (a copy repeats the ids), such drawings are dropped.
void XlsWriter::Impl::planDrawings()
{
    bool unreadable = false;
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        if (s.kind() != SheetKind::Worksheet)
            continue;
        for (const std::vector<RawRecord>* list : {&s.rawAfterCells(), &s.rawBeforeCells()})
            if (holds(*list, rt::MsoDrawing) && !SheetDrawing::read(*list)) {
                unreadable = true;
                plans[static_cast<std::size_t>(i)].keepDrawing = !wb.structureChanged();
            }
    }
    if (!unreadable || wb.structureChanged())
        renumberDrawings();
}

void XlsWriter::Impl::renumberDrawings()
{
    struct Found {
        int sheet;
        bool before;
        SheetDrawing drawing;
    };
    std::vector<Found> found;
    std::map<std::uint32_t, std::uint32_t> references; // store index -> how often the drawings use it
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        if (s.kind() != SheetKind::Worksheet)
            continue;
        for (bool before : {false, true})
            if (auto d = SheetDrawing::read(before ? s.rawBeforeCells() : s.rawAfterCells())) {
                for (std::uint32_t blip : d->blipReferences())
                    ++references[blip];
                found.push_back({i, before, std::move(*d)});
                break;
            }
    }
    if (found.empty())
        return; // a group without drawings stays as read
    const DrawingGroup group = DrawingGroup::read(wb.rawGlobals()).value_or(DrawingGroup{});

    // The store keeps what is used, in its order; a reference to nothing becomes none.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> keep;
    std::map<std::uint32_t, std::uint32_t> newIndex;
    for (const auto& [index, count] : references)
        if (index <= group.storeSize()) {
            keep.emplace_back(index, count);
            newIndex[index] = static_cast<std::uint32_t>(keep.size());
        }
    auto blip = [&](std::uint32_t old) { return newIndex.count(old) ? newIndex.at(old) : 0u; };

    std::vector<DrawingGroup::Drawing> drawings;
    std::uint32_t cluster = 1;
    for (Found& f : found) {
        const auto dgid = static_cast<std::uint32_t>(drawings.size() + 1);
        const auto objIds = f.drawing.renumber(dgid, cluster * art::kSpidsPerCluster, blip);
        drawings.push_back({dgid, static_cast<std::uint32_t>(f.drawing.shapeCount())});
        cluster += clustersFor(drawings.back().shapes);
        const Sheet& s = wb.sheet(f.sheet);
        SheetPlan& plan = plans[static_cast<std::size_t>(f.sheet)];
        (f.before ? plan.before : plan.after) = relisted(f.before ? s.rawBeforeCells() : s.rawAfterCells(), f.drawing, objIds);
    }
    replaceGroup = true;
    drawingGroup = group.build(drawings, keep);
}

} // namespace cw::host
