// `certwright inspect` on workbooks of the shared corpus: the sheet lines, then one line per
// cell, formulas with their cached result; an unreadable file gives its reason on the error
// stream and a non-zero status.

#include "TestSupport.h"
#include "app/cli/Inspect.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(Inspect, ListsSheetsAndCellsInItsDocumentedForm)
{
    std::ostringstream out, err;
    ASSERT_EQ(cw::app::runInspect((cw::test::corpusDir() / "sheet_visibility.xls").string(), out, err), 0) << err.str();
    EXPECT_EQ(out.str().rfind("sheet\t1\tVisible\tvisible\tworksheet\nsheet\t2\tHidden\thidden\tworksheet\n"
                              "sheet\t3\tVeryHidden\tvery hidden\tworksheet\n", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("Visible!A1\ttext\tv\n"), std::string::npos) << out.str();
    out.str("");
    ASSERT_EQ(cw::app::runInspect((cw::test::corpusDir() / "ErrorTypes.xls").string(), out, err), 0) << err.str();
    for (const char* line : {"RawErrors!A2\terror\t#NULL!\n", "RawErrors!G2\tformula\tnumber 16\n", "RawErrors!H2\tformula\tboolean TRUE\n"})
        EXPECT_NE(out.str().find(line), std::string::npos) << line;
    out.str("");
    EXPECT_NE(cw::app::runInspect((cw::test::corpusDir() / "type_excelx.xls").string(), out, err), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("type_excelx.xls"), std::string::npos) << err.str();
}

} // namespace
