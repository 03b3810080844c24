#include "Firewall.h"

#include "../app/Run.h"
#include "../platform/Platform.h"

#include <string.h>

// E2B3C97F-6AE1-41AC-817A-F6F92166D7DD
static const CLSID ClsidNetFwPolicy2 =
    {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
// 98325047-C671-4174-8D81-DEFCD3F03186
static const IID IidINetFwPolicy2 =
    {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};

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
    memcpy(ruleName, Target.FirewallRuleName, sizeof Target.FirewallRuleName);
    // Without the string, Remove would be asked for a rule with no name.
    BSTR name = OsSysAllocString(ruleName);
    if (name == NULL)
        return LeaveStage(false);

    INetFwRules *rules = NULL;
    HRESULT result = OsFirewallGetRules(FirewallPolicy, &rules);
    if (SUCCEEDED(result))
        result = OsFirewallRemoveRule(rules, name);
    OsSysFreeString(name);
    if (rules != NULL)
        OsRelease(rules);
    return LeaveStage(SUCCEEDED(result));
}
