#pragma once

// Reading back what the writer produced: a record walker over a Workbook stream, independent of
// the engine's own, and a comparison of two workbook models.

#include "host/Error.h"
#include "host/Workbook.h"
#include "host/biff/Ole2Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace xlstest {

using Bytes = std::vector<std::uint8_t>;

struct Rec {
    std::size_t pos = 0; // stream offset of the record header
    std::uint16_t type = 0;
    Bytes data;
};

inline std::uint16_t u16(const Bytes& d, std::size_t at) { return static_cast<std::uint16_t>(d.at(at) | (d.at(at + 1) << 8)); }
inline std::uint32_t u32(const Bytes& d, std::size_t at) { return u16(d, at) | (static_cast<std::uint32_t>(u16(d, at + 2)) << 16); }

// Every record of the stream, stopping at trailing zero padding.
inline std::vector<Rec> records(const Bytes& s)
{
    std::vector<Rec> out;
    for (std::size_t pos = 0; pos + 4 <= s.size();) {
        const std::uint16_t type = u16(s, pos), len = u16(s, pos + 2);
        if ((type == 0 && len == 0) || pos + 4 + len > s.size())
            break;
        out.push_back({pos, type, Bytes(s.begin() + pos + 4, s.begin() + pos + 4 + len)});
        pos += 4 + len;
    }
    return out;
}

// The records of the substream whose BOF is at stream offset `bofPos`, BOF to EOF inclusive.
inline std::vector<Rec> substream(const std::vector<Rec>& all, std::size_t bofPos)
{
    std::vector<Rec> out;
    int depth = 0;
    for (const Rec& r : all) {
        if (out.empty() && r.pos != bofPos)
            continue;
        out.push_back(r);
        if (r.type == 0x0809)
            ++depth;
        else if (r.type == 0x000A && --depth == 0)
            break;
    }
    return out;
}

inline std::vector<const Rec*> ofType(const std::vector<Rec>& recs, std::uint16_t type)
{
    std::vector<const Rec*> out;
    for (const Rec& r : recs)
        if (r.type == type)
            out.push_back(&r);
    return out;
}

// The globals, and sheet i's substream found through its BOUNDSHEET.
inline std::vector<Rec> globalsOf(const std::vector<Rec>& all) { return substream(all, 0); }
inline std::vector<Rec> sheetOf(const std::vector<Rec>& all, int i)
{
    return substream(all, u32(ofType(globalsOf(all), 0x0085).at(static_cast<std::size_t>(i))->data, 0));
}

// The "Workbook" stream of an .xls file (read by the engine's container reader, which the
// corpus proves).
inline Bytes workbookStreamOf(const Bytes& file) { return cw::host::biff::workbookStreamFromBytes(file.data(), file.size(), "file"); }

// What the call throws as a host::Error, or nothing.
inline std::optional<cw::host::Error> errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const cw::host::Error& e) {
        return e;
    }
    return std::nullopt;
}

// ---- models --------------------------------------------------------------------------------------

inline void expectSameSheet(const cw::host::Sheet& x, const cw::host::Sheet& y)
{
    using namespace cw::host;
    SCOPED_TRACE(x.name());
    EXPECT_EQ(std::make_tuple(x.kind(), x.visibility(), x.rawSubstream(), x.mergedRanges(), x.printArea(), x.printTitleRows(),
                              x.printTitleCols(), x.defaultColumnWidth(), x.defaultRowHeight(), x.defaultRowFlags(), x.columns()),
              std::make_tuple(y.kind(), y.visibility(), y.rawSubstream(), y.mergedRanges(), y.printArea(), y.printTitleRows(),
                              y.printTitleCols(), y.defaultColumnWidth(), y.defaultRowHeight(), y.defaultRowFlags(), y.columns()));
    EXPECT_EQ(x.window2Flags() & ~0x0600, y.window2Flags() & ~0x0600); // selected and shown follow the active tab
    auto row = [](const RowInfo& r) {
        return std::make_tuple(r.heightTwips, r.customHeight, r.hidden, r.hasFormat, std::uint16_t(r.hasFormat ? r.xf : 0),
                               r.outlineLevel, r.collapsed, r.thickTop, r.thickBottom);
    };
    ASSERT_EQ(x.rowCount(), y.rowCount());
    for (int r = 0; r < x.rowCount(); ++r) {
        if (x.rowInfo(r) && y.rowInfo(r)) {
            EXPECT_EQ(row(*x.rowInfo(r)), row(*y.rowInfo(r))) << "row " << r;
        }
        for (int c = 0; c < std::max(x.rowWidth(r), y.rowWidth(r)); ++c) {
            const std::optional<Cell> p = x.cell(r, c), q = y.cell(r, c);
            ASSERT_EQ(p.has_value(), q.has_value()) << toA1(r, c);
            EXPECT_TRUE(!p || (p->value == q->value && p->xf == q->xf &&
                               (!p->hasFormula() || !q->hasFormula() || x.formulas()[p->formula].parsed == y.formulas()[q->formula].parsed)))
                << toA1(r, c);
        }
    }
    EXPECT_TRUE(x.pageSetup() == y.pageSetup());
}

// What a save must carry: the formatting tables, the sheets with their cells (a formula may have
// become its value), rows, columns, merges, page setup and print ranges.
inline void expectSameModel(const cw::host::Workbook& a, const cw::host::Workbook& b)
{
    EXPECT_EQ(std::make_tuple(a.fonts(), a.numberFormats(), a.xfs(), a.styleRecords(), a.palette(), a.date1904(), a.activeSheet()),
              std::make_tuple(b.fonts(), b.numberFormats(), b.xfs(), b.styleRecords(), b.palette(), b.date1904(), b.activeSheet()));
    ASSERT_EQ(a.sheetNames(), b.sheetNames());
    for (int i = 0; i < a.sheetCount(); ++i)
        expectSameSheet(a.sheet(i), b.sheet(i));
}

} // namespace xlstest
