#include "import/RecordSums.h"

#include <cmath>

namespace cw::import {

namespace {

void compare(std::vector<StatedDifference>& out, const char* what, int field, const std::optional<double>& stated,
             std::int64_t records)
{
    if (stated && paise(*stated) != records)
        out.push_back({what, field, paise(*stated), records});
}

} // namespace

std::int64_t paise(double rupees) { return std::llround(rupees * 100); }

// The last three digits, then groups of two.
std::string grouped(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    const std::size_t size = digits.size();
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t left = size - i;
        if (i > 0 && (left == 3 || (left > 3 && (left - 3) % 2 == 0)))
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string rupees(std::int64_t value)
{
    const bool negative = value < 0;
    const std::uint64_t v = negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
    return (negative ? "-" : "") + grouped(v / 100) + "." + std::to_string(100 + v % 100).substr(1);
}

void PaymentSums::add(double paid, double tdsPart, double surchargePart, double cessPart, double depositedPart)
{
    ++payments;
    amountPaid += paise(paid);
    tds += paise(tdsPart);
    surcharge += paise(surchargePart);
    cess += paise(cessPart);
    deposited += paise(depositedPart);
}

void PaymentSums::add(const PaymentSums& o)
{
    payments += o.payments;
    amountPaid += o.amountPaid;
    tds += o.tds;
    surcharge += o.surcharge;
    cess += o.cess;
    deposited += o.deposited;
}

std::vector<ChallanSums> sumChallans(const Statement& s)
{
    std::vector<ChallanSums> out(s.challans.size());
    for (const Payment& p : s.payments) {
        ChallanSums& c = out[p.challan];
        c.records.add(p.amountPaid, p.tds, p.surcharge, p.cess, p.taxDeposited);
        c.recordsDeducted += paise(p.totalDeducted);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const Challan& ch = s.challans[i];
        ChallanSums& c = out[i];
        compare(c.differences, "tax deposited", 29, ch.statedDeposited, c.records.deposited);
        compare(c.differences, "TDS", 30, ch.statedTds, c.records.tds);
        compare(c.differences, "surcharge", 31, ch.statedSurcharge, c.records.surcharge);
        compare(c.differences, "cess", 32, ch.statedCess, c.records.cess);
        compare(c.differences, "tax deducted", 33, ch.statedDeducted, c.recordsDeducted);
    }
    return out;
}

} // namespace cw::import
