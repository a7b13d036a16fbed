#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Who gets which certificate, as the register of the output folder lists them: the PAN printed
// on each certificate, never one guessed from file names or order.
namespace cw::mail {

// A certificate as a run sends it: its file, whose sha256 the send log keys it by, and its number.
struct Certificate {
    std::string number;           // "004/2024-25"
    std::string file;             // "004": Form16A/004.xls; a PDF made elsewhere by its file name
    std::filesystem::path source; // Form16A/004.xls, or the PDF
    // What a PDF made elsewhere prints of its own; empty for ours, whose register names them
    // once for all.
    std::string financialYear, quarter, tan;
};

struct Deductee {
    std::string pan;
    std::string name;
    std::vector<Certificate> certificates;
};

struct CertificateList {
    std::string deductor, tan, financialYear, quarter;
    std::vector<Deductee> deductees; // in the order the register first lists them
};

// Reads Form16A/Register.xls of `outputFolder`. Throws core::Failure naming the file when it is
// missing or not a register.
CertificateList readRegister(const std::filesystem::path& outputFolder);

// The certificate PDFs of a folder made elsewhere, by the deductee's PAN printed in each.
struct PdfFolderList {
    CertificateList list;              // deductees by PAN in the order of their first file; no names
    std::vector<std::string> refused;  // "FILE: why" for each file that is not sent
};

// Reads every *.pdf of `folder`; `password` opens encrypted ones. Throws core::Failure when it
// is no folder or has no PDF files.
PdfFolderList readPdfFolder(const std::filesystem::path& folder, const std::string& password = {});

} // namespace cw::mail
