#pragma once

#include "host/Workbook.h"

namespace cw::tmpl {

// The shipped template workbook TDS16A.xls, built in memory: the certificate page "Form 16A",
// the continuation page "Annex" and the acknowledgement register "AcknDetails", in that order,
// with "Form 16A" active. The cells the certificate generator fills (core/CertificateLayout.h)
// are left empty and carry the formats the filled values need.
host::Workbook buildTemplate();

} // namespace cw::tmpl
