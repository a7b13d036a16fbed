#include "GenerateRun.h"

#include "Generate.h"
#include "ModCheckTDSfileRuning.h"

namespace cw::app {

GeneratePath runGenerate(const std::filesystem::path& appFolder, import::Reporter& reporter)
{
    const auto templatePath = appFolder / "TDS16A.xls";
    const auto outcome = Generate(appFolder, reporter, [&] { return CheckRunning("TDS16A", templatePath); });
    switch (outcome) {
    case GenerateOutcome::Generated:
        return GeneratePath::Generated;
    case GenerateOutcome::NotForm26Q:
        return GeneratePath::NotForm26Q;
    case GenerateOutcome::InUse:
    case GenerateOutcome::StatementMissing:
        return GeneratePath::EndedBeforeStart;
    case GenerateOutcome::NoDeductees:
    case GenerateOutcome::Failed:
        break;
    }
    return GeneratePath::Ended;
}

} // namespace cw::app
