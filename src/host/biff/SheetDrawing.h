#pragma once

#include "host/Drawing.h"
#include "host/Format.h"
#include "host/Sheet.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cw::host::biff {

// A sheet's drawing layer as its raw records hold it ([MS-XLS] 2.4.188 MsoDrawing, with the
// OBJ, TXO and NOTE records that go with it). Files split the OfficeArt stream of a sheet over
// MSODRAWING records, one part ending at each shape's client data (its OBJ follows) and text
// box (its TXO follows); here the stream is joined, and each part remembers the records that
// followed it, so that shapes can be taken out, moved and renumbered and the records rebuilt.
class SheetDrawing {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    struct Part {
        std::size_t end = 0;            // where this MSODRAWING's share of the stream ends
        std::vector<RawRecord> follow;  // OBJ, TXO with its CONTINUEs, an embedded chart substream
    };
    // One top-level shape or group.
    struct Shape {
        std::size_t begin = 0, end = 0; // its container in the stream
        DrawingKind kind = DrawingKind::Unknown;
        std::string name;
        std::size_t anchor = npos;      // the body of its ClientAnchor
        std::uint32_t blip = 0;         // a picture's 1-based index into the picture store
        std::vector<std::uint16_t> objIds;
    };
    // Where a shape's identifier is written, and where its OBJ's client data ends.
    struct ShapeId {
        std::size_t spid = 0;           // offset of the FSP's spid
        std::size_t clientDataEnd = npos;
    };

    // The drawing of a raw record list. Nothing when the list has none, or when its stream
    // can't be followed: then its records stay as they are, and are not copied.
    static std::optional<SheetDrawing> read(const std::vector<RawRecord>& list);
    // The records that stand in place of list[first, last).
    std::vector<RawRecord> records() const;

    // Takes out shape i with the records that follow it.
    void removeShape(std::size_t i);
    // Rows inserted at `row`: anchors at or below it move down; those that span it grow when
    // they are sized with the cells.
    void insertRows(int row, int count);
    // Gives the drawing the id dgid, its shapes the ids from firstSpid on (in clusters of
    // 1,024), each OBJ its shape's place in the drawing, and each picture reference the store
    // index blip(old index) (0: none). Returns the new OBJ id of each old one.
    std::map<std::uint16_t, std::uint16_t> renumber(std::uint32_t dgid, std::uint32_t firstSpid,
                                                    const std::function<std::uint32_t(std::uint32_t)>& blip);
    // Every picture-store index the drawing refers to, once per reference.
    std::vector<std::uint32_t> blipReferences() const;
    std::size_t shapeCount() const { return m_ids.size(); }
    CellPoint from(const Shape& s) const;
    CellPoint to(const Shape& s) const;

    std::size_t first = 0, last = 0; // the drawing's records in the list
    std::vector<std::uint8_t> art;
    std::vector<Part> parts;
    std::vector<Shape> shapes;

private:
    bool parse();
    bool walk(std::size_t begin, std::size_t end, int depth, Shape* shape);

    std::size_t m_dg = 0, m_fdg = npos, m_topGroup = npos;
    std::vector<ShapeId> m_ids;
    std::vector<std::size_t> m_blips;      // offsets of picture-store references
    std::vector<std::size_t> m_shapeRefs;  // offsets of properties and rules naming a shape
};

// Rows inserted into a sheet: its drawing's anchors and its comments' cells move with them.
void insertDrawingRows(Sheet& sheet, int row, int count);
// Takes out of a sheet what a copy of it can't carry (charts, controls, embedded objects, or a
// drawing that can't be followed); returns a sentence for each, naming `sheetName`.
std::vector<std::string> leaveOutUncarried(Sheet& sheet, const std::string& sheetName);

// NOTE records ([MS-XLS] 2.4.179): the row, and the OBJ id of the comment's shape.
int noteRow(const RawRecord& note);
std::uint16_t noteObjId(const RawRecord& note);

// The kind of object an OBJ record describes ([MS-XLS] 2.5.143 FtCmo, 2.5.140 FtPioGrbit).
DrawingKind objKind(const RawRecord& obj);

} // namespace cw::host::biff
