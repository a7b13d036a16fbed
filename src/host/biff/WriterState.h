#pragma once

// Internal to the writer: the state of writing one workbook, shared by the files that prepare
// it, write the globals, the sheets and their cell tables.

#include "host/Workbook.h"
#include "host/biff/RecordWriter.h"
#include "host/biff/SharedStrings.h"
#include "host/biff/XlsWriter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace cw::host {

namespace biff {

constexpr std::uint16_t kXlsLastRow = kXlsMaxRows - 1; // 65535
constexpr std::uint16_t kXlsLastCol = kMaxCols - 1;    // 255
constexpr std::size_t kMaxTextChars = 32767;
constexpr int kRowsPerBlock = 32; // rows of the cell table between two DBCELL records

// An Excel 2003 BOF ([MS-XLS] 2.4.21): BIFF8, build 5612/1997, lowest BIFF 6, saved by 2003.
inline std::array<std::uint8_t, 16> bofBody(std::uint16_t dt)
{
    return {0x00, 0x06, static_cast<std::uint8_t>(dt), static_cast<std::uint8_t>(dt >> 8),
            0xEC, 0x15, 0xCD, 0x07, 0xC9, 0xC0, 0x00, 0x00, 0x06, 0x03, 0x00, 0x00};
}

// One entry of EXTERNSHEET ([MS-XLS] 2.5.296 XTI).
struct Xti {
    std::uint16_t supBook;
    std::int16_t first;
    std::int16_t last;
};

} // namespace biff

struct XlsWriter::Impl {
    explicit Impl(const Workbook& workbook) : wb(workbook), w(out) {}

    const Workbook& wb;
    std::vector<std::uint8_t> out;
    biff::RecordWriter w;

    // prepare()
    bool prepared = false;
    biff::StringTable sst;
    std::uint32_t sstRefs = 0;
    std::vector<std::uint32_t> cellStrings; // SST index of each LABELSST, in writing order
    std::size_t cellStringAt = 0;

    bool keepRawLinks = false;      // the link table as read stays valid
    bool insertInternalSupBook = false;
    bool writeLinkTable = false;
    std::uint16_t internalSupBook = 0;
    std::vector<biff::Xti> xtis;
    bool nameTableIntact = true;    // NAME indices as read still hold
    std::vector<const DefinedName*> keptNames;
    struct PrintName {
        int sheet;
        std::uint8_t code; // 0x06 Print_Area, 0x07 Print_Titles
        std::uint16_t ixti;
    };
    std::vector<PrintName> printNames;
    std::vector<int> globalsSlots;
    int activeTab = 0;
    // The drawing group as rebuilt for the drawings written (replaceGroup: in place of the one
    // read; empty: none).
    bool replaceGroup = false;
    std::vector<std::uint8_t> drawingGroup;

    struct SheetPlan {
        std::vector<std::uint8_t> formula; // 0 undecided, 1 verbatim, 2 cached value
        bool keepDrawing = true;
        std::size_t boundSheetPos = 0;
        // The raw lists with the drawing renumbered, when it was (else the sheet's own).
        std::optional<std::vector<RawRecord>> before, after;
    };
    std::vector<SheetPlan> plans;

    // per-sheet scratch, reused
    struct RowPlan {
        int row;
        int firstCol; // -1 when the row has no cells
        int lastCol;
    };
    std::vector<RowPlan> rows;
    std::vector<int> rawSlots;
    // The bounds of a worksheet's cell table, found while its rows are planned.
    struct CellExtent {
        int firstRow = -1, lastRow = -1, firstCol = kMaxCols, lastCol = -1;
        std::uint8_t maxRowLevel = 0;
        std::size_t blocks = 0; // of up to 32 rows, each closed by a DBCELL
    };

    // XlsWriter.cpp
    void prepare();
    void placeRawGlobals();
    void planDrawings();
    void prepareSheet(int index);
    bool formulaVerbatim(const Sheet& s, SheetPlan& plan, std::uint32_t fi, int row, int col, int depth = 0);

    // WriteGlobals.cpp
    void prepareLinks();
    void prepareNames();
    std::uint16_t xti(int sheet);
    void writeGlobals();
    void writeBookSettings();
    void writeFormatTables();
    void writeSheetList();
    void writeRawGlobals(int slot);
    void writeFont(const Font& f);
    void writeXf(const Xf& x);
    void writeLinkTableRecords();
    void writeName(const DefinedName& n);
    void writePrintName(const PrintName& p);

    // WriteDrawings.cpp
    void renumberDrawings();

    // WriteSheets.cpp
    void writeSheet(int index);
    void writeWorksheet(int index);
    void writeOtherSheet(int index);
    CellExtent planRows(const Sheet& s);
    void writeSheetSettings(const Sheet& s, const std::vector<RawRecord>& before, std::uint8_t maxRowLevel);
    void writePageSetup(const Sheet& s, const std::vector<RawRecord>& before);
    void writeColumns(const Sheet& s);
    void writeWindow2(const Sheet& s, int index);
    void writeMergedCells(const Sheet& s);
    void placeRaw(const std::vector<RawRecord>& list, bool before, const SheetPlan& plan);
    void writeRawSlot(const std::vector<RawRecord>& list, int slot);
    // Writes the raw record of that type as read when it has the expected size, else the fallback.
    void writeRawOr(const std::vector<RawRecord>& list, std::uint16_t type, std::initializer_list<std::uint8_t> fallback);

    // WriteCells.cpp
    void writeCellTable(const Sheet& s, SheetPlan& plan, std::size_t dbcellFields);
    void writeRowBlock(const Sheet& s, SheetPlan& plan, std::size_t first, std::size_t last,
                       std::vector<std::uint32_t>& dbcells);
    void writeCells(const Sheet& s, SheetPlan& plan, const RowPlan& rp);
    void writeValue(int row, int col, std::uint16_t xf, const Value& v);
    void writeSharedString(int row, int col, std::uint16_t xf); // the next of cellStrings
    void writeFormula(const Sheet& s, int row, int col, std::uint16_t xf, const Cell& c);

    std::uint16_t xfOf(std::uint16_t xf) const { return xf < wb.xfs().size() ? xf : kDefaultXf; }
};

} // namespace cw::host
