#include "app/cli/AcknCli.h"
#include "core/AppFiles.h"

#include "ackn/AcknRegister.h"
#include "app/AppFolderLock.h"
#include "app/TemplateInUseGuard.h"
#include "certificates/OutputFolder.h"
#include "core/PathText.h"
#include "host/Error.h"
#include "host/SafeWrite.h"
#include "host/Workbook.h"

#include <iomanip>

namespace cw::app {

namespace {

// The option that sets the box a problem names (boxes 1..9 as the dialog numbers them).
std::string optionOfBox(int box)
{
    if (box >= 1 && box <= 4)
        return "--prn" + std::to_string(box);
    if (box >= 5 && box <= 8)
        return "--date" + std::to_string(box - 4);
    return "--serial";
}

void print(const ackn::AcknEntries& e, std::ostream& out)
{
    out << "Certificate number to start from: " << e.serial << '\n'
        << std::left << std::setw(9) << "Quarter" << std::setw(28) << "Acknowledgement (PRN) No."
        << "Date of filing (dd/mm/yyyy)\n";
    for (std::size_t q = 0; q < 4; ++q)
        out << std::setw(9) << q + 1 << std::setw(28) << e.prn[q] << e.filedOn[q] << '\n';
    out << std::right;
}

} // namespace

bool AcknOptions::anyValue() const
{
    if (serial)
        return true;
    for (std::size_t q = 0; q < 4; ++q)
        if (prn[q] || filedOn[q])
            return true;
    return false;
}

int runAckn(const std::filesystem::path& folder, const AcknOptions& options, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    const std::filesystem::path templatePath = std::filesystem::absolute(folder / core::kTemplateFile, ec).lexically_normal();
    try {
        if (!options.anyValue()) {
            print(ackn::loadAcknRegister(templatePath), out);
            return 0;
        }
        // One writing command per folder, from before the read: a generate or another ackn
        // running there would save its older copy of the template over these entries, or these
        // over its own.
        const AppFolderLock lock(folder);
        if (lock.refusal()) {
            err << lock.refusal()->prompt << "\nNothing was saved.\n";
            return 1;
        }
        ackn::AcknEntries entries = ackn::loadAcknRegister(templatePath);
        if (options.afterRead)
            options.afterRead();
        // Writing under a spreadsheet program that holds the template would be lost on its save.
        if (auto inUse = templateInUse("TDS16A", templatePath)) {
            err << inUse->prompt << "\nNothing was saved.\n";
            return 1;
        }
        for (const std::filesystem::path& left : certificates::clearLeftovers(folder))
            certificates::removeRunFolder(left);
        try {
            host::checkCanReplace(templatePath);
        } catch (const host::Error& e) {
            err << "The template workbook " << core::pathText(templatePath) << " cannot be saved: " << e.message()
                << ".\nNothing was saved.\n";
            return 1;
        }
        if (options.serial)
            entries.serial = *options.serial;
        for (std::size_t q = 0; q < 4; ++q) {
            if (options.prn[q])
                entries.prn[q] = *options.prn[q];
            if (options.filedOn[q])
                entries.filedOn[q] = *options.filedOn[q];
        }
        if (auto problem = ackn::saveAcknRegister(templatePath, entries)) {
            err << optionOfBox(problem->box) << ": " << problem->message << "\nNothing was saved.\n";
            return 1;
        }
        out << "Saved in " << core::pathText(templatePath) << ":\n";
        print(ackn::loadAcknRegister(templatePath), out);
        return 0;
    } catch (const host::Error& e) {
        err << e.what() << '\n';
        return 1;
    }
}

} // namespace cw::app
