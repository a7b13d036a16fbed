#pragma once

#include "host/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cw::host {

// Builds a Workbook from a BIFF8 Workbook stream ([MS-XLS]). Worksheets are read into the cell
// model; chart, macro and module sheets and every record the model does not interpret are kept
// raw so that the writer can put them back. Anything inconsistent throws Error naming the file,
// the record and its offset; nothing in the stream can make the reader read out of bounds,
// loop or allocate without bound.
//
// What is consumed (not kept raw): globals BOF/EOF, CODEPAGE (strings are Unicode in the model),
// DATEMODE, FONT, FORMAT, XF, STYLE/STYLEEXT (into styleRecords()), PALETTE, BOUNDSHEET, SST,
// EXTSST (derived from the SST), NAME; per worksheet BOF (into bof()), EOF, the cell records,
// ROW, COLINFO, DEFCOLWIDTH, DEFAULTROWHEIGHT, MERGEDCELLS, WINDOW2, SETUP, the margins,
// HCENTER/VCENTER, HEADER/FOOTER, PRINTGRIDLINES/PRINTHEADERS, DIMENSIONS, INDEX, DBCELL.
// WINDOW1, EXTERNSHEET and SUPBOOK (globals), WSBOOL and WINDOW2 (sheets) are read and also kept
// raw, so that their fields the model leaves out survive a save. Everything else is kept
// raw in file order; a worksheet's raw records go to rawBeforeCells() until the first cell-table
// record (ROW, a cell, DBCELL) or WINDOW2, to rawAfterCells() from there on.
class XlsReader {
public:
    static Workbook parse(const std::vector<std::uint8_t>& workbookStream, const std::string& fileName);
    static Workbook parse(const std::uint8_t* data, std::size_t size, const std::string& fileName);

private:
    friend class XlsParser;
    // The only parts of Workbook that have no public setter.
    static void clear(Workbook& wb);
    static void adoptSheet(Workbook& wb, std::unique_ptr<Sheet> sheet);
    static void setActive(Workbook& wb, int index);
};

} // namespace cw::host
