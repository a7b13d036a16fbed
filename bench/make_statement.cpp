// make_statement RECORDS FILE [SEED]: writes a synthetic Form 26Q statement of RECORDS deductee
// records to FILE, shaped like a large deductor's quarter: deductees with Indian names and PANs,
// five sections, three monthly deposit dates, about five payments per certificate on average and
// a few certificates of 17 payments or more (an annexure each). The same seed gives the same file.
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
    long amount;   // paise
    int day;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: make_statement RECORDS FILE [SEED]\n";
        return 2;
    }
    const long records = std::atol(argv[1]);
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 26;
    Rng rng(seed);

    // Quarter 4 of 2008-09: deposits on the 7th of January, February and March.
    const char* const sections[] = {"94C", "94J", "94A", "94H", "94I"};
    const int rates[] = {2, 10, 10, 5, 10}; // per cent
    const char* const months[] = {"01", "02", "03"};

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
            int n = p < 65 ? rng.between(1, 4) : p < 90 ? rng.between(5, 8) : p < 97 ? rng.between(9, 16) : rng.between(17, 40);
            n = static_cast<int>(std::min<long>(n, records - planned));
            certificates.push_back({d, section, month, n});
            planned += n;
        }
    }

    // One challan per section and month and up to 200 payments, the payments in a shuffled order.
    std::vector<std::vector<Payment>> byKey(15);
    for (const Certificate& c : certificates)
        for (int k = 0; k < c.payments; ++k)
            byKey[static_cast<std::size_t>(c.section * 3 + c.month)].push_back(
                {c.deductee, 500000 + static_cast<long>(rng.below(50000000)), rng.between(1, 28)});

    std::ofstream out(argv[2], std::ios::binary);
    if (!out) {
        std::cerr << "make_statement: cannot write " << argv[2] << "\n";
        return 1;
    }
    long line = 0;
    auto emit = [&](std::vector<std::string> fields) {
        fields[0] = std::to_string(++line);
        out << cw::test::record(fields) << "\r\n";
    };
    emit({"", "FH", "NS1", "R", "15042009", "1", "D", "MUMS12345B", "1", "", "", "", "", "", "", "", "", ""});
    std::vector<std::string> bh(60);
    const std::pair<int, const char*> header[] = {
        {2, "BH"}, {3, "1"}, {5, "26Q"}, {13, "MUMS12345B"}, {15, "AABCS1234F"}, {16, "200910"}, {17, "200809"},
        {18, "Q4"}, {19, "SAMPLE TRADERS PRIVATE LIMITED"}, {21, "12 EXAMPLE STREET"}, {22, "FORT"},
        {23, "NEAR TOWN HALL"}, {25, "MUMBAI"}, {26, "19"}, {27, "400001"}, {33, "ANIL KUMAR SHARMA"},
        {34, "DIRECTOR"},
    };
    for (const auto& [k, v] : header)
        bh[static_cast<std::size_t>(k - 1)] = v;
    emit(bh);

    int challan = 0;
    for (int key = 0; key < 15; ++key) {
        std::vector<Payment>& pays = byKey[static_cast<std::size_t>(key)];
        for (std::size_t i = pays.size(); i > 1; --i)
            std::swap(pays[i - 1], pays[static_cast<std::size_t>(rng.below(static_cast<int>(i)))]);
        const int section = key / 3, month = key % 3;
        for (std::size_t first = 0; first < pays.size(); first += 200) {
            const std::size_t last = std::min(pays.size(), first + 200);
            ++challan;
            std::vector<std::string> cd(40);
            cd[1] = "CD";
            cd[2] = "1";
            cd[3] = std::to_string(challan);
            cd[4] = std::to_string(last - first);
            cd[5] = "N";
            char cin[16], bsr[16];
            std::snprintf(cin, sizeof cin, "%05d", challan);
            std::snprintf(bsr, sizeof bsr, "%07d", 510032 + key);
            cd[11] = cin;
            cd[15] = bsr;
            cd[17] = std::string("07") + months[month] + "2009";
            cd[20] = sections[section];
            cd[35] = std::to_string(456000 + challan);
            emit(cd);
            for (std::size_t i = first; i < last; ++i) {
                const Payment& p = pays[i];
                const Deductee& d = deductees[static_cast<std::size_t>(p.deductee)];
                const long tds = p.amount * rates[section] / 100;
                const long cess = tds * 3 / 100;
                std::vector<std::string> dd(32);
                dd[1] = "DD";
                dd[2] = "1";
                dd[3] = std::to_string(challan);
                dd[4] = std::to_string(i - first + 1);
                dd[5] = "O";
                dd[7] = "2";
                dd[9] = d.pan;
                dd[12] = d.name;
                dd[13] = money(tds);
                dd[14] = "0.00";
                dd[15] = money(cess);
                dd[16] = money(tds + cess);
                dd[18] = money(tds + cess);
                dd[21] = money(p.amount);
                char paid[16];
                std::snprintf(paid, sizeof paid, "%02d%s2009", p.day, months[month]);
                dd[23] = paid;
                dd[24] = paid;
                dd[26] = std::to_string(rates[section]) + ".00";
                dd[28] = "N";
                emit(dd);
            }
        }
    }
    long annexures = 0;
    for (const Certificate& c : certificates)
        annexures += c.payments >= 17;
    std::cerr << "make_statement: " << records << " deductee records, " << line << " lines, "
              << certificates.size() << " certificates, " << annexures << " of them with an annexure\n";
    return 0;
}
