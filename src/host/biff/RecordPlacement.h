#pragma once

#include "host/Format.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Records the model keeps raw are written back in their own place in the substream's record
// order ([MS-XLS] 2.1.7.20). Each type maps to the slot after which it stands; a type we do not
// place stays with the record before it (as it did in the file). Records that the writer
// rebuilds from the model are dropped from the raw lists, with their CONTINUE records.
namespace cw::host::biff {

constexpr int kFollow = -1; // stays after its predecessor
constexpr int kDrop = -2;   // rebuilt by the writer

enum GlobalsSlot {
    gAfterBof,
    gAfterDsf,
    gAfterTabId,
    gAfterFnGroupCount,
    gAfterXfs,
    gAfterStyles,
    gAfterPalette,
    gBeforeUsesElfs,
    gAfterBoundSheets,
    gAfterNames,
    gAfterSst,
    gSlotCount
};
int globalsSlot(std::uint16_t type);

enum SheetSlot {
    wAfterBof,
    wAfterWsBool,
    wAfterMargins,
    wAfterSetup,
    wAfterColInfo,
    wAfterCells,
    wAfterWindow2,
    wAfterMerged,
    wSlotCount
};
int sheetSlot(std::uint16_t type);

bool isDrawingRecord(std::uint16_t type);
// Index one past the EOF that closes the substream opening at list[i] (a BOF).
std::size_t substreamEnd(const std::vector<RawRecord>& list, std::size_t i);
// The first record of a type at the top level of a raw list (not inside an embedded chart).
const RawRecord* findRaw(const std::vector<RawRecord>& list, std::uint16_t type);
// A raw record body of at least `size` bytes, or nothing.
const std::uint8_t* rawBody(const std::vector<RawRecord>& list, std::uint16_t type, std::size_t size);
// The drawing id of a sheet's drawing: the OfficeArtFDG record inside its first MSODRAWING.
int drawingId(const std::vector<RawRecord>& list);

} // namespace cw::host::biff
