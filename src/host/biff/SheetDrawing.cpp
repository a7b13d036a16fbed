#include "host/biff/SheetDrawing.h"

#include "host/biff/Bytes.h"
#include "host/biff/OfficeArt.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/RecordReader.h"
#include "host/biff/Records.h"

#include <algorithm>

namespace cw::host::biff {

namespace {

constexpr int kMaxDepth = 32;            // far deeper than any drawing a program writes
constexpr std::uint16_t kShapeName = 0x0380;
constexpr std::uint16_t kMasterShape = 0x0301;
constexpr std::uint16_t kNextTextShape = 0x0138;

DrawingKind combined(const std::vector<DrawingKind>& kinds)
{
    if (kinds.empty())
        return DrawingKind::Unknown;
    for (DrawingKind k : {DrawingKind::Chart, DrawingKind::Control, DrawingKind::Embedded, DrawingKind::Unknown})
        if (std::find(kinds.begin(), kinds.end(), k) != kinds.end())
            return k;
    return kinds.size() == 1 ? kinds.front() : DrawingKind::Shape; // a group of carried kinds
}

} // namespace

DrawingKind objKind(const RawRecord& obj)
{
    const auto& d = obj.data;
    if (d.size() < 22 || le16(&d[0]) != 0x0015)
        return DrawingKind::Unknown;
    switch (le16(&d[4])) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x06: case 0x09: case 0x1E:
        return DrawingKind::Shape;
    case 0x05:
        return DrawingKind::Chart;
    case 0x07: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x11: case 0x12: case 0x13: case 0x14:
        return DrawingKind::Control;
    case 0x19:
        return DrawingKind::Comment;
    case 0x08:
        break;
    default:
        return DrawingKind::Unknown;
    }
    // A picture, unless its data live elsewhere: an OLE object, an ActiveX control, a DDE link or
    // a camera picture of a range.
    for (std::size_t at = 22; at + 4 <= d.size();) {
        const std::uint16_t ft = le16(&d[at]), cb = le16(&d[at + 2]);
        if (ft == 0x0000 || ft == 0x0009)
            return ft == 0 ? DrawingKind::Picture : DrawingKind::Embedded;
        if (ft == 0x0008 && cb >= 2 && at + 6 <= d.size()) {
            const std::uint16_t flags = le16(&d[at + 4]);
            if (flags & 0x0010)
                return DrawingKind::Control;
            if (flags & (0x0002 | 0x0020 | 0x0080))
                return DrawingKind::Embedded;
        }
        at += 4 + std::size_t(cb);
    }
    return DrawingKind::Picture;
}

int noteRow(const RawRecord& note) { return note.data.size() >= 8 ? le16(&note.data[0]) : -1; }
std::uint16_t noteObjId(const RawRecord& note) { return note.data.size() >= 8 ? le16(&note.data[6]) : 0; }

std::optional<SheetDrawing> SheetDrawing::read(const std::vector<RawRecord>& list)
{
    const auto start = std::find_if(list.begin(), list.end(), [](const RawRecord& r) { return r.type == rt::MsoDrawing; });
    if (start == list.end())
        return std::nullopt;
    SheetDrawing d;
    d.first = static_cast<std::size_t>(start - list.begin());
    std::uint16_t previous = 0; // the record a CONTINUE goes on
    std::size_t i = d.first;
    while (i < list.size()) {
        const RawRecord& r = list[i];
        if (r.type == rt::MsoDrawing || (r.type == rt::Continue && previous == rt::MsoDrawing)) {
            d.art.insert(d.art.end(), r.data.begin(), r.data.end());
            if (r.type == rt::MsoDrawing)
                d.parts.push_back({});
            d.parts.back().end = d.art.size();
        } else if (r.type == rt::Obj || r.type == rt::Txo || r.type == rt::Continue) {
            d.parts.back().follow.push_back(r);
        } else if (r.type == rt::Bof) { // an embedded chart's substream
            const std::size_t end = substreamEnd(list, i);
            d.parts.back().follow.insert(d.parts.back().follow.end(), list.begin() + static_cast<std::ptrdiff_t>(i),
                                         list.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
            previous = rt::Eof;
            continue;
        } else {
            break;
        }
        if (r.type != rt::Continue)
            previous = r.type;
        ++i;
    }
    d.last = i;
    // A second run of drawing records further on is not a layout we know how to keep together.
    for (std::size_t j = i; j < list.size(); ++j)
        if (list[j].type == rt::MsoDrawing || list[j].type == rt::Obj || list[j].type == rt::Txo)
            return std::nullopt;
    if (!d.parse())
        return std::nullopt;
    return d;
}

bool SheetDrawing::parse()
{
    shapes.clear();
    m_ids.clear();
    m_blips.clear();
    m_shapeRefs.clear();
    m_fdg = m_topGroup = npos;
    const auto dg = art::header(art, 0, art.size());
    if (!dg || dg->type != art::DgContainer || dg->end() != art.size())
        return false;
    m_dg = 0;
    for (std::size_t at = dg->body(); at < dg->end();) {
        const auto h = art::header(art, at, dg->end());
        if (!h)
            return false;
        if (h->type == art::FDG && h->length >= 8) {
            m_fdg = h->at;
        } else if (h->type == art::SpgrContainer && m_topGroup == npos) {
            m_topGroup = h->at;
            // The first child is the patriarch, the group of the whole drawing; the rest are
            // the sheet's shapes and groups.
            for (std::size_t c = h->body(); c < h->end();) {
                const auto child = art::header(art, c, h->end());
                if (!child || (child->type != art::SpContainer && child->type != art::SpgrContainer))
                    return false;
                Shape shape;
                shape.begin = child->at;
                shape.end = child->end();
                if (!walk(child->at, child->end(), 0, c == h->body() ? nullptr : &shape))
                    return false;
                if (c != h->body())
                    shapes.push_back(std::move(shape));
                c = child->end();
            }
        } else if (h->type == art::SolverContainer && !walk(h->body(), h->end(), 0, nullptr)) {
            return false;
        }
        at = h->end();
    }
    if (m_fdg == npos || m_topGroup == npos)
        return false;
    for (Shape& s : shapes) {
        std::vector<DrawingKind> kinds;
        for (const Part& p : parts)
            if (p.end > s.begin && p.end <= s.end)
                for (const RawRecord& r : p.follow)
                    if (r.type == rt::Obj) {
                        kinds.push_back(objKind(r));
                        s.objIds.push_back(r.data.size() >= 8 ? le16(&r.data[6]) : 0);
                    }
        s.kind = combined(kinds);
    }
    return true;
}

bool SheetDrawing::walk(std::size_t begin, std::size_t end, int depth, Shape* shape)
{
    if (depth > kMaxDepth)
        return false;
    for (std::size_t at = begin; at < end;) {
        const auto h = art::header(art, at, end);
        if (!h)
            return false;
        if (h->container()) {
            if (!walk(h->body(), h->end(), depth + 1, shape))
                return false;
        } else if (h->type == art::FSP && h->length >= 8) {
            m_ids.push_back({h->body(), npos});
        } else if (h->type == art::ClientData && !m_ids.empty()) {
            m_ids.back().clientDataEnd = h->end();
        } else if (h->type == art::ClientAnchor && h->length >= 18 && shape && shape->anchor == npos) {
            shape->anchor = h->body();
        } else if (h->type == art::OPT || h->type == art::TertiaryOPT) {
            for (const art::Property& p : art::properties(art, *h)) {
                if (p.blip) {
                    m_blips.push_back(p.value);
                    if (shape && p.id == art::kPictureProperty && !shape->blip)
                        shape->blip = le32(&art[p.value]);
                } else if (!p.complex && (p.id == kMasterShape || p.id == kNextTextShape)) {
                    m_shapeRefs.push_back(p.value);
                } else if (p.complex && p.id == kShapeName && shape && shape->name.empty()) {
                    const std::size_t units = std::min<std::size_t>(le32(&art[p.value]) / 2, (art.size() - p.data) / 2);
                    std::u16string name;
                    for (std::size_t k = 0; k < units && le16(&art[p.data + 2 * k]) != 0; ++k)
                        name.push_back(static_cast<char16_t>(le16(&art[p.data + 2 * k])));
                    appendUtf8(name.data(), name.size(), shape->name);
                }
            }
        } else if (h->type == art::ConnectorRule && h->length >= 16) {
            m_shapeRefs.insert(m_shapeRefs.end(), {h->body() + 4, h->body() + 8, h->body() + 12});
        } else if ((h->type == art::ArcRule || h->type == art::CalloutRule) && h->length >= 8) {
            m_shapeRefs.push_back(h->body() + 4);
        }
        at = h->end();
    }
    return true;
}

std::vector<RawRecord> SheetDrawing::records() const
{
    std::vector<RawRecord> out;
    std::size_t at = 0;
    for (const Part& p : parts) {
        if (p.end > at)
            out.push_back({rt::MsoDrawing, {art.begin() + static_cast<std::ptrdiff_t>(at), art.begin() + static_cast<std::ptrdiff_t>(p.end)}});
        at = std::max(at, p.end);
        out.insert(out.end(), p.follow.begin(), p.follow.end());
    }
    if (at < art.size())
        out.push_back({rt::MsoDrawing, {art.begin() + static_cast<std::ptrdiff_t>(at), art.end()}});
    return out;
}

void SheetDrawing::removeShape(std::size_t i)
{
    const Shape s = shapes.at(i);
    const std::size_t n = s.end - s.begin;
    art.erase(art.begin() + static_cast<std::ptrdiff_t>(s.begin), art.begin() + static_cast<std::ptrdiff_t>(s.end));
    for (std::size_t container : {m_dg, m_topGroup})
        putLe32(&art[container + 4], static_cast<std::uint32_t>(le32(&art[container + 4]) - n));
    // The parts that end inside the shape go with it; what they held before it joins the next.
    std::erase_if(parts, [&](const Part& p) { return p.end > s.begin && p.end <= s.end; });
    for (Part& p : parts)
        if (p.end > s.end)
            p.end -= n;
    parse();
}

void SheetDrawing::insertRows(int row, int count)
{
    auto shift = [&](std::size_t at) {
        putLe16(&art[at], static_cast<std::uint16_t>(std::min(le16(&art[at]) + count, 0xFFFF)));
    };
    for (const Shape& s : shapes) {
        if (s.anchor == npos)
            continue;
        const bool sizedWithCells = (le16(&art[s.anchor]) & 0x0002) == 0;
        if (le16(&art[s.anchor + 6]) >= row) {
            shift(s.anchor + 6);
            shift(s.anchor + 14);
        } else if (le16(&art[s.anchor + 14]) >= row && sizedWithCells) {
            shift(s.anchor + 14);
        }
    }
}

std::map<std::uint16_t, std::uint16_t> SheetDrawing::renumber(std::uint32_t dgid, std::uint32_t firstSpid,
                                                              const std::function<std::uint32_t(std::uint32_t)>& blip)
{
    std::map<std::uint32_t, std::uint32_t> spids;
    std::map<std::uint16_t, std::uint16_t> objIds;
    for (std::size_t k = 0; k < m_ids.size(); ++k) {
        const std::uint32_t spid = firstSpid + static_cast<std::uint32_t>(k);
        spids.emplace(le32(&art[m_ids[k].spid]), spid);
        putLe32(&art[m_ids[k].spid], spid);
        for (Part& p : parts) {
            if (p.end != m_ids[k].clientDataEnd || p.follow.empty() || p.follow.front().type != rt::Obj ||
                p.follow.front().data.size() < 8)
                continue;
            std::uint8_t* id = &p.follow.front().data[6];
            objIds.emplace(le16(id), static_cast<std::uint16_t>(k));
            putLe16(id, static_cast<std::uint16_t>(k));
        }
    }
    for (std::size_t at : m_shapeRefs)
        if (const std::uint32_t old = le32(&art[at]))
            putLe32(&art[at], spids.count(old) ? spids.at(old) : 0);
    for (std::size_t at : m_blips)
        if (const std::uint32_t old = le32(&art[at]))
            putLe32(&art[at], blip(old));
    putLe16(&art[m_fdg], static_cast<std::uint16_t>(dgid << 4)); // version 0, instance: the drawing id
    putLe32(&art[m_fdg + 8], static_cast<std::uint32_t>(m_ids.size()));
    putLe32(&art[m_fdg + 12], m_ids.empty() ? firstSpid : firstSpid + static_cast<std::uint32_t>(m_ids.size() - 1));
    parse();
    return objIds;
}

std::vector<std::uint32_t> SheetDrawing::blipReferences() const
{
    std::vector<std::uint32_t> out;
    for (std::size_t at : m_blips)
        if (const std::uint32_t v = le32(&art[at]))
            out.push_back(v);
    return out;
}

CellPoint SheetDrawing::from(const Shape& s) const
{
    if (s.anchor == npos)
        return {};
    const std::uint8_t* a = &art[s.anchor];
    return {le16(a + 6), le16(a + 2), le16(a + 4), le16(a + 8)};
}

CellPoint SheetDrawing::to(const Shape& s) const
{
    if (s.anchor == npos)
        return {};
    const std::uint8_t* a = &art[s.anchor];
    return {le16(a + 14), le16(a + 10), le16(a + 12), le16(a + 16)};
}

} // namespace cw::host::biff
