#pragma once

#include <nettle/sha2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

// The parts of a revision 6 password hash that do not depend on how its AES and SHA-2 are
// computed, for the one-at-a-time hash and the hashes side by side alike.
namespace cw::printing::r6 {

// The password as the hash takes it: its first 127 bytes.
inline std::string_view hashedPassword(std::string_view password) { return password.substr(0, 127); }

// The first K, 32 bytes: SHA-256 of the password, the salt and the user key.
inline void firstK(std::string_view password, std::string_view salt, std::string_view userKey, std::uint8_t* k)
{
    sha256_ctx sha;
    sha256_init(&sha);
    for (std::string_view part : {password, salt, userKey})
        sha256_update(&sha, part.size(), reinterpret_cast<const std::uint8_t*>(part.data()));
    sha256_digest(&sha, SHA256_DIGEST_SIZE, k);
}

// The length of K1: 64 times the password, K and the user key.
inline std::size_t repeatedLength(std::string_view password, std::size_t kLength, std::string_view userKey)
{
    return (password.size() + kLength + userKey.size()) * 64;
}

// K1 into `out`, which holds repeatedLength bytes. Copies, not memcpy: an empty password or user
// key may have no storage at all.
inline void repeatInput(std::string_view password, const std::uint8_t* k, std::size_t kLength, std::string_view userKey,
                        std::uint8_t* out)
{
    const std::size_t unit = password.size() + kLength + userKey.size();
    std::copy(userKey.begin(), userKey.end(), std::copy(k, k + kLength, std::copy(password.begin(), password.end(), out)));
    for (std::size_t i = 1; i < 64; ++i)
        std::memcpy(out + i * unit, out, unit);
}

// The next hash, from E's first 16 bytes as a big-endian number modulo 3 (since 256 is 1 modulo
// 3, the sum of the bytes has the same remainder): 0 SHA-256, 1 SHA-384, 2 SHA-512.
inline unsigned nextHash(const std::uint8_t* e)
{
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += e[i];
    return sum % 3;
}

// Whether round `round`, whose E ends in `lastByte`, is the last: at least 64 rounds, then on
// until E's last byte is at most the round number - 32.
inline bool lastRound(unsigned round, std::uint8_t lastByte) { return round >= 64 && lastByte <= round - 32; }

} // namespace cw::printing::r6
