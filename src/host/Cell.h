#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace cw::host {

// Sheet limits. The in-memory engine holds more rows than a .xls file can: a statement of more
// than 65,536 lines still imports; only a sheet that is saved is bound by the format.
constexpr int kMaxRows = 1048576;
constexpr int kMaxCols = 256;
constexpr int kXlsMaxRows = 65536;

// The error values of a cell, with their BIFF8 codes ([MS-XLS] 2.5.97 BErr).
enum class ErrorValue : std::uint8_t {
    Null = 0x00,
    Div0 = 0x07,
    Value = 0x0F,
    Ref = 0x17,
    Name = 0x1D,
    Num = 0x24,
    NA = 0x2A,
};
std::string_view errorText(ErrorValue e); // "#DIV/0!" ...

// A cell's value: empty, number, text (UTF-8), boolean or error. A date is a number whose
// cell format is a date format.
using Value = std::variant<std::monostate, double, std::string, bool, ErrorValue>;

inline bool isEmpty(const Value& v) { return std::holds_alternative<std::monostate>(v); }
inline bool isNumber(const Value& v) { return std::holds_alternative<double>(v); }
inline bool isText(const Value& v) { return std::holds_alternative<std::string>(v); }

constexpr std::uint16_t kDefaultXf = 15;      // the default cell format of every BIFF8 workbook
constexpr std::uint32_t kNoFormula = 0xFFFFFFFF;

// A cell as the sheet hands it out and takes it in (Sheet::cell, Sheet::setCell): a copy.
struct Cell {
    Value value;                          // for a formula cell: its cached result
    std::uint16_t xf = kDefaultXf;        // index into Workbook::xfs()
    std::uint32_t formula = kNoFormula;   // index into Sheet::formulas(), or kNoFormula

    bool hasFormula() const { return formula != kNoFormula; }
    // Nothing to store: no value, no formula, default format.
    bool isVoid() const { return isEmpty(value) && !hasFormula() && xf == kDefaultXf; }
};

// 0-based cell coordinates.
struct CellRef {
    int row = 0;
    int col = 0;
    friend bool operator==(const CellRef&, const CellRef&) = default;
};

// An inclusive block of cells, 0-based.
struct Range {
    int firstRow = 0;
    int firstCol = 0;
    int lastRow = 0;
    int lastCol = 0;
    int rows() const { return lastRow - firstRow + 1; }
    int cols() const { return lastCol - firstCol + 1; }
    bool contains(int r, int c) const {
        return r >= firstRow && r <= lastRow && c >= firstCol && c <= lastCol;
    }
    friend bool operator==(const Range&, const Range&) = default;
};

// A1 addresses: "A1", "$B$3", "A1:N200", "B1:B" + row. Columns A..IV, rows 1..kMaxRows.
std::string columnName(int col);                          // 0 -> "A", 27 -> "AB"
std::string toA1(int row, int col);                        // (0,0) -> "A1"
std::string toA1(const Range& r);                          // "A1:N2", or "A1" for one cell
std::optional<CellRef> parseCellRef(std::string_view a1);
std::optional<Range> parseRange(std::string_view a1);      // a cell gives a 1x1 range
// As above but throws Error(BadAddress) naming the text.
CellRef cellRefOrThrow(std::string_view a1);
Range rangeOrThrow(std::string_view a1);

} // namespace cw::host
