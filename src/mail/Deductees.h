#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Who gets which certificate, as the register of the output folder lists them: the PAN printed
// on each certificate, never one guessed from file names or order.
namespace cw::mail {

struct Certificate {
    std::string number; // "004/2024-25"
    std::string file;   // "004": Form16A/004.xls
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

} // namespace cw::mail
