#include "host/biff/FormulaTokens.h"

#include "host/biff/Bytes.h"
#include "host/biff/Records.h"

namespace cw::host::biff {

TokenScan scanTokens(const std::uint8_t* p, std::size_t n)
{
    TokenScan s;
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t t = p[i++];
        std::size_t size = 0;
        if (t >= 0x20) {
            switch (0x20 | (t & 0x1F)) {
            case 0x20: size = 7; break;                       // PtgArray (data in rgcb)
            case 0x21: size = 2; break;                       // PtgFunc
            case 0x22: size = 3; break;                       // PtgFuncVar
            case 0x23: size = 4; s.nameRefs = true; break;    // PtgName
            case 0x24: case 0x2A: case 0x2C: size = 4; break; // PtgRef, PtgRefErr, PtgRefN
            case 0x25: case 0x2B: case 0x2D: size = 8; break; // PtgArea, PtgAreaErr, PtgAreaN
            case 0x26: case 0x27: case 0x28: size = 6; break; // PtgMemArea, PtgMemErr, PtgMemNoMem
            case 0x29: size = 2; break;                       // PtgMemFunc
            case 0x39: case 0x3A: case 0x3C: size = 6; s.linkRefs = true; break;  // NameX, Ref3d, RefErr3d
            case 0x3B: case 0x3D: size = 10; s.linkRefs = true; break;            // Area3d, AreaErr3d
            default: s.unknown = true; return s;
            }
        } else {
            switch (t) {
            case 0x01: case 0x02: // PtgExp, PtgTbl
                size = 4;
                if (i + 4 <= n) {
                    s.shared = true;
                    s.anchorRow = le16(p + i);
                    s.anchorCol = le16(p + i + 2);
                }
                break;
            case 0x17: // PtgStr: ShortXLUnicodeString
                if (i + 2 > n) {
                    s.unknown = true;
                    return s;
                }
                size = 2 + static_cast<std::size_t>(p[i]) * ((p[i + 1] & 1) ? 2 : 1);
                break;
            case 0x19: // PtgAttr; tAttrChoose carries a jump table
                if (i + 3 > n) {
                    s.unknown = true;
                    return s;
                }
                size = 3;
                if (p[i] & 0x04)
                    size += 2 * (static_cast<std::size_t>(le16(p + i + 1)) + 1);
                break;
            case 0x1C: case 0x1D: size = 1; break; // PtgErr, PtgBool
            case 0x1E: size = 2; break;            // PtgInt
            case 0x1F: size = 8; break;            // PtgNum
            default:
                if (t >= 0x03 && t <= 0x16) // operators, parentheses, missing argument
                    break;
                s.unknown = true;
                return s;
            }
        }
        if (i + size > n) {
            s.unknown = true;
            return s;
        }
        i += size;
    }
    return s;
}

void mergeScan(TokenScan& into, const TokenScan& s)
{
    into.linkRefs |= s.linkRefs;
    into.nameRefs |= s.nameRefs;
    into.unknown |= s.unknown;
}

TokenScan scanFollow(const RawRecord& r)
{
    std::size_t at = 0;
    if (r.type == rt::ShrFmla)
        at = 8;
    else if (r.type == rt::Array)
        at = 12;
    else
        return {};
    if (r.data.size() < at + 2)
        return TokenScan{false, false, true};
    const std::size_t cce = le16(&r.data[at]);
    if (r.data.size() < at + 2 + cce)
        return TokenScan{false, false, true};
    return scanTokens(&r.data[at + 2], cce);
}

bool followCovers(const RawRecord& r, int row, int col)
{
    if ((r.type != rt::ShrFmla && r.type != rt::Array && r.type != rt::Table) || r.data.size() < 6)
        return false;
    const int r0 = le16(&r.data[0]), r1 = le16(&r.data[2]);
    const int c0 = r.data[4], c1 = r.data[5];
    return row >= r0 && row <= r1 && col >= c0 && col <= c1;
}

} // namespace cw::host::biff
