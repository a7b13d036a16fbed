#pragma once

#include "host/Workbook.h"

#include <filesystem>

namespace cw::printing::test {

// A certificate workbook laid out like the shipped template's pages: sheet "NNN" (the Form 16A
// page: merged and wrapped headings, boxed tables, amounts "#,##0.00", dates dd/mm/yyyy, text
// codes "@", fit to one A4 page, centred) and, for more than 16 payments, sheet "NNN (Annex)"
// with the remaining rows, title rows 3-4 repeated, fit to one page wide.
host::Workbook sampleCertificate(int serial, int payments);

} // namespace cw::printing::test
