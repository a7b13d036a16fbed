#include "app/GenerateCommand.h"

#include "app/AppFolderLock.h"
#include "certificates/OutputFolder.h"

#include "ackn/AcknRegister.h"
#include "certificates/CertificateGenerator.h"
#include "core/AppFiles.h"
#include "core/CertificateLayout.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/SafeWrite.h"
#include "import/Statement.h"
#include "import/WorkSheets.h"

#include "register/Register.h"

#include <QDateTime>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace cw::app {

using core::Icon;

namespace {

// What a Form16A holds that Certwright did not put there: anything but its certificates and
// their PDFs (digits only), the register and its own temporary files.
std::vector<std::string> notMadeHere(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = core::pathText(it->path().filename());
        const std::size_t dot = name.rfind('.');
        const std::string stem = name.substr(0, dot), extension = dot == std::string::npos ? "" : name.substr(dot);
        const bool certificate = !stem.empty() && stem.find_first_not_of("0123456789") == std::string::npos &&
                                 (extension == ".xls" || extension == ".pdf");
        if (!certificate && name != core::kRegisterFile && name.rfind(".~", 0) != 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The reason part of an engine error, for "... cannot be opened (reason)."
std::string reason(const host::Error& e)
{
    std::string r = e.message();
    while (!r.empty() && r.back() == '.')
        r.pop_back();
    return r;
}

// The acknowledgement register of the template: the first serial number, read by the
// register's own rule, and the quarters' numbers and dates of filing.
void readRegister(const host::Workbook& workbook, const fs::path& templatePath, certificates::CertificateRun& run)
{
    const std::string shown = core::pathText(templatePath);
    if (!workbook.findSheet(core::layout::kAcknSheet))
        throw core::Failure("The template workbook " + shown + " has no sheet \"" +
                                std::string(core::layout::kAcknSheet) + "\".",
                            core::kErrorTitle);
    const ackn::AcknEntries entries = ackn::readAcknEntries(workbook, templatePath);
    const std::optional<int> serial = ackn::serialNumber(entries.serial);
    if (!serial)
        throw core::Failure("The template workbook " + shown + " holds \"" + entries.serial + "\" in cell " +
                                std::string(core::layout::ackn::kFirstSerial.a1) + " of sheet \"" +
                                std::string(core::layout::kAcknSheet) +
                                "\", which is not a certificate serial number: the first serial number is a whole "
                                "number from 0 to " + std::to_string(ackn::kLargestSerial) + ".",
                            core::kErrorTitle);
    run.firstSerial = *serial;
    for (std::size_t q = 0; q < run.quarters.size(); ++q)
        run.quarters[q] = {entries.prn[q], entries.filedOn[q]};
}

fs::path normalizedFolder(fs::path folder)
{
    std::error_code ec;
    fs::path abs = fs::absolute(folder, ec);
    if (!ec)
        folder = abs;
    folder = folder.lexically_normal();
    if (!folder.has_filename() && folder.has_relative_path())
        folder = folder.parent_path(); // no trailing separator in messages
    return folder.make_preferred();
}

} // namespace

GenerateCommand::GenerateCommand(fs::path appFolder, core::Reporter& reporter, Guard guard)
    : m_folder(normalizedFolder(std::move(appFolder)))
    , m_reporter(reporter)
    , m_guard(std::move(guard))
{
}

void GenerateCommand::report(std::string prompt, std::string title, Icon icon)
{
    m_reporter.message(core::Message{std::move(prompt), std::move(title), icon});
}

GenerateOutcome GenerateCommand::run()
{
    // One writing command per application folder: a second one changes nothing.
    const AppFolderLock lock(m_folder);
    if (lock.refusal()) {
        m_reporter.message(*lock.refusal());
        return GenerateOutcome::Failed;
    }
    if (m_guard) {
        if (std::optional<core::Message> inUse = m_guard()) {
            m_reporter.message(*inUse);
            return GenerateOutcome::EndProgram;
        }
    }

    // Only a plain file counts: a folder of that name is no statement, and a pipe would block.
    std::error_code ec;
    if (!fs::is_regular_file(m_folder / core::kStatementFile, ec)) {
        report("Text file TDS not found at " + core::pathText(m_folder) + " .", core::kFileNotFoundTitle,
               Icon::Critical);
        return GenerateOutcome::EndProgram;
    }

    try {
        return runPipeline();
    } catch (const core::Failure& e) {
        m_reporter.message(e.message());
    } catch (const host::Error& e) {
        report(e.what(), core::kErrorTitle);
    } catch (const std::bad_alloc&) {
        report("There is not enough memory to generate the certificates from " +
                   core::pathText(m_folder / core::kStatementFile) + ".",
               core::kErrorTitle);
    } catch (const std::exception& e) {
        report("Certwright could not generate the certificates: " + std::string(e.what()) + ".", core::kErrorTitle);
    }
    return GenerateOutcome::Failed;
}

// The register goes into the run's folder with the certificates, so it is swapped in with them
// and never describes another run. Certificates that do not carry what the records hold can only
// be a fault of ours: the run then fails and Form16A stays as it was.
void GenerateCommand::writeRegister(std::uintmax_t textBytes, const import::Statement& statement,
                                    const certificates::CertificatePlan& plan, const fs::path& folder)
{
    reg::RegisterRun run;
    run.statement = &statement;
    run.plan = &plan;
    run.made = &m_made;
    run.statementName = std::string(core::kStatementFile);
    run.writer = m_writer;
    std::error_code ec;
    run.statementBytes = fs::file_size(m_folder / core::kStatementFile, ec);
    if (ec)
        run.statementBytes = textBytes;
    run.runTime = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString();
    const reg::Reconciliation r = reg::reconcile(run);
    if (!r.certificateDifferences.empty()) {
        std::string what;
        for (const std::string& d : r.certificateDifferences)
            what += (what.empty() ? "" : "; ") + d;
        throw core::Failure("The certificates do not carry what the statement's deductee records hold (" + what +
                                "). This is a fault of Certwright, not of the statement; nothing was changed and "
                                "Form16A keeps the certificates of the last complete run.",
                            core::kErrorTitle);
    }
    reg::writeRegister(folder / reg::kRegisterFile, run, r);
    m_registerLine = reg::summaryLine(run, r);
}

GenerateOutcome GenerateCommand::runPipeline()
{
    m_registerLine.clear();
    m_removedOthers.clear();
    // What interrupted runs left goes; their folders meanwhile, as the old certificates do.
    std::vector<std::jthread> removals;
    auto removeOld = [&](const fs::path& folder) {
        if (m_removeOld)
            m_removeOld(folder);
        else
            removals.emplace_back([folder] { certificates::removeRunFolder(folder); });
    };
    for (const fs::path& folder : certificates::clearLeftovers(m_folder))
        removeOld(folder);

    const fs::path templatePath = m_folder / core::kTemplateFile;
    const std::string templateText = core::pathText(templatePath);
    std::error_code ec;
    if (!fs::exists(templatePath, ec)) {
        report("The template workbook " + std::string(core::kTemplateFile) + " was not found in " +
                   core::pathText(m_folder) + ".",
               core::kFileNotFoundTitle, Icon::Critical);
        return GenerateOutcome::Failed;
    }
    // What can be checked is checked before any work: the template can be saved, and Form16A
    // can be replaced by a fresh folder.
    try {
        host::checkCanReplace(templatePath);
    } catch (const host::Error& e) {
        report("The template workbook " + templateText + " cannot be saved: " + e.message() +
                   ". Certwright saves it at the end of every run; nothing was changed.",
               core::kErrorTitle);
        return GenerateOutcome::Failed;
    }
    certificates::OutputFolderReplacement output(m_folder);

    host::Workbook workbook;
    try {
        workbook = host::Workbook::open(templatePath);
    } catch (const host::Error& e) {
        report("The template workbook " + templateText + " cannot be opened (" + reason(e) + ").",
               core::kInvalidTemplateTitle);
        return GenerateOutcome::Failed;
    }
    // Its drawing records go unread into every certificate and into the saved template.
    if (const std::optional<std::string> damage = workbook.drawingDamage()) {
        report("The template workbook " + templateText + " cannot be used: " + *damage +
                   ". Open it in a spreadsheet program and save it again, or use a fresh copy of TDS16A.xls.",
               core::kInvalidTemplateTitle);
        return GenerateOutcome::Failed;
    }
    // Everything up to the save works on the workbook in memory: a run refused on the way
    // leaves the template file as it was.
    auto save = [&]() {
        try {
            workbook.save(templatePath, host::SaveMode::Durable, m_writer);
            return true;
        } catch (const host::Error& e) {
            report("The template workbook " + templateText + " could not be saved (" + reason(e) + ").",
                   core::kErrorTitle);
            return false;
        }
    };

    std::optional<import::StatementText> text(import::StatementText::read(m_folder / core::kStatementFile));
    if (const std::optional<std::string> refusal = import::otherFormRefusal(import::statementKind(*text))) {
        // The statement as the spreadsheet shows it stays in the template for the user to look at.
        import::writeWorkSheets(workbook, *text);
        report(*refusal, core::kInvalidStatementTitle);
        return save() ? GenerateOutcome::InvalidStatement : GenerateOutcome::Failed;
    }
    const import::Statement statement = import::readStatement(*text);
    // The records keep their own texts: the statement's bytes and fields go before the
    // certificates are made, which is when a large run needs its memory.
    const std::uintmax_t textBytes = text->byteCount();
    text.reset();

    certificates::CertificateRun run;
    run.statement = &statement;
    run.templatePath = templatePath;
    run.folder = output.folder();
    run.shownFolder = m_folder / core::kOutputFolder;
    run.reporter = &m_reporter;
    run.writer = m_writer;
    readRegister(workbook, templatePath, run);
    const certificates::CertificatePlan plan = certificates::planCertificates(statement);
    run.plan = &plan;

    // No deductee records: the message is shown and the program ends, the template unsaved and
    // Form16A as it was.
    m_made = certificates::generateCertificates(workbook, run);
    if (m_made.certificates == 0) {
        report("No deductee records found. Please re-import the file.", "No data found!");
        return GenerateOutcome::EndProgram;
    }

    writeRegister(textBytes, statement, plan, output.folder());

    if (!save())
        return GenerateOutcome::Failed;
    if (const fs::path old = output.commit(); !old.empty()) {
        m_removedOthers = notMadeHere(old);
        removeOld(old);
    }
    report("Certificates Successfully Generated and saved to " + core::pathText(run.shownFolder), "Done!");
    return GenerateOutcome::Succeeded;
}

void removeInDetachedProcess(const fs::path& folder)
{
    QProcess removal;
#ifdef _WIN32
    removal.setProgram(QStringLiteral("cmd.exe"));
    removal.setArguments({QStringLiteral("/d"), QStringLiteral("/c"), QStringLiteral("rd"), QStringLiteral("/s"),
                          QStringLiteral("/q"), QString::fromStdWString(folder.wstring())});
#else
    removal.setProgram(QStringLiteral("rm"));
    removal.setArguments({QStringLiteral("-rf"), QStringLiteral("--"), QString::fromStdString(folder.string())});
#endif
    // Not the caller's standard streams: `$(certwright generate)` would wait for the removal.
    removal.setStandardInputFile(QProcess::nullDevice());
    removal.setStandardOutputFile(QProcess::nullDevice());
    removal.setStandardErrorFile(QProcess::nullDevice());
    if (!removal.startDetached())
        certificates::removeRunFolder(folder);
}

fs::path applicationFolder(const char* argv0)
{
    std::error_code ec;
#if defined(_WIN32)
    std::wstring buf(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n > 0 && n < buf.size()) {
        buf.resize(n);
        return fs::path(buf).parent_path();
    }
#elif defined(__linux__)
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
#endif
    if (argv0 && *argv0) {
        const fs::path p = fs::absolute(fs::path(argv0), ec);
        if (!ec)
            return p.parent_path();
    }
    return fs::current_path(ec);
}

} // namespace cw::app
