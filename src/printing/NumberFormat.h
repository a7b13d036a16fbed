#pragma once

#include "host/Cell.h"

#include <string>

namespace cw::host {
class Workbook;
}

namespace cw::printing {

// What a cell shows, and what kind of value produced it (general alignment and overflow
// depend on it: numbers go right and never spill into neighbours, text goes left).
enum class ValueKind { Empty, Text, Number, Boolean, Error };

struct CellText {
    std::string text;
    ValueKind kind = ValueKind::Empty;
};

// The text of a cell's value under its cell format, as a spreadsheet program shows it.
CellText cellText(const host::Workbook& book, const host::Cell& cell);

// A number under a number format code: "General", "0.00", "#,##0.00", "0%", "0.00E+00", date
// and time codes ("dd/mm/yyyy", "d-mmm-yy", "h:mm"), literal text in quotes or after "\",
// up to four sections (positive;negative;zero;text). Colours and conditions in brackets are
// ignored. `date1904` selects the workbook's date system for date codes.
std::string formatNumber(double value, const std::string& format, bool date1904 = false);

} // namespace cw::printing
