#include "look/Skipped.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Windows' own bookkeeping is skipped; what an installer may own next to it is not.
TEST(CheckSkipped, TheTableSkipsWindowsBookkeepingOnly)
{
    struct Row { const wchar_t *Path; bool Skipped; } rows[] = {
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceCurrent", true},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceCurrentOrbel", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelWriter", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceGroupOrder", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsSkippedPlace(row.Path), row.Skipped) << std::string(row.Path, row.Path + wcslen(row.Path));
}
