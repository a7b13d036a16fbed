#include "printing/PdfEncryption.h"

#include "printing/PasswordHashLanes.h"
#include "printing/PasswordHashRounds.h"

#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <nettle/sha2.h>

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <vector>

namespace cw::printing {

namespace {

std::string randomBytes(std::size_t count)
{
    std::vector<quint32> words((count + 3) / 4);
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    std::string out(reinterpret_cast<const char*>(words.data()), count);
    std::fill(words.begin(), words.end(), 0);
    return out;
}

const std::uint8_t* bytes(std::string_view s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// AES-256 with no padding over whole blocks: CBC from a zero IV, which for one block is ECB.
std::string aes256(std::string_view key, std::string_view plain)
{
    aes256_ctx aes;
    aes256_set_encrypt_key(&aes, bytes(key));
    std::uint8_t iv[AES_BLOCK_SIZE] = {};
    std::string out(plain.size(), '\0');
    cbc_aes256_encrypt(&aes, iv, plain.size(), reinterpret_cast<std::uint8_t*>(out.data()), bytes(plain));
    std::memset(&aes, 0, sizeof aes);
    return out;
}

} // namespace

std::string passwordHashR6(std::string_view password, std::string_view salt, std::string_view userKey)
{
    password = r6::hashedPassword(password);
    std::uint8_t k[SHA512_DIGEST_SIZE];
    std::size_t kLength = SHA256_DIGEST_SIZE;
    r6::firstK(password, salt, userKey, k);

    std::vector<std::uint8_t> k1, e;
    for (unsigned round = 1;; ++round) {
        // K1, then E: K1 in AES-128-CBC under K's halves.
        k1.resize(r6::repeatedLength(password, kLength, userKey));
        r6::repeatInput(password, k, kLength, userKey, k1.data());
        e.resize(k1.size());
        aes128_ctx aes;
        aes128_set_encrypt_key(&aes, k);
        std::uint8_t iv[AES_BLOCK_SIZE];
        std::memcpy(iv, k + 16, sizeof iv);
        cbc_aes128_encrypt(&aes, iv, k1.size(), e.data(), k1.data());
        const unsigned next = r6::nextHash(e.data());
        if (next == 0) {
            sha256_ctx sha;
            sha256_init(&sha);
            sha256_update(&sha, e.size(), e.data());
            sha256_digest(&sha, kLength = SHA256_DIGEST_SIZE, k);
        } else if (next == 1) {
            sha512_ctx sha;
            sha384_init(&sha);
            sha384_update(&sha, e.size(), e.data());
            sha384_digest(&sha, kLength = SHA384_DIGEST_SIZE, k);
        } else {
            sha512_ctx sha;
            sha512_init(&sha);
            sha512_update(&sha, e.size(), e.data());
            sha512_digest(&sha, kLength = SHA512_DIGEST_SIZE, k);
        }
        if (r6::lastRound(round, e.back()))
            break;
    }
    std::fill(k1.begin(), k1.end(), 0);
    std::string out(reinterpret_cast<const char*>(k), 32);
    std::memset(k, 0, sizeof k);
    return out;
}

std::vector<std::string> passwordHashesR6(const std::vector<PasswordHashInput>& inputs)
{
    std::vector<std::string> hashes;
    if (!passwordHashesInLanes(inputs, hashes)) {
        hashes.clear();
        for (const PasswordHashInput& input : inputs)
            hashes.push_back(passwordHashR6(input.password, input.salt, input.userKey));
    }
    return hashes;
}

std::vector<Aes256Keys> aes256Keys(const std::vector<std::string>& userPasswords, std::int32_t permissions)
{
    // Each password's two salts, then both of its hashes among all the others'.
    std::vector<std::string> salts;
    for (std::size_t i = 0; i < 2 * userPasswords.size(); ++i)
        salts.push_back(randomBytes(8));
    std::vector<PasswordHashInput> inputs;
    for (std::size_t i = 0; i < 2 * userPasswords.size(); ++i)
        inputs.push_back({userPasswords[i / 2], salts[i], {}});
    const std::vector<std::string> hashes = passwordHashesR6(inputs);

    std::vector<Aes256Keys> all(userPasswords.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        Aes256Keys& keys = all[i];
        const std::string &validationSalt = salts[2 * i], &keySalt = salts[2 * i + 1];
        keys.fileKey = randomBytes(32);
        keys.U = hashes[2 * i] + validationSalt + keySalt;
        keys.UE = aes256(hashes[2 * i + 1], keys.fileKey);
        keys.O = randomBytes(48);
        keys.OE = randomBytes(32);
        // The permissions, little-endian, then all ones, 'T' (the metadata is encrypted too),
        // "adb" and four random bytes, under the file key: a reader can tell P was not changed.
        std::string perms(16, '\xFF');
        const auto p = static_cast<std::uint32_t>(permissions);
        for (int b = 0; b < 4; ++b)
            perms[static_cast<std::size_t>(b)] = static_cast<char>((p >> (8 * b)) & 0xFF);
        perms.replace(8, 4, "Tadb");
        perms.replace(12, 4, randomBytes(4));
        keys.Perms = aes256(keys.fileKey, perms);
    }
    return all;
}

} // namespace cw::printing
