// Our PDF of each generated certificate against LibreOffice's PDF of the same .xls: the same
// pages, and on each page the same values (amounts, dates, PAN, TAN, codes).
#include "printing/CertificateFolder.h"
#include "PrintTestSupport.h"
#include "RealCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace cw::printing;
using namespace cw::printing::test;

namespace {

TEST(AgainstLibreOffice, SamePagesAndValuesOnEachPage)
{
    ensureGuiApplication();
    ToolResult version = runTool("soffice", {"--version"});
    ASSERT_TRUE(version.ok) << "LibreOffice (soffice) is needed for this test: scripts/setup-deps installs it";

    fs::path app = freshFolder("libreoffice");
    fs::path form16a = generateSampleCertificates(app);
    std::vector<std::string> names = printListNames(form16a);
    ASSERT_GE(names.size(), 2u);
    BatchResult ours = writeCertificatePdfs(form16a, names);
    ASSERT_TRUE(ours.skipped.empty()) << skippedPrompt(ours.skipped);

    fs::path loOut = app / "libreoffice";
    fs::create_directories(loOut);
    QStringList args = {"-env:UserInstallation=file://" + QString::fromStdString((app / "lo-profile").string()),
                        "--headless", "--convert-to", "pdf", "--outdir", QString::fromStdString(loOut.string())};
    for (const std::string& n : names)
        args << QString::fromStdString((form16a / (n + ".xls")).string());
    ASSERT_TRUE(runTool("soffice", args, 300000).ok) << "LibreOffice could not convert the certificates";

    bool sawAnnexure = false;
    for (const std::string& n : names) {
        SCOPED_TRACE("certificate " + n);
        fs::path mine = form16a / (n + ".pdf"), theirs = loOut / (n + ".pdf");
        const int pages = pdfPageCount(mine);
        ASSERT_EQ(pages, pdfPageCount(theirs));
        sawAnnexure = sawAnnexure || pages > 1;
        for (int p = 1; p <= pages; ++p) {
            std::vector<std::string> a = valueWords(pdfText(mine, p)), b = valueWords(pdfText(theirs, p));
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            EXPECT_FALSE(a.empty());
            std::vector<std::string> onlyOurs, onlyTheirs;
            std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyOurs));
            std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyTheirs));
            auto join = [](const std::vector<std::string>& v) {
                std::string s;
                for (const auto& w : v)
                    s += " " + w;
                return s;
            };
            EXPECT_TRUE(onlyOurs.empty() && onlyTheirs.empty())
                << "page " << p << ": only ours:" << join(onlyOurs) << "; only LibreOffice's:" << join(onlyTheirs);
        }
    }
    EXPECT_TRUE(sawAnnexure) << "the sample statement should give a certificate with an annexure";
}

} // namespace
