// Certificates as PDF files: the pdf command's names and reports, files that appear whole or not
// at all, several threads that keep certificate order, merged and protected files. Signing with
// real keys and tokens is checked by scripts/test-pdf-signing with openssl, SoftHSM and pdfsig.
#include "core/Failure.h"
#include "PrintTestSupport.h"
#include "TestSupport.h"
#include "app/cli/PdfCli.h"
#include "printing/CertificatePdfs.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;
using namespace cw;
using namespace cw::printing;
using namespace cw::printing::test;

namespace {

class CertificatePdfs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensureGuiApplication();
        app = freshFolder("pdfs");
        form16a = generateSampleCertificates(app);
    }
    void TearDown() override
    {
        for (const auto& entry : fs::directory_iterator(form16a))
            if (entry.path().extension() == ".pdf" || fs::is_symlink(entry.symlink_status()))
                fs::remove(entry.path());
    }
    static int pdf(app::PdfCommand command, std::string* errors = nullptr)
    {
        std::ostringstream out, err;
        const int code = app::runPdf(app, command, out, err);
        if (errors)
            *errors = out.str() + err.str();
        return code;
    }
    static std::vector<std::string> pdfsIn(const fs::path& folder)
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".pdf")
                found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    static inline fs::path app, form16a;
};

TEST_F(CertificatePdfs, CommandWritesEachCertificateAndNamesWhatItSkipped)
{
    cw::test::writeBytes(form16a / "009.xls", "this is not a workbook");
    std::string report;
    EXPECT_EQ(pdf({.names = {"001", "004", "009", "404"}}, &report), 1);
    fs::remove(form16a / "009.xls");
    EXPECT_EQ(pdfsIn(form16a), (std::vector<std::string>{"001.pdf", "004.pdf"}));
    EXPECT_EQ(pdfPageCount(form16a / "004.pdf"), 2);
    for (const char* expected : {"2 PDF file(s), 3 page(s)", "not written as PDF", "009: ", "404: there is no file 404.xls"})
        EXPECT_NE(report.find(expected), std::string::npos) << expected << " in " << report;

    EXPECT_EQ(pdf({}, &report), 0);
    EXPECT_NE(report.find("5 PDF file(s), 6 page(s)"), std::string::npos) << report;
    EXPECT_EQ(app::runPdf(app / "nowhere", {}, std::cout, std::cerr), 2);
}

// Only certificates are listed: never the register or another workbook beside them.
TEST_F(CertificatePdfs, TheListShowsCertificatesInFileNameOrder)
{
    cw::test::TempFolder folder("list");
    EXPECT_TRUE(printListNames(folder.path()).empty());
    cw::test::writeBytes(folder / "Register.xls", "");
    EXPECT_TRUE(printListNames(folder.path()).empty());
    for (const char* file : {"B.xls", "010.xls", "002.xls", "003.XLS", "004.xls.xls", "005.txt", "1e5.xls"})
        cw::test::writeBytes(folder / file, "");
    fs::create_directories(folder / "006.xls");
    EXPECT_EQ(printListNames(folder.path()), (std::vector<std::string>{"002", "004", "010"}));
}

TEST_F(CertificatePdfs, NamesThatAreNotCertificateNamesAreRefusedAndNothingIsWritten)
{
    for (const char* name : {"../../outside", "..", "sub/001", "..\\001", "C:001", "", "Register", "001.xls"}) {
        std::string report;
        EXPECT_EQ(pdf({.names = {"001", name}}, &report), 2) << name;
        EXPECT_NE(report.find("is not a certificate name"), std::string::npos) << report;
    }
    EXPECT_TRUE(pdfsIn(form16a).empty());
    EXPECT_TRUE(pdfsIn(app.parent_path()).empty());
}

TEST_F(CertificatePdfs, AFileIsReplacedWholeAndALinkAtTheTargetIsNotFollowed)
{
    const fs::path victim = app / "victim.txt";
    cw::test::writeBytes(victim, "the user's own file");
    fs::create_symlink(victim, form16a / "001.pdf");
    EXPECT_EQ(pdf({.names = {"001"}}), 0);
    EXPECT_EQ(cw::test::readBytes(victim), "the user's own file");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(form16a / "001.pdf")));
    EXPECT_EQ(pdfPageCount(form16a / "001.pdf"), 1);
    // Only the PDF itself is left: no temporary file beside it.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(form16a))
        ++files;
    EXPECT_EQ(files, 7u); // five certificates, the register and the PDF

    // A Form16A that is itself a link: the window's saves refuse it and write nothing there.
    const fs::path moved = app / "elsewhere";
    fs::rename(form16a, moved);
    fs::create_directory_symlink(moved, form16a);
    EXPECT_THROW(cw::printing::writeCertificatePdfs(form16a, {"002"}, {}), cw::core::Failure);
    EXPECT_FALSE(fs::exists(moved / "002.pdf"));
}

TEST_F(CertificatePdfs, ThreadsKeepCertificateOrderAndACancelledRunStops)
{
    const std::vector<std::string> names = {"005", "404", "001", "004", "003", "002"};
    for (unsigned threads : {1u, 2u, 4u}) {
        std::vector<std::size_t> reported;
        PdfRunOptions options;
        options.threads = threads;
        options.progress = [&](std::size_t done, std::size_t total) {
            EXPECT_EQ(total, names.size());
            reported.push_back(done);
            return true;
        };
        const PdfRunResult r = writeCertificatePdfs(form16a, names, options);
        EXPECT_EQ(r.done, (std::vector<std::string>{"005", "001", "004", "003", "002"})) << threads;
        ASSERT_EQ(r.skipped.size(), 1u);
        EXPECT_EQ(r.skipped[0].name, "404");
        EXPECT_EQ(reported, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6})) << threads;
        EXPECT_EQ(r.pages, 6);
    }
    PdfRunOptions stop;
    stop.threads = 1;
    stop.mergedFile = app / "merged.pdf";
    stop.progress = [](std::size_t done, std::size_t) { return done < 2; };
    const PdfRunResult r = writeCertificatePdfs(form16a, names, stop);
    EXPECT_TRUE(r.cancelled);
    EXPECT_LT(r.done.size(), 5u);
    EXPECT_FALSE(fs::exists(stop.mergedFile));
}

TEST_F(CertificatePdfs, MergedFileHoldsEveryCertificateInOrder)
{
    const fs::path merged = app / "merged.pdf";
    EXPECT_EQ(pdf({.names = {"004", "002", "001"}, .mergedFile = merged}), 0);
    ASSERT_EQ(pdfPageCount(merged), 4);
    const char* firstWords[] = {"004/", "ANNEXURE", "002/", "001/"};
    for (int page = 1; page <= 4; ++page)
        EXPECT_TRUE(pdfText(merged, page).contains(firstWords[page - 1])) << page;
    EXPECT_FALSE(pdfTitle(merged).isEmpty());
    EXPECT_TRUE(pdfsIn(form16a).empty());
    fs::remove(merged);
}

// One thread lays out certificates a few at a time in one document and splits it: each file
// must still hold its own pages, title and password, and no other certificate's.
TEST_F(CertificatePdfs, EachFileHoldsItsOwnCertificateOnly)
{
    const std::vector<std::string> names = {"001", "002", "003", "004", "005"};
    PdfRunOptions options;
    options.threads = 1;
    ASSERT_EQ(writeCertificatePdfs(form16a, names, options).done, names);
    for (const std::string& name : names) {
        const fs::path file = form16a / (name + ".pdf");
        EXPECT_EQ(pdfPageCount(file), name == "004" ? 2 : 1) << name;
        EXPECT_EQ(pdfTitle(file).toStdString(), "Form 16A " + name);
        const QString text = pdfText(file);
        for (const std::string& other : names)
            EXPECT_EQ(text.contains(QString::fromStdString(other + "/")), other == name) << other << " in " << name;
    }
    EXPECT_TRUE(pdfText(form16a / "004.pdf", 2).contains("ANNEXURE"));

    options.protect = true;
    ASSERT_EQ(writeCertificatePdfs(form16a, names, options).done, names);
    const std::vector<std::pair<std::string, std::string>> pans = {
        {"001", "AAGFK2468Q"}, {"002", "ABCPI5678D"}, {"004", "AAAFR4321K"}, {"005", "AAJCS9753M"}};
    for (const auto& [name, pan] : pans)
        for (const auto& [other, otherPan] : pans)
            EXPECT_EQ(pdfPageCount(form16a / (name + ".pdf"), otherPan) > 0, pan == otherPan) << name << " " << otherPan;
}

TEST_F(CertificatePdfs, ProtectedFilesOpenOnlyWithTheDeducteesPan)
{
    EXPECT_EQ(pdf({.names = {"004"}, .protect = true}), 0);
    const fs::path file = form16a / "004.pdf";
    EXPECT_EQ(pdfPageCount(file), -1);
    EXPECT_EQ(pdfPageCount(file, "AAAFR4321K"), 2);
    EXPECT_EQ(pdfPageCount(file, "aaafr4321k"), -1);
    // A merged file holds several deductees: no one PAN can protect it.
    std::string report;
    EXPECT_EQ(pdf({.mergedFile = app / "merged.pdf", .protect = true}, &report), 2);
    EXPECT_NE(report.find("cannot be protected"), std::string::npos) << report;
    EXPECT_FALSE(fs::exists(app / "merged.pdf"));
}

TEST_F(CertificatePdfs, TargetsThatCannotBeWrittenStopTheRunBeforeAnyPdf)
{
    fs::create_directories(app / "taken.pdf");
    std::string report;
    EXPECT_EQ(pdf({.mergedFile = app / "taken.pdf"}, &report), 2);
    EXPECT_NE(report.find("a folder has that name"), std::string::npos) << report;
    EXPECT_EQ(pdf({.mergedFile = app / "no" / "such" / "folder.pdf"}, &report), 2);
    EXPECT_TRUE(pdfsIn(form16a).empty());
    // A signing key that cannot be read fails the same way, before anything is written.
    EXPECT_EQ(pdf({.key = {.pkcs12 = app / "missing.p12", .passwordFile = app / "missing.txt"}}, &report), 2);
    EXPECT_TRUE(pdfsIn(form16a).empty());
}

} // namespace
