#pragma once

#include "certificates/CertificateGroups.h"
#include "core/Messages.h"
#include "host/Workbook.h"
#include "import/RecordSums.h"
#include "import/Statement.h"

#include <array>
#include <cstdint>
#include <vector>
#include <filesystem>
#include <string>

namespace cw::certificates {

// A quarter's acknowledgement entries as the register shows them.
struct QuarterAckn {
    std::string number;   // the acknowledgement (PRN) number, as text
    std::string filedOn;  // the date of filing, "dd/mm/yyyy", or empty when not filed yet
};

// What a run makes certificates of, and where it writes them.
struct CertificateRun {
    const import::Statement* statement = nullptr;
    const CertificatePlan* plan = nullptr;
    int firstSerial = 1;                     // the first certificate's serial number
    std::array<QuarterAckn, 4> quarters;
    std::filesystem::path templatePath;      // the template's file, as messages name it
    std::filesystem::path folder;            // where the certificates are written (the run's own)
    std::filesystem::path shownFolder;       // where the user finds them: Form16A
    core::Reporter* reporter = nullptr;      // progress and the template's "Left out" notes
    host::ByteWriter writer;                 // puts each file's bytes into it; empty: host::writeAll
};

// The records' sums, in paise (one type for the statement's records and the certificates' rows).
using import::PaymentSums;

// One certificate as written: its totals row read back from the sheet.
struct WrittenCertificate {
    int serial = 0;
    std::uint32_t group = 0;   // in CertificatePlan::groups
    bool annexure = false;
    PaymentSums totals;        // the totals row; `payments` the rows it carries
};

// What a certificate run wrote.
struct CertificateCounts {
    int certificates = 0;
    int withAnnexure = 0;
    int paymentRecords = 0; // the payments they carry
    std::vector<WrittenCertificate> written;   // in certificate order
    // The payment rows of all certificates as written, added up by the challan each payment
    // belongs to (indexed as Statement::challans).
    std::vector<PaymentSums> byChallan;
};

// Makes one Form 16A certificate workbook per group of the plan, numbered from firstSerial, in
// run.folder: 007.xls holds sheet "007", and for a group of 17 payments or more the annexure
// sheet "7A" after it. Each certificate is a copy of the template's sheet "Form 16A" (and
// "Annex") with the deductor, the deductee, the quarters' acknowledgement numbers, the payments,
// their totals and the sum in words filled in. The template workbook is read, never changed
// in what it saves. Everything that can be checked is checked before the first certificate:
// the sheets "Form 16A" and, when a group needs it, "Annex".
//
// Throws core::Failure naming the file and the reason when the template lacks a sheet or a
// certificate can't be saved; messages name the certificates by their place in Form16A, where
// the user will look for them.
CertificateCounts generateCertificates(host::Workbook& templateBook, const CertificateRun& run);

// The certificate's serial number in at least three digits: 7 gives "007", 1234 stays "1234".
std::string serialText(int serial);

} // namespace cw::certificates
