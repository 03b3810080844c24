#include "Rule.h"

#include <wchar.h>

// {5B1C4E0A-8D2F-4C7B-9A31-6E0F2D4B8C17}
const IID IidStandInRule = {0x5B1C4E0A, 0x8D2F, 0x4C7B, {0x9A, 0x31, 0x6E, 0x0F, 0x2D, 0x4B, 0x8C, 0x17}};

namespace {

// The rule grammar separates its fields with "|", so no text may hold one.
bool FitsGrammar(BSTR text)
{
    return text == NULL || wcschr(text, L'|') == NULL;
}

bool TakesPorts(LONG protocol)
{
    return protocol == NET_FW_IP_PROTOCOL_TCP || protocol == NET_FW_IP_PROTOCOL_UDP;
}

// A port, a range "low-high", or one of the keywords the firewall documents.
bool ValidPort(const std::wstring &item)
{
    if (item == L"*" || item == L"RPC" || item == L"RPC-EPMap")
        return true;
    size_t dash = item.find(L'-');
    std::wstring low = item.substr(0, dash);
    std::wstring high = dash == std::wstring::npos ? low : item.substr(dash + 1);
    for (const std::wstring &number : {low, high})
        if (number.empty() || number.size() > 5 || number.find_first_not_of(L"0123456789") != std::wstring::npos ||
            wcstol(number.c_str(), NULL, 10) > 65535)
            return false;
    return wcstol(low.c_str(), NULL, 10) <= wcstol(high.c_str(), NULL, 10);
}

bool ValidPorts(const std::wstring &list)
{
    size_t start = 0;
    while (start <= list.size())
    {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos)
            comma = list.size();
        if (!ValidPort(list.substr(start, comma - start)))
            return false;
        start = comma + 1;
    }
    return true;
}

}  // namespace

Rule::Rule(const std::wstring &id, const RuleData &data) : Id(id), Data(data) {}

HRESULT STDMETHODCALLTYPE Rule::QueryInterface(REFIID iid, void **object)
{
    if (object == NULL || iid != IidStandInRule)
        return Dispatch<INetFwRule>::QueryInterface(iid, object);
    *object = static_cast<INetFwRule *>(this);
    AddRef();
    return S_OK;
}

// A rule another process removed keeps what it last held.
RuleData Rule::Current()
{
    RuleData stored;
    if (!Id.empty() && ReadRule(Id, &stored) == ERROR_SUCCESS)
        Data = stored;
    return Data;
}

template <class Change> HRESULT Rule::Commit(Change change)
{
    RuleData next = Data;
    LONG stored = Id.empty() ? ERROR_SUCCESS : ReadRule(Id, &next);
    if (stored != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(stored);
    HRESULT result = change(next);
    if (FAILED(result))
        return result;
    stored = Id.empty() ? ERROR_SUCCESS : WriteRule(Id, next);
    if (stored != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(stored);
    Data = next;
    return S_OK;
}

// A text never set comes back as a null BSTR, COM's empty string.
HRESULT Rule::GetText(std::wstring RuleData::*field, BSTR *text)
{
    if (text == NULL)
        return E_POINTER;
    std::wstring value = Current().*field;
    *text = value.empty() ? NULL : SysAllocStringLen(value.data(), (UINT)value.size());
    return value.empty() || *text != NULL ? S_OK : E_OUTOFMEMORY;
}

HRESULT Rule::SetText(std::wstring RuleData::*field, BSTR text)
{
    if (!FitsGrammar(text))
        return E_INVALIDARG;
    return Commit([&](RuleData &rule) {
        rule.*field = text != NULL ? text : L"";
        return S_OK;
    });
}

template <class Out, class In> static HRESULT GetValue(Out *out, In value)
{
    if (out == NULL)
        return E_POINTER;
    *out = (Out)value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Rule::get_Name(BSTR *name) { return GetText(&RuleData::Name, name); }
HRESULT STDMETHODCALLTYPE Rule::get_Description(BSTR *text) { return GetText(&RuleData::Description, text); }
HRESULT STDMETHODCALLTYPE Rule::put_Description(BSTR text) { return SetText(&RuleData::Description, text); }
HRESULT STDMETHODCALLTYPE Rule::get_ApplicationName(BSTR *path)
{
    return GetText(&RuleData::ApplicationName, path);
}
HRESULT STDMETHODCALLTYPE Rule::put_ApplicationName(BSTR path)
{
    return SetText(&RuleData::ApplicationName, path);
}
HRESULT STDMETHODCALLTYPE Rule::get_ServiceName(BSTR *name) { return GetText(&RuleData::ServiceName, name); }
HRESULT STDMETHODCALLTYPE Rule::put_ServiceName(BSTR name) { return SetText(&RuleData::ServiceName, name); }
HRESULT STDMETHODCALLTYPE Rule::get_LocalPorts(BSTR *ports) { return GetText(&RuleData::LocalPorts, ports); }
HRESULT STDMETHODCALLTYPE Rule::get_RemotePorts(BSTR *ports)
{
    return GetText(&RuleData::RemotePorts, ports);
}
HRESULT STDMETHODCALLTYPE Rule::get_Grouping(BSTR *group) { return GetText(&RuleData::Grouping, group); }
HRESULT STDMETHODCALLTYPE Rule::put_Grouping(BSTR group) { return SetText(&RuleData::Grouping, group); }
HRESULT STDMETHODCALLTYPE Rule::get_Protocol(LONG *protocol)
{
    return GetValue(protocol, Current().Protocol);
}
HRESULT STDMETHODCALLTYPE Rule::get_Direction(NET_FW_RULE_DIRECTION *direction)
{
    return GetValue(direction, Current().Direction);
}
HRESULT STDMETHODCALLTYPE Rule::get_Action(NET_FW_ACTION *action)
{
    return GetValue(action, Current().Action);
}
HRESULT STDMETHODCALLTYPE Rule::get_Profiles(LONG *profiles)
{
    return GetValue(profiles, Current().Profiles);
}
HRESULT STDMETHODCALLTYPE Rule::get_Enabled(VARIANT_BOOL *on)
{
    return GetValue(on, Current().Enabled ? VARIANT_TRUE : VARIANT_FALSE);
}
HRESULT STDMETHODCALLTYPE Rule::get_EdgeTraversal(VARIANT_BOOL *on)
{
    return GetValue(on, Current().EdgeTraversal ? VARIANT_TRUE : VARIANT_FALSE);
}

// Required, without "|", and never "all".
HRESULT STDMETHODCALLTYPE Rule::put_Name(BSTR name)
{
    if (name == NULL || name[0] == L'\0' || _wcsicmp(name, L"all") == 0)
        return E_INVALIDARG;
    return SetText(&RuleData::Name, name);
}

// Ports need a protocol that has them, set first.
static HRESULT PutPorts(std::wstring RuleData::*field, BSTR ports, RuleData &rule)
{
    std::wstring list = ports != NULL ? ports : L"";
    if (!list.empty() && (!TakesPorts(rule.Protocol) || !ValidPorts(list)))
        return E_INVALIDARG;
    rule.*field = list;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Rule::put_LocalPorts(BSTR ports)
{
    return Commit([&](RuleData &rule) { return PutPorts(&RuleData::LocalPorts, ports, rule); });
}

HRESULT STDMETHODCALLTYPE Rule::put_RemotePorts(BSTR ports)
{
    return Commit([&](RuleData &rule) { return PutPorts(&RuleData::RemotePorts, ports, rule); });
}

// A rule with ports keeps a protocol that has them: the ports go first.
HRESULT STDMETHODCALLTYPE Rule::put_Protocol(LONG protocol)
{
    return Commit([&](RuleData &rule) {
        if (protocol < 0 || protocol > ProtocolAny ||
            (!TakesPorts(protocol) && !(rule.LocalPorts.empty() && rule.RemotePorts.empty())))
            return E_INVALIDARG;
        rule.Protocol = protocol;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Rule::put_Direction(NET_FW_RULE_DIRECTION direction)
{
    if (direction != NET_FW_RULE_DIR_IN && direction != NET_FW_RULE_DIR_OUT)
        return E_INVALIDARG;
    return Commit([&](RuleData &rule) { rule.Direction = direction; return S_OK; });
}

HRESULT STDMETHODCALLTYPE Rule::put_Action(NET_FW_ACTION action)
{
    if (action != NET_FW_ACTION_BLOCK && action != NET_FW_ACTION_ALLOW)
        return E_INVALIDARG;
    return Commit([&](RuleData &rule) { rule.Action = action; return S_OK; });
}

HRESULT STDMETHODCALLTYPE Rule::put_Profiles(LONG profiles)
{
    if (profiles != ProfilesAll && (profiles == 0 || (profiles & ~7) != 0))
        return E_INVALIDARG;
    return Commit([&](RuleData &rule) { rule.Profiles = profiles; return S_OK; });
}

HRESULT STDMETHODCALLTYPE Rule::put_Enabled(VARIANT_BOOL enabled)
{
    return Commit([&](RuleData &rule) { rule.Enabled = enabled != VARIANT_FALSE; return S_OK; });
}

HRESULT STDMETHODCALLTYPE Rule::put_EdgeTraversal(VARIANT_BOOL enabled)
{
    return Commit([&](RuleData &rule) { rule.EdgeTraversal = enabled != VARIANT_FALSE; return S_OK; });
}
