#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>
#include <vector>

namespace cw::printing::test {

// The Qt application the renderer needs, on the offscreen platform unless one is set.
void ensureGuiApplication();

// Runs a program; its standard output, or std::nullopt-like empty result with `ok` false.
struct ToolResult {
    bool ok = false;
    QString output;
};
ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 120000);

// Page count of a PDF (pdfinfo); -1 when it cannot be read.
int pdfPageCount(const std::filesystem::path& pdf);
// The text of one page (1-based) or of the whole document (page 0), through pdftotext.
QString pdfText(const std::filesystem::path& pdf, int page = 0);
// The words of a text that carry a digit (amounts, dates, PAN, codes), in reading order.
std::vector<std::string> valueWords(const QString& text);

// A fresh empty folder under the system's temporary folder.
std::filesystem::path freshFolder(const std::string& name);

} // namespace cw::printing::test
