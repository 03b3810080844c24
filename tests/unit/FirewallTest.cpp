#include "FakePlatform.h"

#include "target/Target.h"
#include "stages/Firewall.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Row {
    const char *Name;
    const wchar_t *Rule;
    std::function<void()> Arrange;
    bool Result;
    std::vector<std::wstring> Removed;
    int Uninitializations;
};

class FirewallTest : public testing::TestWithParam<Row> {};

TEST_P(FirewallTest, RemovesTheRuleAndReleasesEverything)
{
    const Row &row = GetParam();
    ResetFake();
    ZeroMemory(&Target, sizeof Target);
    wcscpy(Target.FirewallRuleName, row.Rule);
    // The run's own apartment is already there.
    ASSERT_EQ(OsCoInitializeEx(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
    row.Arrange();

    EXPECT_EQ(RemoveFirewallRule(), row.Result);
    EXPECT_EQ(Fake.RemovedRules, row.Removed);
    EXPECT_EQ(Fake.CoUninitializeCount, row.Uninitializations);
    EXPECT_EQ(Fake.ComDepth, 1) << "the run's apartment must survive the stage";
    EXPECT_EQ(Fake.LiveObjects, 0);
    EXPECT_EQ(Fake.LiveStrings, 0);
}

const Row Rows[] = {
    {"RuleRemoved", L"Orbel Inbound", [] {}, true, {L"Orbel Inbound"}, 1},
    {"NoRuleNamed", L"", [] {}, true, {}, 1},
    {"NoRuleNamedPolicyUnavailable", L"", [] { Fake.CreateResult = REGDB_E_CLASSNOTREG; }, false, {}, 1},
    {"PolicyUnavailable", L"R", [] { Fake.CreateResult = E_ACCESSDENIED; }, false, {}, 1},
    {"ComRefused", L"R", [] { Fake.CoInitResults = {E_OUTOFMEMORY}; }, false, {}, 0},
    {"OtherApartmentModeGoesOn", L"R", [] { Fake.CoInitResults = {RPC_E_CHANGED_MODE}; }, true, {L"R"}, 0},
    {"RulesUnavailable", L"R", [] { Fake.GetRulesResult = E_FAIL; }, false, {}, 1},
    {"RulesFailButHandOutACollection", L"R",
     [] {
         Fake.GetRulesResult = E_FAIL;
         Fake.GetRulesLeavesObject = true;
     },
     false, {}, 1},
    {"NameCannotBeAllocated", L"R", [] { Fake.AllocStringFails = true; }, false, {}, 1},
    {"RemoveFails", L"R", [] { Fake.RemoveResult = E_ACCESSDENIED; }, false, {L"R"}, 1},
    {"RemoveSucceedsWithSFalse", L"R", [] { Fake.RemoveResult = S_FALSE; }, true, {L"R"}, 1},
    {"EveryRuleOfTheNameRemoved", L"R", [] { Fake.Rules = {L"R", L"Other", L"R", L"R"}; }, true,
     {L"R", L"R", L"R"}, 1},
    {"RemoveThatDeletesNothingGivesUp", L"R",
     [] {
         Fake.Rules = {L"R"};
         Fake.RemoveDeletesNothing = true;
     },
     false, {L"R"}, 1},
    {"HundredAndFiftyRulesOfOneNameRemoved", L"R", [] { Fake.Rules.assign(150, L"R"); }, true,
     std::vector<std::wstring>(150, L"R"), 1},
    {"ItemDeniedFails", L"R", [] { Fake.ItemResult = E_ACCESSDENIED; }, false, {L"R"}, 1},
    {"CountFails", L"R", [] { Fake.CountResult = E_ACCESSDENIED; }, false, {}, 1},
    // As under Wine: no rules kept, a Remove that does nothing and no Item.
    {"ItemNotImplementedEndsAfterOneRemove", L"R",
     [] {
         Fake.RemoveDeletesNothing = true;
         Fake.ItemResult = E_NOTIMPL;
     },
     true, {L"R"}, 1},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, FirewallTest, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &info) { return info.param.Name; });

TEST(Firewall, AsksForThePolicyObjectInProcessWithItsIdentifiers)
{
    ResetFake();
    ZeroMemory(&Target, sizeof Target);
    wcscpy(Target.FirewallRuleName, std::wstring(259, L'r').c_str());
    ASSERT_TRUE(RemoveFirewallRule());
    const CLSID policyClass = {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
    const IID policyInterface = {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
    EXPECT_TRUE(IsEqualCLSID(Fake.CreatedClass, policyClass));
    EXPECT_TRUE(IsEqualIID(Fake.CreatedInterface, policyInterface));
    EXPECT_EQ(Fake.CreateContext, (DWORD)CLSCTX_INPROC_SERVER);
    EXPECT_EQ(Fake.CreateOuter, nullptr);
    EXPECT_EQ(CallsStartingWith(L"CoInitializeEx"), std::vector<std::wstring>{L"CoInitializeEx 2"});
    EXPECT_EQ(Fake.RemovedRules, std::vector<std::wstring>{std::wstring(259, L'r')});
}

} // namespace
