#pragma once

#include <algorithm>
#include <array>
#include <string_view>

// Where a Form 26Q statement keeps each value Certwright reads: per record type, the 1-based
// number of the "^"-separated field, one table per published layout. Reading a new layout
// means adding its table to kForm26QLayouts; the check and the walk only read the tables.
namespace cw::import {

// The batch header (BH) on line 2. The layout is chosen from it, so its fields have one place
// for all layouts; Form 26Q has never moved them.
struct BatchHeaderFields {
    int challanCount = 4;
    int formType = 5;
    int tan = 13;
    int pan = 15;
    int assessmentYear = 16;
    int financialYear = 17; // "202425" for 2024-25
    int quarter = 18;       // "Q1" to "Q4"
    int name = 19;
    int addressFirst = 21; // five address lines, state and PIN code
    int addressLast = 27;
    int placeOfIssue = 25; // the fifth address line: town or city
    int personResponsible = 33;
    int designation = 34;
};
inline constexpr BatchHeaderFields kBatchHeader{};

// A challan record (CD): one deposit of tax at a bank, followed by its deductee records.
struct ChallanFields {
    int deducteeCount;
    int challanNumber;
    int bsrCode;
    int depositDate;
    int section;
    int chequeNumber;
    // The challan's own deposit (its income tax, surcharge, cess, interest and others add up
    // to it), which may exceed what this statement's records consume.
    int deposit;
    // What the statement states of the deductee records under the challan: the sums of their
    // tax deposited, TDS, surcharge, cess and tax deducted.
    int statedDeposited;
    int statedTds;
    int statedSurcharge;
    int statedCess;
    int statedDeducted;
};

// A deductee record (DD): one payment and the tax deducted from it.
struct DeducteeFields {
    int pan;
    int name;
    int incomeTax;
    int surcharge;
    int cess;
    int totalDeducted; // TDS + surcharge + cess
    int taxDeposited;
    int amountPaid;
    int paidOn;        // the date of payment or credit
    int deductedOn;    // the date of deduction
    int rate;          // the rate of deduction, where given; no record needs to reach it
    int section; // 0: none, the challan's section holds for all its records
};

struct StatementLayout {
    // The financial years it covers, each by the calendar year it begins in.
    int firstYear;
    int lastYear;
    ChallanFields challan;
    DeducteeFields deductee;
};

// The challan detail (CD) fields, where every layout so far has kept them.
inline constexpr ChallanFields kForm26QChallanFields{
    .deducteeCount = 5, .challanNumber = 12, .bsrCode = 16, .depositDate = 18, .section = 21, .chequeNumber = 36,
    .deposit = 27, .statedDeposited = 29, .statedTds = 30, .statedSurcharge = 31, .statedCess = 32,
    .statedDeducted = 33};

// The deductee detail (DD) fields both layouts keep in the same places: they have meant the
// same since the 2007 format.
inline constexpr DeducteeFields kForm26QDeducteeFields{
    .pan = 10, .name = 13, .incomeTax = 14, .surcharge = 15, .cess = 16, .totalDeducted = 17, .taxDeposited = 19,
    .amountPaid = 22, .paidOn = 23, .deductedOn = 24, .rate = 26, .section = 0};

// Up to 2012-13 every payment falls under its challan's section.
inline constexpr StatementLayout kForm26QBefore2013{
    .firstYear = 2007,
    .lastYear = 2012,
    .challan = kForm26QChallanFields,
    .deductee = kForm26QDeducteeFields,
};

// From 2013-14 each payment names its own section, so one challan may cover several; the
// challan's section field is then empty. From the tax year 2026-27 these payments are reported
// in Form 140 instead.
inline constexpr StatementLayout kForm26QFrom2013{
    .firstYear = 2013,
    .lastYear = 2025,
    .challan = kForm26QChallanFields,
    .deductee = [] {
        DeducteeFields f = kForm26QDeducteeFields;
        f.section = 33;
        return f;
    }(),
};

inline constexpr std::array<const StatementLayout*, 2> kForm26QLayouts = {&kForm26QBefore2013, &kForm26QFrom2013};

// The fields a record must have for every value read from it.
constexpr int fieldsNeeded(const BatchHeaderFields& f)
{
    return std::max({f.challanCount, f.formType, f.tan, f.pan, f.assessmentYear, f.financialYear, f.name,
                     f.addressLast, f.placeOfIssue, f.personResponsible, f.designation});
}
constexpr int fieldsNeeded(const ChallanFields& f)
{
    return std::max({f.deducteeCount, f.challanNumber, f.bsrCode, f.depositDate, f.section, f.chequeNumber,
                     f.deposit, f.statedDeposited, f.statedTds, f.statedSurcharge, f.statedCess, f.statedDeducted});
}
constexpr int fieldsNeeded(const DeducteeFields& f)
{
    return std::max({f.pan, f.name, f.incomeTax, f.surcharge, f.cess, f.totalDeducted, f.taxDeposited,
                     f.amountPaid, f.paidOn, f.deductedOn, f.section});
}

} // namespace cw::import
