#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw::printing {

// The values of a PDF encryption dictionary for AES-256 (V 5, R 6): a new random file key,
// wrapped for the user password, and no owner password: O and OE are random bytes, which no
// password opens, as a random owner password given to no one would be, without that
// password's two deliberately slow hashes. Raw bytes, as the dictionary's strings hold them.
struct Aes256Keys {
    std::string fileKey; // 32 bytes: the key of every string and stream
    std::string U, UE, O, OE, Perms;
};

// Keys that each of `userPasswords` (UTF-8, of which the first 127 bytes count) opens, in
// order, with the permission flags `permissions` (the dictionary's /P) and the metadata
// encrypted. Many at once cost less each than one at a time: their hashes share the processor.
std::vector<Aes256Keys> aes256Keys(const std::vector<std::string>& userPasswords, std::int32_t permissions);

// The revision 6 hash of a password with an 8-byte salt and, for the owner's keys, the 48
// bytes of U: SHA-256, then at least 64 rounds of AES-128 and SHA-2. 32 bytes.
std::string passwordHashR6(std::string_view password, std::string_view salt, std::string_view userKey = {});

struct PasswordHashInput {
    std::string_view password, salt, userKey;
};
// passwordHashR6 of each input, in order; several side by side where the processor can.
std::vector<std::string> passwordHashesR6(const std::vector<PasswordHashInput>& inputs);

} // namespace cw::printing
