#include "portal/CertificateText.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace cw;

// The session's document must open, or every file read pays for the library's tables again.
TEST(PdfLibrarySession, HoldsTheLibraryOpenWhileFilesAreRead)
{
    const portal::PdfLibrarySession session;
    EXPECT_TRUE(session.holding());
    test::TempFolder dir("portal");
    test::writeBytes(dir / "a.pdf", "%PDF-1.4 and nothing more");
    test::writeBytes(dir / "b.pdf", "Form 16A");
    const std::pair<const char*, const char*> files[] = {{"a.pdf", "is damaged; its PDF structure cannot be read"}, {"b.pdf", "is not a PDF file"}};
    for (const auto& [name, says] : files) {
        const portal::CertificateRead read = portal::readCertificatePdf(dir / name);
        ASSERT_TRUE(std::holds_alternative<core::Failure>(read)) << name;
        EXPECT_NE(std::get<core::Failure>(read).message().prompt.find(says), std::string::npos) << std::get<core::Failure>(read).message().prompt;
    }
}
