#include "import/DeductorRow.h"

#include "import/SheetCells.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

namespace cw::import {

namespace {
// Columns of the batch header record in "Textdata" (0-based: A = 0).
constexpr int kName = 18;          // S
constexpr int kAddressFirst = 20;  // U .. AA
constexpr int kAddressLast = 26;
constexpr int kTan = 12;           // M
constexpr int kPan = 14;           // O
constexpr int kPerson = 32;        // AG
constexpr int kDesignation = 33;   // AH
constexpr int kFinYear = 16;       // Q
constexpr int kAssessYear = 15;    // P
constexpr int kFormType = 4;       // E
constexpr int kPlace = 24;         // Y, also the fifth address field
constexpr int kBatchRow = 1;       // row 2
constexpr int kDeductorRow = 2;    // row 3
} // namespace

void fillDeductorRow(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    host::Sheet& text = sheetByName(wb, kTextSheet);
    host::Sheet& deductor = sheetByName(wb, kDeductorSheet);
    ctx.textSheet = &text;
    ctx.deductorSheet = &deductor;

    // Empty parts keep their place: "a,b,,,e,f,".
    std::string address;
    for (int c = kAddressFirst; c <= kAddressLast; ++c) {
        if (c > kAddressFirst)
            address += ',';
        address += cellText(wb, text, kBatchRow, c);
    }
    // "200708" -> "2007-08"; a shorter value gives what it has ("" -> "-").
    auto year = [&](int col) {
        const std::string t = cellText(wb, text, kBatchRow, col);
        return std::string(utf8Mid(t, 0, 4)) + "-" + std::string(utf8Mid(t, 4, 2));
    };

    const int r = kDeductorRow;
    copyCell(wb, text, kBatchRow, kName, deductor, r, 0);
    deductor.setValue(r, 1, std::string(clipToCell(address)));
    copyCell(wb, text, kBatchRow, kTan, deductor, r, 2);
    copyCell(wb, text, kBatchRow, kPan, deductor, r, 3);
    copyCell(wb, text, kBatchRow, kPerson, deductor, r, 4);
    copyCell(wb, text, kBatchRow, kDesignation, deductor, r, 5);
    deductor.setValue(r, 6, year(kFinYear));
    deductor.setValue(r, 7, year(kAssessYear));
    copyCell(wb, text, kBatchRow, kFormType, deductor, r, 8);
    copyCell(wb, text, kBatchRow, kPlace, deductor, r, 9);
}

} // namespace cw::import
