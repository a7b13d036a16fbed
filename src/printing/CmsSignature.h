#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cw::printing {

// A detached CMS signature (SignedData, DER) as a PDF signature's /Contents holds it, written
// here rather than by NSS's CMS encoder so that nothing is looked up per signature: what stays
// the same from one signature to the next is encoded once, when the signer is made.
struct CmsSigner {
    std::string signerId;           // IssuerAndSerialNumber of the signing certificate
    std::string certificates;       // the certificates sent along, each DER, one after another
    std::string signatureAlgorithm; // AlgorithmIdentifier of the signature value
};

// The signed attributes for content with SHA-256 `digest` (32 bytes) signed at `unixTime`:
// content type data, the signing time, the message digest, as the DER SET the signature value
// is computed over.
std::string cmsSignedAttributes(std::string_view digest, std::int64_t unixTime);

// The ContentInfo of the SignedData: SHA-256, no content, `signer`'s certificates, one
// SignerInfo with `signedAttributes` (as cmsSignedAttributes made them) and `signatureValue`.
std::string cmsSignedData(const CmsSigner& signer, std::string_view signedAttributes, std::string_view signatureValue);

// DER: a tag and its content.
std::string der(unsigned char tag, std::string_view content);

} // namespace cw::printing
