#pragma once

#include <QByteArray>

#include <string>
#include <vector>

namespace cw::printing {

// What qpdf does to the PDFs the renderer writes. Each throws std::runtime_error saying what
// failed.

// The documents' pages one after another in one document.
QByteArray mergePdfs(const std::vector<QByteArray>& documents);

// Encrypts with AES-256: `openPassword` to open the document, a random owner password for the
// rest. Printing and copying stay allowed; changing does not.
QByteArray protectPdf(const QByteArray& pdf, const std::string& openPassword);

// Gives the document the standard font a signature's visible text is set in, where the signer
// looks for it first. Without it the signer embeds a whole system font in every signed file
// (about half a megabyte, and 150 ms of work); the standard font needs no embedding.
QByteArray addSignatureFont(const QByteArray& pdf);

// Both of the above in one pass, when a document is to be protected and then signed.
QByteArray protectPdfForSigning(const QByteArray& pdf, const std::string& openPassword, std::string& ownerPassword);

} // namespace cw::printing
