#include "Firewall.h"

#include "../target/Target.h"
#include "../target/Text.h"
#include "../platform/Platform.h"

// E2B3C97F-6AE1-41AC-817A-F6F92166D7DD
static const CLSID ClsidNetFwPolicy2 =
    {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
// 98325047-C671-4174-8D81-DEFCD3F03186
static const IID IidINetFwPolicy2 =
    {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};

// Far more rules than any application keeps under one name; a rule store
// whose Remove reports success and deletes nothing must not hang the run.
static const int MaxRemovals = 100;

static HRESULT FirewallComResult;
static INetFwPolicy2 *FirewallPolicy;

static bool LeaveStage(bool result)
{
    if (FirewallPolicy != NULL) {
        OsRelease(FirewallPolicy);
        FirewallPolicy = NULL;
    }
    if (SUCCEEDED(FirewallComResult))
        OsCoUninitialize();
    return result;
}

// Item fails when no rule has the name; it is not implemented everywhere
// either, and then the one Remove is all that can be done.
static bool RuleNamedExists(INetFwRules *rules, BSTR name)
{
    INetFwRule *rule = NULL;
    if (FAILED(OsFirewallFindRule(rules, name, &rule)) || rule == NULL)
        return false;
    OsRelease(rule);
    return true;
}

// Windows keeps several rules under one name (one per protocol, say), and
// Remove takes away one of them per call.
static HRESULT RemoveEveryRuleNamed(INetFwRules *rules, BSTR name)
{
    for (int removals = 0; removals < MaxRemovals; ++removals) {
        HRESULT result = OsFirewallRemoveRule(rules, name);
        if (FAILED(result) || !RuleNamedExists(rules, name))
            return result;
    }
    return E_FAIL;
}

bool RemoveFirewallRule()
{
    FirewallPolicy = NULL;
    // The run already holds an apartment, so S_FALSE is the usual answer; a
    // thread in the other mode still serves in-process objects.
    FirewallComResult = OsCoInitializeEx(COINIT_APARTMENTTHREADED);
    if (FAILED(FirewallComResult) && FirewallComResult != RPC_E_CHANGED_MODE)
        return false;

    if (FAILED(OsCoCreateInstance(ClsidNetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IidINetFwPolicy2,
                                  (void **)&FirewallPolicy))) {
        FirewallPolicy = NULL;
        return LeaveStage(false);
    }
    if (Target.FirewallRuleName[0] == L'\0')
        return LeaveStage(true);

    wchar_t ruleName[512];
    if (!CopyText(ruleName, 512, Target.FirewallRuleName))
        return LeaveStage(false);
    // Without the string, Remove would be asked for a rule with no name.
    BSTR name = OsSysAllocString(ruleName);
    if (name == NULL)
        return LeaveStage(false);

    INetFwRules *rules = NULL;
    HRESULT result = OsFirewallGetRules(FirewallPolicy, &rules);
    if (SUCCEEDED(result))
        result = RemoveEveryRuleNamed(rules, name);
    OsSysFreeString(name);
    if (rules != NULL)
        OsRelease(rules);
    return LeaveStage(SUCCEEDED(result));
}
