#pragma once

#include "core/Failure.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace Poppler {
class Document;
}

namespace cw::portal {

// A word of a page as the PDF's text gives it, its box in points from the page's top left.
struct Word {
    QString text;
    QRectF box;
};

struct PageWords {
    QSizeF size; // points
    std::vector<Word> words;
};

// What a Form 16A PDF says about itself, read from its text.
struct CertificateFields {
    std::string pan;             // the deductee's, in capitals (may be PANNOTAVBL)
    std::string certificateNo;   // the rest empty when the certificate does not show them
    std::string assessmentYear;  // e.g. 2025-26
    std::string quarter;         // Q1 to Q4
    std::string tan;             // the deductor's
    std::vector<QSizeF> pageSizes;
    // Over the words "Signature of person responsible for deduction of tax" on the last page,
    // in points from the page's top left; empty when the text has no such words.
    QRectF signatureBox;
    bool alreadySigned = false;
    bool encrypted = false;      // needed the password given to open
};

using CertificateRead = std::variant<CertificateFields, core::Failure>;

// Reads the certificate PDF `file`: the deductee's PAN under or right of its label ("PAN of the
// Deductee", "PAN No. of the Payee"; any case, over one or two lines), never the deductor's
// beside it; and the other fields where they are shown. `password` opens an encrypted file.
// A file that is not a PDF, is encrypted and not opened, or has no label, no PAN under it or two
// different deductee PANs gives a Failure naming the file and the reason. Safe from several
// threads, one file each.
CertificateRead readCertificatePdf(const std::filesystem::path& file, const std::string& password = {});
// The same over the bytes of a file already read; `name` names it in the failure.
CertificateRead readCertificatePdf(const QByteArray& bytes, const std::string& name, const std::string& password = {});

// Keeps the PDF library ready while a command reads many PDFs made elsewhere: its shared tables,
// which it otherwise builds again from its data files whenever its last open document closes
// (about once a file when two threads read), stay made; its notes about damaged files (the
// refusals say it) stay off standard error for the rest of the run.
class PdfLibrarySession {
public:
    PdfLibrarySession();
    ~PdfLibrarySession();
    PdfLibrarySession(const PdfLibrarySession&) = delete;
    PdfLibrarySession& operator=(const PdfLibrarySession&) = delete;

    // Whether the library took the document that holds its tables.
    bool holding() const { return static_cast<bool>(m_held); }

private:
    std::unique_ptr<Poppler::Document> m_held;
};

// The same from a document's words; `name` names it in the failure.
CertificateRead findCertificateFields(const std::vector<PageWords>& pages, const std::string& name);

} // namespace cw::portal
