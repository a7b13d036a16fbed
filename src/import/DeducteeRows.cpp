#include "import/DeducteeRows.h"

#include "import/SheetCells.h"
#include "import/StatementCheck.h"
#include "import/StatementDate.h"
#include "import/WorkSheets.h"

namespace cw::import {

namespace {

using namespace deductee_columns;

constexpr int kType = 1;           // the record type, field 2
constexpr int kFirstRecordRow = 2; // line 3

bool isChallan(const host::Sheet& text, int row)
{
    return text.textAt(row, kType) == "CD";
}

} // namespace

void fillDeducteeRows(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    host::Sheet& text = sheetByName(wb, kTextSheet);
    host::Sheet& deductee = sheetByName(wb, kDeducteeSheet);
    ctx.textSheet = &text;
    ctx.deducteeSheet = &deductee;
    const StatementLayout& layout = ctx.layout ? *ctx.layout : checkStatement(ctx);
    const ChallanFields& cf = layout.challan;
    const DeducteeFields& df = layout.deductee;
    // A field's text: sheet columns count from 0, fields from 1.
    auto field = [&](int row, int number) { return cellText(wb, text, row, number - 1); };

    const int lastRow = text.lastNonEmptyUp(kType, host::kMaxRows - 1);

    deductee.clearRows(1, host::kMaxRows - 1);
    // A running output row: a record without a name still gets a row of its own.
    int out = deductee.lastNonEmptyUp(0, host::kMaxRows - 1) + 1;

    bool underChallan = false;
    std::string cin, bsr, deposited, section, cheque;
    // The records follow the file header and the batch header, whatever those two lines hold.
    for (int r = kFirstRecordRow; r <= lastRow; ++r) {
        if (isChallan(text, r)) {
            underChallan = true;
            cin = field(r, cf.challanNumber);
            bsr = field(r, cf.bsrCode);
            deposited = statementDateText(field(r, cf.depositDate));
            section = field(r, cf.section);
            cheque = field(r, cf.chequeNumber);
            continue;
        }
        if (!underChallan)
            continue; // none: the check refuses a deductee record before any challan

        // A payment's own section, where the layout has one and it is given, else the challan's.
        std::string paymentSection = df.section ? field(r, df.section) : std::string();
        if (paymentSection.empty())
            paymentSection = section;

        deductee.reserveRow(out, kDeducteeColumns); // the row's cells in one allocation
        deductee.setValue(out, kCin, cin);
        deductee.setValue(out, kBsr, bsr);
        deductee.setValue(out, kDepositedOn, deposited);
        deductee.setValue(out, kSection, std::move(paymentSection));
        deductee.setValue(out, kCheque, cheque);
        deductee.setValue(out, kName, field(r, df.name));
        deductee.setValue(out, kPan, field(r, df.pan));
        deductee.setValue(out, kPaidOn, statementDateText(field(r, df.paidOn)));
        for (const AmountField& a : kDeducteeAmounts)
            deductee.setValue(out, a.column, text.number(r, df.*a.field - 1).value_or(0.0));
        deductee.setValue(out, kCertificateDate, deposited);
        ++out;
    }
}

} // namespace cw::import
