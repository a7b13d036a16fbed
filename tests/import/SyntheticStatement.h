#pragma once

// Form 26Q statement text built field by field, for the tests and the benchmarks.
#include <string>
#include <vector>

namespace cw::test {

// Fields by the published layouts: the tax deducted (17) and deposited (19), the dates of
// payment or credit (23) and of deduction (24), and from 2013-14 on the payment's section (33).
struct Deductee {
    std::string name = "RAMESH KUMAR", pan = "ABCPK1234D", amount = "50000", tds = "5000", sc = "0",
                cess = "150", total = "5150", deposited = "5150", creditedOn = "15062008",
                deductedOn = "15062008", section;
    std::vector<std::pair<int, std::string>> more = {}; // further fields by number
};

struct Challan {
    std::string cin = "00123", bsr = "0510308", date = "07072008", section = "94C", cheque = "456789";
    std::vector<Deductee> deductees;
    std::vector<std::pair<int, std::string>> more = {}; // further fields by number, e.g. {27, "6000.00"}
};

// One record: field k (1-based) of `fields` is fields[k - 1], joined with "^".
inline std::string record(const std::vector<std::string>& fields)
{
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i)
        s += (i ? "^" : "") + fields[i];
    return s;
}

// `count` empty fields with the given 1-based fields set.
inline std::vector<std::string> fields(std::size_t count, std::vector<std::pair<int, std::string>> set)
{
    std::vector<std::string> f(count);
    for (auto& [k, v] : set)
        f[static_cast<std::size_t>(k - 1)] = v;
    return f;
}

inline std::string challanLine(std::size_t lineNo, int challanNo, const Challan& c, std::size_t deductees)
{
    auto f = fields(40, {{1, std::to_string(lineNo)}, {2, "CD"}, {3, "1"}, {4, std::to_string(challanNo)},
                         {5, std::to_string(deductees)}, {6, "N"}, {12, c.cin}, {16, c.bsr}, {18, c.date},
                         {21, c.section}, {36, c.cheque}});
    for (const auto& [k, v] : c.more)
        f[static_cast<std::size_t>(k - 1)] = v;
    return record(f);
}

inline std::string deducteeLine(std::size_t lineNo, int challanNo, int deducteeNo, const Deductee& d)
{
    auto f = fields(40, {{1, std::to_string(lineNo)}, {2, "DD"}, {3, "1"}, {4, std::to_string(challanNo)},
                         {5, std::to_string(deducteeNo)}, {6, "O"}, {8, "01"}, {10, d.pan}, {13, d.name},
                         {14, d.tds}, {15, d.sc}, {16, d.cess}, {17, d.total}, {19, d.deposited},
                         {22, d.amount}, {23, d.creditedOn}, {24, d.deductedOn}, {33, d.section}});
    for (const auto& [k, v] : d.more)
        f[static_cast<std::size_t>(k - 1)] = v;
    return record(f);
}

struct Statement {
    std::string formType = "26Q";
    std::string finYear = "200708", assessYear = "200809";
    std::string createdOn = "12062008", quarter = "Q1", tan = "MUMA12345B";
    std::vector<std::string> address = {"FLAT 1", "MAIN ROAD", "", "", "MUMBAI", "19", "400001"};
    std::vector<Challan> challans;

    // The lines of the statement, without line breaks.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out = {record({"1", "FH", "NS1", "R", createdOn, "1", "D", tan, "1", "ACME"})};
        auto bh = fields(60, {{1, "2"}, {2, "BH"}, {3, "1"}, {4, std::to_string(challans.size())}, {5, formType},
                              {13, tan}, {15, "AAACA1234Z"}, {16, assessYear}, {17, finYear}, {18, quarter},
                              {19, "ACME TRADERS"}, {33, "S SHARMA"}, {34, "DIRECTOR"}});
        for (std::size_t i = 0; i < address.size(); ++i)
            bh[20 + i] = address[i];
        out.push_back(record(bh));
        int challanNo = 0;
        for (const Challan& c : challans) {
            out.push_back(challanLine(out.size() + 1, ++challanNo, c, c.deductees.size()));
            int deducteeNo = 0;
            for (const Deductee& d : c.deductees)
                out.push_back(deducteeLine(out.size() + 1, challanNo, ++deducteeNo, d));
        }
        return out;
    }

    std::string text(const std::string& eol = "\r\n") const
    {
        std::string s;
        for (const std::string& l : lines())
            s += l + eol;
        return s;
    }
};

// A statement of `records` deductee records, 50 to a challan; names repeat every 997 records.
inline Statement largeStatement(int records)
{
    Statement s;
    for (int i = 0; i < records; ++i) {
        if (i % 50 == 0)
            s.challans.emplace_back();
        Deductee d;
        d.name = "DEDUCTEE NUMBER " + std::to_string(i % 997);
        d.amount = std::to_string(10000 + i);
        s.challans.back().deductees.push_back(d);
    }
    return s;
}

} // namespace cw::test
