#include "FakePlatform.h"

#include "target/Target.h"
#include "stages/Registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

const std::wstring UninstallKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
const std::wstring UserKey = L"HKEY_CURRENT_USER\\Software\\Demo";

TEST(SplitRegistryPath, FindsTheRootAndKeepsTheRest)
{
    struct Row {
        const wchar_t *Path;
        HKEY Root;
        const wchar_t *Subkey;
    } rows[] = {
        {L"HKEY_CURRENT_USER\\Software\\Demo", HKEY_CURRENT_USER, L"Software\\Demo"},
        {L"HKEY_CLASSES_ROOT\\x", HKEY_CLASSES_ROOT, L"x"},
        {L"HKEY_LOCAL_MACHINE\\a\\\\b\\", HKEY_LOCAL_MACHINE, L"a\\\\b\\"},
        {L"HKEY_USERS\\x", HKEY_USERS, L"x"},
        {L"HKEY_CURRENT_CONFIG\\x", HKEY_CURRENT_CONFIG, L"x"},
        {L"\\\\HKEY_USERS\\x", HKEY_USERS, L"x"},
        {L"HKEY_USERS", HKEY_USERS, L""},
        {L"hkey_current_user\\Software", nullptr, L"Software"},
        {L"HKEY_PERFORMANCE_DATA\\x", nullptr, L"x"},
        {L"HKEY_CURRENT_USERS\\x", nullptr, L"x"},
        {L"", nullptr, L""},
        {L"\\\\", nullptr, L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "path " << row.Path);
        wchar_t subkey[MAX_PATH + 1] = {};
        subkey[MAX_PATH] = L'#';
        EXPECT_EQ(SplitRegistryPath(row.Path, subkey), row.Root);
        EXPECT_STREQ(subkey, row.Subkey);
        EXPECT_EQ(subkey[MAX_PATH], L'#');
    }
}

TEST(SplitRegistryPath, RootValuesAreThePredefinedKeys)
{
    const ULONG_PTR values[] = {0x80000000, 0x80000001, 0x80000002, 0x80000003, 0x80000005};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(RootKeyTable[i].Key), (ULONG_PTR)(LONG_PTR)(LONG)values[i]);
}

TEST(RegistryKeyExists, OnlyNotFoundMeansAbsent)
{
    struct Row {
        const char *Name;
        std::function<void()> Arrange;
        KeyState Expected;
    } rows[] = {
        {"present", [] { Fake.Keys = {UserKey}; }, KeyPresent},
        {"absent", [] {}, KeyAbsent},
        {"access denied", [] { Fake.OpenErrors[UserKey] = ERROR_ACCESS_DENIED; }, KeyUnreachable},
        {"other error", [] { Fake.OpenErrors[UserKey] = ERROR_BADKEY; }, KeyUnreachable},
        {"opens but does not close", [] { Fake.Keys = {UserKey}; Fake.CloseFails = {UserKey}; }, KeyAbsent},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        ResetFake();
        row.Arrange();
        EXPECT_EQ(RegistryKeyExists(UserKey.c_str()), row.Expected);
        EXPECT_EQ(Fake.OpenKeys, 0);
        EXPECT_EQ(CallsStartingWith(L"RegOpenKeyEx"),
                  std::vector<std::wstring>{L"RegOpenKeyEx " + UserKey + L" 0 1"});
    }
    ResetFake();
    EXPECT_EQ(RegistryKeyExists(L"hkey_current_user\\Software\\Demo"), KeyAbsent);
}

struct StageRow {
    const char *Name;
    std::function<void()> Arrange;
    bool Result;
    std::vector<std::wstring> Deleted; // RegDeleteKey calls, in order
    std::set<std::wstring> Left;
};

class RemoveRegistryKeysTest : public testing::TestWithParam<StageRow> {};

TEST_P(RemoveRegistryKeysTest, DeletesUninstallThenSettingsKey)
{
    const StageRow &row = GetParam();
    ResetFake();
    ZeroMemory(&Target, sizeof Target);
    wcscpy(Target.UninstallKeyPath, UninstallKey.c_str());
    wcscpy(Target.UserKeyPath, UserKey.c_str());
    row.Arrange();
    EXPECT_EQ(RemoveRegistryKeys(), row.Result);
    std::vector<std::wstring> deleted;
    for (const std::wstring &call : CallsStartingWith(L"RegDeleteKey "))
        deleted.push_back(call.substr(13));
    EXPECT_EQ(deleted, row.Deleted);
    EXPECT_EQ(Fake.Keys, row.Left);
    EXPECT_EQ(Fake.OpenKeys, 0);
}

const StageRow StageRows[] = {
    {"BothPresent", [] { Fake.Keys = {UninstallKey, UserKey}; }, true, {UninstallKey, UserKey}, {}},
    {"NeitherPresent", [] {}, true, {}, {}},
    {"OnlySettingsKey", [] { Fake.Keys = {UserKey}; }, true, {UserKey}, {}},
    {"UninstallKeyWithSubkey", [] { Fake.Keys = {UninstallKey, UninstallKey + L"\\Sub", UserKey}; }, false,
     {UninstallKey}, {UninstallKey, UninstallKey + L"\\Sub", UserKey}},
    {"SettingsKeyRefused",
     [] {
         Fake.Keys = {UninstallKey, UserKey};
         Fake.DeleteErrors[UserKey] = ERROR_ACCESS_DENIED;
     },
     false, {UninstallKey, UserKey}, {UserKey}},
    {"UninstallKeyUnreadable",
     [] {
         Fake.Keys = {UninstallKey, UserKey};
         Fake.OpenErrors[UninstallKey] = ERROR_ACCESS_DENIED;
     },
     false, {}, {UninstallKey, UserKey}},
    {"SettingsKeyUnreadable",
     [] {
         Fake.Keys = {UninstallKey, UserKey};
         Fake.OpenErrors[UserKey] = ERROR_ACCESS_DENIED;
     },
     false, {UninstallKey}, {UserKey}},
    {"UninstallKeyDoesNotClose",
     [] {
         Fake.Keys = {UninstallKey, UserKey};
         Fake.CloseFails = {UninstallKey};
     },
     true, {UserKey}, {UninstallKey}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, RemoveRegistryKeysTest, testing::ValuesIn(StageRows),
                         [](const testing::TestParamInfo<StageRow> &info) { return info.param.Name; });

} // namespace
