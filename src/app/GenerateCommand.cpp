#include "app/GenerateCommand.h"

#include "app/AppFolderLock.h"
#include "certificates/OutputFolder.h"

#include "import/SheetCells.h"
#include "host/Error.h"
#include "import/DeductorRow.h"
#include "import/DeducteeRows.h"
#include "certificates/CertificateGenerator.h"
#include "import/StatementCheck.h"
#include "import/StatementImport.h"
#include "import/WorkSheets.h"
#include "core/PathText.h"

#include <QProcess>
#include <QString>

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

constexpr const char* kInvalidTitle = "Invalid Text File!";
constexpr const char* kPleasePutValid = "Please put a valid Form 26Q text file.";

// An engine message as a sentence of its own: capital first letter, one closing mark.
std::string sentence(std::string s)
{
    if (!s.empty() && s.front() >= 'a' && s.front() <= 'z')
        s.front() = static_cast<char>(s.front() - 'a' + 'A');
    if (!s.empty() && s.back() != '.' && s.back() != '?' && s.back() != '!')
        s += '.';
    return s;
}

// The reason part of an engine error, for "... cannot be opened (reason)."
std::string reason(const host::Error& e)
{
    std::string r = e.message();
    while (!r.empty() && r.back() == '.')
        r.pop_back();
    return r;
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
        report("Text file TDS not found at " + core::pathText(m_folder) + " .", "File Not Found!",
               Icon::Critical);
        return GenerateOutcome::EndProgram;
    }

    try {
        return runPipeline();
    } catch (const import::StatementError& e) {
        report(e.what(), kInvalidTitle);
    } catch (const host::Error& e) {
        report(sentence(e.what()), "Error!");
    } catch (const std::bad_alloc&) {
        report("There is not enough memory to generate the certificates from " +
                   core::pathText(m_folder / core::kStatementFile) + ".",
               "Error!");
    } catch (const std::exception& e) {
        report(sentence(e.what()), "Error!");
    }
    return GenerateOutcome::Failed;
}

GenerateOutcome GenerateCommand::runPipeline()
{
    import::GenerationContext ctx;
    ctx.appFolder = m_folder;
    ctx.reporter = &m_reporter;

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

    const fs::path templatePath = ctx.templatePath();
    const std::string templateText = core::pathText(templatePath);
    std::error_code ec;
    if (!fs::exists(templatePath, ec)) {
        report("The template workbook TDS16A.xls was not found in " + core::pathText(m_folder) + ".",
               "File Not Found!", Icon::Critical);
        return GenerateOutcome::Failed;
    }
    // What can be checked is checked before any work: the template can be saved, and Form16A
    // can be replaced by a fresh folder.
    try {
        host::Workbook::checkCanSave(templatePath);
    } catch (const host::Error& e) {
        report("The template workbook " + templateText + " cannot be saved: " + e.message() +
                   ". Certwright saves it at the end of every run; nothing was changed.",
               "Error!");
        return GenerateOutcome::Failed;
    }
    certificates::OutputFolderReplacement output(m_folder);

    host::Workbook workbook;
    try {
        workbook = host::Workbook::open(templatePath);
    } catch (const host::Error& e) {
        report("The template workbook " + templateText + " cannot be opened (" + reason(e) + ").",
               "Invalid Template File!");
        return GenerateOutcome::Failed;
    }
    ctx.workbook = &workbook;

    // Everything up to the save works on the workbook in memory: a run refused on the way
    // leaves the template file as it was.
    auto save = [&]() {
        try {
            workbook.save(templatePath);
            return true;
        } catch (const host::Error& e) {
            report("The template workbook " + templateText + " could not be saved (" + reason(e) + ").",
                   "Error!");
            return false;
        }
    };

    import::prepareWorkSheets(ctx);
    ctx.deductorSheet = &import::sheetByName(workbook, import::kDeductorSheet);
    ctx.deducteeSheet = &import::sheetByName(workbook, import::kDeducteeSheet);
    import::writeSheetHeadings(ctx);
    import::importStatement(ctx);

    // What is not an e-TDS statement at all is refused here, before the template is touched.
    const host::Sheet& text = import::sheetByName(workbook, import::kTextSheet);
    if (text.rowCount() == 0) {
        report("The text file " + core::pathText(ctx.statementPath()) + " is empty. " + kPleasePutValid,
               kInvalidTitle);
        return GenerateOutcome::Failed;
    }
    if (text.textAt(1, 1) != "BH") {
        report(std::string("Line 2 of TDS.txt is not a batch header record (BH). ") + kPleasePutValid,
               kInvalidTitle);
        return GenerateOutcome::Failed;
    }

    import::fillDeductorRow(ctx);

    if (const std::optional<std::string> refusal = import::otherFormRefusal(ctx)) {
        report(*refusal, kInvalidTitle);
        // The imported sheets stay in the template for the user to look at.
        return save() ? GenerateOutcome::InvalidStatement : GenerateOutcome::Failed;
    }

    import::checkStatement(ctx);
    import::fillDeducteeRows(ctx);
    if (m_observer)
        m_observer(ctx);

    // No deductee records: the message has been shown and the program ends, the template
    // unsaved and Form16A as it was.
    m_made = certificates::generateCertificates(ctx, output.folder());
    if (m_made.certificates == 0)
        return GenerateOutcome::EndProgram;

    if (!save())
        return GenerateOutcome::Failed;
    if (const fs::path old = output.commit(); !old.empty())
        removeOld(old);
    report("Certificates Successfully Generated and saved to " + core::pathText(ctx.outputFolder()),
           "Done!");
    return GenerateOutcome::Succeeded;
}

void removeInDetachedProcess(const fs::path& folder)
{
#ifdef _WIN32
    const bool started = QProcess::startDetached(QStringLiteral("cmd.exe"), {QStringLiteral("/d"), QStringLiteral("/c"),
        QStringLiteral("rd"), QStringLiteral("/s"), QStringLiteral("/q"), QString::fromStdWString(folder.wstring())});
#else
    const bool started = QProcess::startDetached(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"),
                                                                        QString::fromStdString(folder.string())});
#endif
    if (!started)
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
