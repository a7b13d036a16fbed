#pragma once

#include "import/GenerationContext.h"

namespace cw::import {

// Row 3 of "DeductorDetails" from the batch header record (row 2 of "Textdata"): name,
// address (the address fields joined with ","), TAN, PAN, person responsible, designation,
// financial and assessment year ("200708" becomes "2007-08"), form type and place of issue.
// Takes both sheets by name from the template workbook and keeps them in the context.
void fillDeductorRow(GenerationContext& ctx);

} // namespace cw::import
