#include "RealCertificates.h"

#include "import/SheetCells.h"
#include "import/GenerationContext.h"
#include "certificates/CertificateGenerator.h"
#include "import/DeductorRow.h"
#include "import/DeducteeRows.h"
#include "import/StatementImport.h"
#include "Template.h"
#include "import/WorkSheets.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace cw::printing::test {

namespace {

struct Silent : core::Reporter {
    void message(const core::Message&) override {}
};

} // namespace

fs::path generateSampleCertificates(const fs::path& appFolder)
{
    fs::create_directories(appFolder);
    fs::copy_file(fs::path(CERTWRIGHT_SOURCE_DIR) / "template" / "sample" / "TDS.txt", appFolder / "TDS.txt",
                  fs::copy_options::overwrite_existing);
    tmpl::buildTemplate().save(appFolder / "TDS16A.xls");

    Silent reporter;
    import::GenerationContext ctx;
    ctx.appFolder = appFolder;
    ctx.reporter = &reporter;
    host::Workbook workbook = host::Workbook::open(ctx.templatePath());
    ctx.workbook = &workbook;
    import::prepareWorkSheets(ctx);
    ctx.deductorSheet = &import::sheetByName(workbook, import::kDeductorSheet);
    ctx.deducteeSheet = &import::sheetByName(workbook, import::kDeducteeSheet);
    import::writeSheetHeadings(ctx);
    import::importStatement(ctx);
    import::fillDeductorRow(ctx);
    import::fillDeducteeRows(ctx);
    fs::remove_all(ctx.outputFolder());
    fs::create_directories(ctx.outputFolder());
    if (certificates::generateCertificates(ctx, ctx.outputFolder()) == 0)
        throw std::runtime_error("the sample statement gave no certificates");
    return ctx.outputFolder();
}

} // namespace cw::printing::test
