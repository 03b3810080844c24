#include "look/Firewall.h"

#include "look/Environment.h"
#include "platform/Platform.h"
#include "stages/Firewall.h"

#include <netfw.h>

int FirewallHasRule(const std::wstring &name)
{
    HRESULT initialised = OsCoInitializeEx(COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = NULL;
    INetFwRules *rules = NULL;
    INetFwRule *rule = NULL;
    BSTR text = NULL;
    int found = -1;
    if (SUCCEEDED(OsCoCreateInstance(ClsidNetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IidINetFwPolicy2,
                                     (void **)&policy))
        && SUCCEEDED(OsFirewallGetRules(policy, &rules)) && (text = OsSysAllocString(name.c_str())) != NULL) {
        HRESULT result = OsFirewallFindRule(rules, text, &rule);
        // Item answers "no such rule" with the file-not-found error; a store that cannot
        // be asked (Wine's) says it is not implemented.
        if (SUCCEEDED(result))
            found = 1;
        else if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            found = 0;
    }
    if (rule != NULL)
        OsRelease(rule);
    if (text != NULL)
        OsSysFreeString(text);
    if (rules != NULL)
        OsRelease(rules);
    if (policy != NULL)
        OsRelease(policy);
    if (SUCCEEDED(initialised))
        OsCoUninitialize();
    return found;
}

// INetFwRule's and IEnumVARIANT's interfaces, which the check links no library for.
static const IID IidINetFwRule = {0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
static const IID IidIEnumVariant = {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

static std::wstring Taken(BSTR text)
{
    std::wstring kept = text != NULL ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return kept;
}

// A text property of the rule, when it has one.
static void ReadText(INetFwRule *rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR *), std::wstring *read)
{
    BSTR text = NULL;
    if (SUCCEEDED((rule->*get)(&text)))
        *read = Taken(text);
}

// A property a rule does not have is left as it was: an empty text, a default number.
static void ReadRule(INetFwRule *rule, FirewallRule *read)
{
    ReadText(rule, &INetFwRule::get_Name, &read->Name);
    ReadText(rule, &INetFwRule::get_ApplicationName, &read->Application);
    ReadText(rule, &INetFwRule::get_ServiceName, &read->Service);
    ReadText(rule, &INetFwRule::get_LocalPorts, &read->LocalPorts);
    ReadText(rule, &INetFwRule::get_RemotePorts, &read->RemotePorts);
    ReadText(rule, &INetFwRule::get_Grouping, &read->Grouping);
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    rule->get_Protocol(&read->Protocol);
    rule->get_Profiles(&read->Profiles);
    if (SUCCEEDED(rule->get_Direction(&direction)))
        read->Direction = direction;
    if (SUCCEEDED(rule->get_Action(&action)))
        read->Action = action;
    if (SUCCEEDED(rule->get_Enabled(&enabled)))
        read->Enabled = enabled != VARIANT_FALSE;
    // The firewall expands a rule's variables (%ProgramFiles%...) as Windows expands a value.
    read->Program = read->Application.empty() ? std::wstring() : ExpandedText(read->Application);
}

static HRESULT EnumerateRules(INetFwRules *rules, std::vector<FirewallRule> *read)
{
    IUnknown *items = NULL;
    IEnumVARIANT *enumeration = NULL;
    HRESULT result = rules->get__NewEnum(&items);
    if (SUCCEEDED(result))
        result = items != NULL ? items->QueryInterface(IidIEnumVariant, (void **)&enumeration) : E_POINTER;
    if (items != NULL)
        items->Release();
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    // Bounded: an enumeration that never ends must not hold the check.
    for (size_t i = 0; SUCCEEDED(result) && i < 1000000; i++) {
        result = enumeration->Next(1, &item, &fetched);
        if (result != S_OK || fetched != 1)
            break;
        INetFwRule *rule = NULL;
        if (V_VT(&item) == VT_DISPATCH && V_DISPATCH(&item) != NULL
            && SUCCEEDED(result = V_DISPATCH(&item)->QueryInterface(IidINetFwRule, (void **)&rule))) {
            FirewallRule one;
            ReadRule(rule, &one);
            read->push_back(one);
            rule->Release();
        }
        VariantClear(&item);
    }
    if (enumeration != NULL)
        enumeration->Release();
    return result;
}

bool ReadFirewallRules(std::vector<FirewallRule> *rules)
{
    rules->clear();
    HRESULT initialised = OsCoInitializeEx(COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = NULL;
    INetFwRules *all = NULL;
    HRESULT result = OsCoCreateInstance(ClsidNetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IidINetFwPolicy2,
                                        (void **)&policy);
    if (SUCCEEDED(result))
        result = OsFirewallGetRules(policy, &all);
    if (SUCCEEDED(result))
        result = all != NULL ? EnumerateRules(all, rules) : E_POINTER;
    if (all != NULL)
        OsRelease(all);
    if (policy != NULL)
        OsRelease(policy);
    if (SUCCEEDED(initialised))
        OsCoUninitialize();
    if (FAILED(result))
        rules->clear();
    return SUCCEEDED(result);
}
