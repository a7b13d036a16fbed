#pragma once

#include "import/GenerationContext.h"

#include <filesystem>
#include <string>

namespace cw::certificates {

// What a certificate run wrote.
struct CertificateCounts {
    int certificates = 0;
    int withAnnexure = 0;
    int paymentRecords = 0; // the deductee rows they carry
};

// Makes one Form 16A certificate workbook per certificate group of the deductee rows, numbered
// from cell B2 of "AcknDetails", in `folder` (the run's own, see OutputFolderReplacement):
// 007.xls holds sheet "007", and for a group of 17 rows or more the annexure sheet "7A" after
// it. Everything that can be checked is checked before the first certificate: the sheets
// "AcknDetails", "Form 16A" and, when a group needs it, "Annex"; the serial number in B2. At
// the end the three work sheets are deleted from the template workbook, which the caller then
// saves.
//
// Returns what was written. No certificates means there were no deductee rows: the message
// has been reported and nothing has been written; the command ends there without saving the
// template.
//
// Throws host::Error naming the file and the reason when the template lacks a sheet or B2
// holds no serial number, or when a certificate can't be saved. Messages name the
// certificates by their place in Form16A, where the user will look for them.
CertificateCounts generateCertificates(import::GenerationContext& ctx, const std::filesystem::path& folder);

// The certificate's serial number in at least three digits: 7 gives "007", 1234 stays "1234".
std::string serialText(int serial);

} // namespace cw::certificates
