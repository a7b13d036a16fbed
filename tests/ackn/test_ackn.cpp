#include "ackn/AcknRegister.h"

#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using namespace cw::ackn;
using cw::host::Sheet;
using cw::host::Value;
using cw::host::Workbook;

namespace {

class AcknTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937_64 rng{std::random_device{}()};
        m_folder = std::filesystem::temp_directory_path() / ("certwright-ackn-" + std::to_string(rng()));
        std::filesystem::create_directories(m_folder);
        Workbook wb;
        wb.addSheet("Form 16A");
        Sheet& s = wb.addSheet("AcknDetails");
        s.setValue("A2", Value{std::string("Certificate Serial Number to start from")});
        s.setValue("B2", Value{5.0});
        s.setValue("B5", Value{std::string("123456789012345")});
        s.setValue("B6", Value{123456789012345.0}); // typed into a spreadsheet as a number
        s.setValue("C5", Value{*cw::host::dateSerial(2008, 7, 15)});
        cw::host::Xf dated = wb.xfs()[cw::host::kDefaultXf];
        dated.numFmt = wb.addNumberFormat("d-mmm-yy");
        s.setXf(4, 2, wb.addXf(dated));
        s.setValue("C6", Value{std::string("15/10/2008")});
        wb.save(path());
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    std::filesystem::path path() const { return m_folder / "TDS16A.xls"; }
    std::string bytes() const
    {
        std::ifstream f(path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    static AcknEntries valid()
    {
        AcknEntries e;
        e.serial = "7";
        e.prn = {"098765432109876", "", "123456789012345", "ABC"};
        e.filedOn = {"5/8/2008", "", "29/02/2008", "31/12/2009"};
        return e;
    }

    std::filesystem::path m_folder;
};

TEST_F(AcknTest, LoadShowsTheCellsAsTheBoxesShowThem)
{
    const std::string before = bytes();
    const AcknEntries e = loadAcknRegister(path());
    EXPECT_EQ(e.serial, "5");
    EXPECT_EQ(e.prn, (std::array<std::string, 4>{"123456789012345", "123456789012345", "", ""}));
    EXPECT_EQ(e.filedOn, (std::array<std::string, 4>{"15/07/2008", "15/10/2008", "", ""}));
    EXPECT_EQ(bytes(), before); // opening changes nothing
    EXPECT_EQ(loadAcknRegister(path()), e);
}

TEST_F(AcknTest, CheckNamesTheFirstBadBox)
{
    struct Case {
        void (*edit)(AcknEntries&);
        int box;
    };
    const Case cases[] = {
        {[](AcknEntries&) {}, 0},
        {[](AcknEntries& e) { e.serial = "0"; }, 0},
        {[](AcknEntries& e) { e.serial = "999999"; }, 0},
        {[](AcknEntries& e) { e.serial = " 0012 "; }, 0},
        {[](AcknEntries& e) { e.filedOn = {"", "", "", ""}; }, 0},
        {[](AcknEntries& e) { e.prn[0] = "anything at all"; }, 0},
        {[](AcknEntries& e) { e.serial = "1000000"; }, 9},
        {[](AcknEntries& e) { e.serial = "-1"; }, 9},
        {[](AcknEntries& e) { e.serial = "1.5"; }, 9},
        {[](AcknEntries& e) { e.serial = ""; }, 9},
        {[](AcknEntries& e) { e.serial = "12a"; }, 9},
        {[](AcknEntries& e) { e.filedOn[1] = "31/02/2008"; }, 6},
        {[](AcknEntries& e) { e.filedOn[2] = "29/02/2009"; }, 7},
        {[](AcknEntries& e) { e.filedOn[3] = "2009-12-31"; }, 8},
        {[](AcknEntries& e) { e.filedOn[0] = "15/07/08"; }, 5},
        {[](AcknEntries& e) { e.filedOn[0] = "15.07.2008"; }, 5},
        {[](AcknEntries& e) {
             e.filedOn[3] = "x";
             e.serial = "x";
         },
         8},
    };
    for (const Case& c : cases) {
        AcknEntries e = valid();
        c.edit(e);
        const auto problem = checkAcknEntries(e);
        EXPECT_EQ(problem ? problem->box : 0, c.box) << e.serial << " " << e.filedOn[0] << " " << e.filedOn[1];
        if (problem) {
            EXPECT_FALSE(problem->message.empty());
        }
    }
}

TEST_F(AcknTest, SaveStoresNumbersAsTextDatesAsDatesAndTheSerialAsANumber)
{
    ASSERT_FALSE(saveAcknRegister(path(), valid()));
    Workbook wb = Workbook::open(path());
    const Sheet& s = wb.sheet("AcknDetails");
    EXPECT_EQ(std::get<double>(s.value("B2")), 7);
    EXPECT_EQ(std::get<std::string>(s.value("B5")), "098765432109876");
    EXPECT_TRUE(cw::host::isEmpty(s.value("B6")));
    EXPECT_EQ(std::get<double>(s.value("C5")), *cw::host::dateSerial(2008, 8, 5));
    EXPECT_TRUE(wb.isDateXf(s.cell(4, 2)->xf));
    EXPECT_TRUE(cw::host::isEmpty(s.value("C6"))); // the old text is gone
    EXPECT_EQ(std::get<double>(s.value("C7")), *cw::host::dateSerial(2008, 2, 29));
    EXPECT_TRUE(wb.isDateXf(s.cell(6, 2)->xf));   // a cell without a date format gets one
    EXPECT_EQ(std::get<std::string>(s.value("A2")), "Certificate Serial Number to start from");
    EXPECT_EQ(wb.sheetNames(), (std::vector<std::string>{"AcknDetails", "Form 16A"}));

    AcknEntries expected = valid();
    expected.filedOn[0] = "05/08/2008";
    EXPECT_EQ(loadAcknRegister(path()), expected);
}

TEST_F(AcknTest, ABadEntrySavesNothing)
{
    const std::string before = bytes();
    AcknEntries e = valid();
    e.filedOn[1] = "30/02/2009";
    const auto problem = saveAcknRegister(path(), e);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->box, 6);
    EXPECT_NE(problem->message.find("30/02/2009"), std::string::npos) << problem->message;
    EXPECT_EQ(bytes(), before);
}

TEST_F(AcknTest, MissingFileOrSheetIsNamed)
{
    const auto missing = m_folder / "nothere" / "TDS16A.xls";
    EXPECT_THROW(loadAcknRegister(missing), cw::host::Error);
    EXPECT_THROW(saveAcknRegister(missing, valid()), cw::host::Error);

    Workbook wb;
    wb.addSheet("Form 16A");
    wb.save(path());
    try {
        loadAcknRegister(path());
        FAIL() << "expected an error";
    } catch (const cw::host::Error& e) {
        EXPECT_NE(std::string(e.what()).find("TDS16A.xls"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("AcknDetails"), std::string::npos) << e.what();
    }
}

} // namespace
