#pragma once

#include "host/TextPool.h"
#include "import/StatementLayout.h"
#include "import/StatementText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A Form 26Q statement as plain records: what the deductor, each challan and each deductee
// record say, text fields as written and amounts as numbers. Certificates, the register and the
// statement check are made from these records; nothing goes through a sheet on the way.
namespace cw::import {

// A text of the statement kept once: a name, PAN or section repeated over thousands of records
// has one id, and two records hold the same text exactly when they hold the same id.
using TextId = host::TextPool::Id;

// The batch header (BH), with the file header's creation date.
struct Deductor {
    int line = 0;                 // the batch header's line
    std::string name;             // BH 19
    std::string address;          // BH 21 to 27 joined with ",", empty parts keeping their place
    std::string tan;              // BH 13
    std::string pan;              // BH 15
    std::string personResponsible;// BH 33
    std::string designation;      // BH 34
    std::string placeOfIssue;     // BH 25, the town or city
    std::string formType;         // BH 5, "26Q"
    std::string financialYear;    // BH 17 "202425" as "2024-25"
    std::string assessmentYear;   // BH 16 "202526" as "2025-26"
    int firstYear = 0;            // the calendar year the financial year begins in: 2024
    std::string quarter;          // BH 18 as written: "Q1" to "Q4"
    std::string fileCreatedOn;    // FH 5 as written: ddmmyyyy
};

// A challan record (CD): one deposit of tax, and what the statement says of the deductee
// records under it. Amounts the statement leaves empty are not stated (older statements
// leave some of them empty).
struct Challan {
    int line = 0;
    int serial = 0;                 // 1 for the first challan of the statement
    std::string challanNumber;      // CD 12
    std::string bsrCode;            // CD 16
    std::string depositedOn;        // CD 18 as dotted text, "07.07.2024"
    std::string section;            // CD 21 (up to 2012-13 the section of all its payments)
    std::string chequeNumber;       // CD 36
    std::optional<double> deposit;          // CD 27, the challan's own total deposit
    std::optional<double> statedDeposited;  // CD 29, stated as the sum of DD 19
    std::optional<double> statedTds;        // CD 30, of DD 14
    std::optional<double> statedSurcharge;  // CD 31, of DD 15
    std::optional<double> statedCess;       // CD 32, of DD 16
    std::optional<double> statedDeducted;   // CD 33, of DD 17
    std::uint32_t firstPayment = 0;         // its deductee records in Statement::payments
    std::uint32_t paymentCount = 0;
};

// A deductee record (DD): one payment and the tax deducted from it.
struct Payment {
    int line = 0;
    std::uint32_t challan = 0;      // its challan in Statement::challans
    TextId name = 0;                // DD 13
    TextId pan = 0;                 // DD 10
    TextId section = 0;             // DD 33 where the layout has it and it is given, else CD 21
    TextId paidOn = 0;              // DD 23 as dotted text: the date of payment or credit
    TextId deductedOn = 0;          // DD 24 as dotted text: the date of deduction
    double amountPaid = 0;          // DD 22
    double tds = 0;                 // DD 14
    double surcharge = 0;           // DD 15
    double cess = 0;                // DD 16
    double totalDeducted = 0;       // DD 17
    double taxDeposited = 0;        // DD 19
};

struct Statement {
    Deductor deductor;
    const StatementLayout* layout = nullptr;
    std::vector<Challan> challans;
    std::vector<Payment> payments;  // in statement order
    host::TextPool texts;

    std::string_view text(TextId id) const { return texts.text(id); }
    const Challan& challanOf(const Payment& p) const { return challans[p.challan]; }
};

// What a statement is, read from its batch header alone: enough to refuse a statement of
// another form before anything else is read.
struct StatementKind {
    std::string formType;  // BH 5
    int batchLine = 2;
};

// The batch header's form. Throws StatementError when line 2 is not a batch header.
StatementKind statementKind(const StatementText& text);

// The message that refuses a statement of another form than Form 26Q, or nothing for Form 26Q.
// Form 140, which takes these payments from the tax year 2026-27 on, gets a message of its own.
std::optional<std::string> otherFormRefusal(const StatementKind& kind);

// Reads a Form 26Q statement into records, checking its structure over the fields as it goes:
// the batch header gives a financial year of a known layout and its count of challans; after
// it every line up to blank lines at the end is a challan (CD) or a deductee record (DD)
// following a challan; every record has the fields its layout reads; amounts are numbers that
// a certificate can print truthfully; dates are calendar dates; a PAN is at most 10 characters
// and a name fits a cell; and the counts of challans and of each challan's deductee records
// agree with the records that follow. Throws StatementError naming the first line (and field)
// that is wrong, e.g.
//   Line 16 of TDS.txt: challan 4 counts 6 deductee records, but 7 follow.
// With Dates::Keep a date that is no calendar date is kept as written instead of refused: the
// statement check reads the records to report such dates with everything else it finds.
enum class Dates { Refuse, Keep };
Statement readStatement(const StatementText& text, Dates dates = Dates::Refuse);

} // namespace cw::import
