#pragma once

// Reading back what the writer produced, independently of the engine's own code: a record walker
// over a Workbook stream, the stream out of an OLE2 file through libgsf, and a comparison of two
// workbook models.

#include "host/Workbook.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

// The "Workbook" stream of an OLE2 file; empty when there is none.
inline Bytes workbookStreamOf(const Bytes& file)
{
    Bytes out;
    GsfInput* mem = gsf_input_memory_new(file.data(), static_cast<gsf_off_t>(file.size()), FALSE);
    if (GsfInfile* ole = gsf_infile_msole_new(mem, nullptr)) {
        if (GsfInput* s = gsf_infile_child_by_name(ole, "Workbook")) {
            out.resize(static_cast<std::size_t>(gsf_input_size(s)));
            if (!out.empty())
                gsf_input_read(s, out.size(), out.data());
            g_object_unref(s);
        }
        g_object_unref(ole);
    }
    g_object_unref(mem);
    return out;
}

// ---- models --------------------------------------------------------------------------------------

// Raw records in a canonical order: the writer places them by type, so their order may change.
inline std::vector<cw::host::RawRecord> sortedRaw(std::vector<cw::host::RawRecord> list)
{
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return std::tie(a.type, a.data) < std::tie(b.type, b.data); });
    return list;
}

inline void expectSameSheet(const cw::host::Sheet& x, const cw::host::Sheet& y)
{
    using namespace cw::host;
    SCOPED_TRACE(x.name());
    EXPECT_EQ(x.kind(), y.kind());
    EXPECT_EQ(x.visibility(), y.visibility());
    EXPECT_EQ(x.rawSubstream(), y.rawSubstream());
    ASSERT_EQ(x.rowCount(), y.rowCount());
    for (int r = 0; r < x.rowCount(); ++r) {
        const RowInfo* ri = x.rowInfo(r);
        const RowInfo* rj = y.rowInfo(r);
        if (ri && rj) {
            EXPECT_EQ(std::tie(ri->heightTwips, ri->customHeight, ri->hidden, ri->hasFormat, ri->outlineLevel, ri->collapsed,
                               ri->thickTop, ri->thickBottom),
                      std::tie(rj->heightTwips, rj->customHeight, rj->hidden, rj->hasFormat, rj->outlineLevel, rj->collapsed,
                               rj->thickTop, rj->thickBottom))
                << "row " << r;
        }
        if (ri && rj && ri->hasFormat) {
            EXPECT_EQ(ri->xf, rj->xf) << "row " << r;
        }
        for (int c = 0; c < std::max(x.rowWidth(r), y.rowWidth(r)); ++c) {
            const Cell* p = x.cell(r, c);
            const Cell* q = y.cell(r, c);
            ASSERT_EQ(p == nullptr, q == nullptr) << toA1(r, c);
            if (!p)
                continue;
            EXPECT_EQ(p->value, q->value) << toA1(r, c);
            EXPECT_EQ(p->xf, q->xf) << toA1(r, c);
            if (p->hasFormula() && q->hasFormula()) {
                EXPECT_EQ(x.formulas()[p->formula].parsed, y.formulas()[q->formula].parsed) << toA1(r, c);
            }
        }
    }
    auto column = [](const ColumnInfo& c) {
        return std::tie(c.first, c.last, c.width, c.xf, c.hidden, c.customWidth, c.bestFit, c.outlineLevel, c.collapsed);
    };
    ASSERT_EQ(x.columns().size(), y.columns().size());
    for (std::size_t k = 0; k < x.columns().size(); ++k)
        EXPECT_EQ(column(x.columns()[k]), column(y.columns()[k]));
    EXPECT_EQ(std::make_tuple(x.defaultColumnWidth(), x.defaultRowHeight(), x.defaultRowFlags()),
              std::make_tuple(y.defaultColumnWidth(), y.defaultRowHeight(), y.defaultRowFlags()));
    EXPECT_EQ(x.mergedRanges(), y.mergedRanges());
    auto page = [](const PageSetup& p) {
        return std::tie(p.paperSize, p.scale, p.pageStart, p.fitWidth, p.fitHeight, p.hRes, p.vRes, p.copies, p.leftToRight,
                        p.portrait, p.noPrinterSettings, p.noColor, p.draft, p.notes, p.noOrient, p.usePageStart, p.hCenter,
                        p.vCenter, p.fitToPage, p.printGridlines, p.printHeadings, p.headerMargin, p.footerMargin,
                        p.leftMargin, p.rightMargin, p.topMargin, p.bottomMargin, p.header, p.footer);
    };
    EXPECT_TRUE(page(x.pageSetup()) == page(y.pageSetup()));
    EXPECT_EQ(x.printArea(), y.printArea());
    EXPECT_EQ(x.printTitleRows(), y.printTitleRows());
    EXPECT_EQ(x.printTitleCols(), y.printTitleCols());
    EXPECT_EQ(x.window2Flags() & ~0x0600, y.window2Flags() & ~0x0600); // selected and shown follow the active tab
}

// What a save must carry: the formatting tables, the names, the sheets with their cells (a
// formula may have become its value), rows, columns, merges, page setup and print ranges.
inline void expectSameModel(const cw::host::Workbook& a, const cw::host::Workbook& b)
{
    EXPECT_EQ(a.fonts(), b.fonts());
    EXPECT_EQ(a.numberFormats(), b.numberFormats());
    EXPECT_EQ(a.xfs(), b.xfs());
    EXPECT_EQ(a.styleRecords(), b.styleRecords());
    EXPECT_EQ(a.palette(), b.palette());
    EXPECT_EQ(a.date1904(), b.date1904());
    EXPECT_EQ(a.activeSheet(), b.activeSheet());
    ASSERT_EQ(a.sheetNames(), b.sheetNames());
    for (int i = 0; i < a.sheetCount(); ++i)
        expectSameSheet(a.sheet(i), b.sheet(i));
}

} // namespace xlstest
