#pragma once

#include "import/GenerationContext.h"

#include <stdexcept>
#include <string>

namespace cw::import {

// A statement the extraction cannot take, with a message for the user that names the line of
// TDS.txt and what is wrong with it.
class StatementError : public std::runtime_error {
public:
    StatementError(int line, const std::string& message)
        : std::runtime_error(message), m_line(line) {}
    int line() const { return m_line; }

private:
    int m_line;
};

// One row of "DeducteeDetails" (from row 2 down) for every record that follows a challan
// record ("CD") of "Textdata", up to the next challan record: the deductee's name, PAN,
// amounts and payment date with the challan's section, cheque, BSR code, date and CIN. Each
// record gets its own row, whether or not it has a name. Before anything is written, every
// amount column is checked: a field that is not a number throws StatementError, e.g.
//   Line 7 of TDS.txt: Amt Paid "12a" is not a number.
// Takes both sheets by name from the template workbook and keeps them in the context.
void fillDeducteeRows(GenerationContext& ctx);

} // namespace cw::import
