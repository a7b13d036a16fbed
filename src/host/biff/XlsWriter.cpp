#include "host/biff/XlsWriter.h"

#include "host/Error.h"
#include "host/biff/Bytes.h"
#include "host/biff/FormulaTokens.h"
#include "host/biff/Ole2Writer.h"
#include "host/biff/RecordPlacement.h"
#include "host/biff/Records.h"
#include "host/biff/WriterState.h"

#include <algorithm>

namespace cw::host {

using namespace biff;

XlsWriter::XlsWriter(const Workbook& workbook) : m_impl(std::make_unique<Impl>(workbook)) {}
XlsWriter::~XlsWriter() = default;

std::vector<std::uint8_t> XlsWriter::workbookStream()
{
    Impl& m = *m_impl;
    if (!m.prepared)
        m.prepare();
    m.out.clear();
    // A one-page workbook's stream fits without growing the buffer record by record.
    m.out.reserve(32 * 1024);
    m.cellStringAt = 0;
    m.writeGlobals();
    for (int i = 0; i < m.wb.sheetCount(); ++i)
        m.writeSheet(i);
    return std::move(m.out);
}

std::vector<std::uint8_t> XlsWriter::fileBytes()
{
    const std::vector<std::uint8_t> stream = workbookStream();
    return biff::wrapInCompoundFile(stream);
}

// ---- prepare -------------------------------------------------------------------------------

void XlsWriter::Impl::prepare()
{
    if (wb.sheetCount() == 0)
        throw Error(Error::Code::Invalid, "a workbook without sheets cannot be saved as .xls");
    for (int i = 0; i < wb.sheetCount(); ++i) {
        const Sheet& s = wb.sheet(i);
        const std::size_t len = utf16Length(s.name());
        if (len == 0 || len > 31)
            throw Error(Error::Code::Limit, "the sheet name \"" + s.name() +
                                                "\" does not fit an .xls workbook (1 to 31 characters)");
        if (s.kind() == SheetKind::Worksheet && s.rowCount() > kXlsMaxRows)
            throw Error(Error::Code::Limit, "sheet \"" + s.name() + "\" has " + std::to_string(s.rowCount()) +
                                                " rows; an .xls sheet holds at most 65,536");
    }
    // The active tab must be a visible sheet: Excel will not show a hidden one.
    activeTab = std::clamp(wb.activeSheet(), 0, wb.sheetCount() - 1);
    if (wb.sheet(activeTab).visibility() != Visibility::Visible)
        for (int i = 0; i < wb.sheetCount(); ++i)
            if (wb.sheet(i).visibility() == Visibility::Visible) {
                activeTab = i;
                break;
            }

    prepareLinks();
    prepareNames();
    placeRawGlobals();
    plans.assign(static_cast<std::size_t>(wb.sheetCount()), SheetPlan{});
    planDrawings();
    for (int i = 0; i < wb.sheetCount(); ++i)
        prepareSheet(i);
    prepared = true;
}

// The slot of each raw globals record (kDrop: not written).
void XlsWriter::Impl::placeRawGlobals()
{
    const auto& raw = wb.rawGlobals();
    globalsSlots.assign(raw.size(), kDrop);
    int prev = gAfterSst;
    bool prevDropped = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        int slot;
        if (raw[i].type == rt::Continue)
            slot = prevDropped ? kDrop : prev;
        else if ((slot = globalsSlot(raw[i].type)) == kFollow)
            slot = prev;
        globalsSlots[i] = slot;
        prevDropped = slot == kDrop;
        if (slot != kDrop)
            prev = slot;
    }
}

// Decides how each formula is written, and gathers the shared strings in writing order.
void XlsWriter::Impl::prepareSheet(int index)
{
    const Sheet& s = wb.sheet(index);
    if (s.kind() != SheetKind::Worksheet)
        return;
    SheetPlan& plan = plans[static_cast<std::size_t>(index)];
    plan.formula.assign(s.formulas().size(), 0);
    const int rowCount = s.rowCount();
    for (int r = 0; r < rowCount; ++r) {
        const int width = std::min(s.rowWidth(r), kMaxCols);
        for (int c = 0; c < width; ++c) {
            // The shared-string table keeps views of the sheet's texts, which stay put while
            // the sheet is written.
            const std::optional<std::string_view> text = s.textAt(r, c);
            if (!text)
                continue;
            if (text->size() > kMaxTextChars && utf16Length(*text) > kMaxTextChars)
                throw Error(Error::Code::Limit, "cell " + toA1(r, c) + " of sheet \"" + s.name() +
                                                    "\" holds more than 32,767 characters");
            // A formula written as such carries its text result in a STRING record after it.
            const std::uint32_t formula = s.formulaAt(r, c);
            if (formula != kNoFormula && formulaVerbatim(s, plan, formula, r, c))
                continue;
            cellStrings.push_back(sst.intern(*text));
            ++sstRefs;
        }
    }
}

bool XlsWriter::Impl::formulaVerbatim(const Sheet& s, SheetPlan& plan, std::uint32_t fi, int row, int col, int depth)
{
    if (fi >= plan.formula.size())
        return false;
    if (plan.formula[fi] != 0)
        return plan.formula[fi] == 1;
    const Formula& f = s.formulas()[fi];
    bool ok = f.parsed.size() >= 2 && f.parsed.size() - 2 >= le16(f.parsed.data());
    TokenScan t;
    if (ok) {
        t = scanTokens(f.parsed.data() + 2, le16(f.parsed.data()));
        for (const RawRecord& r : f.follow)
            mergeScan(t, scanFollow(r));
        const bool safe = keepRawLinks && nameTableIntact;
        ok = !(t.linkRefs && !keepRawLinks) && !(t.nameRefs && !nameTableIntact) && !(t.unknown && !safe);
    }
    if (ok && t.shared) {
        // PtgExp / PtgTbl: the cell shares the formula of the anchor cell, whose SHRFMLA,
        // ARRAY or TABLE record must still cover this cell and be written.
        auto covers = [&](const Formula& anchor) {
            return std::any_of(anchor.follow.begin(), anchor.follow.end(),
                               [&](const RawRecord& r) { return followCovers(r, row, col); });
        };
        if (t.anchorRow == row && t.anchorCol == col) {
            ok = covers(f);
        } else {
            const std::optional<Cell> a = s.cell(t.anchorRow, t.anchorCol);
            const bool before = t.anchorRow < row || (t.anchorRow == row && t.anchorCol < col);
            ok = depth == 0 && before && a && a->hasFormula() && a->formula < s.formulas().size() &&
                 a->formula != fi && covers(s.formulas()[a->formula]) &&
                 formulaVerbatim(s, plan, a->formula, t.anchorRow, t.anchorCol, depth + 1);
        }
    }
    plan.formula[fi] = ok ? 1 : 2;
    return ok;
}

} // namespace cw::host
