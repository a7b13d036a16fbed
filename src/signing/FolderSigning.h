#pragma once

#include "portal/CertificateText.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cw::printing {
class PdfSigner;
}

// Certificate PDFs made elsewhere, signed and protected into another folder: for `certwright
// sign`, for the PDFs `certwright mail --pdfs` attaches and for the window's Sign PDFs. The
// originals are only read.
namespace cw::signing {

// What the portal's certificates say of themselves, as the signing reads them.
using portal::CertificateFields;
using portal::CertificateRead;

// --sign-box PAGE:X,Y,W,H: a 1-based page and a box in points from its lower left.
struct SignBox {
    int page = 0;
    double x = 0, y = 0, w = 0, h = 0;
};

// Nothing when the text is not PAGE:X,Y,W,H with a page from 1 and a box of some size.
std::optional<SignBox> parseSignBox(const std::string& text);

struct PdfPreparation {
    const printing::PdfSigner* signer = nullptr; // null: not signed
    bool protect = false;                        // opens with the deductee's PAN
    std::optional<SignBox> box;                  // where the signature goes without a caption for it
    std::string inputPassword;                   // opens encrypted originals
    // Told when a file has no place for the signature, after the reason.
    std::string noPlaceHint = "give its place with --sign-box PAGE:X,Y,W,H";
};

// "PAN ABCPE1234F, Certificate No. QWERTYU, assessment year 2025-26, quarter Q2, TAN MUMD12345E"
std::string fieldsText(const CertificateFields& fields);

// The *.pdf files (any case) of `folder`, sorted; empty when it has none or is no folder.
std::vector<std::filesystem::path> pdfFilesIn(const std::filesystem::path& folder);

struct SignedFile {
    std::filesystem::path file, target;
    std::string refusal; // "FILE: why"; empty when written
    std::string fields;  // fieldsText, when written
};

// Each of `files` signed and/or protected as asked into `outFolder` under its own name, a thread
// per core; a file refused is named with its reason and the others go on. `each` is told
// the outcomes in the files' order on the calling thread, each as soon as those before it are
// in. Returns the outcomes in the files' order. The PDF library is held ready (PdfLibrarySession)
// for the run.
std::vector<SignedFile> signFiles(const std::vector<std::filesystem::path>& files, const std::filesystem::path& outFolder,
                                  const PdfPreparation& how, const std::function<void(const SignedFile&)>& each = {});

} // namespace cw::signing
