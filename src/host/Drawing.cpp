// The drawing layer as the model offers it: the objects of a sheet, what its copies carry, and
// how inserted rows move it. The records themselves are kept raw (biff/SheetDrawing).

#include "host/Drawing.h"

#include "host/Workbook.h"
#include "host/biff/Bytes.h"
#include "host/biff/DrawingGroup.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/Records.h"
#include "host/biff/SheetDrawing.h"

#include <algorithm>
#include <set>

namespace cw::host {

namespace rt = biff::rt;

std::string kindName(DrawingKind kind)
{
    switch (kind) {
    case DrawingKind::Picture: return "picture";
    case DrawingKind::Comment: return "comment";
    case DrawingKind::Shape: return "drawing";
    case DrawingKind::Chart: return "chart";
    case DrawingKind::Control: return "form control";
    case DrawingKind::Embedded: return "embedded object";
    default: return "drawing object";
    }
}

namespace biff {

namespace {

bool holds(const std::vector<RawRecord>& list, std::uint16_t type)
{
    return std::any_of(list.begin(), list.end(), [&](const RawRecord& r) { return r.type == type; });
}

void replace(std::vector<RawRecord>& list, const SheetDrawing& d)
{
    const std::vector<RawRecord> records = d.records();
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(d.first), list.begin() + static_cast<std::ptrdiff_t>(d.last));
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(d.first), records.begin(), records.end());
}

// Every drawing record of a list, with the CONTINUE records and chart substreams that go with them.
void eraseDrawing(std::vector<RawRecord>& list)
{
    std::vector<RawRecord> kept;
    bool drawing = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint16_t t = list[i].type;
        if (t == rt::Bof && drawing) {
            i = substreamEnd(list, i) - 1;
            continue;
        }
        if (t != rt::Continue)
            drawing = t == rt::MsoDrawing || t == rt::Obj || t == rt::Txo || t == rt::Note || t == rt::MsoDrawingSelection;
        if (!drawing)
            kept.push_back(std::move(list[i]));
    }
    list = std::move(kept);
}

} // namespace

void insertDrawingRows(Sheet& sheet, int row, int count)
{
    for (std::vector<RawRecord>* list : {&sheet.rawAfterCells(), &sheet.rawBeforeCells()}) {
        if (auto d = SheetDrawing::read(*list)) {
            d->insertRows(row, count);
            replace(*list, *d);
        }
        for (RawRecord& r : *list)
            if (r.type == rt::Note && noteRow(r) >= row)
                putLe16(&r.data[0], static_cast<std::uint16_t>(std::min(noteRow(r) + count, 0xFFFF)));
    }
}

std::vector<std::string> leaveOutUncarried(Sheet& sheet, const std::string& sheetName)
{
    std::vector<std::string> left;
    for (std::vector<RawRecord>* list : {&sheet.rawAfterCells(), &sheet.rawBeforeCells()}) {
        if (!holds(*list, rt::MsoDrawing))
            continue;
        auto d = SheetDrawing::read(*list);
        if (!d) {
            eraseDrawing(*list);
            left.push_back("the pictures and other objects on sheet \"" + sheetName + "\" could not be read, so its copies are made without them");
            continue;
        }
        std::set<std::uint16_t> gone;
        bool changed = false;
        for (std::size_t i = d->shapes.size(); i-- > 0;) {
            const SheetDrawing::Shape& s = d->shapes[i];
            if (s.kind == DrawingKind::Picture || s.kind == DrawingKind::Comment || s.kind == DrawingKind::Shape)
                continue;
            left.push_back("the " + kindName(s.kind) + (s.name.empty() ? "" : " \"" + s.name + "\"") + " on sheet \"" +
                           sheetName + "\" can't be copied with the sheet and is left out");
            gone.insert(s.objIds.begin(), s.objIds.end());
            d->removeShape(i);
            changed = true;
        }
        if (changed)
            replace(*list, *d);
        std::erase_if(*list, [&](const RawRecord& r) {
            return r.type == rt::MsoDrawingSelection || (r.type == rt::Note && gone.count(noteObjId(r)));
        });
    }
    std::reverse(left.begin(), left.end()); // in the drawing's order
    return left;
}

} // namespace biff

std::vector<DrawingObject> Workbook::drawingObjects(int index) const
{
    const Sheet& s = sheet(index);
    std::vector<DrawingObject> out;
    for (const std::vector<RawRecord>* list : {&s.rawAfterCells(), &s.rawBeforeCells()}) {
        const auto d = biff::SheetDrawing::read(*list);
        if (!d)
            continue;
        const auto group = biff::DrawingGroup::read(m_rawGlobals);
        for (const biff::SheetDrawing::Shape& shape : d->shapes) {
            DrawingObject o;
            o.kind = shape.kind;
            o.name = shape.name;
            o.from = d->from(shape);
            o.to = d->to(shape);
            if (shape.kind == DrawingKind::Picture && group) {
                o.format = group->format(shape.blip);
                o.image = group->image(shape.blip);
            }
            for (const RawRecord& r : *list)
                if (r.type == rt::Note && r.data.size() >= 8 &&
                    std::count(shape.objIds.begin(), shape.objIds.end(), biff::noteObjId(r)))
                    o.noteCell = CellRef{biff::noteRow(r), biff::le16(&r.data[2])};
            out.push_back(std::move(o));
        }
        break;
    }
    return out;
}

std::optional<std::string> Workbook::drawingDamage() const
{
    const bool hasGroup = std::any_of(m_rawGlobals.begin(), m_rawGlobals.end(),
                                      [](const RawRecord& r) { return r.type == rt::MsoDrawingGroup; });
    const auto group = biff::DrawingGroup::read(m_rawGlobals);
    if (hasGroup && !group)
        return std::string("the store of its pictures (the drawing group) is damaged");
    for (int i = 0; i < sheetCount(); ++i) {
        const Sheet& s = sheet(i);
        for (const std::vector<RawRecord>* list : {&s.rawBeforeCells(), &s.rawAfterCells()}) {
            if (std::none_of(list->begin(), list->end(), [](const RawRecord& r) { return r.type == rt::MsoDrawing; }))
                continue;
            const auto d = biff::SheetDrawing::read(*list);
            if (!d)
                return "the drawing layer (pictures, comments, shapes) of sheet \"" + s.name() + "\" is damaged";
            for (std::uint32_t blip : d->blipReferences())
                if (blip > (group ? group->storeSize() : 0))
                    return "a picture on sheet \"" + s.name() + "\" refers to a picture the workbook does not hold";
        }
    }
    return std::nullopt;
}

void Workbook::addWarning(std::string text)
{
    if (std::find(m_warnings.begin(), m_warnings.end(), text) == m_warnings.end())
        m_warnings.push_back(std::move(text));
}

} // namespace cw::host
