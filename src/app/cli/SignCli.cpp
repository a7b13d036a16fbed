#include "app/cli/SignCli.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "signing/FolderSigning.h"
#include "printing/PdfSigner.h"

#include <optional>
#include <ostream>

namespace fs = std::filesystem;

namespace cw::app {

int runSign(const SignCommand& command, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    if (!fs::is_directory(command.pdfs, ec)) {
        err << "certwright sign: there is no folder " << core::pathText(command.pdfs) << "\n";
        return 2;
    }
    const std::optional<signing::SignBox> box = command.signBox.empty() ? std::nullopt : signing::parseSignBox(command.signBox);
    if (!command.signBox.empty() && !box) {
        err << "certwright sign: --sign-box \"" << command.signBox
            << "\" is not PAGE:X,Y,W,H (a page from 1, a box in points from its lower left, e.g. 1:380,60,180,40)\n";
        return 2;
    }
    const std::vector<fs::path> files = signing::pdfFilesIn(command.pdfs);
    if (files.empty()) {
        err << "certwright sign: no PDF files in " << core::pathText(command.pdfs) << "\n";
        return 2;
    }
    const fs::path outFolder = command.out.empty() ? command.pdfs / "Signed" : command.out;
    std::unique_ptr<printing::PdfSigner> signer;
    std::string inputPassword;
    try {
        if (command.key.pkcs12.empty() && command.key.nickname.empty())
            throw core::Failure("give the signing key with --sign FILE.p12 or --sign-cert NICKNAME", core::kErrorTitle);
        if (!command.inputPasswordFile.empty())
            inputPassword = readFirstLine(command.inputPasswordFile);
        fs::create_directories(outFolder, ec);
        if (!fs::is_directory(outFolder, ec))
            throw core::Failure("the folder " + core::pathText(outFolder) + " cannot be made", core::kErrorTitle);
        signer = makeSigner(command.key, err);
    } catch (const std::exception& e) {
        err << "certwright sign: " << e.what() << "\n";
        return 2;
    }
    const signing::PdfPreparation how{signer.get(), command.protect, box, inputPassword};
    std::size_t refused = 0;
    for (const signing::SignedFile& f : signing::signFiles(files, outFolder, how)) {
        if (f.refusal.empty())
            out << core::pathText(f.target) << ": " << f.fields << "\n";
        else
            ++refused, err << f.refusal << "\n";
    }
    out << files.size() - refused << " of " << files.size() << " PDF file(s) signed into " << core::pathText(outFolder) << "\n";
    if (refused)
        err << refused << " PDF file(s) refused; the others were signed\n";
    return refused ? 1 : 0;
}

} // namespace cw::app
