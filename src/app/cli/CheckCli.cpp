#include "app/cli/CheckCli.h"

#include "app/CheckCommand.h"
#include "check/CheckReport.h"
#include "core/Failure.h"
#include "core/PathText.h"

namespace cw::app {

int runCheck(const std::filesystem::path& folder, const CheckCliOptions& options, std::ostream& out, std::ostream& err)
{
    std::optional<check::Day> filedOn;
    if (options.filedOn) {
        filedOn = check::slashedDay(*options.filedOn);
        if (!filedOn) {
            err << "--filed: \"" << *options.filedOn << "\" is not a date written dd/mm/yyyy.\n";
            return 2;
        }
    }
    try {
        const check::CheckResult result = checkWorkingFolder(folder, filedOn);
        check::printCheck(result, out);
        if (options.report) {
            check::writeCheckReport(core::pathFromText(*options.report), result);
            out << "Report saved in " << *options.report << ".\n";
        }
        return result.errors ? 1 : 0;
    } catch (const core::Failure& e) {
        err << e.what() << '\n';
        return 2;
    }
}

} // namespace cw::app
