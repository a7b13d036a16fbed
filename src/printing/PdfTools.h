#pragma once

#include <QByteArray>

#include <string>
#include <vector>

namespace cw::printing {

// What qpdf does to the PDFs the renderer writes. Each throws core::Failure saying what
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

// Encrypts with AES-256: `openPassword` to open the document, a random owner password for the
// rest. Printing and copying stay allowed; changing does not.
QByteArray protectPdf(const QByteArray& pdf, const std::string& openPassword);

// The document without its encryption, opened with `password`.
QByteArray decryptPdf(const QByteArray& pdf, const std::string& password);

} // namespace cw::printing
