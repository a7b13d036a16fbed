#pragma once

#include "check/Calendar.h"
#include "import/Statement.h"
#include "import/StatementText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A Form 26Q statement checked before filing: the mistakes the portal rejects it for or
// processes it wrongly with, and the interest and the fee its processing will demand.
namespace cw::check {

enum class Severity { Error, Warning };

// One problem of the statement, where it is and what is wrong, in one sentence.
struct Finding {
    int line = 0;
    int field = 0;       // 0 when the finding is of the whole record
    std::string pan;     // the deductee's, on a deductee record
    std::string name;
    Severity severity = Severity::Error;
    std::string message;
};

// Interest under section 201(1A) on one deductee record; amounts in paise, the rounded ones
// in whole rupees as the demand charges them.
struct InterestRow {
    int line = 0;
    int challan = 0;             // the challan's serial number
    std::string pan, name, section;
    std::string paidOn, deductedOn, depositedOn, depositDue;
    int deductionMonths = 0;     // late deduction, at 1 % a month on the tax deducted
    double deductionExact = 0;
    std::int64_t deduction = 0;
    int depositMonths = 0;       // late deposit, at 1.5 % a month on the tax deposited
    double depositExact = 0;
    std::int64_t deposit = 0;
};

struct InterestTotal {
    std::int64_t deduction = 0, deposit = 0; // of the rounded rows
    double deductionExact = 0, depositExact = 0;
    std::int64_t sum() const { return deduction + deposit; }
};

// Where the date of filing the fee is counted to comes from.
enum class FiledBy { Option, AcknowledgementRegister, Today };

// The fee for late filing under section 234E.
struct LateFee {
    std::optional<Day> due;      // nothing: not computed, no due date known for the quarter
    Day filedOn;
    FiledBy filedBy = FiledBy::Today;
    long daysLate = 0;
    std::int64_t fee = 0;        // paise
    bool capped = false;         // at the statement's total tax deducted
};

struct CheckOptions {
    Day filedOn;                 // the date of filing the fee is counted to
    FiledBy filedBy = FiledBy::Today;
};

struct CheckResult {
    std::string statementName;   // "TDS.txt"
    import::Deductor deductor;
    std::vector<Finding> findings;  // in statement order
    int errors = 0, warnings = 0;
    std::vector<InterestRow> interest; // the records that bear any
    std::vector<InterestTotal> interestByChallan; // indexed as the statement's challans
    std::vector<int> challanLines;                 // the same, each challan's line
    InterestTotal interestTotal;
    LateFee fee;
    std::int64_t totalDeducted = 0; // paise, of all records (DD 17)

    std::int64_t totalPayable() const { return interestTotal.sum() + (fee.due ? fee.fee : 0); }
};

// The quarter of BH 18 as a number ("Q3" -> 3), or nothing.
std::optional<int> quarterNumber(std::string_view text);

// Checks a statement read with import::Dates::Keep from `text`.
CheckResult checkStatement(const import::StatementText& text, const import::Statement& statement,
                           const CheckOptions& options);

// Reads and checks the statement file. Throws import::StatementError when it can't be read.
CheckResult checkStatementFile(const std::filesystem::path& file, const CheckOptions& options);

// The fee for a statement of the quarter with this much tax deducted, filed on `filedOn`.
LateFee lateFee(int firstYear, int quarter, std::int64_t totalDeducted, const Day& filedOn, FiledBy filedBy);

// Counts the result's fee to another date of filing.
void countFeeTo(CheckResult& r, const Day& filedOn, FiledBy filedBy);

} // namespace cw::check
