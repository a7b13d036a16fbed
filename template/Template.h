#pragma once

#include "host/Workbook.h"

namespace cw::tmpl {

// The sheet names the generator and the acknowledgement dialog look up.
inline constexpr const char* kForm16ASheet = "Form 16A";
inline constexpr const char* kAnnexSheet = "Annex";
inline constexpr const char* kAcknSheet = "AcknDetails";

// The shipped template workbook TDS16A.xls, built in memory: the certificate page "Form 16A",
// the continuation page "Annex" and the acknowledgement register "AcknDetails", in that order,
// with "Form 16A" active. The cells the certificate generator fills are left empty and carry
// the formats the filled values need.
host::Workbook buildTemplate();

} // namespace cw::tmpl
