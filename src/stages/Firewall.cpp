#include "Firewall.h"

#include "../target/Target.h"
#include "../target/Text.h"
#include "../platform/Platform.h"

// E2B3C97F-6AE1-41AC-817A-F6F92166D7DD
const CLSID ClsidNetFwPolicy2 =
    {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
// 98325047-C671-4174-8D81-DEFCD3F03186
const IID IidINetFwPolicy2 =
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

// Windows keeps several rules under one name (one per protocol, and one
// more each time some installers run), and Remove takes away one per call.
// Each pass must lower the rule count, so the count read first bounds the
// passes and a store whose Remove deletes nothing fails at once.
static HRESULT RemoveEveryRuleNamed(INetFwRules *rules, BSTR name)
{
    long count = 0;
    HRESULT result = OsFirewallCountRules(rules, &count);
    if (FAILED(result))
        return result;
    for (;;) {
        result = OsFirewallRemoveRule(rules, name);
        if (FAILED(result))
            return result;
        INetFwRule *rule = NULL;
        result = OsFirewallFindRule(rules, name, &rule);
        if (rule != NULL)
            OsRelease(rule);
        // None left; or no Item in this store, where one Remove is all that
        // can be done. Any other failure may hide rules still there.
        if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == E_NOTIMPL)
            return S_OK;
        if (FAILED(result))
            return result;
        long previous = count;
        result = OsFirewallCountRules(rules, &count);
        if (FAILED(result))
            return result;
        if (count >= previous)
            return E_FAIL;
    }
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
