// The workbook-in-use guard (the title rule on given titles, the office lock files, the real
// window list of an X server) and the folder lock of the commands that write.
#include "app/TemplateInUseGuard.h"
#include "app/AppFolderLock.h"
#include "app/cli/AcknCli.h"
#include "app/cli/GenerateCli.h"
#include "app/cli/PdfCli.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>

#if defined(CERTWRIGHT_HAVE_XCB)
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#endif

namespace fs = std::filesystem;
using cw::app::templateInUse;
using cw::app::titleShowsWorkbook;

namespace {

fs::path templateIn(const cw::test::TempFolder& folder) { return folder / "TDS16A.xls"; }

std::string excelOwnerFile(const std::string& ansi, const std::u16string& wide)
{
    std::string bytes(1, static_cast<char>(ansi.size()));
    bytes += ansi;
    bytes.resize(54, ' ');
    bytes += static_cast<char>(wide.size());
    bytes += '\0';
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    bytes.resize(162, '\0');
    return bytes;
}

} // namespace

TEST(TitleRule, NameMustStartAtSecondCharacterOrLater)
{
    struct Case {
        const char* title;
        bool matches;
    } cases[] = {
        {"Microsoft Excel - TDS16A.xls", true},
        {"xTDS16A", true},                          // second character: the earliest that counts
        {"Editing TDS16A.xls", true},
        {"TDS16A.xls - LibreOffice Calc", false},   // starts with the name
        {"TDS16A - copy of TDS16A.xls", false},     // only the first occurrence is judged
        {"Microsoft Excel - tds16a.xls", false},    // case-sensitive
        {"Microsoft Excel - TDS16a.xls", false},
        {"Microsoft Excel - TDS16", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(titleShowsWorkbook(c.title, "TDS16A"), c.matches) << '"' << c.title << '"';
    EXPECT_FALSE(titleShowsWorkbook("anything", "")) << "an empty name would match every title";
}

TEST(Guard, AWindowTitleComesFirstThenTheOfficeLockFiles)
{
    const std::string jane = "Jane Doe,ACCOUNTS-PC,jane,06.12.2024 10:15,file:///home/jane/.config/libreoffice/4;";
    const struct {
        const char* lockFile; // "" for none; a name ending in '/' is a folder
        std::string content;
        std::vector<std::string> titles;
        std::string prompt; // the prompt's beginning, with '@' for the template's path; "" for none
    } cases[] = {
        {"", "", {}, ""},
        {"", "", {"", "TDS16A.xls - LibreOffice Calc", "Desktop"}, ""},
        {"", "", {"Desktop", "Microsoft Excel - TDS16A.xls", "Editing TDS16A.xls"},
         "Microsoft Excel - TDS16A.xls is found running. Close the file and then try again."},
        {".~lock.TDS16A.xls#", jane, {"Microsoft Excel - TDS16A.xls"}, "Microsoft Excel - TDS16A.xls is found running."},
        // LibreOffice's window starts with the name, so only its lock file can tell.
        {".~lock.TDS16A.xls#", jane, {"TDS16A.xls - LibreOffice Calc"},
         "@ is open by Jane Doe in a spreadsheet program. Close the file and then try again."},
        {"~$TDS16A.xls", excelOwnerFile("Ravi Kumar", u"Ravi Kumar"), {}, "@ is open by Ravi Kumar in a spreadsheet program."},
        {"~$TDS16A.xls", std::string(300000, '\xff'), {}, "@ is open in a spreadsheet program."}, // no owner file
        {".~lock.Other.xls#", "A,b,c,d,e;", {}, ""}, // other workbooks' locks do not count
        {"~$Other.xls", excelOwnerFile("A", u"A"), {}, ""},
        {".~lock.TDS16A.xls#/", "", {}, ""}, // nor a folder of that name
    };
    for (const auto& c : cases) {
        cw::test::TempFolder folder("guard");
        const std::string lock = c.lockFile;
        if (!lock.empty() && lock.back() == '/')
            fs::create_directory(folder / lock.substr(0, lock.size() - 1));
        else if (!lock.empty())
            cw::test::writeBytes(folder / lock, c.content);
        const auto message = templateInUse("TDS16A", templateIn(folder), c.titles);
        std::string expected = c.prompt;
        if (!expected.empty() && expected[0] == '@')
            expected.replace(0, 1, templateIn(folder).string());
        ASSERT_EQ(message.has_value(), !expected.empty()) << lock;
        if (!message)
            continue;
        EXPECT_EQ(message->prompt.rfind(expected, 0), 0u) << message->prompt;
        EXPECT_EQ(message->title, "Running Error!");
        if (expected[0] == '/') { // a lock left by a crash must be findable
            EXPECT_NE(message->prompt.find((folder / lock).string()), std::string::npos) << message->prompt;
        }
    }
}

TEST(LockFiles, OwnerNamesAsTheSuitesRecordThem)
{
    const std::pair<std::string, std::string> libreOffice[] = {
        {"Jane Doe,host,jane,date,url;", "Jane Doe"},
        {",host,jane,date,url;", "jane"},                // no full name set: the system user
        {"Doe\\, Jane,host,jane,date,url;", "Doe, Jane"}, // an escaped comma
        {"Ren\xc3\xa9 Fran\xc3\xa7ois,h,r,d,u;", "Ren\xc3\xa9 Fran\xc3\xa7ois"},
        {"", ""},
        {"garbage without fields", ""},
        {std::string("\x01\x02,\x03,\x04;", 7), ""},
    };
    for (const auto& [content, owner] : libreOffice)
        EXPECT_EQ(cw::app::ownerFromLibreOfficeLock(content), owner) << content;
    const std::pair<std::string, std::string> excel[] = {
        {excelOwnerFile("Ravi Kumar", u"Ravi Kumar"), "Ravi Kumar"},
        {excelOwnerFile("Ren? K", u"Ren\u00e9 K"), "Ren\xc3\xa9 K"}, // the Unicode copy wins
        {std::string("\x04Jos\xe9", 5), "Jos\xc3\xa9"},              // only the ANSI part: Latin-1
        {"", ""},
        {std::string("\x00\x00\x00", 3), ""},
        {"\x30short", ""}, // a length beyond the file
        {excelOwnerFile("", u"Ravi Kumar"), ""}, // no name where the suite always writes one: not its file
    };
    for (const auto& [bytes, owner] : excel)
        EXPECT_EQ(cw::app::ownerFromExcelOwnerFile(bytes), owner);
}

// A command that writes refuses, changing nothing, while the template is open in a spreadsheet
// program or another Certwright works in the folder (a generate would otherwise save its older
// copy of the template over the entries, or two runs would mix their certificates).
TEST(CommandLine, WritingCommandsRefuseAndChangeNothingWhileTheFolderIsBusy)
{
    cw::test::TempFolder folder("busy");
    for (const char* name : {"TDS16A.xls", "TDS.txt"})
        fs::copy_file(fs::path(CERTWRIGHT_APP_DIR) / name, folder / name);
    const std::string before = cw::test::readBytes(templateIn(folder));
    cw::app::AcknOptions serial;
    serial.serial = "555";
    for (const bool officeLock : {true, false}) {
        std::optional<cw::app::AppFolderLock> otherCertwright;
        if (officeLock)
            cw::test::writeBytes(folder / ".~lock.TDS16A.xls#", "Asha Rao,PC,asha,06.12.2024 10:15,file:///x;");
        else
            otherCertwright.emplace(folder.path());
        const std::string expected = officeLock ? templateIn(folder).string() + " is open by Asha Rao"
                                                : "Another Certwright is working in " + folder.path().string() + ".";
        std::ostringstream out, err, ackOut, ackErr, showOut, showErr;
        EXPECT_EQ(cw::app::runGenerate(folder.path(), out, err, nullptr), 1);
        EXPECT_EQ(err.str().rfind(expected, 0), 0u) << err.str();
        EXPECT_EQ(cw::app::runAckn(folder.path(), serial, ackOut, ackErr), 1);
        EXPECT_EQ(ackErr.str().rfind(expected, 0), 0u) << ackErr.str();
        EXPECT_EQ(cw::test::readBytes(templateIn(folder)), before);
        EXPECT_FALSE(fs::exists(folder / "Form16A"));
        // Showing the register only reads: it goes on.
        EXPECT_EQ(cw::app::runAckn(folder.path(), cw::app::AcknOptions{}, showOut, showErr), 0) << showErr.str();
        fs::remove(folder / ".~lock.TDS16A.xls#");
    }
    std::ostringstream out, err;
    EXPECT_EQ(cw::app::runAckn(folder.path(), serial, out, err), 0) << err.str(); // free again

    // PDFs go into Form16A, which the other Certwright's generate would replace meanwhile.
    fs::create_directory(folder / "Form16A");
    fs::copy_file(templateIn(folder), folder / "Form16A" / "001.xls");
    const cw::app::AppFolderLock otherCertwright(folder.path());
    std::ostringstream pdfOut, pdfErr;
    EXPECT_EQ(cw::app::runPdf(folder.path(), cw::app::PdfCommand{}, pdfOut, pdfErr), 1);
    EXPECT_EQ(pdfErr.str().rfind("Another Certwright is working in ", 0), 0u) << pdfErr.str();
    EXPECT_FALSE(fs::exists(folder / "Form16A" / "001.pdf"));
}

// No input aborts the program: what a command lets out becomes a message and the status 1.
TEST(CommandLine, AnUnexpectedErrorEndsTheCommandWithAMessage)
{
    std::ostringstream err;
    EXPECT_EQ(cw::app::exitStatusOf([]() -> int { throw std::out_of_range("vector::_M_range_check"); }, err), 1);
    EXPECT_EQ(err.str(), "certwright: the command stopped on an unexpected error (vector::_M_range_check).\n");
    EXPECT_EQ(cw::app::exitStatusOf([] { return 3; }, err), 3);
}

#if defined(CERTWRIGHT_HAVE_XCB)

namespace {

// An Xvfb of our own on a display it picks, ended when the test ends.
struct OwnXServer {
    // The shell's pid is Xvfb's after the exec; Xvfb prints the display once it takes clients.
    FILE* pipe = popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp -screen 0 640x480x24 2>/dev/null", "r");
    long pid = 0;
    int display = -1;
    OwnXServer()
    {
        if (!pipe || std::fscanf(pipe, "%ld %d", &pid, &display) != 2)
            display = -1;
    }
    ~OwnXServer()
    {
        if (pid > 0)
            kill(static_cast<pid_t>(pid), SIGTERM);
        if (pipe)
            pclose(pipe);
    }
};

void setTitle(xcb_connection_t* c, xcb_window_t window, const char* property, const char* type, const std::string& title)
{
    auto atom = [&](const char* name) {
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    };
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(property), atom(type), 8,
                        static_cast<std::uint32_t>(title.size()), title.data());
}

xcb_window_t makeWindow(xcb_connection_t* c, xcb_window_t parent, bool mapped)
{
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 100, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    if (mapped)
        xcb_map_window(c, window);
    return window;
}

} // namespace

TEST(RealDesktop, FindsAWindowTitledWithTheNameOnAnXServer)
{
    if (system("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb): the guard was not tried on a real X server";
    OwnXServer server;
    ASSERT_GE(server.display, 0) << "Xvfb did not start";
    const char* saved = std::getenv("DISPLAY");
    const std::string savedDisplay = saved ? saved : "";
    setenv("DISPLAY", (":" + std::to_string(server.display)).c_str(), 1);

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    cw::test::TempFolder folder("guard");
    EXPECT_FALSE(templateInUse("TDS16A", templateIn(folder))) << "a bare X server has no such window";

    const xcb_window_t editor = makeWindow(c, root, true);
    setTitle(c, editor, "_NET_WM_NAME", "UTF8_STRING", "Editing TDS16A.xls \xe2\x80\x94 Tabellen");
    const xcb_window_t hidden = makeWindow(c, root, false);
    setTitle(c, hidden, "WM_NAME", "STRING", "Gel\xf6scht TDS16A");  // Latin-1, never mapped
    const xcb_window_t starts = makeWindow(c, root, true);
    setTitle(c, starts, "WM_NAME", "STRING", "TDS16A.xls - LibreOffice Calc");
    const xcb_window_t child = makeWindow(c, starts, true);
    setTitle(c, child, "WM_NAME", "STRING", "Child of TDS16A");
    xcb_flush(c);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // round trip: all applied

    const auto titles = cw::app::topLevelWindowTitles();
    auto has = [&](const std::string& t) { return std::find(titles.begin(), titles.end(), t) != titles.end(); };
    EXPECT_TRUE(has("Editing TDS16A.xls \xe2\x80\x94 Tabellen"));
    EXPECT_TRUE(has("Gel\xc3\xb6scht TDS16A")) << "hidden windows count; Latin-1 titles read as UTF-8";
    EXPECT_TRUE(has("TDS16A.xls - LibreOffice Calc"));
    EXPECT_FALSE(has("Child of TDS16A")) << "child windows are not examined";

    const auto message = templateInUse("TDS16A", templateIn(folder));
    ASSERT_TRUE(message);
    EXPECT_NE(message->prompt.find(" is found running. Close the file and then try again."), std::string::npos);
    EXPECT_TRUE(message->prompt.rfind("Editing TDS16A.xls", 0) == 0 || message->prompt.rfind("Gel\xc3\xb6scht TDS16A", 0) == 0)
        << message->prompt;

    xcb_disconnect(c);
    if (saved)
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

#endif
