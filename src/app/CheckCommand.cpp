#include "app/CheckCommand.h"

#include "ackn/AcknRegister.h"
#include "core/AppFiles.h"
#include "host/Error.h"

#include <ctime>

namespace cw::app {

check::Day today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

check::CheckResult checkWorkingFolder(const std::filesystem::path& folder, const std::optional<check::Day>& filedOn)
{
    check::CheckResult r = check::checkStatementFile(folder / core::kStatementFile, {today(), check::FiledBy::Today});
    if (filedOn) {
        check::countFeeTo(r, *filedOn, check::FiledBy::Option);
        return r;
    }
    const std::optional<int> quarter = check::quarterNumber(r.deductor.quarter);
    if (!quarter)
        return r;
    try {
        const ackn::AcknEntries entries = ackn::loadAcknRegister(folder / core::kTemplateFile);
        if (const auto filed = check::slashedDay(entries.filedOn[static_cast<std::size_t>(*quarter - 1)]))
            check::countFeeTo(r, *filed, check::FiledBy::AcknowledgementRegister);
    } catch (const host::Error&) {
        // No register to read: the fee stays counted to today.
    }
    return r;
}

} // namespace cw::app
