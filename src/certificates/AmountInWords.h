#pragma once

#include <string>
#include <string_view>

namespace cw::certificates {

// A rupee amount in English words, counted the Indian way (thousands, lakhs, crores), as the
// certificate sentence prints it. The texts keep the doubled spaces the word tables produce
// ("Rupees One Hundred  Only"): certificates already issued read that way, so they must not be
// tidied. Amounts above 999999999.99 give "Digit excced Maximum limit".
std::string amountInWords(double amount);

// The words for a value of 100 to 999 (empty for 0).
std::string hundredsInWords(int value);
// The words for two digits, "00" to "99"; a teen gives its own word.
std::string tensInWords(std::string_view twoDigits);
std::string tensInWords(int value);
// The word for one digit, 1 to 9; empty for anything else.
std::string digitInWords(int digit);

} // namespace cw::certificates
