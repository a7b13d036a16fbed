#pragma once

#include <string>

namespace cw::certificates {

// A rupee amount in English words, counted the Indian way (thousands, lakhs, crores), as the
// certificate sentence prints it. The texts keep the doubled spaces the word tables produce
// ("Rupees One Hundred  Only"): certificates already issued read that way, so they must not be
// tidied. Amounts above 999999999.99 give "Digit excced Maximum limit".
std::string amountInWords(double amount);

} // namespace cw::certificates
