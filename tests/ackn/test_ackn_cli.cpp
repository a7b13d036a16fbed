// `certwright ackn` on a template made here.
#include "app/cli/AcknCli.h"

#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using cw::app::AcknOptions;
using cw::app::runAckn;
using cw::host::Value;

namespace {

class AcknCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937_64 rng{std::random_device{}()};
        m_folder = std::filesystem::temp_directory_path() / ("certwright-ackn-cli-" + std::to_string(rng()));
        std::filesystem::create_directories(m_folder);
        cw::host::Workbook wb;
        cw::host::Sheet& s = wb.addSheet("AcknDetails");
        s.setValue("B2", Value{1.0});
        s.setValue("B5", Value{std::string("111111111111111")});
        wb.save(m_folder / "TDS16A.xls");
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    std::string bytes() const
    {
        std::ifstream f(m_folder / "TDS16A.xls", std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    int run(const AcknOptions& o)
    {
        out.str({});
        err.str({});
        return runAckn(m_folder, o, out, err);
    }

    std::filesystem::path m_folder;
    std::ostringstream out, err;
};

TEST_F(AcknCliTest, WithoutValuesPrintsTheRegister)
{
    const std::string before = bytes();
    ASSERT_EQ(run({}), 0) << err.str();
    EXPECT_NE(out.str().find("Certificate number to start from: 1\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("111111111111111"), std::string::npos) << out.str();
    EXPECT_EQ(bytes(), before);
}

TEST_F(AcknCliTest, ChangesOnlyTheGivenEntries)
{
    AcknOptions o;
    o.serial = "25";
    o.prn[1] = "222222222222222";
    o.filedOn[1] = "15/10/2008";
    ASSERT_EQ(run(o), 0) << err.str();
    AcknOptions none;
    ASSERT_EQ(run(none), 0);
    const std::string shown = out.str();
    EXPECT_NE(shown.find("start from: 25\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("111111111111111"), std::string::npos) << shown; // quarter 1 untouched
    EXPECT_NE(shown.find("222222222222222"), std::string::npos) << shown;
    EXPECT_NE(shown.find("15/10/2008"), std::string::npos) << shown;

    AcknOptions clear;
    clear.prn[0] = "";
    ASSERT_EQ(run(clear), 0) << err.str();
    EXPECT_EQ(out.str().find("111111111111111"), std::string::npos) << out.str();
}

TEST_F(AcknCliTest, ABadEntryIsNamedByItsOptionAndNothingIsSaved)
{
    const std::string before = bytes();
    AcknOptions o;
    o.serial = "5";
    o.filedOn[2] = "31/04/2009";
    EXPECT_EQ(run(o), 1);
    EXPECT_EQ(err.str().rfind("--date3: ", 0), 0u) << err.str();
    EXPECT_NE(err.str().find("Nothing was saved"), std::string::npos);
    EXPECT_EQ(bytes(), before);

    AcknOptions serial;
    serial.serial = "1000000";
    EXPECT_EQ(run(serial), 1);
    EXPECT_EQ(err.str().rfind("--serial: ", 0), 0u) << err.str();
}

TEST_F(AcknCliTest, AMissingTemplateIsNamed)
{
    std::filesystem::remove(m_folder / "TDS16A.xls");
    EXPECT_EQ(run({}), 1);
    EXPECT_NE(err.str().find("TDS16A.xls"), std::string::npos) << err.str();
}

} // namespace
