#include "FakePlatform.h"

#include "guards/DllSearch.h"

#include <gtest/gtest.h>

#include <algorithm>

// Windows, whether it has SetDefaultDllDirectories, the call's result, its version; then whether the
// restriction is asked for and holds. Where it does not, shell32 and the fallback's names get the
// altered search path.
const struct { const char *Windows; bool Has; BOOL Sets; WORD Version; bool Asked, Restricted; } DllRows[] = {
    {"10", true, TRUE, 0x0A00, true, true},
    {"7 with the update", true, TRUE, 0x0601, true, true},
    {"7 without it", false, FALSE, 0x0601, false, false},
    {"Vista with the update", true, TRUE, 0x0600, false, false},
    {"Vista without it", false, FALSE, 0x0600, false, false},
    {"10 where the call fails", true, FALSE, 0x0A00, true, false},
    {"a version that cannot be read", true, TRUE, 0, false, false},
};

TEST(DllSearch, PreloadsFromTheSystemFolderOnlyWhereTheSearchIsNotRestricted)
{
    for (const auto &row : DllRows) {
        SCOPED_TRACE(row.Windows);
        ResetFake();
        Fake.HasSetDefaultDllDirectories = row.Has;
        Fake.SetDefaultDllDirectoriesResult = row.Sets;
        Fake.WindowsVersion = row.Version;
        RestrictDllSearch();
        EXPECT_EQ(CallsStartingWith(L"SetDefaultDllDirectories 2048").size(), row.Asked ? 1u : 0u);
        EXPECT_EQ(Fake.ShellLoadFlags, (DWORD)(row.Restricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH));
        EXPECT_EQ(Fake.SystemLibrariesLoaded.size(), row.Restricted ? 0u : 10u);
        // The names most often planted beside programs that call these system DLLs.
        for (const wchar_t *name :
             {L"uxtheme.dll", L"version.dll", L"cryptbase.dll", L"dwmapi.dll", L"rpcrtremote.dll", L"cryptsp.dll"})
            EXPECT_EQ(std::count(Fake.SystemLibrariesLoaded.begin(), Fake.SystemLibrariesLoaded.end(),
                                 name + std::wstring(L" 8")),
                      row.Restricted ? 0 : 1)
                << name;
    }
}
