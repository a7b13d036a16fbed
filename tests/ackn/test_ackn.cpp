// The acknowledgement register of the template: read, checked and saved, by the dialog's
// functions and by `certwright ackn`.
#include "ackn/AcknRegister.h"
#include "app/cli/AcknCli.h"

#include "TestSupport.h"
#include "host/Error.h"
#include "host/General.h"
#include "host/Workbook.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace cw::ackn;
using cw::host::Sheet;
using cw::host::Value;
using cw::host::Workbook;

namespace {

class Ackn : public ::testing::Test {
protected:
    // The shipped template with entries as users leave them: a number where text belongs, a
    // date with a format of its own, a date typed as text.
    void SetUp() override
    {
        Workbook wb = Workbook::open(std::filesystem::path(CERTWRIGHT_APP_DIR) / "TDS16A.xls");
        Sheet& s = wb.sheet("AcknDetails");
        s.setValue("B2", Value{5.0});
        s.setValue("B5", Value{std::string("123456789012345")});
        s.setValue("B6", Value{123456789012345.0});
        s.setValue("C5", Value{*cw::host::dateSerial(2008, 7, 15)});
        cw::host::Xf dated = wb.xfs()[cw::host::kDefaultXf];
        dated.numFmt = wb.addNumberFormat("d-mmm-yy");
        s.setXf(4, 2, wb.addXf(dated));
        s.setValue("C6", Value{std::string("15/10/2008")});
        wb.save(path());
    }
    std::filesystem::path path() const { return folder / "TDS16A.xls"; }
    static AcknEntries valid()
    {
        return {"7", {"098765432109876", "", "123456789012345", "ABC"}, {"5/8/2008", "", "29/02/2008", "31/12/2009"}};
    }
    int cli(const cw::app::AcknOptions& options)
    {
        out.str({});
        err.str({});
        return cw::app::runAckn(folder.path(), options, out, err);
    }

    cw::test::TempFolder folder{"ackn"};
    std::ostringstream out, err;
};

TEST_F(Ackn, LoadShowsTheCellsAsTheBoxesShowThemAndChangesNothing)
{
    const std::string before = cw::test::readBytes(path());
    const AcknEntries e = loadAcknRegister(path());
    EXPECT_EQ(e, (AcknEntries{"5", {"123456789012345", "123456789012345", "", ""}, {"15/07/2008", "15/10/2008", "", ""}}));
    EXPECT_EQ(cw::test::readBytes(path()), before);
}

TEST_F(Ackn, CheckNamesTheFirstBadBox)
{
    const struct {
        void (*edit)(AcknEntries&);
        int box; // 0: accepted
    } cases[] = {
        {[](AcknEntries&) {}, 0},
        {[](AcknEntries& e) { e.serial = "0"; }, 0},
        {[](AcknEntries& e) { e.serial = "999999"; }, 0},
        {[](AcknEntries& e) { e.serial = " 0012 "; }, 0},
        {[](AcknEntries& e) { e.serial = ""; }, 0}, // an empty B2 numbers from 0
        {[](AcknEntries& e) { e.filedOn = {"", "", "", ""}; }, 0},
        {[](AcknEntries& e) { e.prn[0] = "anything at all"; }, 0},
        {[](AcknEntries& e) { e.serial = "1000000"; }, 9},
        {[](AcknEntries& e) { e.serial = "-1"; }, 9},
        {[](AcknEntries& e) { e.serial = "1.5"; }, 9},
        {[](AcknEntries& e) { e.serial = "12a"; }, 9},
        {[](AcknEntries& e) { e.filedOn[1] = "31/02/2008"; }, 6},
        {[](AcknEntries& e) { e.filedOn[2] = "29/02/2009"; }, 7},
        {[](AcknEntries& e) { e.filedOn[3] = "2009-12-31"; }, 8},
        {[](AcknEntries& e) { e.filedOn[0] = "15/07/08"; }, 5},
        {[](AcknEntries& e) { e.filedOn[0] = "15.07.2008"; }, 5},
        {[](AcknEntries& e) { e.filedOn[3] = e.serial = "x"; }, 8}, // the dates come first
    };
    for (const auto& c : cases) {
        AcknEntries e = valid();
        c.edit(e);
        const auto problem = checkAcknEntries(e);
        EXPECT_EQ(problem ? problem->box : 0, c.box) << e.serial << " " << e.filedOn[0] << " " << e.filedOn[1];
    }
}

TEST_F(Ackn, SaveStoresNumbersAsTextDatesAsDatesAndTheSerialAsANumber)
{
    ASSERT_FALSE(saveAcknRegister(path(), valid()));
    const Workbook wb = Workbook::open(path());
    const Sheet& s = wb.sheet("AcknDetails");
    EXPECT_EQ(s.value("B2"), Value{7.0});
    EXPECT_EQ(s.value("B5"), Value{std::string("098765432109876")});
    EXPECT_EQ(s.value("B6"), Value{});
    EXPECT_EQ(s.value("C5"), Value{*cw::host::dateSerial(2008, 8, 5)});
    EXPECT_EQ(s.value("C6"), Value{}); // the old text is gone
    EXPECT_EQ(s.value("C7"), Value{*cw::host::dateSerial(2008, 2, 29)});
    EXPECT_TRUE(wb.isDateXf(s.cell(4, 2)->xf));
    EXPECT_TRUE(wb.isDateXf(s.cell(6, 2)->xf)); // a cell without a date format gets one
    AcknEntries expected = valid();
    expected.filedOn[0] = "05/08/2008";
    EXPECT_EQ(loadAcknRegister(path()), expected);
}

TEST_F(Ackn, CommandLineShowsOrChangesOnlyTheGivenEntries)
{
    const std::string before = cw::test::readBytes(path());
    ASSERT_EQ(cli({}), 0) << err.str();
    EXPECT_NE(out.str().find("Certificate number to start from: 5\n"), std::string::npos) << out.str();
    EXPECT_EQ(cw::test::readBytes(path()), before);

    cw::app::AcknOptions o;
    o.serial = "25";
    o.prn[0] = "";
    o.prn[2] = "333333333333333";
    o.filedOn[2] = "15/01/2009";
    ASSERT_EQ(cli(o), 0) << err.str();
    EXPECT_EQ(loadAcknRegister(path()),
              (AcknEntries{"25", {"", "123456789012345", "333333333333333", ""}, {"15/07/2008", "15/10/2008", "15/01/2009", ""}}));
}

// Two runs at once, the second while the first has read the register and not yet saved it: the
// second is refused and says so, the first's change is saved; one after the other, both stay.
TEST_F(Ackn, RunsAtOnceNeverLoseAChange)
{
    cw::app::AcknOptions first, second;
    first.serial = "9";
    second.prn[0] = "1";
    std::ostringstream secondOut, secondErr;
    int secondStatus = -1;
    first.afterRead = [&] { secondStatus = cw::app::runAckn(folder.path(), second, secondOut, secondErr); };
    ASSERT_EQ(cli(first), 0) << err.str();
    EXPECT_EQ(secondStatus, 1);
    EXPECT_NE(secondErr.str().find("Another Certwright is working in"), std::string::npos) << secondErr.str();
    EXPECT_NE(secondErr.str().find("Nothing was saved."), std::string::npos) << secondErr.str();
    EXPECT_EQ(loadAcknRegister(path()).serial, "9");
    ASSERT_EQ(cli(second), 0) << err.str();
    const AcknEntries both = loadAcknRegister(path());
    EXPECT_EQ(std::make_pair(both.serial, both.prn[0]), std::make_pair(std::string("9"), std::string("1")));
}

TEST_F(Ackn, ABadEntryIsNamedAndNothingIsSaved)
{
    const std::string before = cw::test::readBytes(path());
    AcknEntries e = valid();
    e.filedOn[1] = "30/02/2009";
    const auto problem = saveAcknRegister(path(), e);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->box, 6);
    EXPECT_NE(problem->message.find("30/02/2009"), std::string::npos) << problem->message;

    cw::app::AcknOptions date, serial;
    date.filedOn[2] = "31/04/2009";
    serial.serial = "1000000";
    EXPECT_EQ(cli(date), 1);
    EXPECT_EQ(err.str(), "--date3: " + checkAcknEntries({"1", {}, {"", "", "31/04/2009", ""}})->message + "\nNothing was saved.\n");
    EXPECT_EQ(cli(serial), 1);
    EXPECT_EQ(err.str().rfind("--serial: ", 0), 0u) << err.str();
    EXPECT_EQ(cw::test::readBytes(path()), before);
}

TEST_F(Ackn, AMissingTemplateOrSheetIsNamed)
{
    Workbook wb;
    wb.addSheet("Form 16A");
    wb.save(path());
    for (const auto& file : {folder / "nothere" / "TDS16A.xls", path()}) {
        try {
            loadAcknRegister(file);
            ADD_FAILURE() << "expected an error";
        } catch (const cw::host::Error& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
        EXPECT_THROW(saveAcknRegister(file, valid()), cw::host::Error);
    }
    std::filesystem::remove(path());
    EXPECT_EQ(cli({}), 1);
    EXPECT_NE(err.str().find("TDS16A.xls"), std::string::npos) << err.str();
}

} // namespace
