#pragma once

#include "host/Cell.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cw::host {

// A point on a sheet as a drawing object's anchor gives it: a cell and an offset into it, in the
// file's units (1/1024 of the column's width, 1/256 of the row's height).
struct CellPoint {
    int row = 0;
    int col = 0;
    int dx = 0;
    int dy = 0;
    friend bool operator==(const CellPoint&, const CellPoint&) = default;
};

enum class DrawingKind : std::uint8_t {
    Picture,
    Comment,
    Shape,     // lines, rectangles, text boxes, groups and other drawn shapes
    Chart,
    Control,   // buttons, check boxes, lists and other form controls
    Embedded,  // an OLE object
    Unknown,
};

// How a picture's bytes are encoded ([MS-ODRAW] BLIP types); None when the picture store holds
// no bytes for it.
enum class PictureFormat : std::uint8_t { None, Png, Jpeg, Emf, Wmf, Pict, Dib, Tiff };

// One top-level object of a sheet's drawing layer.
struct DrawingObject {
    DrawingKind kind = DrawingKind::Unknown;
    std::string name;                 // the shape's name when the file gives one
    CellPoint from, to;               // the anchor's top-left and bottom-right
    bool movesWithCells = true;       // follows rows inserted above it (else it stays put)
    PictureFormat format = PictureFormat::None;
    std::vector<std::uint8_t> image;  // a picture's bytes, as stored (PNG, JPEG, ...)
    CellRef noteCell;                 // a comment's cell
    friend bool operator==(const DrawingObject&, const DrawingObject&) = default;
};

// A short, user-facing name of the kind: "picture", "chart", "form control" ...
std::string kindName(DrawingKind kind);

} // namespace cw::host
