#include "printing/SoftwareKey.h"

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace cw::printing {

std::unique_ptr<SoftwareKey> SoftwareKey::fromEncryptedPkcs8(std::string_view der, const std::string& password)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    X509_SIG* wrapped = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
    PKCS8_PRIV_KEY_INFO* info = wrapped ? PKCS8_decrypt(wrapped, password.data(), static_cast<int>(password.size())) : nullptr;
    X509_SIG_free(wrapped);
    EVP_PKEY* key = info ? EVP_PKCS82PKEY(info) : nullptr;
    PKCS8_PRIV_KEY_INFO_free(info);
    // Fetched once: the implicit fetch of EVP_sha256() would look it up at every signature.
    EVP_MD* sha256 = key ? EVP_MD_fetch(nullptr, "SHA256", nullptr) : nullptr;
    if (!sha256) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    return std::unique_ptr<SoftwareKey>(new SoftwareKey(key, sha256));
}

SoftwareKey::~SoftwareKey()
{
    EVP_MD_free(m_sha256);
    EVP_PKEY_free(m_key);
}

std::string SoftwareKey::sign(std::string_view data) const
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::string out(static_cast<std::size_t>(EVP_PKEY_get_size(m_key)), '\0');
    std::size_t length = out.size();
    const bool signs = context && EVP_DigestSignInit(context, nullptr, m_sha256, nullptr, m_key) == 1 &&
                       EVP_DigestSign(context, reinterpret_cast<unsigned char*>(out.data()), &length,
                                      reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    EVP_MD_CTX_free(context);
    out.resize(signs ? length : 0);
    return out;
}

} // namespace cw::printing
