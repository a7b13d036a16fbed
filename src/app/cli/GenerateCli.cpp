#include "app/cli/GenerateCli.h"
#include "core/AppFiles.h"

#include "app/GenerateCommand.h"
#include "app/TemplateInUseGuard.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cw::app {

namespace {
// Every message of a run ends it, so they are printed once the outcome says where they belong.
class CollectingReporter : public core::Reporter {
public:
    explicit CollectingReporter(std::ostream* progress)
        : m_progress(progress)
    {
    }
    void message(const core::Message& m) override { messages.push_back(m); }
    // One update per percent is plenty for the eye and costs nothing next to the saves.
    void progress(int done, int total) override
    {
        if (!m_progress || total <= 0)
            return;
        const int percent = static_cast<int>(100LL * done / total);
        if (percent == m_lastPercent && done != total)
            return;
        m_lastPercent = percent;
        *m_progress << "\rWriting certificates: " << done << " of " << total << " (" << percent << "%)"
                    << std::flush;
        m_lineOpen = true;
    }
    void endProgressLine()
    {
        if (m_lineOpen)
            *m_progress << '\n';
        m_lineOpen = false;
    }
    std::vector<core::Message> messages;

private:
    std::ostream* m_progress;
    int m_lastPercent = -1;
    bool m_lineOpen = false;
};

// "12 certificates (2 with an annexure) carrying 345 payment records."
std::string countsLine(const certificates::CertificateCounts& made)
{
    auto counted = [](int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    return counted(made.certificates, "certificate") + " (" + std::to_string(made.withAnnexure) +
           " with an annexure) carrying " + counted(made.paymentRecords, "payment record") + ".";
}
} // namespace

int runGenerate(const std::filesystem::path& folder, std::ostream& out, std::ostream& err, std::ostream* progress)
{
    CollectingReporter reporter(progress);
    // The same in-use guard as the window's: a template open in a spreadsheet program ends the run.
    const auto templatePath = folder / core::kTemplateFile;
    GenerateCommand command(folder, reporter, [&] { return templateInUse("TDS16A", templatePath); });
    command.setOldCertificatesRemover(removeInDetachedProcess);
    const GenerateOutcome outcome = command.run();
    reporter.endProgressLine();
    std::ostream& to = outcome == GenerateOutcome::Succeeded ? out : err;
    for (const core::Message& m : reporter.messages)
        to << m.prompt << '\n';
    if (outcome == GenerateOutcome::Succeeded) {
        out << countsLine(command.made()) << '\n';
        if (!command.registerLine().empty())
            out << command.registerLine() << '\n';
        if (const std::vector<std::string>& others = command.removedOthers(); !others.empty()) {
            out << "Removed with the old Form16A, which every run replaces, though Certwright had not made them:";
            for (std::size_t i = 0; i < others.size(); ++i)
                out << (i ? ", " : " ") << others[i];
            out << ".\n";
        }
    }
    return outcome == GenerateOutcome::Succeeded ? 0 : 1;
}

int exitStatusOf(const std::function<int()>& command, std::ostream& err)
{
    try {
        return command();
    } catch (const std::bad_alloc&) {
        err << "certwright: there is not enough memory for this command.\n";
    } catch (const std::exception& e) {
        err << "certwright: the command stopped on an unexpected error (" << e.what() << ").\n";
    } catch (...) {
        err << "certwright: the command stopped on an unexpected error.\n";
    }
    return 1;
}

bool standardOutputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

} // namespace cw::app
