#pragma once

#include "GenerationContext.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace cw::import {

inline constexpr std::string_view kTextSheet = "Textdata";
inline constexpr std::string_view kDeductorSheet = "DeductorDetails";
inline constexpr std::string_view kDeducteeSheet = "DeducteeDetails";
inline constexpr std::string_view kStatementFile = "TDS.txt";

// Heading rows: "DeductorDetails" row 2, columns A to J; "DeducteeDetails" row 1, A to N.
inline constexpr std::array<std::string_view, 10> kDeductorHeadings = {
    "Name", "Address", "TAN", "PAN", "Person Responsible", "Designation",
    "Fin Yr", "Asstt. Yr.", "Form Type", "Place of Issue"};
inline constexpr std::array<std::string_view, 14> kDeducteeHeadings = {
    "Name of the deductee", "PAN", "Section", "Amt Paid", "DOP/Cr.", "TDS", "SC ", "Ecess",
    "Total Tax Deposited", "Chq", "BSR", "Date of Deposit", "CIN", "DO Certificate"};

// A statement larger than this is refused before it is read: no real quarterly statement
// comes near it, and reading it whole must stay within memory.
inline constexpr std::uintmax_t kMaxStatementBytes = std::uintmax_t{1} << 30;

// Replaces the three work sheets of the template workbook with fresh, empty ones, in the order
// "DeducteeDetails", "DeductorDetails", "Textdata" in front of the active sheet. Failures of
// the single steps are ignored: a sheet that cannot take its name keeps the default one.
void PrepareSheets(GenerationContext& ctx);

// The heading rows of the deductor sheet and the deductee sheet of the context.
void WriteSheetHeaders(GenerationContext& ctx);

// Reads TDS.txt of the application folder into sheet "Textdata" (see importStatementText) and
// makes that sheet active. Throws host::Error naming the file when it cannot be read, is too
// large or has more lines than a sheet has rows.
void ImportTextFile(GenerationContext& ctx);

// The parser behind ImportTextFile, on bytes already in memory. Row n of `sheet` gets line n:
// fields split at "^", a field in double quotes taken without them ("" inside is one quote),
// each field converted as the General format does (a date gets a date format). Lines end at
// CR LF, LF or CR; a quote never runs past the line end. Code page 437, or UTF-8 after a
// UTF-8 byte-order mark. Fields past column 256 are dropped; a cell text is cut at the 32,767
// characters a cell holds. The sheet's old contents are cleared first.
void importStatementText(host::Workbook& wb, host::Sheet& sheet, std::string_view bytes);

// Removes the output folder Form16A with everything in it, read-only files included. Every
// failure is ignored (a missing folder is the normal case); the folder is not made again.
void DeleteOutputFolder(GenerationContext& ctx);

} // namespace cw::import

namespace cw::import {
// A path as UTF-8 text for messages, in the platform's own separators.
std::string pathText(const std::filesystem::path& p);
} // namespace cw::import
