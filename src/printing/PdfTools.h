#pragma once

#include "printing/PdfEncryption.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

namespace cw::printing {

// What qpdf does to the PDFs the renderer writes. Each throws core::Failure saying what
// failed.

// The documents' pages one after another in one document, with the first one's information
// (title, creator).
QByteArray mergePdfs(const std::vector<QByteArray>& documents);

// A document protectPdf encrypted, and the key its strings and streams are encrypted with:
// whoever holds the key opens the document again without the password, whose hashing is slow
// on purpose (the signer does, to add its signature). An unprotected document has no key.
struct ProtectedPdf {
    QByteArray bytes;
    std::string fileKey; // 32 bytes
};

// A run of consecutive pages of a document that becomes a document of its own, protected
// with `openPassword` when there is one.
struct PdfPart {
    int firstPage = 0; // 0-based
    int pages = 0;
    std::string title;
    std::optional<std::string> openPassword;
};

// The parts of one document, each a document of its own with the whole one's information
// (creator, date) and its own title, protected as protectPdf protects in the same writing. The
// parts keep the document's fonts as they are: each font holds the glyphs of all the parts.
std::vector<ProtectedPdf> splitPdf(const QByteArray& pdf, const std::vector<PdfPart>& parts);

// Encrypts with AES-256: `openPassword` opens the document; there is no owner password.
// Printing and copying stay allowed; changing does not.
ProtectedPdf protectPdf(const QByteArray& pdf, const std::string& openPassword);
// The same with keys made by protectionKeys: a batch of documents makes all its keys in one
// call, whose password hashes go faster together.
ProtectedPdf protectPdf(const QByteArray& pdf, const Aes256Keys& keys);
std::vector<Aes256Keys> protectionKeys(const std::vector<std::string>& openPasswords);

// The document without its encryption, opened with `password`.
QByteArray decryptPdf(const QByteArray& pdf, const std::string& password);

} // namespace cw::printing
