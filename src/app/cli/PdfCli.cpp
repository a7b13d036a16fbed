#include "app/cli/PdfCli.h"
#include "core/AppFiles.h"

#include "app/AppFolderLock.h"
#include "core/Failure.h"
#include "core/PathText.h"
#include "printing/CertificateFolder.h"
#include "printing/CertificatePdfs.h"
#include "printing/PdfSigner.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace cw::app {

namespace {

constexpr const char* kNoTerminal = "the password is read from a terminal or from --password-file FILE";

bool standardInputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

// Reads a line from the terminal without showing it.
std::string readHidden(const std::string& prompt, std::ostream& err)
{
    err << prompt << std::flush;
    std::string line;
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    SetConsoleMode(in, mode & ~ENABLE_ECHO_INPUT);
    std::getline(std::cin, line);
    SetConsoleMode(in, mode);
#else
    termios old{};
    const bool terminal = tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::getline(std::cin, line);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
#endif
    err << "\n";
    return line;
}

} // namespace

std::string readFirstLine(const fs::path& file)
{
    // A folder opens as a stream on some systems and reads as an empty line, which would then be
    // tried as the password and called wrong.
    std::error_code ec;
    if (fs::is_directory(file, ec))
        throw core::Failure(core::pathText(file) + " is a folder, not a file holding the password", core::kErrorTitle);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw core::Failure(core::pathText(file) + (fs::exists(file, ec) ? " cannot be read" : " does not exist"), core::kErrorTitle);
    std::string line;
    std::getline(in, line);
    if (in.bad())
        throw core::Failure(core::pathText(file) + " cannot be read", core::kErrorTitle);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string readSecret(const fs::path& passwordFile, const std::string& prompt, const std::string& noTerminal,
                       std::ostream& err)
{
    if (!passwordFile.empty())
        return readFirstLine(passwordFile);
    if (!standardInputIsTerminal())
        throw core::Failure(noTerminal, core::kErrorTitle);
    return readHidden(prompt, err);
}

std::unique_ptr<printing::PdfSigner> makeSigner(const SigningKey& command, std::ostream& err)
{
    if (!command.pkcs12.empty())
        return printing::PdfSigner::fromPkcs12(command.pkcs12,
                                               readSecret(command.passwordFile, "Password of " + core::pathText(command.pkcs12) + ": ", kNoTerminal, err));
    if (!command.nickname.empty())
        return printing::PdfSigner::fromNssCertificate(command.nickname, command.nssDir,
                                                       readSecret(command.passwordFile, "PIN for \"" + command.nickname + "\": ", kNoTerminal, err));
    return nullptr;
}

std::unique_ptr<QGuiApplication> startGuiSession(int& argc, char** argv)
{
#if defined(__linux__)
    // Without an X or Wayland display the default platform plugin cannot start.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
}

int runPdf(const fs::path& appFolder, const PdfCommand& command, std::ostream& out, std::ostream& err)
{
    const fs::path outputFolder = appFolder / core::kOutputFolder;
    for (const std::string& name : command.names)
        if (!printing::isCertificateName(name)) {
            err << "certwright pdf: \"" << name << "\" is not a certificate name; give names as the print window "
                << "lists them, e.g. 001\n";
            return 2;
        }
    if (std::optional<std::string> refusal = printing::linkedFolderRefusal(outputFolder)) {
        err << "certwright pdf: " << *refusal << "\n";
        return 2;
    }
    std::vector<std::string> list = command.names.empty() ? printing::printListNames(outputFolder) : command.names;
    if (list.empty()) {
        err << "certwright pdf: no certificates in " << core::pathText(outputFolder) << "\n";
        return 2;
    }
    // The PDFs go into Form16A, which a generate running meanwhile would replace under us.
    const AppFolderLock lock(appFolder);
    if (lock.refusal()) {
        err << lock.refusal()->prompt << "\nNo PDF was written.\n";
        return 1;
    }
    printing::PdfRunResult result;
    try {
        const std::unique_ptr<printing::PdfSigner> signer = makeSigner(command.key, err);
        printing::PdfRunOptions options;
        options.mergedFile = command.mergedFile;
        options.protect = command.protect;
        options.signer = signer.get();
        result = printing::writeCertificatePdfs(outputFolder, list, options);
    } catch (const std::exception& e) {
        err << "certwright pdf: " << e.what() << "\n";
        return 2;
    }
    for (const fs::path& file : result.files)
        out << core::pathText(file) << "\n";
    if (command.mergedFile.empty())
        out << result.done.size() << " PDF file(s), " << result.pages << " page(s)\n";
    else
        out << result.done.size() << " certificate(s), " << result.pages << " page(s) in one PDF file\n";
    for (const std::string& note : result.notes)
        err << note << "\n";
    if (!result.skipped.empty()) {
        err << printing::skippedPrompt(result.skipped, "written as PDF") << "\n";
        return 1;
    }
    return 0;
}

} // namespace cw::app
