// The one place that starts LibreOffice: our PDF of each real certificate against LibreOffice's
// PDF of the same .xls. The same pages, and on each page the same values (amounts, dates, PAN,
// TAN, codes).
#include "PrintTestSupport.h"
#include "TestSupport.h"
#include "printing/CertificatePdfs.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace cw::printing;
using namespace cw::printing::test;

namespace {

// The words of a text that carry a digit, sorted.
std::vector<std::string> valueWords(const QString& text)
{
    std::vector<std::string> out;
    for (const QString& w : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (w.contains(QRegularExpression(QStringLiteral("\\d"))))
            out.push_back(w.toStdString());
    std::sort(out.begin(), out.end());
    return out;
}

std::string onlyIn(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::vector<std::string> d;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(d));
    std::string s;
    for (const std::string& w : d)
        s += " " + w;
    return s;
}

TEST(AgainstLibreOffice, SamePagesAndValuesOnEachPage)
{
    ensureGuiApplication();
    std::string output;
    ASSERT_EQ(cw::test::runCommand("soffice --version", output), 0)
        << "LibreOffice (soffice) is needed for this test: scripts/setup-deps installs it";

    const fs::path app = freshFolder("libreoffice");
    const fs::path form16a = generateSampleCertificates(app);
    const std::vector<std::string> names = printListNames(form16a);
    const PdfRunResult ours = writeCertificatePdfs(form16a, names);
    ASSERT_TRUE(ours.skipped.empty()) << skippedPrompt(ours.skipped);

    const fs::path theirs = app / "libreoffice";
    std::string command = "soffice -env:UserInstallation=file://" + (app / "profile").string() +
                          " --headless --convert-to pdf --outdir " + cw::test::shellQuote(theirs);
    for (const std::string& n : names)
        command += " " + cw::test::shellQuote(form16a / (n + ".xls"));
    ASSERT_EQ(cw::test::runCommand(command, output), 0) << output;

    bool sawAnnexure = false;
    for (const std::string& n : names) {
        SCOPED_TRACE("certificate " + n);
        const int pages = pdfPageCount(form16a / (n + ".pdf"));
        ASSERT_EQ(pages, pdfPageCount(theirs / (n + ".pdf")));
        sawAnnexure = sawAnnexure || pages > 1;
        for (int p = 1; p <= pages; ++p) {
            const auto a = valueWords(pdfText(form16a / (n + ".pdf"), p));
            const auto b = valueWords(pdfText(theirs / (n + ".pdf"), p));
            EXPECT_FALSE(a.empty());
            EXPECT_EQ(a, b) << "page " << p << ": only ours:" << onlyIn(a, b) << "; only LibreOffice's:" << onlyIn(b, a);
        }
    }
    EXPECT_TRUE(sawAnnexure) << "the sample statement should give a certificate with an annexure";
}

} // namespace
