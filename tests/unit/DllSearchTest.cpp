#include "FakePlatform.h"

#include "guards/DllSearch.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(DllSearch, PreloadsFromTheSystemFolderOnlyWhereTheSearchCannotBeRestricted)
{
    for (bool restrictionAvailable : {true, false}) {
        ResetFake();
        Fake.RestrictionAvailable = restrictionAvailable;
        RestrictDllSearch();
        // The names most often planted beside programs that call these system DLLs.
        for (const wchar_t *name : {L"uxtheme.dll", L"version.dll", L"cryptbase.dll", L"dwmapi.dll",
                                    L"rpcrtremote.dll", L"cryptsp.dll"})
            EXPECT_EQ(std::count(Fake.SystemLibrariesLoaded.begin(), Fake.SystemLibrariesLoaded.end(), name),
                      restrictionAvailable ? 0 : 1)
                << name << (restrictionAvailable ? " with" : " without") << " the restriction";
    }
}
