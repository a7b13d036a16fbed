#include "import/DeductorRow.h"

#include "import/SheetCells.h"
#include "import/StatementLayout.h"
#include "import/WorkSheets.h"

namespace cw::import {

namespace {
constexpr int kBatchRow = 1;       // line 2 of "Textdata"
constexpr int kDeductorRow = 2;    // row 3 of "DeductorDetails"
} // namespace

void fillDeductorRow(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    host::Sheet& text = sheetByName(wb, kTextSheet);
    host::Sheet& deductor = sheetByName(wb, kDeductorSheet);
    ctx.textSheet = &text;
    ctx.deductorSheet = &deductor;
    const BatchHeaderFields& f = kBatchHeader;

    // Empty parts keep their place: "a,b,,,e,f,".
    std::string address;
    for (int field = f.addressFirst; field <= f.addressLast; ++field) {
        if (field > f.addressFirst)
            address += ',';
        address += cellText(wb, text, kBatchRow, field - 1);
    }
    // "200708" -> "2007-08"; a shorter value gives what it has ("" -> "-").
    auto year = [&](int field) {
        const std::string t = cellText(wb, text, kBatchRow, field - 1);
        return std::string(utf8Mid(t, 0, 4)) + "-" + std::string(utf8Mid(t, 4, 2));
    };
    auto copy = [&](int field, int column) {
        copyCell(wb, text, kBatchRow, field - 1, deductor, kDeductorRow, column);
    };

    copy(f.name, 0);
    deductor.setValue(kDeductorRow, 1, std::string(clipToCell(address)));
    copy(f.tan, 2);
    copy(f.pan, 3);
    copy(f.personResponsible, 4);
    copy(f.designation, 5);
    deductor.setValue(kDeductorRow, 6, year(f.financialYear));
    deductor.setValue(kDeductorRow, 7, year(f.assessmentYear));
    copy(f.formType, 8);
    copy(f.placeOfIssue, 9);
}

} // namespace cw::import
