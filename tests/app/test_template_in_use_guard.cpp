// The workbook-in-use guard: the title rule on given titles, the office lock files, and the
// real window list of an X server.
#include "app/TemplateInUseGuard.h"
#include "app/cli/AcknCli.h"
#include "app/cli/GenerateCli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#if defined(CERTWRIGHT_HAVE_XCB)
#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;
using cw::app::templateInUse;
using cw::app::EnumWindowsProc;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::random_device seed;
        m_path = fs::temp_directory_path() / ("certwright-guard-" + std::to_string(seed()));
        fs::create_directories(m_path);
    }
    ~TempFolder() { fs::remove_all(m_path); }
    const fs::path& path() const { return m_path; }
    fs::path templatePath() const { return m_path / "TDS16A.xls"; }
    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_path / name, std::ios::binary) << bytes;
    }

private:
    fs::path m_path;
};

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
        EXPECT_EQ(EnumWindowsProc(c.title, "TDS16A"), c.matches) << '"' << c.title << '"';
    EXPECT_FALSE(EnumWindowsProc("anything", "")) << "an empty name would match every title";
}

TEST(TitleRule, FirstMatchingWindowGivesTheWholeTitleInThePrompt)
{
    TempFolder folder;
    EXPECT_FALSE(templateInUse("TDS16A", folder.templatePath(), {}));
    EXPECT_FALSE(templateInUse("TDS16A", folder.templatePath(), {"", "TDS16A.xls - LibreOffice Calc", "Desktop"}));

    const auto message =
        templateInUse("TDS16A", folder.templatePath(), {"Desktop", "Microsoft Excel - TDS16A.xls", "Editing TDS16A.xls"});
    ASSERT_TRUE(message);
    EXPECT_EQ(message->prompt, "Microsoft Excel - TDS16A.xls is found running. Close the file and then try again.");
    EXPECT_EQ(message->title, "Running Error!");
    EXPECT_EQ(message->icon, cw::core::Icon::Information);
}

TEST(LockFiles, LibreOfficeLockCountsAsOpenAndNamesItsOwner)
{
    TempFolder folder;
    folder.write(".~lock.TDS16A.xls#", "Jane Doe,ACCOUNTS-PC,jane,06.12.2024 10:15,file:///home/jane/.config/libreoffice/4;");
    // The window of LibreOffice starts with the name, so only the lock file can tell.
    const auto message = templateInUse("TDS16A", folder.templatePath(), {"TDS16A.xls - LibreOffice Calc"});
    ASSERT_TRUE(message);
    const std::string path = folder.templatePath().string();
    EXPECT_EQ(message->prompt.rfind(path + " is open by Jane Doe in a spreadsheet program. Close the file and then try again.", 0), 0u)
        << message->prompt;
    EXPECT_NE(message->prompt.find((folder.path() / ".~lock.TDS16A.xls#").string()), std::string::npos)
        << "a lock left by a crash must be findable: " << message->prompt;
    EXPECT_EQ(message->title, "Running Error!");
    EXPECT_EQ(message->icon, cw::core::Icon::Information);

    // A window match comes first and keeps its own wording.
    const auto both = templateInUse("TDS16A", folder.templatePath(), {"Microsoft Excel - TDS16A.xls"});
    ASSERT_TRUE(both);
    EXPECT_EQ(both->prompt.rfind("Microsoft Excel - TDS16A.xls is found running.", 0), 0u);
}

TEST(LockFiles, LibreOfficeOwnerFields)
{
    using cw::app::ownerFromLibreOfficeLock;
    EXPECT_EQ(ownerFromLibreOfficeLock("Jane Doe,host,jane,date,url;"), "Jane Doe");
    EXPECT_EQ(ownerFromLibreOfficeLock(",host,jane,date,url;"), "jane") << "no full name set: the system user";
    EXPECT_EQ(ownerFromLibreOfficeLock("Doe\\, Jane,host,jane,date,url;"), "Doe, Jane") << "escaped comma";
    EXPECT_EQ(ownerFromLibreOfficeLock("Ren\xc3\xa9 Fran\xc3\xa7ois,h,r,d,u;"), "Ren\xc3\xa9 Fran\xc3\xa7ois");
    EXPECT_EQ(ownerFromLibreOfficeLock(""), "");
    EXPECT_EQ(ownerFromLibreOfficeLock("garbage without fields"), "");
    EXPECT_EQ(ownerFromLibreOfficeLock(std::string("\x01\x02,\x03,\x04;", 7)), "");
}

TEST(LockFiles, ExcelOwnerFile)
{
    using cw::app::ownerFromExcelOwnerFile;
    EXPECT_EQ(ownerFromExcelOwnerFile(excelOwnerFile("Ravi Kumar", u"Ravi Kumar")), "Ravi Kumar");
    // The Unicode copy is preferred: the ANSI one loses what the code page lacks.
    EXPECT_EQ(ownerFromExcelOwnerFile(excelOwnerFile("Ren? K", u"Ren\u00e9 K")), "Ren\xc3\xa9 K");
    // Only the ANSI part (older versions, or a cut file): Latin-1 bytes.
    EXPECT_EQ(ownerFromExcelOwnerFile(std::string("\x04Jos\xe9", 5)), "Jos\xc3\xa9");
    EXPECT_EQ(ownerFromExcelOwnerFile(""), "");
    EXPECT_EQ(ownerFromExcelOwnerFile(std::string("\x00\x00\x00", 3)), "");
    EXPECT_EQ(ownerFromExcelOwnerFile("\x30short"), "") << "length beyond the file";

    TempFolder folder;
    folder.write("~$TDS16A.xls", excelOwnerFile("Ravi Kumar", u"Ravi Kumar"));
    const auto message = templateInUse("TDS16A", folder.templatePath(), {});
    ASSERT_TRUE(message);
    EXPECT_NE(message->prompt.find(" is open by Ravi Kumar in a spreadsheet program."), std::string::npos);
}

TEST(LockFiles, UnreadableOwnerStillMeansOpen)
{
    TempFolder folder;
    folder.write("~$TDS16A.xls", std::string(300000, '\xff')); // not an owner file at all
    const auto message = templateInUse("TDS16A", folder.templatePath(), {});
    ASSERT_TRUE(message);
    EXPECT_EQ(message->prompt.rfind(folder.templatePath().string() + " is open in a spreadsheet program.", 0), 0u)
        << message->prompt;

    // Lock files of other workbooks, or a folder of that name, do not count.
    TempFolder other;
    other.write(".~lock.Other.xls#", "A,b,c,d,e;");
    other.write("~$Other.xls", excelOwnerFile("A", u"A"));
    fs::create_directory(other.path() / ".~lock.TDS16A.xls#");
    EXPECT_FALSE(templateInUse("TDS16A", other.templatePath(), {}));
}

// The command line runs the same guard: Generate before anything, ackn before it writes.
TEST(CommandLine, GenerateAndAcknRefuseATemplateOpenElsewhere)
{
    TempFolder folder;
    const fs::path staged = CERTWRIGHT_APP_DIR;
    for (const char* name : {"TDS16A.xls", "TDS.txt"}) {
        std::error_code ec;
        fs::copy_file(staged / name, folder.path() / name, ec);
        ASSERT_FALSE(ec) << "the staged application folder lacks " << (staged / name) << ": build the whole project first";
    }
    auto bytes = [&] {
        std::ifstream in(folder.templatePath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string before = bytes();
    folder.write(".~lock.TDS16A.xls#", "Asha Rao,PC,asha,06.12.2024 10:15,file:///x;");

    std::ostringstream out, err;
    EXPECT_EQ(cw::app::runGenerate(folder.path(), out, err, nullptr), 1);
    EXPECT_EQ(err.str().rfind(folder.templatePath().string() + " is open by Asha Rao", 0), 0u) << err.str();
    EXPECT_FALSE(fs::exists(folder.path() / "Form16A"));

    cw::app::AcknOptions options;
    options.serial = "12";
    std::ostringstream ackOut, ackErr;
    EXPECT_EQ(cw::app::runAckn(folder.path(), options, ackOut, ackErr), 1);
    EXPECT_NE(ackErr.str().find(" is open by Asha Rao"), std::string::npos) << ackErr.str();
    EXPECT_EQ(bytes(), before) << "nothing may be written while the template is open elsewhere";

    // Showing the register only reads: it goes on.
    std::ostringstream showOut, showErr;
    EXPECT_EQ(cw::app::runAckn(folder.path(), cw::app::AcknOptions{}, showOut, showErr), 0) << showErr.str();
}

#if defined(CERTWRIGHT_HAVE_XCB)

namespace {

// An Xvfb of our own on a display it picks, ended when the test ends.
class OwnXServer {
public:
    OwnXServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        const std::string writeFd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", writeFd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            close(fds[0]);
            return;
        }
        // Xvfb writes the display number once it accepts connections; EOF means it gave up.
        std::string number;
        char ch;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n')
            number += ch;
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~OwnXServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
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
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const char* saved = std::getenv("DISPLAY");
    const std::string savedDisplay = saved ? saved : "";
    setenv("DISPLAY", server.display().c_str(), 1);

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    TempFolder folder;
    EXPECT_FALSE(templateInUse("TDS16A", folder.templatePath())) << "a bare X server has no such window";

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

    const auto message = templateInUse("TDS16A", folder.templatePath());
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
