#pragma once

#include "import/GenerationContext.h"
#include "import/StatementError.h"

namespace cw::import {

// One row of "DeducteeDetails" (from row 2 down) for every record that follows a challan
// record ("CD") of "Textdata", up to the next challan record: the deductee's name, PAN,
// amounts, payment date and section (the challan's where the record has none) with the
// challan's cheque, BSR code, date and CIN, each from its field in the statement's layout
// (ctx.layout). Each record gets its own row, whether or not it has a name. A statement not
// yet checked is checked first (checkStatement): one it refuses throws StatementError before
// anything is written. Takes both sheets by name from the template workbook and keeps them in
// the context.
void fillDeducteeRows(GenerationContext& ctx);

} // namespace cw::import
