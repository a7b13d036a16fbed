#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cw::host {

// A FONT record ([MS-XLS] 2.4.122), decoded. Index 4 of the font table does not exist in BIFF8:
// Workbook::fonts() stores the fonts in file order and fontIndex() maps XF font indices to it.
struct Font {
    std::string name = "Arial";
    std::uint16_t heightTwips = 200;   // 1/20 point
    std::uint16_t weight = 400;        // 400 normal, 700 bold
    bool italic = false;
    bool strikeout = false;
    bool outline = false;
    bool shadow = false;
    std::uint8_t underline = 0;        // 0 none, 1 single, 2 double, 0x21/0x22 accounting
    std::uint16_t colorIndex = 0x7FFF; // palette index; 0x7FFF = automatic
    std::uint16_t escapement = 0;      // 0 none, 1 superscript, 2 subscript
    std::uint8_t family = 0;
    std::uint8_t charset = 0;

    bool bold() const { return weight >= 700; }
    friend bool operator==(const Font&, const Font&) = default;
};

enum class HAlign : std::uint8_t { General = 0, Left, Center, Right, Fill, Justify, CenterAcross, Distributed };
enum class VAlign : std::uint8_t { Top = 0, Center, Bottom, Justify, Distributed };

// Border line styles ([MS-XLS] 2.5.11), e.g. 0 none, 1 thin, 2 medium, 5 thick, 6 double.
struct Border {
    std::uint8_t style = 0;
    std::uint8_t color = 0x40;     // palette index; 0x40 = system window text (automatic)
    friend bool operator==(const Border&, const Border&) = default;
};

// An XF record ([MS-XLS] 2.4.353), decoded field by field so that the writer re-encodes it.
struct Xf {
    std::uint16_t font = 0;            // XF font index (skips 4, as in the file)
    std::uint16_t numFmt = 0;          // number format id (builtin < 164, or a FORMAT record's id)
    bool locked = true;
    bool hidden = false;
    bool isStyle = false;              // a style XF (fStyle); otherwise a cell XF
    bool prefix123 = false;
    std::uint16_t parent = 0;          // parent style XF index; 0xFFF for style XFs
    HAlign hAlign = HAlign::General;
    bool wrap = false;
    VAlign vAlign = VAlign::Bottom;
    bool justLast = false;
    std::uint8_t rotation = 0;
    std::uint8_t indent = 0;
    bool shrink = false;
    std::uint8_t readingOrder = 0;
    std::uint8_t usedAttrib = 0x3F;    // the six fAtr* bits (bit 0 number format ... bit 5 protection)
    Border left, right, top, bottom;
    std::uint8_t diagColor = 0;
    std::uint8_t diagStyle = 0;
    std::uint8_t diagFlags = 0;        // grbitDiag: 1 down, 2 up
    bool hasXfExt = false;
    std::uint8_t fillPattern = 0;      // fls: 0 none, 1 solid, ...
    std::uint8_t fillFg = 0x40;        // icvFore
    std::uint8_t fillBg = 0x41;        // icvBack
    bool pivotButton = false;

    friend bool operator==(const Xf&, const Xf&) = default;
};

// A record kept as it was read: type and body. Used for what the model does not interpret.
struct RawRecord {
    std::uint16_t type = 0;
    std::vector<std::uint8_t> data;   // the body, CONTINUE records appended as their own RawRecords
    friend bool operator==(const RawRecord&, const RawRecord&) = default;
};

// One palette entry (the PALETTE record holds entries for indices 8..63).
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The builtin number format of an id below 164 (en-US forms), or nullptr when none.
const char* builtinNumberFormat(std::uint16_t id);
// True when the format string shows a date or time: d, m, y, h or s outside quotes and
// brackets, or an elapsed-time bracket such as [h].
bool isDateFormat(const std::string& format);

} // namespace cw::host
