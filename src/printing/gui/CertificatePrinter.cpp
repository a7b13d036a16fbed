#include "printing/gui/CertificatePrinter.h"

#include "host/Error.h"
#include "host/Workbook.h"
#include "printing/WorkbookPrinter.h"
#include "core/PathText.h"

#include <QPrinter>
#include <QPrinterInfo>

#include <memory>
#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

namespace cw::printing {

namespace {

// Opens a certificate; nullptr and a reason when it cannot be read.
std::unique_ptr<host::Workbook> openCertificate(const fs::path& outputFolder, const std::string& name,
                                                std::vector<Skipped>& skipped)
{
    const fs::path file = certificatePath(outputFolder, name);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        skipped.push_back({name, "there is no file " + core::pathText(file.filename())});
        return nullptr;
    }
    try {
        return std::make_unique<host::Workbook>(host::Workbook::open(file));
    } catch (const host::Error& e) {
        skipped.push_back({name, e.message()});
    } catch (const std::exception& e) {
        skipped.push_back({name, e.what()});
    }
    return nullptr;
}

} // namespace

BatchResult printCertificates(QPrinter& printer, const fs::path& outputFolder, const std::vector<std::string>& names)
{
    BatchResult result;
    printer.setFullPage(true);
    const bool oneFile = printer.outputFormat() == QPrinter::PdfFormat;

    std::unique_ptr<WorkbookPrinter> document;
    for (const std::string& name : names) {
        std::unique_ptr<host::Workbook> book = openCertificate(outputFolder, name, result.skipped);
        if (!book)
            continue;
        try {
            if (!oneFile) {
                printer.setDocName(QStringLiteral("Form 16A %1").arg(QString::fromStdString(name)));
                WorkbookPrinter job(printer);
                result.pages += job.addWorkbook(*book);
                for (const std::string& note : job.notes())
                    addNote(result.notes, note);
                if (!job.finish())
                    throw std::runtime_error("the printer did not accept the job");
            } else {
                if (!document) {
                    printer.setDocName(QStringLiteral("Form 16A certificates"));
                    document = std::make_unique<WorkbookPrinter>(printer);
                }
                result.pages += document->addWorkbook(*book);
                for (const std::string& note : document->notes())
                    addNote(result.notes, note);
            }
            result.done.push_back(name);
        } catch (const std::exception& e) {
            result.skipped.push_back({name, e.what()});
        }
    }
    if (document && !document->finish()) {
        for (const std::string& name : result.done)
            result.skipped.push_back({name, "the PDF file could not be written"});
        result.done.clear();
    }
    return result;
}

int runPrintCommand(const fs::path& appFolder, const std::string& printerName, const std::vector<std::string>& names,
                    std::ostream& out, std::ostream& err)
{
    const fs::path outputFolder = appFolder / "Form16A";
    std::vector<std::string> list = names.empty() ? printListNames(outputFolder) : names;
    if (list.empty()) {
        err << "certwright print: no certificates in " << core::pathText(outputFolder) << "\n";
        return 2;
    }
    QPrinterInfo info = printerName.empty() ? QPrinterInfo::defaultPrinter()
                                            : QPrinterInfo::printerInfo(QString::fromStdString(printerName));
    if (info.isNull()) {
        if (printerName.empty())
            err << "certwright print: there is no default printer; name one with --printer\n";
        else
            err << "certwright print: there is no printer named \"" << printerName << "\"\n";
        return 2;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    BatchResult result = printCertificates(printer, outputFolder, list);
    for (const std::string& name : result.done)
        out << name << "\n";
    out << result.done.size() << " certificate(s), " << result.pages << " page(s) sent to "
        << info.printerName().toStdString() << "\n";
    for (const std::string& note : result.notes)
        err << note << "\n";
    if (!result.skipped.empty()) {
        err << skippedPrompt(result.skipped) << "\n";
        return 1;
    }
    return 0;
}

} // namespace cw::printing
