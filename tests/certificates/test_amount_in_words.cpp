#include "certificates/AmountInWords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

using namespace cw::certificates;

namespace {

// The table below writes each space as a middle dot, so the doubled spaces are visible.
std::string spaces(std::string s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 2, "\xC2\xB7") == 0) {
            out += ' ';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Case {
    double amount;
    const char* words;
};

TEST(amountInWords, SpellsTheCertificateTable)
{
    const Case cases[] = {
        {0, "No·Rupees·Only"},
        {1, "One·Rupee·Only"},
        {0.01, "No·Rupees·and·One·Paisa·Only"},
        {0.5, "No·Rupees·and·Fifty··Paisas·Only"},
        {1.5, "One·Rupee·and·Fifty··Paisas·Only"},
        {5, "·Rupees·Five·Only"},
        {20, "·Rupees·Twenty··Only"},
        {99, "·Rupees·Ninety·Nine·Only"},
        {100, "·Rupees·One·Hundred··Only"},
        {115, "·Rupees·One·Hundred·Fifteen·Only"},
        {1000, "·Rupees·One·Thousand··Only"},
        {1005, "·Rupees·One·Thousand·Five·Only"},
        {12345.67, "·Rupees·Twelve·Thousand·Three·Hundred·Forty·Five·and·Sixty·Seven·Paisas·Only"},
        {100000, "·Rupees·One·Lacs··Only"},
        {150000, "·Rupees·One·Lacs·Fifty··Thousand··Only"},
        {199999, "·Rupees·One·Lacs·Ninety·Nine·Thousand·Nine·Hundred·Ninety·Nine·Only"},
        {2500000.25, "·Rupees·Twenty·Five·Lacs··and·Twenty·Five·Paisas·Only"},
        {12345678.9, "·Rupees·One·Crores·Twenty·Three·Lacs·Forty·Five·Thousand·Six·Hundred·Seventy·Eight·and·"
                     "Ninety··Paisas·Only"},
        {999999999.99, "·Rupees·Ninety·Nine·Crores·Ninety·Nine·Lacs·Ninety·Nine·Thousand·Nine·Hundred·Ninety·"
                       "Nine·and·Ninety·Nine·Paisas·Only"},
        {1000000000, "Digit·excced·Maximum·limit"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(amountInWords(c.amount), spaces(c.words)) << c.amount;
}

TEST(amountInWords, ZeroGroupsAddNoPlaceWordAndTeensStayWhole)
{
    EXPECT_EQ(amountInWords(10000000), " Rupees One Crores  Only");
    EXPECT_EQ(amountInWords(10000001), " Rupees One Crores One Only");
    EXPECT_EQ(amountInWords(1100000), " Rupees Eleven Lacs  Only");
    EXPECT_EQ(amountInWords(110), " Rupees One Hundred Ten Only");
    EXPECT_EQ(amountInWords(101), " Rupees One Hundred One Only");
    EXPECT_EQ(amountInWords(0.1), "No Rupees and Ten Paisas Only");
    EXPECT_EQ(amountInWords(0.05), "No Rupees and Five Paisas Only");
    EXPECT_EQ(amountInWords(2.01), " Rupees Two and One Paisa Only");
}

TEST(amountInWords, LimitIsInclusiveAndNoiseBeyondFifteenDigitsIsDropped)
{
    EXPECT_EQ(amountInWords(999999999.999), "Digit excced Maximum limit");
    EXPECT_EQ(amountInWords(1234.5600000000002), " Rupees One Thousand Two Hundred Thirty Four and Fifty Six Paisas Only");
    // A sum of amounts carries binary noise; fifteen digits still give the paise the user sees.
    EXPECT_EQ(amountInWords(0.1 + 0.2), "No Rupees and Thirty  Paisas Only");
    // Paise beyond the second digit are dropped, not rounded.
    EXPECT_EQ(amountInWords(1234.567), " Rupees One Thousand Two Hundred Thirty Four and Fifty Six Paisas Only");
}

TEST(amountInWords, AmountsTheGeneratorNeverPassesStillReadSensibly)
{
    EXPECT_EQ(amountInWords(0.001), "No Rupees Only");
    EXPECT_EQ(amountInWords(1e-9), "No Rupees Only");
    EXPECT_EQ(amountInWords(-5), "Minus Rupees Five Only");
    EXPECT_EQ(amountInWords(-1), "Minus One Rupee Only");
    EXPECT_EQ(amountInWords(-1e12), "Digit excced Maximum limit");
    EXPECT_EQ(amountInWords(std::numeric_limits<double>::infinity()), "Digit excced Maximum limit");
    EXPECT_EQ(amountInWords(std::numeric_limits<double>::quiet_NaN()), "Digit excced Maximum limit");
}

TEST(amountInWords, HelperFunctions)
{
    EXPECT_EQ(digitInWords(0), "");
    EXPECT_EQ(digitInWords(9), "Nine");
    EXPECT_EQ(digitInWords(10), "");
    EXPECT_EQ(tensInWords("19"), "Nineteen");
    EXPECT_EQ(tensInWords("10"), "Ten");
    EXPECT_EQ(tensInWords("40"), "Forty ");
    EXPECT_EQ(tensInWords("07"), "Seven");
    EXPECT_EQ(tensInWords("00"), "");
    EXPECT_EQ(tensInWords(73), "Seventy Three");
    EXPECT_EQ(hundredsInWords(0), "");
    EXPECT_EQ(hundredsInWords(300), "Three Hundred ");
    EXPECT_EQ(hundredsInWords(305), "Three Hundred Five");
    EXPECT_EQ(hundredsInWords(999), "Nine Hundred Ninety Nine");
}

} // namespace
