#pragma once

#include <QByteArray>

#include <string>
#include <vector>

namespace cw::printing {

// What qpdf does to the PDFs the renderer writes. Each throws std::runtime_error saying what
// failed.

// The documents' pages one after another in one document, with the first one's information
// (title, creator).
QByteArray mergePdfs(const std::vector<QByteArray>& documents);

// A run of consecutive pages of a document that becomes a document of its own.
struct PdfPart {
    int firstPage = 0; // 0-based
    int pages = 0;
    std::string title;
};

// The parts of one document, each a document of its own with the whole one's information
// (creator, date) and its own title. The parts keep the document's fonts as they are: each
// font holds the glyphs of all the parts.
std::vector<QByteArray> splitPdf(const QByteArray& pdf, const std::vector<PdfPart>& parts);

// A document protectPdf encrypted, and the key its strings and streams are encrypted with:
// whoever holds the key opens the document again without the password, whose hashing is slow
// on purpose (the signer does, to add its signature).
struct ProtectedPdf {
    QByteArray bytes;
    std::string fileKey; // 32 bytes
};

// Encrypts with AES-256: `openPassword` opens the document; there is no owner password.
// Printing and copying stay allowed; changing does not.
ProtectedPdf protectPdf(const QByteArray& pdf, const std::string& openPassword);

// The document without its encryption, opened with `password`.
QByteArray decryptPdf(const QByteArray& pdf, const std::string& password);

} // namespace cw::printing
