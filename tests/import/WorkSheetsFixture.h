#pragma once

// A template workbook in memory with fresh work sheets, as Generate has it before the import.
#include "import/SheetCells.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"

#include <memory>

namespace cw::test {

struct WorkSheets {
    host::Workbook wb;
    import::GenerationContext ctx;

    WorkSheets()
    {
        wb.addSheet("AcknDetails");
        wb.addSheet("Annex");
        wb.addSheet("Form 16A");
        ctx.workbook = &wb;
        import::prepareWorkSheets(ctx);
        ctx.deductorSheet = &wb.sheet(import::kDeductorSheet);
        ctx.deducteeSheet = &wb.sheet(import::kDeducteeSheet);
        import::writeSheetHeadings(ctx);
    }
    host::Sheet& text() { return wb.sheet(import::kTextSheet); }
    host::Sheet& deductor() { return *ctx.deductorSheet; }
    host::Sheet& deductee() { return *ctx.deducteeSheet; }
    void import(std::string_view bytes) { ctx.lineFields = import::importStatementText(wb, text(), bytes); }
};

inline std::unique_ptr<WorkSheets> workSheets() { return std::make_unique<WorkSheets>(); }

} // namespace cw::test
