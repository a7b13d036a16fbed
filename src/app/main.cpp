// certwright: with no command the main window; with a command, the same work headless.
#include "app/cli/AcknCli.h"
#include "app/cli/CheckCli.h"
#include "app/cli/CommandLineHelp.h"
#include "app/cli/GenerateCli.h"
#include "app/cli/Inspect.h"
#include "app/cli/MailCli.h"
#include "app/cli/PdfCli.h"
#include "app/cli/SignCli.h"
#ifdef CERTWRIGHT_WITH_PRINTER
#include "printing/gui/CertificatePrinter.h"
#include "printing/CertificateFolder.h"
#include "widgets/MessageBox.h"
#include "core/AppFiles.h"
#endif
#include "app/GenerateCommand.h"
#include "app/WorkingFolder.h"
#include "core/PathText.h"
#include "core/Version.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>

namespace {

// The working folder from the folder text of --folder ("" when not given): made and given its
// files on first start, unless it was given.
cw::app::WorkingFolder workingFolder(const std::string& given, const char* argv0)
{
    return cw::app::chooseWorkingFolder(given.empty() ? std::nullopt : std::optional(cw::core::pathFromText(given)),
                                        cw::app::runningProgramPlaces(argv0));
}

} // namespace

#ifdef CERTWRIGHT_WITH_GUI
#include "app/gui/MainWindow.h"
#ifdef CERTWRIGHT_WITH_PRINTER
#include "printing/gui/PrintDialog.h"
#endif
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QIcon>

namespace {

int runWindow(int argc, char** argv, const std::string& givenFolder)
{
    QApplication application(argc, argv);
    // The desktop entry's name ties the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.certwright.Certwright"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("certwright"), QIcon(QStringLiteral(":/certwright.png"))));
    const cw::app::WorkingFolder folder = workingFolder(givenFolder, argv[0]);
    if (folder.problem) {
        cw::widgets::MessageBox::show(nullptr, *folder.problem);
        return 1;
    }
    const std::filesystem::path appFolder = folder.path;
    cw::app::MainWindow window(appFolder);
#ifdef CERTWRIGHT_WITH_PRINTER
    window.setPrintWindowOpener([appFolder](QWidget* parent) {
        // Its PDF saves would go through a linked Form16A to wherever the link points.
        if (auto refusal = cw::printing::linkedFolderRefusal(appFolder / cw::core::kOutputFolder)) {
            cw::widgets::MessageBox::show(parent, cw::core::Message{*refusal, "Error!", cw::core::Icon::Critical});
            return;
        }
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
    CLI::App app{"Certwright: Form 16A certificates from a Form 26Q e-TDS statement", "certwright"};
    cw::app::useCommandListHelp(app);
    app.set_version_flag("--version", std::string("certwright ") + cw::core::kVersion, "Print the version and exit");
    app.footer("Without a command, certwright opens the main window.\n"
               "DIR, the working folder, holds TDS.txt and TDS16A.xls and receives Form16A. It is the\n"
               "program's own folder when that holds TDS16A.xls; otherwise Documents/Certwright in the\n"
               "user's home folder, made at first start with a copy of TDS16A.xls and of\n"
               "\"Read me First.txt\" (files already there are kept).");
    app.require_subcommand(0, 1);
    std::string folderOption;
    app.add_option("--folder", folderOption, "The working folder, for the window and every command")->type_name("DIR");

    std::string inspectPath;
    auto* inspect = app.add_subcommand("inspect", "List the sheets and non-empty cells of an .xls workbook");
    inspect->add_option("FILE", inspectPath, "The workbook")->required()->type_name("");

    std::string generateFolder;
    auto* generate = app.add_subcommand(
        "generate", "Generate the Form 16A certificates from TDS.txt and TDS16A.xls (exit status 0 on success)");
    generate->add_option("--folder", generateFolder, "The folder holding TDS.txt and TDS16A.xls")->type_name("DIR");

    std::string checkFolder;
    cw::app::CheckCliOptions checkOptions;
    auto* checkCommand = app.add_subcommand(
        "check", "Check TDS.txt before filing: its mistakes, the interest and the fee for late filing (exit status 0 "
                 "without errors, 1 with errors, 2 when it can't be read)");
    checkCommand->add_option("--folder", checkFolder, "The folder holding TDS.txt")->type_name("DIR");
    checkCommand->add_option("--filed", checkOptions.filedOn, "The date of filing the fee is counted to (dd/mm/yyyy)")
        ->type_name("DATE");
    checkCommand->add_option("--report", checkOptions.report, "Also write the findings and the summary to FILE.xls")
        ->type_name("FILE");

    std::string pdfFolder;
    cw::app::PdfCommand pdfCommand;
    auto* pdf = app.add_subcommand(
        "pdf", "Write Form16A/NNN.pdf beside each certificate workbook (all of them when no names are given)");
    pdf->add_option("--folder", pdfFolder, "The folder holding Form16A")->type_name("DIR");
    pdf->add_option("NAMES", pdfCommand.names, "Certificates as the print window lists them, e.g. 001 007")->type_name("");
    cw::app::addSigningOptions(pdf, pdfCommand.key, "Sign each PDF with the certificate and key of FILE.p12",
                               "--password-file", "Read the password or PIN from the first line of FILE");
    pdf->add_option("--merge", pdfCommand.mergedFile, "Write the certificates as one PDF file, in certificate order")
        ->type_name("FILE");
    pdf->add_flag("--protect", pdfCommand.protect, "Each PDF opens with its deductee's PAN (AES-256)");

    cw::app::SignCommand signCommand;
    auto* sign = app.add_subcommand(
        "sign", "Sign the Form 16A PDFs of a folder made elsewhere (the TDS portal's), found by the deductee's PAN in their text");
    sign->add_option("--pdfs", signCommand.pdfs, "The folder of certificate PDFs; they stay as they are")
        ->required()
        ->type_name("DIR");
    sign->add_option("--out", signCommand.out, "The folder for the signed PDFs (default: DIR/Signed)")->type_name("DIR");
    cw::app::addSigningOptions(sign, signCommand.key, "Sign with the certificate and key of FILE.p12",
                               "--sign-password-file", "Read the password or PIN of the key from the first line of FILE");
    sign->add_flag("--protect", signCommand.protect, "Each PDF opens with its deductee's PAN (AES-256)");
    sign->add_option("--sign-box", signCommand.signBox,
                     "Where the signature shows when the text does not say: page from 1, box in points from its lower left")
        ->type_name("PAGE:X,Y,W,H");
    sign->add_option("--input-password", signCommand.inputPasswordFile,
                     "Open encrypted PDFs with the password on the first line of FILE")
        ->type_name("FILE");

    std::string mailFolder;
    cw::app::MailCommand mailCommand;
    auto* mail = cw::app::addMailCommand(app, mailCommand, mailFolder);

#ifdef CERTWRIGHT_WITH_PRINTER
    std::string printFolder, printerName;
    std::vector<std::string> printNames;
    auto* print = app.add_subcommand(
        "print", "Print certificate workbooks of Form16A (all of them when no names are given), one job each");
    print->add_option("--folder", printFolder, "The folder holding Form16A")->type_name("DIR");
    print->add_option("--printer", printerName, "The printer's name (default: the system's default printer)")
        ->type_name("NAME");
    print->add_option("NAMES", printNames, "Certificates as the print window lists them, e.g. 001 007")->type_name("");
#endif
    std::string acknFolder;
    cw::app::AcknOptions acknOptions;
    auto* acknCommand = app.add_subcommand(
        "ackn", "Show or set the acknowledgement numbers, dates of filing and first certificate number");
    acknCommand->add_option("--folder", acknFolder, "The folder holding TDS16A.xls")->type_name("DIR");
    acknCommand->add_option("--serial", acknOptions.serial, "Certificate number to start from (0 to 999999)")
        ->type_name("N");
    for (std::size_t q = 0; q < 4; ++q) {
        const std::string n = std::to_string(q + 1);
        acknCommand->add_option("--prn" + n, acknOptions.prn[q], "Acknowledgement (PRN) number of quarter " + n)
            ->type_name("PRN");
        acknCommand->add_option("--date" + n, acknOptions.filedOn[q],
                                "Date of filing of quarter " + n + " (dd/mm/yyyy; empty to clear)")
            ->type_name("DATE");
    }

    for (CLI::App* command : app.get_subcommands({}))
        command->group("Commands");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with status 0; a usage error is a refusal before
        // any work, which the commands report as 2.
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

#ifdef CERTWRIGHT_WITH_GUI
    if (app.get_subcommands().empty())
        return runWindow(argc, argv, folderOption);
#endif
    if (*inspect)
        return cw::app::runInspect(inspectPath, std::cout, std::cerr);
    if (*sign) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::app::runSign(signCommand, std::cout, std::cerr);
    }

    // The command's own --folder, else the program's, else the working folder.
    std::string given = folderOption;
    for (const std::string* own : {&generateFolder, &checkFolder, &pdfFolder, &acknFolder, &mailFolder
#ifdef CERTWRIGHT_WITH_PRINTER
                                   , &printFolder
#endif
         })
        if (!own->empty())
            given = *own;
    const cw::app::WorkingFolder folder = workingFolder(given, argv[0]);
    if (folder.problem) {
        std::cerr << folder.problem->prompt << '\n';
        return 1;
    }

    if (*pdf) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::app::runPdf(folder.path, pdfCommand, std::cout, std::cerr);
    }
    if (*mail) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::app::runMail(folder.path, mailCommand, std::cout, std::cerr);
    }
#ifdef CERTWRIGHT_WITH_PRINTER
    if (*print) {
        auto session = cw::app::startGuiSession(argc, argv);
        return cw::printing::runPrintCommand(folder.path, printerName, printNames, std::cout, std::cerr);
    }
#endif
    if (*acknCommand)
        return cw::app::runAckn(folder.path, acknOptions, std::cout, std::cerr);
    if (*checkCommand)
        return cw::app::runCheck(folder.path, checkOptions, std::cout, std::cerr);
    if (*generate)
        return cw::app::runGenerate(folder.path, std::cout, std::cerr,
                                    cw::app::standardOutputIsTerminal() ? &std::cout : nullptr);

    std::cerr << "certwright: the window is not built yet; use a command (see --help)\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    return cw::app::exitStatusOf([&] { return runCertwright(argc, argv); }, std::cerr);
}
