#pragma once

#include "certificates/CertificateGenerator.h"
#include "core/Messages.h"
#include "host/SafeWrite.h"

#include <filesystem>
#include <functional>
#include <vector>
#include <cstdint>
#include <optional>

namespace cw::app {

// How a Generate run ended: what the window does with its buttons, what the command line
// returns.
enum class GenerateOutcome {
    // Certificates written, template saved: both buttons are enabled again.
    Succeeded,
    // Not a Form 26Q statement: the template was saved with the work sheets. The
    // acknowledgement button is enabled again; the print button stays disabled.
    InvalidStatement,
    // The template is in use, TDS.txt is missing (or there are no deductee records): the
    // program ends after the message.
    EndProgram,
    // Refused or failed with a message; the template file is as it was before the run. Both
    // buttons are enabled again.
    Failed,
};

// The Generate command without a window: TDS.txt and TDS16A.xls of the application folder
// become the work sheets and the certificates, with every message going to the reporter.
class GenerateCommand {
public:
    // Returns the message to show when the template workbook is open in another program;
    // the program then ends.
    using Guard = std::function<std::optional<core::Message>()>;

    GenerateCommand(std::filesystem::path appFolder, core::Reporter& reporter, Guard guard = {});

    // How the previous run's certificates go once the new ones are in Form16A, given the
    // folder that holds them (and so do folders left by interrupted runs). By default a thread
    // removes them beside the work and run() waits for it; the window and the command line
    // give removeInDetachedProcess, so that neither waits.
    using FolderRemover = std::function<void(const std::filesystem::path&)>;
    void setOldCertificatesRemover(FolderRemover remover) { m_removeOld = std::move(remover); }

    // How the run's files (the certificates, the register, the template) get their bytes: by
    // default host::writeAll; a test hands one that fails midway, as a full disk does.
    void setByteWriter(host::ByteWriter writer) { m_writer = std::move(writer); }

    GenerateOutcome run();
    // What the last run made.
    const certificates::CertificateCounts& made() const { return m_made; }
    // What the register of the last run says: its certificates, and whether the statement's own
    // sums agree with its records (see reg::summaryLine). Empty when no register was written.
    const std::string& registerLine() const { return m_registerLine; }
    // The files and folders the last run removed with the old Form16A that Certwright had not
    // made there (a note, signed PDFs): the user is told, since Form16A is replaced whole.
    const std::vector<std::string>& removedOthers() const { return m_removedOthers; }

private:
    GenerateOutcome runPipeline();
    void writeRegister(std::uintmax_t textBytes, const import::Statement& statement,
                       const certificates::CertificatePlan& plan, const std::filesystem::path& folder);
    void report(std::string prompt, std::string title, core::Icon icon = core::Icon::Information);

    std::filesystem::path m_folder;
    core::Reporter& m_reporter;
    Guard m_guard;
    FolderRemover m_removeOld;
    host::ByteWriter m_writer;
    certificates::CertificateCounts m_made;
    std::string m_registerLine;
    std::vector<std::string> m_removedOthers;
};

// Removes a folder of old certificates in a process of its own, which outlives this one, so a
// run over 200,000 old certificates need not wait for each to be deleted; where no process can
// be started, here and now. What the command line and the window give setOldCertificatesRemover.
void removeInDetachedProcess(const std::filesystem::path& folder);

// The folder of the running program, where TDS.txt and TDS16A.xls are looked for; argv0 is
// the fallback where the platform cannot say.
std::filesystem::path applicationFolder(const char* argv0);

} // namespace cw::app
