#include "FakePlatform.h"

#include "target/Target.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

class TargetTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetFake();
        ZeroMemory(&Target, sizeof Target);
    }
};

TEST_F(TargetTest, ParseArgumentsTakesTheApplicationAndTheRule)
{
    const std::wstring longestName(188, L'n'), longestRule(257, L'r');
    struct Row {
        std::wstring Argument;
        ArgumentsResult Expected;
        const wchar_t *AppName, *RuleName;
    } rows[] = {
        {L"Orbel/Orbel Inbound", ArgumentsOk, L"Orbel", L"Orbel Inbound"},
        {L"App/NULL", ArgumentsOk, L"App", L""},
        {L"App/null", ArgumentsOk, L"App", L""},
        {L"App/Null", ArgumentsOk, L"App", L""},
        {L"App/NULLX", ArgumentsOk, L"App", L"NULLX"},
        {L"/App//Rule/", ArgumentsOk, L"App", L"Rule"},
        {L"A/B/C", ArgumentsOk, L"A", L"B"},
        {L"My App/Rule 1", ArgumentsOk, L"My App", L"Rule 1"},
        {L" App /NULL", ArgumentsOk, L" App ", L""},
        {L"Évier/Règle", ArgumentsOk, L"Évier", L"Règle"},
        {L"...App/NULL", ArgumentsOk, L"...App", L""},
        {L"App", ArgumentsIncomplete, L"App", L""},
        {L"App/", ArgumentsIncomplete, L"App", L""},
        {L"/", ArgumentsIncomplete, L"", L""},
        {L"", ArgumentsIncomplete, L"", L""},
        // Names that would leave the application's own folder and keys.
        {L"../NULL", ArgumentsOnlyDotsAndBlanks, L"..", L""},
        {L"./NULL", ArgumentsOnlyDotsAndBlanks, L".", L""},
        {L"a\\b/NULL", ArgumentsNotAFolderName, L"a\\b", L""},
        {L"\\/NULL", ArgumentsNotAFolderName, L"\\", L""},
        // Characters no file name may hold: such a name is never the application's folder.
        {L"\"App/Rule\"", ArgumentsNotAFolderName, L"\"App", L""},
        {L"App*/NULL", ArgumentsNotAFolderName, L"App*", L""},
        {L"C:/NULL", ArgumentsNotAFolderName, L"C:", L""},
        {L"<App>/NULL", ArgumentsNotAFolderName, L"<App>", L""},
        {L"App?/NULL", ArgumentsNotAFolderName, L"App?", L""},
        {L"A|B/NULL", ArgumentsNotAFolderName, L"A|B", L""},
        {L"A\tB/NULL", ArgumentsNotAFolderName, L"A\tB", L""},
        {L"App\x1F/NULL", ArgumentsNotAFolderName, L"App\x1F", L""},
        {L"App/\"R*:<>?|\"", ArgumentsOk, L"App", L"\"R*:<>?|\""},
        // Windows drops trailing dots and blanks: these would be Program Files itself.
        {L".../NULL", ArgumentsOnlyDotsAndBlanks, L"...", L""},
        {L" /NULL", ArgumentsOnlyDotsAndBlanks, L" ", L""},
        {L". ./NULL", ArgumentsOnlyDotsAndBlanks, L". .", L""},
        // Length: the argument text, then the uninstall key path (71 + name).
        {longestName + L"/NULL", ArgumentsOk, longestName.c_str(), L""},
        {std::wstring(189, L'n') + L"/NULL", ArgumentsNameTooLong, nullptr, L""},
        {L"A/" + longestRule, ArgumentsOk, L"A", longestRule.c_str()},
        {L"A/" + std::wstring(258, L'r'), ArgumentsTooLong, L"", L""},
        {std::wstring(600, L'x'), ArgumentsTooLong, L"", L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "argument " << row.Argument);
        ZeroMemory(&Target, sizeof Target);
        EXPECT_EQ(ParseArguments(row.Argument.c_str()), row.Expected);
        if (row.AppName != nullptr)
            EXPECT_STREQ(Target.AppName, row.AppName);
        if (row.RuleName != nullptr && row.Expected == ArgumentsOk)
            EXPECT_STREQ(Target.FirewallRuleName, row.RuleName);
    }
    EXPECT_TRUE(Fake.Calls.empty()) << "parsing touched the platform";
}

TEST_F(TargetTest, ResolveTargetPathsComposesEveryPathAndKey)
{
    ASSERT_EQ(ParseArguments(L"Demo/NULL"), ArgumentsOk);
    ASSERT_EQ(ResolveTargetPaths(), ResolveOk);
    EXPECT_STREQ(Target.ProgramFilesDir, L"C:\\Program Files");
    EXPECT_STREQ(Target.AppDir, L"C:\\Program Files\\Demo");
    EXPECT_STREQ(Target.AppExePath, L"C:\\Program Files\\Demo\\Demo.exe");
    EXPECT_STREQ(Target.AppHelpPath, L"C:\\Program Files\\Demo\\Demo.chm");
    EXPECT_STREQ(Target.UninstallerExePath, L"C:\\Program Files\\Demo\\Kestrane.exe");
    EXPECT_EQ(std::wstring(Target.DesktopDir), Desktop);
    EXPECT_EQ(std::wstring(Target.DesktopShortcutPath), Desktop + L"\\Demo.lnk");
    EXPECT_EQ(std::wstring(Target.ProgramsDir), Programs);
    EXPECT_EQ(std::wstring(Target.StartMenuShortcutPath), Programs + L"\\Demo.lnk");
    EXPECT_STREQ(Target.UserKeyPath, L"HKEY_CURRENT_USER\\Software\\Demo");
    EXPECT_STREQ(Target.UninstallKeyPath,
                 L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
    std::vector<std::wstring> expected = {L"GetFolderPath 38", L"GetFolderPath 16", L"GetFolderPath 2"};
    EXPECT_EQ(Fake.Calls, expected);
}

TEST_F(TargetTest, ResolveTargetPathsStopsAtTheFirstFolderThatFails)
{
    struct Row {
        int Folder;
        HRESULT Result;
        ResolveResult Expected;
        size_t Asked;
    } rows[] = {
        {CSIDL_PROGRAM_FILES, E_FAIL, ResolveFolderFailed, 1},
        {CSIDL_DESKTOPDIRECTORY, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), ResolveFolderFailed, 2},
        {CSIDL_PROGRAMS, E_INVALIDARG, ResolveFolderFailed, 3},
        {CSIDL_PROGRAMS, S_FALSE, ResolveOk, 3}, // not negative, so resolved
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "folder " << row.Folder << " result " << row.Result);
        ResetFake();
        ZeroMemory(&Target, sizeof Target);
        Fake.Folders[row.Folder].first = row.Result;
        ASSERT_EQ(ParseArguments(L"Demo/NULL"), ArgumentsOk);
        EXPECT_EQ(ResolveTargetPaths(), row.Expected);
        EXPECT_EQ(Fake.Calls.size(), row.Asked);
        if (row.Asked > 1)
            EXPECT_STREQ(Target.AppDir, L"C:\\Program Files\\Demo") << "composed before the failure";
    }
}

TEST_F(TargetTest, ResolveTargetPathsRefusesPathsThatWouldNotFit)
{
    struct Row {
        int Folder;
        size_t FolderLength, NameLength;
        ResolveResult Expected;
    } rows[] = {
        // folder + "\" + name + "\" + name + ".exe": 22 + 2 * 118 = 258 fits, 260 does not.
        {CSIDL_PROGRAM_FILES, 16, 118, ResolveOk},
        {CSIDL_PROGRAM_FILES, 16, 119, ResolveTooLong},
        // The uninstaller's own name is then the longest.
        {CSIDL_PROGRAM_FILES, 244, 1, ResolveOk},
        {CSIDL_PROGRAM_FILES, 245, 1, ResolveTooLong},
        // folder + "\" + name + ".lnk"
        {CSIDL_DESKTOPDIRECTORY, 250, 4, ResolveOk},
        {CSIDL_DESKTOPDIRECTORY, 250, 5, ResolveTooLong},
        {CSIDL_PROGRAMS, 250, 5, ResolveTooLong},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "folder " << row.Folder << " of " << row.FolderLength
                                        << " name of " << row.NameLength);
        ResetFake();
        ZeroMemory(&Target, sizeof Target);
        Fake.Folders[row.Folder].second = L"C:\\" + std::wstring(row.FolderLength - 3, L'p');
        std::wstring argument = std::wstring(row.NameLength, L'n') + L"/NULL";
        ASSERT_EQ(ParseArguments(argument.c_str()), ArgumentsOk);
        EXPECT_EQ(ResolveTargetPaths(), row.Expected);
    }
}
