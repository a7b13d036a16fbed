// libFuzzer target for the .xls reader: any bytes go through Workbook::fromBytes, and what was
// read through a sheet copy, an insertion, a move and a save. A refusal must be a
// cw::host::Error; every other exception, crash, hang or sanitizer report is a bug.
// Inputs that start like a bare BIFF8 stream (09 08) skip the container and reach the record
// parser directly, so seeds of extracted Workbook streams fuzz the parser efficiently.

#include "host/Error.h"
#include "host/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// libgsf leaks a directory entry while it refuses some damaged compound documents
// (regressions/libgsf-leaks-directory-entry.xls); our side releases everything it gets. glib is
// built without frame pointers, so such a stack ends in libglib: the only name to match.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    try {
        cw::host::Workbook wb = cw::host::Workbook::fromBytes(bytes, "fuzz.xls");
        (void)wb.drawingDamage(); // what generate asks of a template before it copies any
        // Touch what was read so that a model left inconsistent shows up here too.
        for (int i = 0; i < wb.sheetCount(); ++i) {
            const cw::host::Sheet& sh = wb.sheet(i);
            (void)wb.drawingObjects(i);
            for (int r = 0; r < sh.rowCount(); ++r)
                for (int c = 0; c < sh.rowWidth(r); ++c)
                    if (const auto cell = sh.cell(r, c); cell && cell->hasFormula() && cell->formula >= sh.formulas().size())
                        __builtin_trap();
        }
        // What the certificates do with a template: a copy, rows inserted, the copy moved out and
        // saved. Whatever was read, only an Error may stop it.
        int first = 0;
        while (first < wb.sheetCount() && wb.sheet(first).kind() != cw::host::SheetKind::Worksheet)
            ++first;
        if (first < wb.sheetCount() && wb.sheetCount() < 64) {
            const int copy = wb.copySheet(first, 0);
            wb.sheet(copy).insertRows(4, 7);
            wb.sheet(copy).setValue(3, 3, std::string("certificate"));
            (void)wb.moveSheetsToNewWorkbook({copy}).toBytes();
        }
        (void)wb.toBytes();
    } catch (const cw::host::Error&) {
    }
    return 0;
}
