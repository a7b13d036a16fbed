#pragma once

#include <QByteArray>
#include <QRectF>

#include <functional>
#include <string>
#include <string_view>

namespace cw::printing {

// What a signature field shows and says, in the document's own terms.
struct SignatureLook {
    int page = 0;             // 0-based
    QRectF box;               // fractions of the page from its top left; empty: no visible box
    double fontSize = 7;      // points
    std::string lines[2];     // the two lines shown in the box (UTF-8; Latin-1 letters show)
    std::string name;         // the signer, for the signature dictionary (UTF-8)
    std::string reason;
    std::string location;
    std::string when;         // PDF date, "D:YYYYMMDDHHmmSS+hh'mm'"
};

// What opens an encrypted document: its password, or its file key itself (raw bytes), which
// spares the password's hashing, slow on purpose.
struct PdfOpening {
    std::string password;
    std::string fileKey;
};

// Appends a signature to `pdf` as an incremental update: the original bytes stay as they are,
// so a signature already in the document stays valid. `cms` receives the bytes the signature
// covers, those before the room left for it and those after, and returns the DER of a detached
// CMS signature over them. `opening` opens an encrypted document; the new objects are then
// encrypted with the document's key. Throws core::Failure when the document cannot be read or
// its encryption is not one we can extend.
QByteArray appendSignature(const QByteArray& pdf, const SignatureLook& look, const PdfOpening& opening,
                           const std::function<QByteArray(std::string_view before, std::string_view after)>& cms);

} // namespace cw::printing
