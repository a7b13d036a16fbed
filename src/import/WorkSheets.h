#pragma once

#include "host/Workbook.h"
#include "import/StatementText.h"

#include <array>
#include <string_view>

// The work sheets a refused statement leaves in the template workbook for the user to look at:
// the statement as a spreadsheet shows it, the deductor's row and the deductee sheet's headings.
// A statement that makes certificates never goes through them.
namespace cw::import {

inline constexpr std::string_view kTextSheet = "Textdata";
inline constexpr std::string_view kDeductorSheet = "DeductorDetails";
inline constexpr std::string_view kDeducteeSheet = "DeducteeDetails";

// Heading rows: "DeductorDetails" row 2, columns A to J; "DeducteeDetails" row 1, A to N.
inline constexpr std::array<std::string_view, 10> kDeductorHeadings = {
    "Name", "Address", "TAN", "PAN", "Person Responsible", "Designation",
    "Fin Yr", "Asstt. Yr.", "Form Type", "Place of Issue"};
inline constexpr std::array<std::string_view, 14> kDeducteeHeadings = {
    "Name of the deductee", "PAN", "Section", "Amt Paid", "DOP/Cr.", "TDS", "SC ", "Ecess",
    "Total Tax Deposited", "Chq", "BSR", "Date of Deposit", "CIN", "DO Certificate"};

// Replaces the three work sheets of the workbook ("DeducteeDetails", "DeductorDetails",
// "Textdata", in front of the active sheet, "Textdata" active) and fills them: "Textdata" row n
// with line n, each field converted as the General format converts typed text (see
// importStatementText); "DeductorDetails" with its headings and, in row 3, the batch header's
// deductor; "DeducteeDetails" with its headings. Failures of the single sheet steps are
// ignored: a sheet that cannot take its name keeps the default one. Throws StatementError
// when the statement fills more cells than its size allows (statementCellLimit).
void writeWorkSheets(host::Workbook& wb, const StatementText& statement);

} // namespace cw::import
