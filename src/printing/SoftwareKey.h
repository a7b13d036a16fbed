#pragma once

#include <memory>
#include <string>
#include <string_view>

struct evp_pkey_st;
struct evp_md_st;

namespace cw::printing {

// A private key held in the process's memory and signed with by OpenSSL, whose RSA is more
// than twice as fast as NSS's own (freebl's constant-time exponentiation). For keys NSS itself
// holds in software (a .p12, the user's NSS database), which are in the process's memory
// already; keys on tokens stay there. Signing is safe from several threads at once.
class SoftwareKey {
public:
    // From the key as an EncryptedPrivateKeyInfo (PKCS#8, DER) under `password`; null when
    // OpenSSL cannot take it.
    static std::unique_ptr<SoftwareKey> fromEncryptedPkcs8(std::string_view der, const std::string& password);
    ~SoftwareKey();
    SoftwareKey(const SoftwareKey&) = delete;
    SoftwareKey& operator=(const SoftwareKey&) = delete;

    // The signature value of `data` with SHA-256: PKCS#1 v1.5 for RSA, ECDSA as DER for an
    // elliptic-curve key. Empty when signing failed.
    std::string sign(std::string_view data) const;

private:
    SoftwareKey(evp_pkey_st* key, evp_md_st* sha256) : m_key(key), m_sha256(sha256) {}
    evp_pkey_st* m_key;
    evp_md_st* m_sha256;
};

} // namespace cw::printing
