// Writing files: a replacement goes through links to the file they end at and keeps the old
// file's mode and owner; a failure at any point leaves the old bytes and no temporary file.
#include "TestSupport.h"
#include "host/Error.h"
#include "host/SafeWrite.h"

#include <gtest/gtest.h>

#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using cw::host::Error;
using cw::test::readBytes, cw::test::writeBytes;

namespace {

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

std::optional<Error> errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

// A template shared through links, relative and absolute, or a link to a file not made yet.
TEST(SafeWrite, ALinkIsWrittenThroughAndStaysALink)
{
    cw::test::TempFolder dir("safe-write");
    fs::create_directories(dir / "shared");
    fs::create_directories(dir / "app");
    const fs::path shared = dir / "shared" / "TDS16A.xls";
    writeBytes(shared, "old template");
    fs::permissions(shared, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#ifndef _WIN32
    // An administrator's write keeps the owner of a file that belongs to another user.
    const bool otherOwner = geteuid() == 0 && chown(shared.c_str(), 65534, 65534) == 0;
#endif
    fs::create_symlink("../shared/TDS16A.xls", dir / "app" / "middle.xls");
    fs::create_symlink(dir / "app" / "middle.xls", dir / "app" / "TDS16A.xls");

    cw::host::replaceFile(dir / "app" / "TDS16A.xls", "new template");
    EXPECT_EQ(readBytes(shared), "new template");
    for (const char* link : {"TDS16A.xls", "middle.xls"})
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "app" / link))) << link;
    EXPECT_EQ(fs::status(shared).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(namesIn(dir / "shared"), std::set<std::string>{"TDS16A.xls"});
    EXPECT_EQ(namesIn(dir / "app"), (std::set<std::string>{"TDS16A.xls", "middle.xls"}));
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    if (otherOwner)
        EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(uid_t{65534}, gid_t{65534}));
    else
        EXPECT_EQ(st.st_uid, geteuid());
#endif

    fs::create_symlink("../shared/later.csv", dir / "app" / "log.csv");
    cw::host::replaceFile(dir / "app" / "log.csv", "made through the link");
    EXPECT_EQ(readBytes(dir / "shared" / "later.csv"), "made through the link");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "app" / "log.csv")));

    fs::create_symlink("loop.xls", dir / "app" / "loop.xls");
    const auto e = errorOf([&] { cw::host::replaceFile(dir / "app" / "loop.xls", "x"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->file(), (dir / "app" / "loop.xls").string());
}

// Whatever stops a write, the old file is as it was and nothing of the write is left: a disk
// that fills at any point, a read-only file, a folder under the name, a name already taken.
TEST(SafeWrite, AWriteThatFailsLeavesTheOldBytesAndNoTemporaryFile)
{
    cw::test::TempFolder dir("safe-write");
    const std::string bytes(100000, 'n');
    const fs::path link = dir / "link.xls", file = dir / "real" / "file.xls";
    writeBytes(file, "old");
    fs::create_symlink("real/file.xls", link);
    const auto write = [&](const fs::path& target, std::size_t after) {
        return errorOf([&] { cw::host::replaceFile(target, bytes, cw::test::diskFullAfter(after)); });
    };
    const std::string full = std::make_error_code(std::errc::no_space_on_device).message();
    for (std::size_t after : {std::size_t{0}, std::size_t{1}, std::size_t{70000}}) {
        for (const fs::path& target : {file, link}) {
            const auto e = write(target, after);
            ASSERT_TRUE(e) << target << " after " << after;
            EXPECT_EQ(std::make_tuple(e->code(), e->file(), e->message()), std::make_tuple(Error::Code::Io, target.string(), full));
            EXPECT_EQ(readBytes(file), "old");
        }
        const auto e = errorOf([&] { cw::host::writeNewFile(dir / "new.xls", bytes, cw::test::diskFullAfter(after)); });
        EXPECT_TRUE(e && e->message() == full);
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"link.xls", "real"}));
        EXPECT_EQ(namesIn(dir / "real"), std::set<std::string>{"file.xls"});
    }

    fs::create_directory(dir / "folder.xls");
    const struct { fs::path target; const char* why; } refusals[] = {
        {dir / "folder.xls", "a folder has that name"},
        {link, "it is read-only"},
        {dir / "no such folder" / "file.xls", "No such file or directory"},
    };
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
    for (const auto& [target, why] : refusals) {
        const auto e = errorOf([&] { cw::host::replaceFile(target, bytes); });
        ASSERT_TRUE(e) << target;
        EXPECT_EQ(std::make_pair(e->file(), e->message()), std::make_pair(target.string(), std::string(why)));
    }
    const auto taken = errorOf([&] { cw::host::writeNewFile(file, bytes); });
    EXPECT_TRUE(taken && taken->message() == std::make_error_code(std::errc::file_exists).message());
    EXPECT_EQ(readBytes(file), "old");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"folder.xls", "link.xls", "real"}));
    EXPECT_EQ(namesIn(dir / "real"), std::set<std::string>{"file.xls"});
}
