#include "app/cli/PdfCli.h"

#include "printing/CertificateFolder.h"
#include "core/PathText.h"

#include <QGuiApplication>

#include <cstdlib>
#include <ostream>

namespace cw::app {

std::unique_ptr<QGuiApplication> startGuiSession(int& argc, char** argv)
{
#if defined(__linux__)
    // Without an X or Wayland display the default platform plugin cannot start.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
}

int runPdf(const std::filesystem::path& appFolder, const std::vector<std::string>& names, std::ostream& out,
           std::ostream& err)
{
    const std::filesystem::path outputFolder = appFolder / "Form16A";
    std::vector<std::string> list = names.empty() ? printing::printListNames(outputFolder) : names;
    if (list.empty()) {
        err << "certwright pdf: no certificates in " << core::pathText(outputFolder) << "\n";
        return 2;
    }
    printing::BatchResult result = printing::writeCertificatePdfs(outputFolder, list);
    for (const std::string& name : result.done)
        out << core::pathText(outputFolder / core::pathFromText(name + ".pdf")) << "\n";
    out << result.done.size() << " PDF file(s), " << result.pages << " page(s)\n";
    for (const std::string& note : result.notes)
        err << note << "\n";
    if (!result.skipped.empty()) {
        err << printing::skippedPrompt(result.skipped, "written as PDF") << "\n";
        return 1;
    }
    return 0;
}

} // namespace cw::app
