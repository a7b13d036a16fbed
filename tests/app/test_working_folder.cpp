// The working folder: which one is chosen, what a first start puts there, what a failed one leaves.
#include "app/WorkingFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace fs = std::filesystem;
using cw::app::chooseWorkingFolder;
using cw::test::readBytes, cw::test::writeBytes;

namespace {

// An installation under <root>/usr with its data, and a home folder, in a scratch folder.
struct Installation {
    cw::test::TempFolder root{"working-folder"};
    cw::app::FolderPlaces places{root / "usr/bin", root / "home/Documents",
                                 cw::app::installedDataFolder(root / "usr/bin")};
    fs::path documentsFolder() const { return places.documentsFolder / "Certwright"; }

    Installation()
    {
        writeBytes(places.installedDataFolder / "TDS16A.xls", "installed template");
        writeBytes(places.installedDataFolder / "Read me First.txt", "installed read-me");
        fs::create_directories(places.programFolder);
    }
    std::set<std::string> namesInDocuments() const
    {
        std::set<std::string> names;
        if (fs::is_directory(documentsFolder()))
            for (const auto& entry : fs::directory_iterator(documentsFolder()))
                names.insert(entry.path().filename().string());
        return names;
    }
};

} // namespace

TEST(WorkingFolder, GivenFolderThenPortableLayoutThenDocuments)
{
    const struct { bool given, templateBesideProgram; const char* expected; } cases[] = {
        {true, true, "given"}, {false, true, "usr/bin"}, {false, false, "home/Documents/Certwright"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        Installation install;
        if (c.templateBesideProgram)
            writeBytes(install.places.programFolder / "TDS16A.xls", "portable template");
        const auto folder = chooseWorkingFolder(c.given ? std::optional(install.root / "given") : std::nullopt,
                                                install.places);
        EXPECT_FALSE(folder.problem);
        EXPECT_EQ(folder.path, install.root / c.expected);
        // Only the documents choice makes a folder; the others are used as they are.
        EXPECT_EQ(fs::exists(install.documentsFolder()), std::string(c.expected).starts_with("home"));
    }
}

TEST(WorkingFolder, FirstStartCopiesTheFilesLaterStartsKeepWhatIsThere)
{
    Installation install;
    ASSERT_FALSE(chooseWorkingFolder(std::nullopt, install.places).problem);
    const fs::path folder = install.documentsFolder();
    EXPECT_EQ(install.namesInDocuments(), (std::set<std::string>{"Read me First.txt", "TDS16A.xls"}));
    EXPECT_EQ(readBytes(folder / "TDS16A.xls"), "installed template");

    // The user's template holds their acknowledgement numbers: never replaced. A deleted read-me
    // comes back.
    writeBytes(folder / "TDS16A.xls", "the user's template");
    fs::remove(folder / "Read me First.txt");
    ASSERT_FALSE(chooseWorkingFolder(std::nullopt, install.places).problem);
    EXPECT_EQ(readBytes(folder / "TDS16A.xls"), "the user's template");
    EXPECT_EQ(readBytes(folder / "Read me First.txt"), "installed read-me");
    EXPECT_EQ(install.namesInDocuments().size(), 2u);
}

TEST(WorkingFolder, AFolderThatCannotBePreparedIsReportedAndLeftClean)
{
    const struct { const char* named; void (*breakIt)(Installation&); } cases[] = {
        {"TDS16A.xls", [](Installation& i) { fs::remove(i.places.installedDataFolder / "TDS16A.xls"); }},
        {"TDS16A.xls", [](Installation& i) {
             fs::remove(i.places.installedDataFolder / "TDS16A.xls");
             fs::create_directories(i.places.installedDataFolder / "TDS16A.xls");
         }},
        {"Documents/Certwright", [](Installation& i) { writeBytes(i.documentsFolder(), "a file in the way"); }},
        {"Documents folder", [](Installation& i) { i.places.documentsFolder.clear(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        Installation install;
        c.breakIt(install);
        const auto folder = chooseWorkingFolder(std::nullopt, install.places);
        ASSERT_TRUE(folder.problem);
        EXPECT_NE(folder.problem->prompt.find(c.named), std::string::npos) << folder.problem->prompt;
        // No half template, no temporary file a later start could take for the real one, and
        // nothing made where the program happened to start.
        EXPECT_TRUE(install.namesInDocuments().empty());
        EXPECT_FALSE(fs::exists("Certwright"));
    }
}
