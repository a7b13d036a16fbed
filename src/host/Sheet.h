#pragma once

#include "host/Cell.h"
#include "host/Format.h"
#include "host/TextPool.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cw::host {

class Workbook;

enum class Visibility : std::uint8_t { Visible = 0, Hidden = 1, VeryHidden = 2 };

// What a BOUNDSHEET names. Only worksheets have a cell model; a chart or macro sheet is kept as
// its raw substream and written back as it was.
enum class SheetKind : std::uint8_t { Worksheet = 0, MacroSheet = 1, Chart = 2, VbModule = 6 };

// A formula as stored in a FORMULA record: everything but the cell position, format and cached
// result, which live in the Cell. Written back verbatim where its references stay valid.
struct Formula {
    std::uint16_t flags = 0;                 // grbit of the FORMULA record
    std::uint32_t chn = 0;                   // the "calc chain" field, kept as read
    std::vector<std::uint8_t> parsed;        // CellParsedFormula: cce, rgce and rgcb as stored
    std::vector<RawRecord> follow;           // SHRFMLA / ARRAY / TABLE record anchored here
};

// COLINFO ([MS-XLS] 2.4.53): a run of columns sharing width and format.
struct ColumnInfo {
    int first = 0;
    int last = 0;
    std::uint16_t width = 0;         // 1/256 of the default font's '0' width
    std::uint16_t xf = kDefaultXf;
    bool hidden = false;
    bool customWidth = true;
    bool bestFit = false;
    std::uint8_t outlineLevel = 0;
    bool collapsed = false;
    friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

// ROW ([MS-XLS] 2.4.221) properties of one row.
struct RowInfo {
    std::uint16_t heightTwips = 255;
    bool customHeight = false;       // fUnsynced: the height was set, not derived from fonts
    bool hidden = false;             // fDyZero
    bool hasFormat = false;          // fGhostDirty: xf applies to the empty cells of the row
    std::uint16_t xf = kDefaultXf;
    std::uint8_t outlineLevel = 0;
    bool collapsed = false;
    bool thickTop = false;
    bool thickBottom = false;
    bool present = false;            // a ROW record exists (or should be written) for this row
};

// Page setup as the SETUP, margin, centring, header/footer and WSBOOL records hold it.
struct PageSetup {
    std::uint16_t paperSize = 9;     // 9 = A4, 1 = Letter; 0 = undefined
    std::uint16_t scale = 100;       // percent
    std::uint16_t pageStart = 1;
    std::uint16_t fitWidth = 1;      // pages wide when fitToPage (0 = as many as needed)
    std::uint16_t fitHeight = 1;     // pages tall when fitToPage (0 = as many as needed)
    bool leftToRight = false;        // fLeftToRight: print over, then down
    bool portrait = true;
    bool noPrinterSettings = false;  // fNoPls: paperSize, scale, res, copies undefined
    bool noColor = false;
    bool draft = false;
    bool notes = false;
    bool noOrient = false;
    bool usePageStart = false;
    std::uint16_t hRes = 600;
    std::uint16_t vRes = 600;
    std::uint16_t copies = 1;
    double headerMargin = 0.3;       // inches
    double footerMargin = 0.3;
    double leftMargin = 0.75;
    double rightMargin = 0.75;
    double topMargin = 1.0;
    double bottomMargin = 1.0;
    bool hCenter = false;
    bool vCenter = false;
    bool fitToPage = false;          // WSBOOL fFitToPage
    bool printGridlines = false;
    bool printHeadings = false;
    std::string header;              // HEADER / FOOTER texts, empty when absent
    std::string footer;
    friend bool operator==(const PageSetup&, const PageSetup&) = default;
};

// One sheet of a workbook. Cells are stored row by row; rows and columns are 0-based.
class Sheet {
public:
    // What the cell store costs at most: a cell, whatever its value, and a row, before the
    // texts and numbers kept in the sheet's pools.
    static constexpr std::size_t kBytesPerCell = 8;
    static constexpr std::size_t kBytesPerRow = 48;

    explicit Sheet(std::string name, SheetKind kind = SheetKind::Worksheet);

    const std::string& name() const { return m_name; }
    SheetKind kind() const { return m_kind; }
    Visibility visibility() const { return m_visibility; }
    void setVisibility(Visibility v) { m_visibility = v; }

    // ---- cells -------------------------------------------------------------------------
    // Cells are handed out as copies: the sheet keeps them in a compact form of its own (see
    // the private part), so there is no Cell object to point into.
    // std::nullopt when the cell holds nothing.
    std::optional<Cell> cell(int row, int col) const;
    // Whether the cell holds anything: a value, a formula or a format of its own.
    bool hasCell(int row, int col) const;
    Value value(int row, int col) const;                 // empty when absent
    // Whether the cell holds a value (a formula's result included), without copying it out.
    bool holdsValue(int row, int col) const;
    // Whether two cells hold the same text, for cells that both hold a text of their own (not a
    // formula's result), else std::nullopt. Texts are kept once per sheet, so no characters are
    // compared.
    std::optional<bool> sameText(int rowA, int colA, int rowB, int colB) const;
    Value value(std::string_view a1) const;
    // The cell's text, a formula's text result included; std::nullopt for any other value. The
    // view stays valid until the sheet next changes.
    std::optional<std::string_view> textAt(int row, int col) const;
    // The cell's format; kDefaultXf when absent.
    std::uint16_t xfAt(int row, int col) const;
    // The cell's index into formulas(), or kNoFormula.
    std::uint32_t formulaAt(int row, int col) const;
    // Sets the value and keeps the cell's format; clears a formula. An empty text empties the cell.
    void setValue(int row, int col, Value v);
    void setValue(std::string_view a1, Value v);
    void setXf(int row, int col, std::uint16_t xf);
    // Sets value, format and formula as given, as a file holds them: an empty text stays a text
    // (a formula's cached result may be one). Throws BadAddress outside the sheet's limits.
    void setCell(int row, int col, Cell cell);
    // Makes room for `width` cells in row `row` (and rows up to it) in one allocation.
    void reserveRow(int row, int width);
    // Row firstRow + i takes the cells of row firstRow + order[i]; row properties stay.
    void reorderRows(int firstRow, const std::vector<int>& order);
    // One past the last row / column that holds a cell record (value or format); 0 when none.
    int rowCount() const;
    int colCount() const;
    // Number of cells in row (dense up to its last used column).
    int rowWidth(int row) const;

    // ---- operations ----------------------------------------------------------------------
    // Values of a block only: formats kept, formulas removed.
    void clearContents(const Range& r);
    void clearRows(int firstRow, int lastRow);
    // Shift rows at and below `row` down by `count`. Each inserted row takes the row format and
    // the cell formats of the row above it (none when inserting at row 0). Merged ranges, the
    // print area, print titles and row heights below move down with their rows.
    void insertRows(int row, int count);
    // From (fromRow, col) upward: the row of the first cell holding a value; -1 when none.
    int lastNonEmptyUp(int col, int fromRow) const;
    // Sum of the numbers in a block; text, booleans, errors and empty cells count nothing.
    double sum(const Range& r) const;
    // A cell's value as text: a number in its plain decimal form (see numberToText).
    std::string text(int row, int col) const;
    // A cell's value as a number: empty gives 0; text that reads as a number gives it; other
    // text gives std::nullopt.
    std::optional<double> number(int row, int col) const;

    // ---- structure -----------------------------------------------------------------------
    std::vector<ColumnInfo>& columns() { return m_columns; }
    const std::vector<ColumnInfo>& columns() const { return m_columns; }
    void setColumnWidth(int firstCol, int lastCol, double characters); // convenience
    std::uint16_t defaultColumnWidth() const { return m_defaultColWidth; }   // DEFCOLWIDTH (chars)
    void setDefaultColumnWidth(std::uint16_t chars) { m_defaultColWidth = chars; }
    std::uint16_t defaultRowHeight() const { return m_defaultRowHeight; }    // twips
    void setDefaultRowHeight(std::uint16_t twips) { m_defaultRowHeight = twips; }
    std::uint16_t defaultRowFlags() const { return m_defaultRowFlags; }
    void setDefaultRowFlags(std::uint16_t f) { m_defaultRowFlags = f; }

    // nullptr when the row has no ROW properties.
    const RowInfo* rowInfo(int row) const;
    RowInfo& rowInfoAt(int row);                 // creates the row when absent
    void setRowHeight(int row, double points);   // convenience: custom height

    std::vector<Range>& mergedRanges() { return m_merged; }
    const std::vector<Range>& mergedRanges() const { return m_merged; }
    // Adds a merged range; throws Invalid when it overlaps one already there.
    void merge(const Range& r);

    PageSetup& pageSetup() { return m_pageSetup; }
    const PageSetup& pageSetup() const { return m_pageSetup; }
    // The print area (empty: none) and print titles (rows and/or columns to repeat).
    std::vector<Range>& printArea() { return m_printArea; }
    const std::vector<Range>& printArea() const { return m_printArea; }
    std::optional<std::pair<int, int>>& printTitleRows() { return m_titleRows; }
    const std::optional<std::pair<int, int>>& printTitleRows() const { return m_titleRows; }
    std::optional<std::pair<int, int>>& printTitleCols() { return m_titleCols; }
    const std::optional<std::pair<int, int>>& printTitleCols() const { return m_titleCols; }

    std::vector<Formula>& formulas() { return m_formulas; }
    const std::vector<Formula>& formulas() const { return m_formulas; }

    // WINDOW2 options ([MS-XLS] 2.4.346) and the selection, as read.
    std::uint16_t window2Flags() const { return m_window2Flags; }
    void setWindow2Flags(std::uint16_t f) { m_window2Flags = f; }
    bool showGridlines() const { return (m_window2Flags & 0x0002) != 0; }
    void setShowGridlines(bool on);

    // Records the model does not interpret, in file order: those that stand before the cell
    // table and those after it. Written back as they are.
    std::vector<RawRecord>& rawBeforeCells() { return m_rawBefore; }
    const std::vector<RawRecord>& rawBeforeCells() const { return m_rawBefore; }
    std::vector<RawRecord>& rawAfterCells() { return m_rawAfter; }
    const std::vector<RawRecord>& rawAfterCells() const { return m_rawAfter; }
    // For chart, macro and module sheets: the whole substream after its BOF, EOF excluded.
    std::vector<RawRecord>& rawSubstream() { return m_rawSubstream; }
    const std::vector<RawRecord>& rawSubstream() const { return m_rawSubstream; }
    // The BOF record body as read (keeps the producer's version fields); empty for new sheets.
    std::vector<std::uint8_t>& bof() { return m_bof; }
    const std::vector<std::uint8_t>& bof() const { return m_bof; }

private:
    friend class Workbook;

    // A cell in eight bytes. A number that is a whole number or has up to four decimals (amounts,
    // dates, codes) is kept in the slot; other numbers, texts and formula cells are kept once in
    // the sheet's pools and the slot holds their index.
    enum class SlotKind : std::uint8_t { Empty, Scaled, Number, Text, Bool, Error, Formula };
    struct Slot {
        std::uint32_t payload = 0;   // Scaled: the value times 10^scale; else a pool index or code
        std::uint16_t xf = kDefaultXf;
        SlotKind kind = SlotKind::Empty;
        std::uint8_t scale = 0;
        bool isVoid() const { return kind == SlotKind::Empty && xf == kDefaultXf; }
    };
    // A formula cell: its cached result and its index into m_formulas.
    struct FormulaCell {
        Value result;
        std::uint32_t formula = kNoFormula;
    };
    struct Row {
        std::vector<Slot> cells;
        RowInfo info;
    };
    static_assert(sizeof(Slot) == kBytesPerCell && sizeof(Row) <= kBytesPerRow);

    Row& rowAt(int row);
    const Slot* slot(int row, int col) const;
    Slot& slotAt(int row, int col);
    Value decode(const Slot& s) const;
    bool holdsValue(const Slot& s) const;
    // Stores a value (and formula) into the slot, whose format stays.
    void store(Slot& s, Value v, std::uint32_t formula);
    // Counts what the slot held as unused, before it is overwritten.
    void release(const Slot& s);
    // Rebuilds the pools from the cells when overwritten values make up most of them.
    void compactPoolsIfWasteful();

    TextPool m_texts;
    std::vector<double> m_numbers;
    std::vector<FormulaCell> m_formulaCells;
    std::size_t m_unusedPoolBytes = 0;
    std::string m_name;
    SheetKind m_kind;
    Visibility m_visibility = Visibility::Visible;
    std::vector<Row> m_rows;
    std::vector<Formula> m_formulas;
    std::vector<ColumnInfo> m_columns;
    std::uint16_t m_defaultColWidth = 8;
    std::uint16_t m_defaultRowHeight = 255;
    std::uint16_t m_defaultRowFlags = 0;
    std::vector<Range> m_merged;
    PageSetup m_pageSetup;
    std::vector<Range> m_printArea;
    std::optional<std::pair<int, int>> m_titleRows;
    std::optional<std::pair<int, int>> m_titleCols;
    std::uint16_t m_window2Flags = 0x06B6;
    std::vector<RawRecord> m_rawBefore;
    std::vector<RawRecord> m_rawAfter;
    std::vector<RawRecord> m_rawSubstream;
    std::vector<std::uint8_t> m_bof;
};

} // namespace cw::host
