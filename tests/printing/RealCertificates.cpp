#include "RealCertificates.h"

#include "Cells.h"
#include "GenerationContext.h"
#include "ModCertwright.h"
#include "ModDeductorDetails.h"
#include "ModFillDeducteeDetails.h"
#include "ModMisc.h"
#include "Template.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace cw::printing::test {

namespace {

struct Silent : import::Reporter {
    void message(const import::Message&) override {}
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
    import::PrepareSheets(ctx);
    ctx.deductorSheet = &import::sheetByName(workbook, import::kDeductorSheet);
    ctx.deducteeSheet = &import::sheetByName(workbook, import::kDeducteeSheet);
    import::WriteSheetHeaders(ctx);
    import::ImportTextFile(ctx);
    import::FillDeductorDetails(ctx);
    import::FillDeducteeDetails(ctx);
    if (certificates::GenerateCertificates(ctx) == 0)
        throw std::runtime_error("the sample statement gave no certificates");
    return ctx.outputFolder();
}

} // namespace cw::printing::test
