#include "FakePlatform.h"

#include "target/Target.h"
#include "guards/RunningCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(IsAppRunning, MatchesTheNameInsideAnyTitleWithItsLetterCase)
{
    const std::wstring name = L"Demo";
    struct Row {
        const char *Name;
        std::vector<std::wstring> Titles;
        bool Running;
    } rows[] = {
        {"no windows", {}, false},
        {"document window", {L"Demo - Document1"}, true},
        {"folder window", {L"C:\\Program Files\\Demo"}, true},
        {"other letter case", {L"demo", L"DEMO"}, false},
        {"untitled windows", {L"", L""}, false},
        {"last of several", {L"Default IME", L"Notes", L"xDemox"}, true},
        {"name at 251..254", {std::wstring(250, L' ') + name}, true},
        {"name cut at 254", {std::wstring(251, L' ') + name}, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        ResetFake();
        ZeroMemory(&Target, sizeof Target);
        wcscpy(Target.AppName, name.c_str());
        Fake.WindowTitles = row.Titles;
        EXPECT_EQ(IsAppRunning(), row.Running);
    }
}

TEST(IsAppRunning, FailedEnumerationCountsAsRunning)
{
    ResetFake();
    wcscpy(Target.AppName, L"Demo");
    Fake.EnumFails = true;
    EXPECT_TRUE(IsAppRunning());
}

TEST(FindAppWindowProc, NullWindowContinues)
{
    ResetFake();
    wcscpy(Target.AppName, L"Demo");
    EXPECT_EQ(FindAppWindowProc(nullptr, 0), TRUE);
}
