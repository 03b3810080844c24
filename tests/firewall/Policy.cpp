#include "Rules.h"

#include "Com.h"

namespace {

// Only the rules are served: the profiles, defaults and groups answer E_NOTIMPL.
class Policy : public Dispatch<INetFwPolicy2>
{
public:
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules **rules) override
    {
        if (rules == NULL)
            return E_POINTER;
        *rules = NewRules();
        return S_OK;
    }

    typedef NET_FW_PROFILE_TYPE2 Profile;
    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(Profile, VARIANT_BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(Profile, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExcludedInterfaces(Profile, VARIANT *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExcludedInterfaces(Profile, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(Profile, VARIANT_BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(Profile, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(Profile, VARIANT_BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(Profile, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(Profile, VARIANT_BOOL *) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(Profile, VARIANT_BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ServiceRestriction(INetFwServiceRestriction **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG, BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG, BSTR, VARIANT_BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreLocalFirewallDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(Profile, NET_FW_ACTION *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_DefaultInboundAction(Profile, NET_FW_ACTION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(Profile, NET_FW_ACTION *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_DefaultOutboundAction(Profile, NET_FW_ACTION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE *) override { return E_NOTIMPL; }
};

}  // namespace

INetFwPolicy2 *NewPolicy()
{
    return new Policy();
}
