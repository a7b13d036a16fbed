#pragma once

#include "import/GenerationContext.h"

#include <array>
#include <string_view>

// The three work sheets a run adds to the template workbook and their heading rows.
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

// The columns of a deductee row (0-based), in the order of kDeducteeHeadings.
namespace deductee_columns {
enum DeducteeColumn {
    kName = 0, kPan, kSection, kAmountPaid, kPaidOn, kTds, kSurcharge, kCess, kTotalTax,
    kCheque, kBsr, kDepositedOn, kCin, kCertificateDate, kDeducteeColumns
};
} // namespace deductee_columns

// Replaces the three work sheets of the template workbook with fresh, empty ones, in the order
// "DeducteeDetails", "DeductorDetails", "Textdata" in front of the active sheet. Failures of
// the single steps are ignored: a sheet that cannot take its name keeps the default one.
void prepareWorkSheets(GenerationContext& ctx);

// The heading rows of the deductor sheet and the deductee sheet of the context.
void writeSheetHeadings(GenerationContext& ctx);

} // namespace cw::import
