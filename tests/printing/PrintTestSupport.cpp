#include "PrintTestSupport.h"

#include "TestSupport.h"
#include "Template.h"
#include "app/GenerateCommand.h"

#include <QGuiApplication>
#include <QRegularExpression>

#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace cw::printing::test {

void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "certwright-test";
    static char* argv[] = {name, nullptr};
    // Shared by all tests, and destroyed at exit so that Qt releases its font caches.
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

fs::path freshFolder(const std::string& purpose)
{
    static std::vector<std::unique_ptr<cw::test::TempFolder>> folders;
    return folders.emplace_back(std::make_unique<cw::test::TempFolder>(purpose))->path();
}

fs::path generateSampleCertificates(const fs::path& appFolder)
{
    fs::create_directories(appFolder);
    fs::copy_file(fs::path(CERTWRIGHT_SOURCE_DIR) / "template" / "sample" / "TDS.txt", appFolder / "TDS.txt",
                  fs::copy_options::overwrite_existing);
    tmpl::buildTemplate().save(appFolder / "TDS16A.xls");
    cw::test::RecordingReporter reporter;
    if (app::GenerateCommand(appFolder, reporter).run() != app::GenerateOutcome::Succeeded)
        throw std::runtime_error("the sample statement gave no certificates: " + reporter.lastPrompt());
    return appFolder / "Form16A";
}

namespace {

QString toolOutput(const std::string& command)
{
    std::string output;
    return cw::test::runCommand(command, output) == 0 ? QString::fromStdString(output) : QString();
}

} // namespace

int pdfPageCount(const fs::path& pdf, const std::string& password)
{
    const std::string upw = password.empty() ? "" : " -upw " + password;
    const QString info = toolOutput("pdfinfo" + upw + " " + cw::test::shellQuote(pdf));
    const auto m = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfTitle(const fs::path& pdf)
{
    const QString info = toolOutput("pdfinfo " + cw::test::shellQuote(pdf));
    const auto m = QRegularExpression(QStringLiteral("^Title:\\s+(.*)$"), QRegularExpression::MultilineOption).match(info);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

QString pdfText(const fs::path& pdf, int page)
{
    const std::string pages = page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
    return toolOutput("pdftotext -q" + pages + " " + cw::test::shellQuote(pdf) + " -");
}

std::vector<PdfWord> pdfWords(const fs::path& pdf, int page)
{
    const QString page1 = QString::number(page);
    const QString xml = toolOutput("pdftotext -q -bbox -f " + page1.toStdString() + " -l " + page1.toStdString() + " " +
                                   cw::test::shellQuote(pdf) + " -");
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    std::vector<PdfWord> words;
    for (auto it = word.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(3).toStdString(), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

} // namespace cw::printing::test
