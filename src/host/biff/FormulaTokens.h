#pragma once

#include "host/Format.h"

#include <cstddef>
#include <cstdint>

namespace cw::host::biff {

// What a parsed formula ([MS-XLS] 2.5.198 Rgce) depends on beyond its own cell: whether it can
// be written back verbatim once sheets or names have changed.
struct TokenScan {
    bool linkRefs = false; // 3-D references or external names: indices into EXTERNSHEET
    bool nameRefs = false; // PtgName: an index into the NAME records
    bool unknown = false;  // a token we cannot size; nothing after it can be judged
    bool shared = false;   // PtgExp / PtgTbl: the formula lives in SHRFMLA / ARRAY / TABLE
    std::uint16_t anchorRow = 0;
    std::uint16_t anchorCol = 0;
};

TokenScan scanTokens(const std::uint8_t* p, std::size_t n);
// Adds what another part of the same formula depends on.
void mergeScan(TokenScan& into, const TokenScan& s);
// The formula inside a SHRFMLA or ARRAY record, scanned; TABLE holds none.
TokenScan scanFollow(const RawRecord& r);
// True when a SHRFMLA / ARRAY / TABLE record's range (RefU) covers the cell.
bool followCovers(const RawRecord& r, int row, int col);

} // namespace cw::host::biff
