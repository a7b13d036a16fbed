#pragma once

#include "host/Cell.h"
#include "host/Sheet.h"

#include <vector>

// Which deductee rows make one certificate: the sort, the grouping, and the rule that puts a
// quarter's acknowledgement number on a certificate.
namespace cw::certificates {

// Rows (0-based, inclusive) of the deductee sheet that make one certificate.
struct CertificateGroup {
    int firstRow = 0;
    int lastRow = 0;
    int size() const { return lastRow - firstRow + 1; }
};

// The last deductee row: the last row of the sheet with any value in columns A to N, so that a
// record without a name still counts. -1 when there is none below the heading row.
int lastDeducteeRow(const host::Sheet& deductees);

// Sorts the deductee rows 2 to lastRow (1-based; row 1 holds the headings) by name, certificate
// date text, section and PAN: ascending, letter case ignored, numbers before text, empty cells
// last, equal rows in statement order. Rows whose keys differ only in letter case would
// otherwise interleave and split one deductee's certificate in two, so among rows that compare
// equal those with identical keys are kept together, in the order their key first appears.
// Rows with nothing in A to N go to the end. Returns the last row that holds a record.
int sortDeducteeRows(host::Sheet& deductees, int lastRow);

// Consecutive rows whose name, PAN, section and certificate date are each the same text
// (letter case counts) make one group.
std::vector<CertificateGroup> certificateGroups(const host::Sheet& deductees, int lastRow);

// Whether a quarter's acknowledgement number goes on a certificate dated `certificateDate`
// (column N, "d.mm.yyyy"): with no date of filing, whenever the certificate has a date;
// otherwise when both read as calendar dates and the certificate's is the later one. The
// date of filing may be a date value or a "dd/mm/yyyy" text.
bool quarterAcknApplies(const host::Value& certificateDate, const host::Value& dateOfFiling);

} // namespace cw::certificates
