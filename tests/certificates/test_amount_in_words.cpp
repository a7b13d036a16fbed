#include "certificates/AmountInWords.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// The table writes each space as '_', so the doubled spaces certificates keep are visible.
std::string spaces(std::string s)
{
    for (char& c : s)
        if (c == '_')
            c = ' ';
    return s;
}

TEST(AmountInWords, SpellsAmountsTheIndianWay)
{
    const struct {
        double amount;
        const char* words;
    } cases[] = {
        {0, "No_Rupees_Only"},
        {1, "One_Rupee_Only"},
        {0.01, "No_Rupees_and_One_Paisa_Only"},
        {0.05, "No_Rupees_and_Five_Paisas_Only"},
        {0.1, "No_Rupees_and_Ten_Paisas_Only"},
        {1.5, "One_Rupee_and_Fifty__Paisas_Only"},
        {2.01, "_Rupees_Two_and_One_Paisa_Only"},
        {20, "_Rupees_Twenty__Only"},
        {100, "_Rupees_One_Hundred__Only"},
        {110, "_Rupees_One_Hundred_Ten_Only"},
        {115, "_Rupees_One_Hundred_Fifteen_Only"},
        {1000, "_Rupees_One_Thousand__Only"},
        {1005, "_Rupees_One_Thousand_Five_Only"},
        {12345.67, "_Rupees_Twelve_Thousand_Three_Hundred_Forty_Five_and_Sixty_Seven_Paisas_Only"},
        {100000, "_Rupees_One_Lacs__Only"},
        {150000, "_Rupees_One_Lacs_Fifty__Thousand__Only"},
        {1100000, "_Rupees_Eleven_Lacs__Only"},
        {2500000.25, "_Rupees_Twenty_Five_Lacs__and_Twenty_Five_Paisas_Only"},
        {10000000, "_Rupees_One_Crores__Only"},
        {10000001, "_Rupees_One_Crores_One_Only"},
        {12345678.9, "_Rupees_One_Crores_Twenty_Three_Lacs_Forty_Five_Thousand_Six_Hundred_Seventy_Eight_and_"
                     "Ninety__Paisas_Only"},
        {999999999.99, "_Rupees_Ninety_Nine_Crores_Ninety_Nine_Lacs_Ninety_Nine_Thousand_Nine_Hundred_Ninety_"
                       "Nine_and_Ninety_Nine_Paisas_Only"},
        // The limit is inclusive; beyond it, and for what is no amount, the fixed text.
        {999999999.999, "Digit_excced_Maximum_limit"},
        {1000000000, "Digit_excced_Maximum_limit"},
        {std::numeric_limits<double>::infinity(), "Digit_excced_Maximum_limit"},
        {std::numeric_limits<double>::quiet_NaN(), "Digit_excced_Maximum_limit"},
        // A sum of amounts carries binary noise: fifteen digits still give the paise shown.
        {0.1 + 0.2, "No_Rupees_and_Thirty__Paisas_Only"},
        {1234.5600000000002, "_Rupees_One_Thousand_Two_Hundred_Thirty_Four_and_Fifty_Six_Paisas_Only"},
        // Paise beyond the second digit are dropped, not rounded.
        {1234.567, "_Rupees_One_Thousand_Two_Hundred_Thirty_Four_and_Fifty_Six_Paisas_Only"},
        {0.001, "No_Rupees_Only"},
        {-5, "Minus_Rupees_Five_Only"},
        {-1, "Minus_One_Rupee_Only"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cw::certificates::amountInWords(c.amount), spaces(c.words)) << c.amount;
}

} // namespace
