#pragma once

#include "import/Statement.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a statement's deductee records add up to, challan by challan, and where the challan's
// own stated sums differ from them. The register and the statement check both report these.
namespace cw::import {

// Amounts in paise: sums of them are exact and the same in whatever order they are added.
struct PaymentSums {
    int payments = 0;
    std::int64_t amountPaid = 0;
    std::int64_t tds = 0;
    std::int64_t surcharge = 0;
    std::int64_t cess = 0;
    std::int64_t deposited = 0;
    std::int64_t deducted() const { return tds + surcharge + cess; }
    void add(double paid, double tds, double surcharge, double cess, double deposited);
    void add(const PaymentSums& other);
    friend bool operator==(const PaymentSums&, const PaymentSums&) = default;
};

// Rupees as a whole number of paise.
std::int64_t paise(double rupees);

// A whole number grouped the Indian way, in lakhs and crores: 1234567 -> "12,34,567".
std::string grouped(std::uint64_t n);
// Paise as rupees the Indian way: 123456700 -> "12,34,567.00".
std::string rupees(std::int64_t paise);

// A sum the challan states (CD 29 to 33) that its records do not add up to.
struct StatedDifference {
    const char* what;       // "tax deposited"
    int field;              // 29
    std::int64_t stated;    // paise
    std::int64_t records;   // paise
};

struct ChallanSums {
    PaymentSums records;
    std::int64_t recordsDeducted = 0;  // the records' own totals of tax deducted (DD 17)
    // Unstated sums are not differences.
    std::vector<StatedDifference> differences;
};

// One entry per challan, indexed as Statement::challans.
std::vector<ChallanSums> sumChallans(const Statement& s);

} // namespace cw::import
