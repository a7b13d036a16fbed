#pragma once

#include "import/Statement.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Which payments make one certificate: the order they are printed in, and the rule that puts a
// quarter's acknowledgement number on a certificate.
namespace cw::certificates {

// Payments of one certificate: `count` entries of CertificatePlan::order from `first` on.
struct CertificateGroup {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

struct CertificatePlan {
    // Indices into Statement::payments, in certificate order.
    std::vector<std::uint32_t> order;
    std::vector<CertificateGroup> groups;
};

// The certificates of a statement. Payments are ordered by the deductee's name, the
// certificate's date (its challan's date of deposit), the section and the PAN: each text
// ascending with letter case ignored, an empty text after every other, equal payments in
// statement order. Payments whose keys differ only in letter case would otherwise interleave
// and split one deductee's certificate in two, so among payments that compare equal those with
// identical keys are kept together, in the order their key first appears. Consecutive payments
// whose name, PAN, section and certificate date are each the same text (letter case counts)
// make one certificate.
CertificatePlan planCertificates(const import::Statement& statement);

// Whether a quarter's acknowledgement number goes on a certificate dated `certificateDate`
// ("dd.mm.yyyy"): with no date of filing, whenever the certificate has a date; otherwise when
// both are calendar dates (the date of filing "dd/mm/yyyy") and the certificate's is the later.
bool quarterAcknApplies(std::string_view certificateDate, std::string_view dateOfFiling);

} // namespace cw::certificates
