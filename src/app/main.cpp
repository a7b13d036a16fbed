// certwright: with no arguments the main window; with a subcommand, the same work headless.
#include "cli/GenerateCli.h"
#include "cli/Inspect.h"
#include "cli/PdfCli.h"
#ifdef CERTWRIGHT_WITH_PRINTER
#include "CertificatePrinter.h"
#endif
#include "Generate.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"Certwright: Form 16A certificates from a Form 26Q e-TDS statement", "certwright"};
    app.require_subcommand(0, 1);

    std::string inspectPath;
    auto* inspect = app.add_subcommand("inspect", "List the sheets and non-empty cells of an .xls workbook");
    inspect->add_option("FILE", inspectPath, "The workbook")->required();

    std::string generateFolder;
    auto* generate = app.add_subcommand(
        "generate", "Generate the Form 16A certificates from TDS.txt and TDS16A.xls (exit status 0 on success)");
    generate->add_option("--folder", generateFolder,
                         "The folder holding TDS.txt and TDS16A.xls (default: the program's folder)");

    std::string pdfFolder;
    std::vector<std::string> pdfNames;
    auto* pdf = app.add_subcommand(
        "pdf", "Write Form16A/NNN.pdf beside each certificate workbook (all of them when no names are given)");
    pdf->add_option("--folder", pdfFolder, "The folder holding Form16A (default: the program's folder)");
    pdf->add_option("NAMES", pdfNames, "Certificates as the print window lists them, e.g. 001 007");

#ifdef CERTWRIGHT_WITH_PRINTER
    std::string printFolder, printerName;
    std::vector<std::string> printNames;
    auto* print = app.add_subcommand(
        "print", "Print certificate workbooks of Form16A (all of them when no names are given), one job each");
    print->add_option("--folder", printFolder, "The folder holding Form16A (default: the program's folder)");
    print->add_option("--printer", printerName, "The printer's name (default: the system's default printer)");
    print->add_option("NAMES", printNames, "Certificates as the print window lists them, e.g. 001 007");
#endif

    CLI11_PARSE(app, argc, argv);

    if (*pdf) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::app::runPdf(pdfFolder.empty() ? cw::app::applicationFolder(argv[0]) : std::filesystem::path(pdfFolder),
                               pdfNames, std::cout, std::cerr);
    }
#ifdef CERTWRIGHT_WITH_PRINTER
    if (*print) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::printing::runPrintCommand(
            printFolder.empty() ? cw::app::applicationFolder(argv[0]) : std::filesystem::path(printFolder), printerName,
            printNames, std::cout, std::cerr);
    }
#endif

    if (*inspect)
        return cw::app::runInspect(inspectPath, std::cout, std::cerr);
    if (*generate)
        return cw::app::runGenerate(generateFolder.empty() ? cw::app::applicationFolder(argv[0])
                                                           : std::filesystem::path(generateFolder),
                                    std::cout, std::cerr);

    std::cerr << "certwright: the window is not built yet; use a subcommand (see --help)\n";
    return 2;
}
