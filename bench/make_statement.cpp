// make_statement RECORDS FILE [SEED [YEAR]]: writes a synthetic Form 26Q statement of RECORDS
// deductee records to FILE, shaped like a large deductor's quarter: deductees with Indian names
// and PANs, five sections, three monthly deposit dates, about five payments per certificate on
// average and a few certificates of 17 payments or more (an annexure each). YEAR is the
// financial year, 200809 unless given: from 201314 on, each record names its section and a
// month's challans carry the payments of every section. The same seed gives the same file.
#include "SyntheticStatement.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// A small, portable generator: the same numbers on every platform and standard library.
class Rng {
public:
    explicit Rng(std::uint64_t seed)
        : m_state(seed * 0x9E3779B97F4A7C15ull + 1)
    {
    }
    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

private:
    std::uint64_t m_state;
};

const char* const kFirstNames[] = {
    "RAMESH", "SURESH", "ANIL", "SUNIL", "RAJESH", "MAHESH", "PRAKASH", "VIJAY", "SANJAY", "AJAY",
    "MEERA", "SUNITA", "ANITA", "KAVITA", "POOJA", "PRIYA", "NEHA", "LAKSHMI", "GEETA", "USHA",
    "ARUN", "VARUN", "KIRAN", "MOHAN", "GOPAL", "KRISHNA", "RAVI", "SHANKAR", "DINESH", "NARESH",
    "ABDUL", "IMRAN", "FARHAN", "SALMA", "GURPREET", "HARPREET", "JOSEPH", "THOMAS", "MARY", "ANNE",
};
const char* const kSurnames[] = {
    "KUMAR", "SHARMA", "VERMA", "GUPTA", "IYER", "IYENGAR", "NAIR", "MENON", "PILLAI", "REDDY",
    "RAO", "NAIDU", "PATEL", "SHAH", "MEHTA", "DESAI", "JOSHI", "KULKARNI", "DESHPANDE", "PATIL",
    "SINGH", "KAUR", "GILL", "KHAN", "SHAIKH", "ANSARI", "DAS", "BOSE", "CHATTERJEE", "MUKHERJEE",
    "BANERJEE", "GHOSH", "SEN", "MISHRA", "TIWARI", "PANDEY", "YADAV", "CHAUHAN", "AGARWAL", "JAIN",
};
const char* const kFirmWords[] = {"TRADERS", "ENTERPRISES", "LOGISTICS", "TRANSPORT COMPANY", "AND ASSOCIATES",
                                  "AND CO", "CONSTRUCTIONS", "INFOTECH", "ENGINEERS", "SUPPLIERS"};

struct Deductee {
    std::string name;
    std::string pan;
};

Deductee makeDeductee(int i, Rng& rng)
{
    const int nf = sizeof kFirstNames / sizeof *kFirstNames;
    const int ns = sizeof kSurnames / sizeof *kSurnames;
    const int nw = sizeof kFirmWords / sizeof *kFirmWords;
    Deductee d;
    char kind = 'P';
    switch (rng.below(4)) {
    case 0:
        d.name = std::string(kSurnames[rng.below(ns)]) + " " + kFirmWords[rng.below(nw)];
        kind = 'F';
        break;
    case 1:
        d.name = std::string(kFirstNames[rng.below(nf)]) + " " + kFirmWords[rng.below(nw)] + " PVT LTD";
        kind = 'C';
        break;
    default:
        // Person names repeat across the statement (namesakes), told apart by their PANs.
        d.name = std::string(kFirstNames[rng.below(nf)]) + " " + kSurnames[rng.below(ns)];
        break;
    }
    char pan[32];
    std::snprintf(pan, sizeof pan, "%c%c%c%c%c%04d%c", 'A' + rng.below(26), 'A' + rng.below(26),
                  'A' + rng.below(26), kind, d.name[0], i % 10000, 'A' + rng.below(26));
    d.pan = pan;
    return d;
}

std::string money(long paise)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld.%02ld", paise / 100, paise % 100);
    return buf;
}

struct Payment {
    int deductee;
    int section, month;
    long amount;   // paise
    int day;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: make_statement RECORDS FILE [SEED [YEAR]]\n";
        return 2;
    }
    const long records = std::atol(argv[1]);
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 26;
    const int year = argc > 4 ? std::atoi(argv[4]) / 100 : 2008; // the first calendar year
    const bool sectionPerRecord = year >= 2013;
    Rng rng(seed);

    // Quarter 4: deposits on the 7th of January, February and March.
    const char* const sections[] = {"94C", "94J", "94A", "94H", "94I"};
    const int rates[] = {2, 10, 10, 5, 10}; // per cent
    const char* const months[] = {"01", "02", "03"};
    const std::string calendarYear = std::to_string(year + 1);

    // Certificates first: a deductee, section and month with its number of payments.
    struct Certificate {
        int deductee, section, month, payments;
    };
    std::vector<Deductee> deductees;
    std::vector<Certificate> certificates;
    long planned = 0;
    while (planned < records) {
        const int d = static_cast<int>(deductees.size());
        deductees.push_back(makeDeductee(d, rng));
        const int section = rng.below(5);
        for (int month = 0; month < 3 && planned < records; ++month) {
            if (rng.below(4) == 0)
                continue; // not paid this month
            const int p = rng.below(100);
            int n = p < 65   ? rng.between(1, 4)
                    : p < 90 ? rng.between(5, 8)
                    : p < 97 ? rng.between(9, 16)
                             : rng.between(17, 40);
            n = static_cast<int>(std::min<long>(n, records - planned));
            certificates.push_back({d, section, month, n});
            planned += n;
        }
    }

    // Challans of up to 200 payments, the payments in a shuffled order: one challan per section
    // and month, or with sections on the records one per month.
    const int keys = sectionPerRecord ? 3 : 15;
    std::vector<std::vector<Payment>> byKey(static_cast<std::size_t>(keys));
    for (const Certificate& c : certificates)
        for (int k = 0; k < c.payments; ++k)
            byKey[static_cast<std::size_t>(sectionPerRecord ? c.month : c.section * 3 + c.month)].push_back(
                {c.deductee, c.section, c.month, 500000 + static_cast<long>(rng.below(50000000)), rng.between(1, 28)});
    std::vector<std::vector<Payment>> challans;
    for (std::vector<Payment>& pays : byKey) {
        for (std::size_t i = pays.size(); i > 1; --i)
            std::swap(pays[i - 1], pays[static_cast<std::size_t>(rng.below(static_cast<int>(i)))]);
        for (std::size_t first = 0; first < pays.size(); first += 200)
            challans.emplace_back(pays.begin() + static_cast<long>(first),
                                  pays.begin() + static_cast<long>(std::min(pays.size(), first + 200)));
    }

    std::ofstream out(argv[2], std::ios::binary);
    if (!out) {
        std::cerr << "make_statement: cannot write " << argv[2] << "\n";
        return 1;
    }
    std::size_t line = 0;
    auto emit = [&](const std::string& record) {
        out << record << "\r\n";
        ++line;
    };
    emit(cw::test::record({"1", "FH", "NS1", "R", "15042009", "1", "D", "MUMS12345B", "1", "", "", "", "", "", "", "",
                           "", ""}));
    emit(cw::test::record(cw::test::fields(
        60, {{1, "2"}, {2, "BH"}, {3, "1"}, {4, std::to_string(challans.size())}, {5, "26Q"}, {13, "MUMS12345B"},
             {15, "AABCS1234F"}, {16, std::to_string(year + 1) + std::to_string((year + 2) % 100 + 100).substr(1)},
             {17, std::to_string(year) + std::to_string((year + 1) % 100 + 100).substr(1)}, {18, "Q4"},
             {19, "SAMPLE TRADERS PRIVATE LIMITED"}, {21, "12 EXAMPLE STREET"}, {22, "FORT"}, {23, "NEAR TOWN HALL"},
             {25, "MUMBAI"}, {26, "19"}, {27, "400001"}, {33, "ANIL KUMAR SHARMA"}, {34, "DIRECTOR"}})));

    for (std::size_t k = 0; k < challans.size(); ++k) {
        const int challanNo = static_cast<int>(k) + 1;
        const int month = challans[k].front().month;
        char cin[16], bsr[16];
        std::snprintf(cin, sizeof cin, "%05d", challanNo);
        std::snprintf(bsr, sizeof bsr, "%07d", 510032 + static_cast<int>(k % 15));
        cw::test::Challan c;
        c.cin = cin;
        c.bsr = bsr;
        c.date = std::string("07") + months[month] + calendarYear;
        c.section = sectionPerRecord ? "" : sections[challans[k].front().section];
        c.cheque = std::to_string(456000 + challanNo);
        emit(cw::test::challanLine(line + 1, challanNo, c, challans[k].size()));
        int deducteeNo = 0;
        for (const Payment& p : challans[k]) {
            const Deductee& d = deductees[static_cast<std::size_t>(p.deductee)];
            const long tds = p.amount * rates[p.section] / 100;
            const long cess = tds * 3 / 100;
            char paid[16];
            std::snprintf(paid, sizeof paid, "%02d%s%s", p.day, months[month], calendarYear.c_str());
            cw::test::Deductee r;
            r.name = d.name;
            r.pan = d.pan;
            r.amount = money(p.amount);
            r.tds = money(tds);
            r.sc = "0.00";
            r.cess = money(cess);
            r.total = r.deposited = money(tds + cess);
            r.creditedOn = r.deductedOn = paid;
            r.section = sectionPerRecord ? sections[p.section] : "";
            emit(cw::test::deducteeLine(line + 1, challanNo, ++deducteeNo, r));
        }
    }
    long annexures = 0;
    for (const Certificate& c : certificates)
        annexures += c.payments >= 17;
    std::cerr << "make_statement: " << records << " deductee records, " << line << " lines, "
              << certificates.size() << " certificates, " << annexures << " of them with an annexure\n";
    return 0;
}
