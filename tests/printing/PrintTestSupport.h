#pragma once

// What the printing tests share: the Qt application the renderer needs, real certificates made
// by the real Generate command, and what poppler's tools read back from a PDF.

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace cw::printing::test {

// The Qt application the renderer needs, on the offscreen platform unless one is set.
void ensureGuiApplication();

// A fresh empty folder, removed with everything in it when the test program ends.
std::filesystem::path freshFolder(const std::string& purpose);

// An application folder at `appFolder` as the program ships it (the template workbook and the
// sample statement of the source tree), run through the Generate command: Form16A then holds
// five certificates, 004 with an annexure. Returns the Form16A folder; throws on failure.
std::filesystem::path generateSampleCertificates(const std::filesystem::path& appFolder);

// Page count of a PDF (pdfinfo); -1 when it cannot be read.
int pdfPageCount(const std::filesystem::path& pdf, const std::string& password = {});
// The document's title (pdfinfo).
QString pdfTitle(const std::filesystem::path& pdf);
// The text of one page (1-based) or of the whole document (page 0), through pdftotext.
QString pdfText(const std::filesystem::path& pdf, int page = 0);

// The words of a page with their left and right edges in points (pdftotext's bounding boxes).
struct PdfWord {
    std::string text;
    double xMin, xMax;
};
std::vector<PdfWord> pdfWords(const std::filesystem::path& pdf, int page = 1);

} // namespace cw::printing::test
