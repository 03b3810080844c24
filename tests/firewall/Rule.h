// A firewall rule (INetFwRule). Alone until INetFwRules::Add keeps it; from then on, and for
// every rule INetFwRules hands out, it is bound to its id in the store, and each change is
// checked and written at once, as Microsoft documents for the firewall's rules.
#pragma once

#include "Com.h"
#include "Store.h"

#include <netfw.h>

// Asked through QueryInterface, it answers with the stand-in's own object: how Add tells its
// rules from any other INetFwRule.
extern const IID IidStandInRule;

class Rule : public Dispatch<INetFwRule>
{
public:
    explicit Rule(const std::wstring &id = std::wstring(), const RuleData &data = RuleData());

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;

    HRESULT STDMETHODCALLTYPE get_Name(BSTR *name) override;
    HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
    HRESULT STDMETHODCALLTYPE get_Description(BSTR *text) override;
    HRESULT STDMETHODCALLTYPE put_Description(BSTR text) override;
    HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR *path) override;
    HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR path) override;
    HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR *service) override;
    HRESULT STDMETHODCALLTYPE put_ServiceName(BSTR service) override;
    HRESULT STDMETHODCALLTYPE get_Protocol(LONG *protocol) override;
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG protocol) override;
    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR *ports) override;
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR ports) override;
    HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR *ports) override;
    HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR ports) override;
    HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IcmpTypesAndCodes(BSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION *direction) override;
    HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION direction) override;
    HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *enabled) override;
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) override;
    HRESULT STDMETHODCALLTYPE get_Grouping(BSTR *group) override;
    HRESULT STDMETHODCALLTYPE put_Grouping(BSTR group) override;
    HRESULT STDMETHODCALLTYPE get_Profiles(LONG *profiles) override;
    HRESULT STDMETHODCALLTYPE put_Profiles(LONG profiles) override;
    HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL *enabled) override;
    HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL enabled) override;
    HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION *action) override;
    HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION action) override;

    // Empty while the rule is alone.
    std::wstring Id;
    // What the rule held when last read or written.
    RuleData Data;

private:
    RuleData Current();
    template <class Change> HRESULT Commit(Change change);
    HRESULT GetText(std::wstring RuleData::*field, BSTR *text);
    HRESULT SetText(std::wstring RuleData::*field, BSTR text);
};
