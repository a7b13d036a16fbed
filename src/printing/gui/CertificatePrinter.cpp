#include "printing/gui/CertificatePrinter.h"
#include "core/AppFiles.h"

#include "host/Error.h"
#include "host/Workbook.h"
#include "printing/PrintingFailure.h"
#include "printing/WorkbookPrinter.h"
#include "core/PathText.h"

#include <QPrinter>
#include <QPrinterInfo>

#include <memory>
#include <ostream>
#include <system_error>

#ifdef CERTWRIGHT_HAVE_CUPS
#include <cups/cups.h>
#endif

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

#ifdef CERTWRIGHT_HAVE_CUPS
// Hands one job to the print system as a PDF document and waits for its answer. Printing
// through QPrinter never says whether the job was taken: a queue that refuses jobs would look
// like success. Throws with the print system's reason when the job is refused.
void submitJob(const QPrinter& printer, const std::string& title, const QByteArray& pdf)
{
    cups_option_t* options = nullptr;
    int count = cupsAddOption("copies", std::to_string(std::max(1, printer.copyCount())).c_str(), 0, &options);
    const char* sides = printer.duplex() == QPrinter::DuplexLongSide    ? "two-sided-long-edge"
                        : printer.duplex() == QPrinter::DuplexShortSide ? "two-sided-short-edge"
                                                                        : "one-sided";
    count = cupsAddOption("sides", sides, count, &options);
    if (printer.collateCopies())
        count = cupsAddOption("multiple-document-handling", "separate-documents-collated-copies", count, &options);
    if (printer.colorMode() == QPrinter::GrayScale)
        count = cupsAddOption("print-color-mode", "monochrome", count, &options);
    const QByteArray queue = printer.printerName().toLocal8Bit();
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), title.c_str(), count, options);
    cupsFreeOptions(count, options);
    auto refused = [&] {
        return printingFailure("the printer " + printer.printerName().toStdString() + " did not take the job (" +
                                  std::string(cupsLastErrorString()) + ")");
    };
    if (job == 0)
        throw refused();
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, title.c_str(), CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE ||
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), static_cast<std::size_t>(pdf.size())) != HTTP_STATUS_CONTINUE ||
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) != IPP_STATUS_OK) {
        const core::Failure error = refused();
        cupsCancelJob(queue.constData(), job);
        throw error;
    }
}
#endif

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
                const std::string title = "Form 16A " + name;
#ifdef CERTWRIGHT_HAVE_CUPS
                PdfBytesWriter job(title);
                const int pages = job.add(*book);
                for (const std::string& note : job.notes())
                    addNote(result.notes, note);
                submitJob(printer, title, job.finish());
                result.pages += pages;
#else
                printer.setDocName(QString::fromStdString(title));
                WorkbookPrinter job(printer);
                result.pages += job.addWorkbook(*book);
                for (const std::string& note : job.notes())
                    addNote(result.notes, note);
                if (!job.finish())
                    throw printingFailure("the printer did not accept the job");
#endif
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
    const fs::path outputFolder = appFolder / core::kOutputFolder;
    for (const std::string& name : names)
        if (!isCertificateName(name)) {
            err << "certwright print: \"" << name << "\" is not a certificate name; give names as the print window "
                << "lists them, e.g. 001\n";
            return 2;
        }
    if (std::optional<std::string> refusal = linkedFolderRefusal(outputFolder)) {
        err << "certwright print: " << *refusal << "\n";
        return 2;
    }
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
