#pragma once

#include "Cell.h"
#include "GenerationContext.h"
#include "Sheet.h"

#include <vector>

namespace cw::certificates {

// Makes one Form 16A certificate workbook per certificate group of the deductee rows, numbered
// from cell B2 of "AcknDetails", in the folder Form16A of the application folder (emptied
// first): 007.xls holds sheet "007", and for a group of 17 rows or more the annexure sheet
// "7A" after it. At the end the three work sheets are deleted from the template workbook,
// which the caller then saves.
//
// Returns the number of certificates written. 0 means there were no deductee rows: the
// message has been reported, Form16A is left empty and nothing else has changed; the command
// ends there without saving the template.
//
// Throws host::Error naming the file and the reason when the template lacks a sheet or B2
// holds no serial number, or when a certificate can't be saved. Certificates saved before a
// failure stay; no partly written certificate is left under its name.
int GenerateCertificates(import::GenerationContext& ctx);

// ---- the steps, exposed for tests -----------------------------------------------------------

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

// The certificate's serial number in at least three digits: 7 gives "007", 1234 stays "1234".
std::string serialText(int serial);

} // namespace cw::certificates
