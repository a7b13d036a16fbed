#pragma once

// Internal to the reader: the state of reading one Workbook stream, shared by the files that
// read the globals, the worksheets by record family, and the defined names.

#include "host/Workbook.h"
#include "host/biff/RecordReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cw::host {

class XlsParser {
public:
    XlsParser(const std::uint8_t* data, std::size_t size, const std::string& file, Workbook& wb);

    void run();

private:
    struct BoundSheet {
        std::string name;
        Visibility visibility = Visibility::Visible;
        SheetKind kind = SheetKind::Worksheet;
        std::uint32_t offset = 0;
        std::size_t recordOffset = 0;
    };
    struct Xti {
        std::uint16_t supBook = 0;
        std::int16_t first = 0;
        std::int16_t last = 0;
    };
    struct Extent {
        std::size_t begin = 0, end = 0;
        int sheet = 0;
    };
    // Where the worksheet being read stands: which side of the cell table its raw records go
    // to, and the formula cell whose anchored records and cached text may follow.
    struct WorksheetCursor {
        bool afterCells = false;
        bool lastKeptRaw = false;
        int formulaRow = -1, formulaCol = -1;
        std::uint32_t lastFormula = kNoFormula;
        bool stringPending = false;
    };

    // globals (XlsReader.cpp)
    void readGlobals();
    void checkBof(bool globals);
    void readFont();
    void readXf();
    void readPalette();
    void readBoundSheet();
    void readSst();
    void decodeLinkTable();
    void completeFormatTables();
    void checkFormatTables();

    // sheets (ReadSheets.cpp)
    void readSheets();
    void readWorksheet(Sheet& sh);
    void readRawSubstream(Sheet& sh);
    void checkSheetBof(const Sheet& sh);
    void copyEmbeddedSubstream(std::vector<RawRecord>& into);
    bool readStructureRecord(Sheet& sh, std::uint16_t type, bool& keptRaw);
    bool readPageSetupRecord(Sheet& sh, std::uint16_t type, bool& keptRaw);
    std::vector<RawRecord>& rawSide(Sheet& sh) const;

    // the cell table (ReadCells.cpp)
    bool readCellTableRecord(Sheet& sh, std::uint16_t type);
    void readSingleCell(Sheet& sh, std::uint16_t type);
    void readCellRun(Sheet& sh, std::uint16_t type);
    void readFormula(Sheet& sh);
    void readFormulaText(Sheet& sh);
    void readRow(Sheet& sh);
    // Stores a cell read from the file, within what a file of this size can hold.
    void setCell(Sheet& sh, int row, int col, Cell cell);
    void reserveRow(Sheet& sh, int row);
    std::uint16_t checkedXf(std::uint16_t ixfe, const Sheet& sh, int row, int col) const;
    [[noreturn]] void cellFail(Error::Code code, const Sheet& sh, int row, int col, const std::string& what) const;
    [[noreturn]] void sheetFail(const Sheet& sh, const std::string& what) const;

    // defined names (ReadNames.cpp)
    void decodeNames();
    bool decodePrintRanges(const std::vector<std::uint8_t>& rgce, int sheet, std::vector<Range>& out) const;

    biff::RecordReader m_r;
    std::size_t m_size;
    const std::string& m_file;
    Workbook& m_wb;

    std::vector<std::string> m_sst;
    std::vector<BoundSheet> m_boundSheets;
    std::vector<std::size_t> m_nameOffsets;
    std::vector<Xti> m_xti;
    std::vector<bool> m_supBookInternal;
    std::vector<Extent> m_extents;
    std::size_t m_globalsEnd = 0;
    int m_activeSheet = 0;
    bool m_sawSst = false;
    std::size_t m_slotBudget;
    std::size_t m_rowBudget;
    int m_rowsHeld = 0;     // rows the current worksheet holds
    WorksheetCursor m_ws;   // the current worksheet
    std::string m_text;     // reused for strings that go straight into a cell
};

namespace biff {
// Constants the reader's files share.
constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBofGlobals = 0x0005;
constexpr std::uint16_t kBofWorksheet = 0x0010;
constexpr std::uint16_t kBofChart = 0x0020;
constexpr int kXlsMaxCol = 255;
} // namespace biff

} // namespace cw::host
