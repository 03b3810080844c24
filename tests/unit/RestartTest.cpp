#include "FakePlatform.h"

#include "guards/Restart.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

TEST(RestartSystem, FailsAtEachStepAndClosesTheToken)
{
    struct Row {
        const char *Name;
        std::function<void()> Arrange;
        bool Result;
        bool ShutdownRequested;
    } rows[] = {
        {"all well", [] {}, true, true},
        {"token refused", [] { Fake.OpenTokenResult = FALSE; }, false, false},
        {"lookup fails", [] { Fake.LookupResult = FALSE; }, false, false},
        {"privilege not held", [] { Fake.AdjustLastError = ERROR_NOT_ALL_ASSIGNED; }, false, false},
        {"adjust fails", [] { Fake.AdjustLastError = ERROR_ACCESS_DENIED; }, false, false},
        {"close fails", [] { Fake.CloseResult = FALSE; }, false, false},
        {"request refused", [] { Fake.ShutdownResult = FALSE; }, false, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        ResetFake();
        row.Arrange();
        EXPECT_EQ(RestartSystem(), row.Result);
        EXPECT_EQ(Fake.Shutdown.Requested, row.ShutdownRequested);
        EXPECT_EQ(Fake.OpenTokens, 0) << "token left open";
    }
}

TEST(RestartSystem, RequestsAnImmediatePlannedRestart)
{
    ResetFake();
    ASSERT_TRUE(RestartSystem());
    EXPECT_EQ(Fake.TokenAccess, (DWORD)0x28);
    EXPECT_EQ(Fake.LookedUpPrivilege, L"SeShutdownPrivilege");
    EXPECT_EQ(Fake.Adjusted.PrivilegeCount, 1u);
    EXPECT_EQ(Fake.Adjusted.Privileges[0].Luid.LowPart, 19u);
    EXPECT_EQ(Fake.Adjusted.Privileges[0].Attributes, (DWORD)SE_PRIVILEGE_ENABLED);
    EXPECT_FALSE(Fake.AdjustDisableAll);
    EXPECT_EQ(Fake.AdjustLength, 0u);
    EXPECT_FALSE(Fake.AdjustAskedPrevious);
    EXPECT_EQ(Fake.Shutdown.Machine, nullptr);
    EXPECT_EQ(Fake.Shutdown.Message, nullptr);
    EXPECT_EQ(Fake.Shutdown.Timeout, 0u);
    EXPECT_EQ(Fake.Shutdown.Force, FALSE);
    EXPECT_EQ(Fake.Shutdown.Restart, TRUE);
    EXPECT_EQ(Fake.Shutdown.Reason, 0x80040002u);
    // The token is closed before the restart is requested.
    std::vector<std::wstring> order = {L"OpenProcessToken", L"LookupPrivilegeValue", L"AdjustTokenPrivileges",
                                       L"CloseHandle", L"InitiateSystemShutdownEx"};
    EXPECT_EQ(Fake.Calls, order);
}
