#pragma once

#include "printing/PdfTools.h"

#include <QByteArray>
#include <QRectF>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace cw::printing {

// Where and how a signature shows on its document.
struct SignaturePlace {
    int page = 0;
    QRectF box;           // on the page, as fractions of its width and height from the top left
    double fontSize = 7;  // points, for two lines of text in the box
    std::string location; // the place the certificate names
};

// Signs PDF documents: a detached CMS signature with SHA-256 over the whole file, appended as an
// incremental update (earlier signatures stay valid), visible in a box with the signer's name
// and the signing time, reason "Form 16A certificate". Made once per run by its caller, it owns
// its NSS context and its key: either a PKCS#12 file loaded into a private temporary database
// for as long as the signer lives, or a certificate (on a token, say) of an NSS database found
// by its nickname. Several signers, on different databases, may live side by side. Everything
// that can be checked is checked when the signer is made: the password or PIN, the private key,
// the certificate's validity now. Signing is safe from several threads.
class PdfSigner {
public:
    // Throw core::Failure with a message for the user.
    static std::unique_ptr<PdfSigner> fromPkcs12(const std::filesystem::path& file, const std::string& password);
    // `nssDir` empty: the user's own database (~/.pki/nssdb).
    static std::unique_ptr<PdfSigner> fromNssCertificate(const std::string& nickname, const std::filesystem::path& nssDir,
                                                         const std::string& pin);
    ~PdfSigner();
    PdfSigner(const PdfSigner&) = delete;
    PdfSigner& operator=(const PdfSigner&) = delete;

    // The signer's name as the certificate gives it.
    const std::string& signerName() const { return m_signerName; }

    // `pdf` signed. `openPassword` opens it when it is encrypted; the signature's objects are
    // encrypted as the document is. Throws core::Failure.
    QByteArray sign(const QByteArray& pdf, const SignaturePlace& place, const std::string& openPassword = {}) const;
    // `pdf` as protectPdf made it, opened with its file key.
    QByteArray sign(const ProtectedPdf& pdf, const SignaturePlace& place) const;

    struct Key;

private:
    explicit PdfSigner(std::unique_ptr<Key> key);
    QByteArray signOpened(const QByteArray& pdf, const SignaturePlace& place, const std::string& password,
                          const std::string& fileKey) const;
    QByteArray cms(std::string_view before, std::string_view after) const;
    std::unique_ptr<Key> m_key;
    std::string m_signerName;
};

} // namespace cw::printing
