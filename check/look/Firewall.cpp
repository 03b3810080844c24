#include "look/Firewall.h"

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
