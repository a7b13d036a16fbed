#include "import/DeducteeRows.h"

#include "import/SheetCells.h"
#include "import/StatementDate.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

#include <array>

namespace cw::import {

namespace {

// "Textdata" columns (0-based: A = 0). Record type in B.
constexpr int kType = 1;
// Challan record.
constexpr int kChallanCin = 11;      // L
constexpr int kChallanBsr = 15;      // P
constexpr int kChallanDate = 17;     // R
constexpr int kChallanSection = 20;  // U
constexpr int kChallanCheque = 35;   // AJ
// Deductee record.
constexpr int kName = 12;            // M
constexpr int kPan = 9;              // J
constexpr int kPaidOn = 23;          // X

// The amount columns: where each comes from and where it goes ("DeducteeDetails" D, F to I).
struct AmountColumn {
    int source;
    int target;
};
constexpr std::array<AmountColumn, 5> kAmounts = {{
    {21, 3}, // V: Amt Paid
    {13, 5}, // N: TDS
    {14, 6}, // O: SC
    {15, 7}, // P: Ecess
    {16, 8}, // Q: Total Tax Deposited
}};

bool isChallan(const host::Sheet& text, int row)
{
    const auto* s = std::get_if<std::string>(&text.value(row, kType));
    return s && *s == "CD";
}

// A field for a message: at most 40 characters, control characters shown as "?".
std::string shownField(std::string_view s)
{
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (chars == 40) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 1;
        while (i + len < s.size() && (static_cast<unsigned char>(s[i + len]) & 0xC0) == 0x80)
            ++len;
        if (c < 0x20 || c == 0x7F)
            out += '?';
        else
            out.append(s.substr(i, len));
        i += len;
        ++chars;
    }
    return out;
}

std::string trimmedHeading(int col)
{
    std::string h(kDeducteeHeadings[static_cast<std::size_t>(col)]);
    while (!h.empty() && h.back() == ' ')
        h.pop_back();
    return h;
}

// Every record under a challan must have numbers (or nothing) in its amount columns; a
// statement that has text there is refused before any row is written.
void checkAmounts(const host::Workbook& wb, const host::Sheet& text, int lastRow)
{
    bool underChallan = false;
    for (int r = 0; r <= lastRow; ++r) {
        if (isChallan(text, r)) {
            underChallan = true;
            continue;
        }
        if (!underChallan)
            continue;
        for (const AmountColumn& a : kAmounts) {
            if (!text.number(r, a.source))
                throw StatementError(r + 1, "Line " + std::to_string(r + 1) + " of TDS.txt: " +
                                                trimmedHeading(a.target) + " \"" +
                                                shownField(cellText(wb, text, r, a.source)) +
                                                "\" is not a number.");
        }
    }
}

} // namespace

void fillDeducteeRows(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    host::Sheet& text = sheetByName(wb, kTextSheet);
    host::Sheet& deductee = sheetByName(wb, kDeducteeSheet);
    ctx.textSheet = &text;
    ctx.deducteeSheet = &deductee;

    const int lastRow = text.lastNonEmptyUp(kType, host::kMaxRows - 1);
    checkAmounts(wb, text, lastRow);

    deductee.clearRows(1, host::kMaxRows - 1);
    // A running output row: a record without a name still gets a row of its own.
    int out = deductee.lastNonEmptyUp(0, host::kMaxRows - 1) + 1;

    bool underChallan = false;
    std::string cin, bsr, deposited, section, cheque;
    for (int r = 0; r <= lastRow; ++r) {
        if (isChallan(text, r)) {
            underChallan = true;
            cin = cellText(wb, text, r, kChallanCin);
            bsr = cellText(wb, text, r, kChallanBsr);
            deposited = statementDateText(cellText(wb, text, r, kChallanDate));
            section = cellText(wb, text, r, kChallanSection);
            cheque = cellText(wb, text, r, kChallanCheque);
            continue;
        }
        if (!underChallan)
            continue; // the file and batch headers

        deductee.cellAt(out, 13); // the row's fourteen cells in one allocation
        deductee.setValue(out, 12, cin);
        deductee.setValue(out, 10, bsr);
        deductee.setValue(out, 11, deposited);
        deductee.setValue(out, 2, section);
        deductee.setValue(out, 9, cheque);
        deductee.setValue(out, 0, cellText(wb, text, r, kName));
        deductee.setValue(out, 1, cellText(wb, text, r, kPan));
        deductee.setValue(out, 4, statementDateText(cellText(wb, text, r, kPaidOn)));
        for (const AmountColumn& a : kAmounts)
            deductee.setValue(out, a.target, *text.number(r, a.source));
        deductee.setValue(out, 13, deposited);
        ++out;
    }
}

} // namespace cw::import
