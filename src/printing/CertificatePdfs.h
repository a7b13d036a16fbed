#pragma once

#include "printing/CertificateFolder.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cw::printing {

class PdfSigner;

// How a run over certificates makes its PDFs.
struct PdfRunOptions {
    // One merged file for all certificates, in their order; empty: NAME.pdf beside each one.
    std::filesystem::path mergedFile;
    // Where the separate files go; empty: beside each certificate.
    std::filesystem::path targetFolder;
    // Each certificate's PDF opens with the deductee's PAN (I16, in capitals); AES-256.
    bool protect = false;
    // Signs each PDF (or the merged one); null: unsigned.
    const PdfSigner* signer = nullptr;
    // Threads laying out and writing certificates; 0: one per core.
    unsigned threads = 0;
    // Called in certificate order as certificates are finished; false cancels the run (the
    // certificates under way are finished, no merged file is written).
    std::function<bool(std::size_t done, std::size_t total)> progress;
};

// What a run did: `done` in certificate order, `files` the PDF files written.
struct PdfRunResult : BatchResult {
    std::vector<std::filesystem::path> files;
    bool cancelled = false;
};

// Writes the PDFs of the named certificates of the output folder (all listed ones when `names`
// is empty), each certificate one page and its annexure pages after it, on several threads. A
// certificate that is missing, unreadable or not a certificate name is skipped with its
// reason; the others are still written. Files appear whole or not at all. Throws
// core::Failure, before writing anything, when the target folder cannot take files.
PdfRunResult writeCertificatePdfs(const std::filesystem::path& outputFolder, std::vector<std::string> names,
                                  const PdfRunOptions& options = {});

} // namespace cw::printing
