#include "import/WorkSheets.h"

#include "host/Error.h"
#include "import/SheetCells.h"
#include "import/StatementImport.h"
#include "import/StatementLayout.h"

#include <string>

namespace cw::import {

namespace {

// Deleting shifts the following sheets down, so the index only moves on past a kept sheet.
void replaceWorkSheets(host::Workbook& wb)
{
    for (int i = 0; i < wb.sheetCount();) {
        try {
            const host::Sheet& s = wb.sheet(i);
            const std::string& name = s.name();
            if (s.kind() == host::SheetKind::Worksheet &&
                (name == kTextSheet || name == kDeductorSheet || name == kDeducteeSheet)) {
                wb.deleteSheet(i);
                continue;
            }
        } catch (const host::Error&) {
        }
        ++i;
    }
    for (std::string_view name : {kTextSheet, kDeductorSheet, kDeducteeSheet}) {
        try {
            wb.addSheet();
            wb.renameSheet(wb.activeSheet(), std::string(name));
        } catch (const host::Error&) {
        }
    }
}

// Row 3 of "DeductorDetails": the deductor as the batch header gives it.
void writeDeductorRow(host::Sheet& deductor, const LineFields& b)
{
    const BatchHeaderFields& f = kBatchHeader;
    std::string address;
    for (int field = f.addressFirst; field <= f.addressLast; ++field)
        address += (field > f.addressFirst ? "," : "") + std::string(b[field]);
    auto year = [&](int field) {
        return std::string(utf8Mid(b[field], 0, 4)) + "-" + std::string(utf8Mid(b[field], 4, 2));
    };
    const std::string values[] = {std::string(b[f.name]),
                                  address,
                                  std::string(b[f.tan]),
                                  std::string(b[f.pan]),
                                  std::string(b[f.personResponsible]),
                                  std::string(b[f.designation]),
                                  year(f.financialYear),
                                  year(f.assessmentYear),
                                  std::string(b[f.formType]),
                                  std::string(b[f.placeOfIssue])};
    for (int c = 0; c < static_cast<int>(std::size(values)); ++c)
        deductor.setValue(2, c, std::string(clipToCell(values[c])));
}

} // namespace

void writeWorkSheets(host::Workbook& wb, const StatementText& statement)
{
    replaceWorkSheets(wb);
    host::Sheet& deductor = sheetByName(wb, kDeductorSheet);
    host::Sheet& deductee = sheetByName(wb, kDeducteeSheet);
    host::Sheet& text = sheetByName(wb, kTextSheet);
    for (std::size_t c = 0; c < kDeductorHeadings.size(); ++c)
        deductor.setValue(1, static_cast<int>(c), std::string(kDeductorHeadings[c]));
    for (std::size_t c = 0; c < kDeducteeHeadings.size(); ++c)
        deductee.setValue(0, static_cast<int>(c), std::string(kDeducteeHeadings[c]));
    importStatementText(wb, text, statement);
    writeDeductorRow(deductor, statement.line(2));
    wb.setActiveSheet(wb.indexOf(text.name()));
}

} // namespace cw::import
