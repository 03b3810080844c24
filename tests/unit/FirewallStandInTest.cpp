// The stand-in firewall (tests/firewall) that the end-to-end rows run against under Wine:
// where it strayed from what Microsoft documents, a fault of Kestrane's would pass there.
// Its rules are kept in a key of this test's own, never in the firewall's store.
#include "Rule.h"
#include "Rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const wchar_t TestStore[] = L"Software\\Kestrane Tests\\Stand-in Firewall Rules";
const HRESULT NotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

struct Text
{
    BSTR Value;
    explicit Text(const wchar_t *text) : Value(SysAllocString(text)) {}
    ~Text() { SysFreeString(Value); }
};

std::wstring Read(INetFwRule *rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR *))
{
    BSTR value = NULL;
    (rule->*get)(&value);
    std::wstring text = value != NULL ? value : L"";
    SysFreeString(value);
    return text;
}

// What a reader of every rule gets back, field by field.
std::wstring Describe(INetFwRule *rule)
{
    LONG protocol = 0, profiles = 0;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_MAX;
    NET_FW_ACTION action = NET_FW_ACTION_MAX;
    VARIANT_BOOL enabled = 2;
    rule->get_Protocol(&protocol);
    rule->get_Profiles(&profiles);
    rule->get_Direction(&direction);
    rule->get_Action(&action);
    rule->get_Enabled(&enabled);
    return L"app=" + Read(rule, &INetFwRule::get_ApplicationName) + L" dir=" + std::to_wstring(direction) +
           L" action=" + std::to_wstring(action) + L" protocol=" + std::to_wstring(protocol) +
           L" ports=" + Read(rule, &INetFwRule::get_LocalPorts) + L" enabled=" + std::to_wstring(enabled) +
           L" profiles=" + std::to_wstring(profiles) + L" group=" + Read(rule, &INetFwRule::get_Grouping) +
           L" description=" + Read(rule, &INetFwRule::get_Description);
}

class StandInFirewall
{
public:
    INetFwRules *Rules;

    StandInFirewall() : Rules(NULL), SavedRoot(StoreRoot), SavedPath(StorePath)
    {
        StoreRoot = HKEY_CURRENT_USER;
        StorePath = TestStore;
        RegDeleteTreeW(HKEY_CURRENT_USER, TestStore);
        Rules = NewRules();
    }
    ~StandInFirewall()
    {
        Rules->Release();
        RegDeleteTreeW(HKEY_CURRENT_USER, TestStore);
        StoreRoot = SavedRoot;
        StorePath = SavedPath;
    }

    HRESULT Add(const wchar_t *name)
    {
        Text text(name);
        INetFwRule *rule = new Rule();
        HRESULT result = rule->put_Name(text.Value);
        if (SUCCEEDED(result))
            result = Rules->Add(rule);
        rule->Release();
        return result;
    }

    // Through the enumeration, sorted: the store promises no order.
    std::vector<std::wstring> Names()
    {
        std::vector<std::wstring> names;
        IUnknown *items = NULL;
        IEnumVARIANT *enumeration = NULL;
        if (FAILED(Rules->get__NewEnum(&items)) ||
            FAILED(items->QueryInterface(IID_IEnumVARIANT, (void **)&enumeration)))
            names.push_back(L"(no enumeration)");
        VARIANT item;
        VariantInit(&item);
        while (enumeration != NULL && enumeration->Next(1, &item, NULL) == S_OK)
        {
            INetFwRule *rule = NULL;
            if (V_VT(&item) == VT_DISPATCH &&
                SUCCEEDED(V_DISPATCH(&item)->QueryInterface(IID_INetFwRule, (void **)&rule)))
            {
                names.push_back(Read(rule, &INetFwRule::get_Name));
                rule->Release();
            }
            else
            {
                names.push_back(L"(not a rule)");
            }
            VariantClear(&item);
        }
        if (enumeration != NULL)
            enumeration->Release();
        if (items != NULL)
            items->Release();
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    HKEY SavedRoot;
    std::wstring SavedPath;
};

// What one call on the collection does to the rules there before it.
struct CollectionRow
{
    const char *Name;
    std::vector<const wchar_t *> Before;
    std::function<HRESULT(StandInFirewall &)> Call;
    HRESULT Result;
    std::vector<std::wstring> After;
};

class StandInCollection : public testing::TestWithParam<CollectionRow>
{
};

TEST_P(StandInCollection, AnswersAsDocumented)
{
    const CollectionRow &row = GetParam();
    StandInFirewall firewall;
    for (const wchar_t *name : row.Before)
        ASSERT_EQ(S_OK, firewall.Add(name));

    EXPECT_EQ(row.Result, row.Call(firewall));
    EXPECT_EQ(row.After, firewall.Names());
    LONG count = -1;
    EXPECT_EQ(S_OK, firewall.Rules->get_Count(&count));
    EXPECT_EQ((LONG)row.After.size(), count) << "get_Count and the enumeration disagree";
}

HRESULT Remove(StandInFirewall &firewall, const wchar_t *name)
{
    Text text(name);
    return firewall.Rules->Remove(text.Value);
}

// Item's answer, and its rule's name in place of S_OK's.
HRESULT ItemNamed(StandInFirewall &firewall, const wchar_t *name, const wchar_t *expected)
{
    Text text(name);
    INetFwRule *rule = reinterpret_cast<INetFwRule *>(1);
    HRESULT result = firewall.Rules->Item(text.Value, &rule);
    if (FAILED(result))
        return rule == NULL ? result : E_POINTER;  // documented: nothing handed out
    bool named = Read(rule, &INetFwRule::get_Name) == expected;
    rule->Release();
    return named ? result : E_FAIL;
}

HRESULT AddTwice(StandInFirewall &firewall, INetFwRule *rule)
{
    HRESULT result = firewall.Rules->Add(rule);
    if (SUCCEEDED(result))
        result = firewall.Rules->Add(rule);
    rule->Release();
    return result;
}

const CollectionRow CollectionRows[] = {
    // Names need not be unique, and Remove takes one rule per call: Kestrane calls it until
    // Item finds none. A Remove of every rule at once would hide a Kestrane that stops early.
    {"RemoveTakesOneRuleOfTheName", {L"Orbel", L"Orbel", L"Orbel", L"Other"},
     [](StandInFirewall &f) { return Remove(f, L"Orbel"); }, S_OK, {L"Orbel", L"Orbel", L"Other"}},
    {"RemoveOfNoSuchNameHasNoEffect", {L"Orbel", L"Other"},
     [](StandInFirewall &f) { return Remove(f, L"Orbel Inbound"); }, S_OK, {L"Orbel", L"Other"}},
    {"ItemOfNoSuchNameIsFileNotFound", {L"Orbel"},
     [](StandInFirewall &f) { return ItemNamed(f, L"Orbel Inbound", L""); }, NotFound, {L"Orbel"}},
    {"ItemFindsOneOfSeveral", {L"Orbel", L"Orbel"},
     [](StandInFirewall &f) { return ItemNamed(f, L"Orbel", L"Orbel"); }, S_OK, {L"Orbel", L"Orbel"}},
    {"SameRuleAddedTwiceRefused", {},
     [](StandInFirewall &f) {
         Text name(L"Orbel");
         INetFwRule *rule = new Rule();
         rule->put_Name(name.Value);
         return AddTwice(f, rule);
     },
     E_UNEXPECTED, {L"Orbel"}},
    {"RuleWithoutNameRefused", {}, [](StandInFirewall &f) { return AddTwice(f, new Rule()); }, E_INVALIDARG, {}},
    {"NameAllRefused", {}, [](StandInFirewall &f) { return f.Add(L"all"); }, E_INVALIDARG, {}},
    {"NameWithBarRefused", {}, [](StandInFirewall &f) { return f.Add(L"Orbel|Inbound"); }, E_INVALIDARG, {}},
};

INSTANTIATE_TEST_SUITE_P(Rows, StandInCollection, testing::ValuesIn(CollectionRows),
                         [](const testing::TestParamInfo<CollectionRow> &info) { return info.param.Name; });

// A rule's properties, set in order, and what a reader of the store gets back.
struct PropertyRow
{
    const char *Name;
    std::function<HRESULT(INetFwRule *)> Set;
    HRESULT Result;
    std::wstring ReadBack;
};

class StandInProperties : public testing::TestWithParam<PropertyRow>
{
};

TEST_P(StandInProperties, KeptAsSet)
{
    const PropertyRow &row = GetParam();
    StandInFirewall firewall;
    Text name(L"Orbel Inbound");
    INetFwRule *rule = new Rule();
    ASSERT_EQ(S_OK, rule->put_Name(name.Value));
    EXPECT_EQ(row.Result, row.Set(rule));
    ASSERT_EQ(S_OK, firewall.Rules->Add(rule));
    rule->Release();

    INetFwRule *stored = NULL;
    ASSERT_EQ(S_OK, firewall.Rules->Item(name.Value, &stored));
    EXPECT_EQ(row.ReadBack, Describe(stored));
    stored->Release();
}

HRESULT SetEverything(INetFwRule *rule)
{
    Text app(L"C:\\Program Files\\Orbel\\Orbel.exe"), ports(L"80,443,8000-8010"), group(L"@Orbel.dll,-100"),
        description(L"Orbel's way in");
    HRESULT results[] = {rule->put_ApplicationName(app.Value), rule->put_Direction(NET_FW_RULE_DIR_OUT),
                         rule->put_Action(NET_FW_ACTION_BLOCK), rule->put_Protocol(NET_FW_IP_PROTOCOL_UDP),
                         rule->put_LocalPorts(ports.Value), rule->put_Enabled(VARIANT_TRUE),
                         rule->put_Profiles(NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PUBLIC),
                         rule->put_Grouping(group.Value), rule->put_Description(description.Value)};
    for (HRESULT result : results)
        if (FAILED(result))
            return result;
    return S_OK;
}

HRESULT SetPorts(INetFwRule *rule, LONG protocol, const wchar_t *ports)
{
    Text text(ports);
    HRESULT result = protocol < 0 ? S_OK : rule->put_Protocol(protocol);
    return SUCCEEDED(result) ? rule->put_LocalPorts(text.Value) : result;
}

const PropertyRow PropertyRows[] = {
    {"EveryPropertyKept", SetEverything, S_OK,
     L"app=C:\\Program Files\\Orbel\\Orbel.exe dir=2 action=0 protocol=17 ports=80,443,8000-8010 enabled=-1 "
     L"profiles=5 group=@Orbel.dll,-100 description=Orbel's way in"},
    // Inbound, and disabled until enabled, as documented; any protocol and every profile.
    {"NothingSet", [](INetFwRule *) { return S_OK; }, S_OK,
     L"app= dir=1 action=1 protocol=256 ports= enabled=0 profiles=2147483647 group= description="},
    // Documented: the protocol must be set before the ports, or an error is returned.
    {"PortsBeforeTheProtocolRefused", [](INetFwRule *rule) { return SetPorts(rule, -1, L"80"); }, E_INVALIDARG,
     L"app= dir=1 action=1 protocol=256 ports= enabled=0 profiles=2147483647 group= description="},
    {"PortsOfIcmpRefused", [](INetFwRule *rule) { return SetPorts(rule, 1, L"80"); }, E_INVALIDARG,
     L"app= dir=1 action=1 protocol=1 ports= enabled=0 profiles=2147483647 group= description="},
    // Documented: a port rule becomes an ICMP rule only once its ports are gone.
    {"ProtocolWithoutPortsRefusedWhilePortsStay",
     [](INetFwRule *rule) {
         HRESULT result = SetPorts(rule, NET_FW_IP_PROTOCOL_TCP, L"80");
         return SUCCEEDED(result) ? rule->put_Protocol(1) : result;
     },
     E_INVALIDARG, L"app= dir=1 action=1 protocol=6 ports=80 enabled=0 profiles=2147483647 group= description="},
    {"PortOutOfRangeRefused", [](INetFwRule *rule) { return SetPorts(rule, NET_FW_IP_PROTOCOL_TCP, L"65536"); },
     E_INVALIDARG, L"app= dir=1 action=1 protocol=6 ports= enabled=0 profiles=2147483647 group= description="},
};

INSTANTIATE_TEST_SUITE_P(Rows, StandInProperties, testing::ValuesIn(PropertyRows),
                         [](const testing::TestParamInfo<PropertyRow> &info) { return info.param.Name; });

// Documented: a rule retrieved through the collection changes the firewall at once.
TEST(StandInRule, ChangedThroughItemAtOnce)
{
    StandInFirewall firewall;
    ASSERT_EQ(S_OK, firewall.Add(L"Orbel"));
    Text name(L"Orbel");
    INetFwRule *first = NULL, *second = NULL;
    ASSERT_EQ(S_OK, firewall.Rules->Item(name.Value, &first));
    ASSERT_EQ(S_OK, first->put_Enabled(VARIANT_TRUE));
    ASSERT_EQ(S_OK, firewall.Rules->Item(name.Value, &second));
    VARIANT_BOOL enabled = VARIANT_FALSE;
    EXPECT_EQ(S_OK, second->get_Enabled(&enabled));
    EXPECT_EQ(VARIANT_TRUE, enabled);
    // Once removed, a change no longer reaches the firewall, nor brings the rule back.
    ASSERT_EQ(S_OK, firewall.Rules->Remove(name.Value));
    EXPECT_EQ(NotFound, first->put_Enabled(VARIANT_FALSE));
    EXPECT_EQ(std::vector<std::wstring>(), firewall.Names());
    first->Release();
    second->Release();
}

}  // namespace
