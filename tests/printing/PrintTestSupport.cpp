#include "PrintTestSupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>

#include <cstdlib>
#include <memory>

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

ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    r.output = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

int pdfPageCount(const fs::path& pdf)
{
    ToolResult r = runTool("pdfinfo", {QString::fromStdString(pdf.string())});
    if (!r.ok)
        return -1;
    QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    auto m = pages.match(r.output);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const fs::path& pdf, int page)
{
    QStringList args;
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    args << QString::fromStdString(pdf.string()) << "-";
    return runTool("pdftotext", args).output;
}

std::vector<std::string> valueWords(const QString& text)
{
    std::vector<std::string> out;
    for (const QString& w : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (w.contains(QRegularExpression(QStringLiteral("\\d"))))
            out.push_back(w.toStdString());
    return out;
}

namespace {
// Folders made by freshFolder, removed when the test program ends.
struct Scratch {
    std::vector<fs::path> folders;
    ~Scratch()
    {
        std::error_code ec;
        for (const fs::path& f : folders)
            fs::remove_all(f, ec);
    }
};
Scratch& scratch()
{
    static Scratch s;
    return s;
}
} // namespace

fs::path freshFolder(const std::string& name)
{
    fs::path p = fs::temp_directory_path() / ("certwright-" + name + "-" + std::to_string(QCoreApplication::applicationPid()));
    fs::remove_all(p);
    fs::create_directories(p);
    scratch().folders.push_back(p);
    return p;
}

} // namespace cw::printing::test
