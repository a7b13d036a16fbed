// The sample statement shipped in the application folder: a Form 26Q statement whose records
// carry their values at the positions the import reads, with totals that add up, and with the
// cases a demonstration should show (two sections, a certificate long enough for an annexure).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Record = std::vector<std::string>;

std::vector<Record> readStatement(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<Record> records;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Record r;
        std::size_t start = 0;
        for (;;) {
            const std::size_t caret = line.find('^', start);
            r.push_back(line.substr(start, caret - start));
            if (caret == std::string::npos)
                break;
            start = caret + 1;
        }
        records.push_back(std::move(r));
    }
    return records;
}

// Field n (1-based), or "" past the end of the record.
std::string field(const Record& r, int n)
{
    return n <= static_cast<int>(r.size()) ? r[static_cast<std::size_t>(n - 1)] : std::string();
}

bool matches(const std::string& s, const std::string& shape) // 'A' letter, '9' digit
{
    if (s.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (shape[i] == 'A' ? !std::isupper(c) : !std::isdigit(c))
            return false;
    }
    return true;
}

bool isDdmmyyyy(const std::string& s)
{
    if (!matches(s, "99999999"))
        return false;
    const int d = std::stoi(s.substr(0, 2)), m = std::stoi(s.substr(2, 2)), y = std::stoi(s.substr(4));
    return d >= 1 && d <= 31 && m >= 1 && m <= 12 && y >= 2000;
}

double amount(const std::string& s)
{
    return std::stod(s);
}

TEST(SampleStatement, IsAConsistentForm26QStatement)
{
    const fs::path path = fs::path(CERTWRIGHT_SOURCE_DIR) / "template" / "sample" / "TDS.txt";
    const std::vector<Record> records = readStatement(path);
    ASSERT_GE(records.size(), 4u) << path;
    for (std::size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(field(records[i], 1), std::to_string(i + 1)) << "line numbers run 1, 2, 3, ...";

    const Record& fh = records[0];
    const Record& bh = records[1];
    EXPECT_EQ(field(fh, 2), "FH");
    EXPECT_EQ(field(bh, 2), "BH");
    EXPECT_EQ(field(bh, 5), "26Q");
    EXPECT_TRUE(matches(field(bh, 13), "AAAA99999A")) << "TAN " << field(bh, 13);
    EXPECT_TRUE(matches(field(bh, 15), "AAAAA9999A")) << "PAN " << field(bh, 15);
    ASSERT_TRUE(matches(field(bh, 16), "999999") && matches(field(bh, 17), "999999"));
    EXPECT_EQ(std::stoi(field(bh, 16)), std::stoi(field(bh, 17)) + 101) << "assessment year follows the financial year";
    for (int n : {19, 21, 25, 33, 34})
        EXPECT_FALSE(field(bh, n).empty()) << "batch header field " << n;

    // Walk the challans and their deductee records.
    using GroupKey = std::tuple<std::string, std::string, std::string>; // name, section, challan date
    std::map<GroupKey, int> groups;
    std::set<std::string> sections;
    bool leadingZeroBsr = false;
    int challans = 0;
    for (std::size_t i = 2; i < records.size();) {
        const Record& cd = records[i];
        ASSERT_EQ(field(cd, 2), "CD") << "line " << i + 1;
        ++challans;
        for (int n : {12, 16, 18, 21, 36})
            EXPECT_FALSE(field(cd, n).empty()) << "challan on line " << i + 1 << ", field " << n;
        EXPECT_TRUE(matches(field(cd, 16), "9999999")) << "BSR code " << field(cd, 16);
        leadingZeroBsr = leadingZeroBsr || field(cd, 16).front() == '0';
        EXPECT_TRUE(isDdmmyyyy(field(cd, 18))) << field(cd, 18);
        sections.insert(field(cd, 21));

        double tds = 0, surcharge = 0, cess = 0, total = 0;
        int deductees = 0;
        for (++i; i < records.size() && field(records[i], 2) == "DD"; ++i, ++deductees) {
            const Record& dd = records[i];
            EXPECT_TRUE(matches(field(dd, 10), "AAAAA9999A")) << "PAN on line " << i + 1;
            EXPECT_FALSE(field(dd, 13).empty()) << "name on line " << i + 1;
            EXPECT_TRUE(isDdmmyyyy(field(dd, 24))) << "payment date on line " << i + 1;
            EXPECT_GT(amount(field(dd, 22)), 0) << "amount paid on line " << i + 1;
            EXPECT_NEAR(amount(field(dd, 14)) + amount(field(dd, 15)) + amount(field(dd, 16)), amount(field(dd, 17)),
                        0.005)
                << "tax total on line " << i + 1;
            tds += amount(field(dd, 14));
            surcharge += amount(field(dd, 15));
            cess += amount(field(dd, 16));
            total += amount(field(dd, 17));
            ++groups[{field(dd, 13), field(cd, 21), field(cd, 18)}];
        }
        EXPECT_EQ(field(cd, 5), std::to_string(deductees)) << "deductee count of challan " << challans;
        EXPECT_NEAR(amount(field(cd, 22)), tds, 0.005);
        EXPECT_NEAR(amount(field(cd, 23)), surcharge, 0.005);
        EXPECT_NEAR(amount(field(cd, 24)), cess, 0.005);
        EXPECT_NEAR(amount(field(cd, 27)), total, 0.005);
    }
    EXPECT_EQ(field(bh, 4), std::to_string(challans)) << "challan count in the batch header";
    EXPECT_GE(sections.size(), 2u);
    EXPECT_TRUE(leadingZeroBsr) << "a BSR code with a leading zero shows that codes stay text";
    int longest = 0;
    for (const auto& [key, rows] : groups)
        longest = std::max(longest, rows);
    EXPECT_GE(longest, 17) << "one certificate should continue on an annexure";
    EXPECT_GE(groups.size(), 4u) << "a few certificates";
}

} // namespace
