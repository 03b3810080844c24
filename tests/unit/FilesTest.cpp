#include "FakePlatform.h"

#include "target/Target.h"
#include "stages/Files.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::wstring Path = L"C:\\Program Files\\Demo\\Demo.exe";
const DWORD Dir = FILE_ATTRIBUTE_DIRECTORY;

struct ItemRow {
    const char *Name;
    std::function<void()> Arrange;
    bool Result;
    bool Restart;
    std::vector<std::wstring> Pending;
    bool Gone;
};

class RemoveOrScheduleFileTest : public testing::TestWithParam<ItemRow> {};

TEST_P(RemoveOrScheduleFileTest, DeletesOrDefers)
{
    const ItemRow &row = GetParam();
    ResetFake();
    RestartNeeded = 0;
    row.Arrange();
    EXPECT_EQ(RemoveOrScheduleFile(Path.c_str()), row.Result);
    EXPECT_EQ(RestartNeeded, row.Restart ? 1u : 0u);
    EXPECT_EQ(Fake.Pending, row.Pending);
    EXPECT_EQ(Fake.Files.count(Path) == 0, row.Gone);
}

const ItemRow FileRows[] = {
    {"Absent", [] {}, true, false, {}, true},
    {"Plain", [] { Fake.Files[Path] = FILE_ATTRIBUTE_ARCHIVE; }, true, false, {}, true},
    {"ReadOnlyHiddenSystem",
     [] { Fake.Files[Path] = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM; }, true,
     false, {}, true},
    {"FolderWhereAFileIsExpected", [] { Fake.Files[Path] = Dir; }, true, false, {}, false},
    {"InUse",
     [] {
         Fake.Files[Path] = FILE_ATTRIBUTE_ARCHIVE;
         Fake.DeleteFails.insert(Path);
     },
     true, true, {Path}, false},
    {"AttributesRefused",
     [] {
         Fake.Files[Path] = FILE_ATTRIBUTE_ARCHIVE;
         Fake.SetAttributesFails.insert(Path);
     },
     true, true, {Path}, false},
    {"NeitherDeletedNorScheduled",
     [] {
         Fake.Files[Path] = FILE_ATTRIBUTE_ARCHIVE;
         Fake.DeleteFails.insert(Path);
         Fake.MoveFails.insert(Path);
     },
     false, false, {}, false},
    {"VanishedAfterFailedDelete",
     [] {
         Fake.Files[Path] = FILE_ATTRIBUTE_ARCHIVE;
         Fake.DeleteFails.insert(Path);
         Fake.VanishOnFailure.insert(Path);
     },
     true, true, {}, true},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, RemoveOrScheduleFileTest, testing::ValuesIn(FileRows),
                         [](const testing::TestParamInfo<ItemRow> &info) { return info.param.Name; });

TEST(RemoveOrScheduleFile, ClearsAttributesOnlyBeforeDeleting)
{
    ResetFake();
    Fake.Files[Path] = FILE_ATTRIBUTE_READONLY;
    Fake.SetAttributesFails.insert(Path);
    ASSERT_TRUE(RemoveOrScheduleFile(Path.c_str()));
    EXPECT_TRUE(CallsStartingWith(L"DeleteFile").empty()) << "deleted although the attributes stayed";
    EXPECT_EQ(Fake.Files[Path], (DWORD)FILE_ATTRIBUTE_READONLY);
}

TEST(RemoveOrScheduleFolder, RemovesOnlyAnEmptyFolderAndNeverItsContents)
{
    const std::wstring folder = L"C:\\Program Files\\Demo";
    struct Row {
        const char *Name;
        std::map<std::wstring, DWORD> Files;
        std::set<std::wstring> MoveFails;
        bool Result, Restart;
        std::vector<std::wstring> Pending;
        bool VanishesAfterFailing = false;
    } rows[] = {
        {"absent", {}, {}, true, false, {}},
        {"a file, not a folder", {{folder, FILE_ATTRIBUTE_ARCHIVE}}, {}, true, false, {}},
        {"empty", {{folder, Dir}}, {}, true, false, {}},
        {"holds another file", {{folder, Dir}, {folder + L"\\notes.txt", 0}}, {}, true, true, {folder}},
        {"cannot be scheduled", {{folder, Dir}, {folder + L"\\notes.txt", 0}}, {folder}, false, false, {}},
        {"gone after its failed removal", {{folder, Dir}}, {}, true, true, {}, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        ResetFake();
        RestartNeeded = 0;
        Fake.Files = row.Files;
        Fake.MoveFails = row.MoveFails;
        if (row.VanishesAfterFailing) {
            Fake.RemoveDirectoryFails.insert(folder);
            Fake.VanishOnFailure.insert(folder);
        }
        EXPECT_EQ(RemoveOrScheduleFolder(folder.c_str()), row.Result);
        EXPECT_EQ(RestartNeeded, row.Restart ? 1u : 0u);
        EXPECT_EQ(Fake.Pending, row.Pending);
        EXPECT_TRUE(CallsStartingWith(L"DeleteFile").empty());
        EXPECT_TRUE(CallsStartingWith(L"SetFileAttributes").empty());
        if (row.Files.count(folder + L"\\notes.txt"))
            EXPECT_EQ(Fake.Files.count(folder + L"\\notes.txt"), 1u);
    }
}

class StagesTest : public testing::Test {
protected:
    const std::wstring AppDir = L"C:\\Program Files\\Demo";
    const std::wstring Exe = AppDir + L"\\Demo.exe", Help = AppDir + L"\\Demo.chm",
                       Uninstaller = AppDir + L"\\Kestrane.exe";
    const std::wstring StartMenu = Programs + L"\\Demo.lnk", OnDesktop = Desktop + L"\\Demo.lnk";

    void SetUp() override
    {
        ResetFake();
        RestartNeeded = 0;
        ZeroMemory(&Target, sizeof Target);
        wcscpy(Target.AppDir, AppDir.c_str());
        wcscpy(Target.AppExePath, Exe.c_str());
        wcscpy(Target.AppHelpPath, Help.c_str());
        wcscpy(Target.UninstallerExePath, Uninstaller.c_str());
        wcscpy(Target.StartMenuShortcutPath, StartMenu.c_str());
        wcscpy(Target.DesktopShortcutPath, OnDesktop.c_str());
        Fake.Files = {{AppDir, Dir}, {Exe, 0}, {Help, 0}, {Uninstaller, 0}, {StartMenu, 0}, {OnDesktop, 0}};
    }
};

TEST_F(StagesTest, EverythingGoesAtOnce)
{
    EXPECT_TRUE(RemoveShortcuts());
    EXPECT_TRUE(RemoveProgramFiles());
    EXPECT_TRUE(Fake.Files.empty());
    EXPECT_EQ(RestartNeeded, 0u);
}

TEST_F(StagesTest, StuckStartMenuShortcutLeavesTheDesktopOneAlone)
{
    Fake.DeleteFails.insert(StartMenu);
    Fake.MoveFails.insert(StartMenu);
    EXPECT_FALSE(RemoveShortcuts());
    EXPECT_EQ(Fake.Files.count(OnDesktop), 1u);
    EXPECT_EQ(RestartNeeded, 0u);
}

TEST_F(StagesTest, InUseFileIsScheduledAndTheRestGoesOnInOrder)
{
    Fake.DeleteFails.insert(Exe);
    EXPECT_TRUE(RemoveProgramFiles());
    EXPECT_EQ(Fake.Pending, (std::vector<std::wstring>{Exe, AppDir}));
    EXPECT_EQ(Fake.Files.count(Help), 0u);
    EXPECT_EQ(Fake.Files.count(Uninstaller), 0u);
    EXPECT_EQ(RestartNeeded, 1u);
}

TEST_F(StagesTest, FileThatCannotBeScheduledStopsTheStage)
{
    Fake.DeleteFails.insert(Help);
    Fake.MoveFails.insert(Help);
    EXPECT_FALSE(RemoveProgramFiles());
    EXPECT_EQ(Fake.Files.count(Exe), 0u);
    EXPECT_EQ(Fake.Files.count(Uninstaller), 1u);
    EXPECT_EQ(Fake.Files.count(AppDir), 1u);
    EXPECT_TRUE(CallsStartingWith(L"RemoveDirectory").empty());
}

} // namespace
