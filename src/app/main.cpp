// certwright: with no arguments the main window; with a subcommand, the same work headless.
#include "app/cli/AcknCli.h"
#include "app/cli/GenerateCli.h"
#include "app/cli/Inspect.h"
#include "app/cli/PdfCli.h"
#ifdef CERTWRIGHT_WITH_PRINTER
#include "printing/gui/CertificatePrinter.h"
#endif
#include "app/GenerateCommand.h"

#include <CLI/CLI.hpp>

#include <iostream>

#ifdef CERTWRIGHT_WITH_GUI
#include "app/gui/MainWindow.h"
#ifdef CERTWRIGHT_WITH_PRINTER
#include "printing/gui/PrintDialog.h"
#endif

#include <QApplication>

namespace {

int runWindow(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Every file lives beside the executable, as installed.
    const std::filesystem::path appFolder = cw::app::applicationFolder(argv[0]);
    cw::app::MainWindow window(appFolder);
#ifdef CERTWRIGHT_WITH_PRINTER
    window.setPrintWindowOpener([appFolder](QWidget* parent) {
        cw::printing::PrintDialog print(appFolder, parent);
        print.exec();
    });
#endif
    int endCode = 0;
    QObject::connect(&window, &cw::app::MainWindow::programEnded, [&endCode](int code) { endCode = code; });
    window.show();
    const int code = QApplication::exec();
    return endCode != 0 ? endCode : code;
}

} // namespace
#endif

namespace {

int runCertwright(int argc, char** argv)
{
#ifdef CERTWRIGHT_WITH_GUI
    if (argc <= 1)
        return runWindow(argc, argv);
#endif
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
    cw::app::PdfCommand pdfCommand;
    auto* pdf = app.add_subcommand(
        "pdf", "Write Form16A/NNN.pdf beside each certificate workbook (all of them when no names are given)");
    pdf->add_option("--folder", pdfFolder, "The folder holding Form16A (default: the program's folder)");
    pdf->add_option("NAMES", pdfCommand.names, "Certificates as the print window lists them, e.g. 001 007");
    auto* signP12 = pdf->add_option("--sign", pdfCommand.pkcs12, "Sign each PDF with the certificate and key of FILE.p12");
    pdf->add_option("--sign-cert", pdfCommand.nickname, "Sign with the certificate of this nickname in an NSS database")
        ->excludes(signP12);
    pdf->add_option("--nss-dir", pdfCommand.nssDir, "The NSS database for --sign-cert (default: ~/.pki/nssdb)");
    pdf->add_option("--password-file", pdfCommand.passwordFile, "Read the password or PIN from the first line of FILE");
    pdf->add_option("--merge", pdfCommand.mergedFile, "Write the certificates as one PDF file, in certificate order");
    pdf->add_flag("--protect", pdfCommand.protect, "Each PDF opens with its deductee's PAN (AES-256)");

#ifdef CERTWRIGHT_WITH_PRINTER
    std::string printFolder, printerName;
    std::vector<std::string> printNames;
    auto* print = app.add_subcommand(
        "print", "Print certificate workbooks of Form16A (all of them when no names are given), one job each");
    print->add_option("--folder", printFolder, "The folder holding Form16A (default: the program's folder)");
    print->add_option("--printer", printerName, "The printer's name (default: the system's default printer)");
    print->add_option("NAMES", printNames, "Certificates as the print window lists them, e.g. 001 007");
#endif
    std::string acknFolder;
    cw::app::AcknOptions acknOptions;
    auto* acknCommand = app.add_subcommand(
        "ackn", "Show or set the acknowledgement numbers, dates of filing and first certificate number");
    acknCommand->add_option("--folder", acknFolder, "The folder holding TDS16A.xls (default: the program's folder)");
    acknCommand->add_option("--serial", acknOptions.serial, "Certificate number to start from (0 to 999999)");
    for (std::size_t q = 0; q < 4; ++q) {
        const std::string n = std::to_string(q + 1);
        acknCommand->add_option("--prn" + n, acknOptions.prn[q], "Acknowledgement (PRN) number of quarter " + n);
        acknCommand->add_option("--date" + n, acknOptions.filedOn[q],
                                "Date of filing of quarter " + n + " (dd/mm/yyyy; empty to clear)");
    }

    CLI11_PARSE(app, argc, argv);

    if (*pdf) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::app::runPdf(pdfFolder.empty() ? cw::app::applicationFolder(argv[0]) : std::filesystem::path(pdfFolder),
                               pdfCommand, std::cout, std::cerr);
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
    if (*acknCommand)
        return cw::app::runAckn(acknFolder.empty() ? cw::app::applicationFolder(argv[0])
                                                   : std::filesystem::path(acknFolder),
                                acknOptions, std::cout, std::cerr);
    if (*generate)
        return cw::app::runGenerate(generateFolder.empty() ? cw::app::applicationFolder(argv[0])
                                                           : std::filesystem::path(generateFolder),
                                    std::cout, std::cerr,
                                    cw::app::standardOutputIsTerminal() ? &std::cout : nullptr);

    std::cerr << "certwright: the window is not built yet; use a subcommand (see --help)\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    return cw::app::exitStatusOf([&] { return runCertwright(argc, argv); }, std::cerr);
}
