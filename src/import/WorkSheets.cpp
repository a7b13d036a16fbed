#include "import/WorkSheets.h"

#include "host/Error.h"

#include <string>

namespace cw::import {

void prepareWorkSheets(GenerationContext& ctx)
{
    host::Workbook& wb = *ctx.workbook;
    // Deleting shifts the following sheets down, so the index only moves on past a kept sheet.
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

void writeSheetHeadings(GenerationContext& ctx)
{
    if (!ctx.deductorSheet || !ctx.deducteeSheet)
        throw host::Error(host::Error::Code::Invalid, "the work sheets are not set");
    for (std::size_t c = 0; c < kDeductorHeadings.size(); ++c)
        ctx.deductorSheet->setValue(1, static_cast<int>(c), std::string(kDeductorHeadings[c]));
    for (std::size_t c = 0; c < kDeducteeHeadings.size(); ++c)
        ctx.deducteeSheet->setValue(0, static_cast<int>(c), std::string(kDeducteeHeadings[c]));
}

} // namespace cw::import
