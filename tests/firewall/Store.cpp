#include "Store.h"

HKEY StoreRoot = HKEY_LOCAL_MACHINE;
std::wstring StorePath =
    L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";

namespace {

struct ProfileName
{
    LONG Bit;
    const wchar_t *Name;
};
const ProfileName Profiles[] = {{1, L"Domain"}, {2, L"Private"}, {4, L"Public"}};

void AddField(std::wstring *text, const wchar_t *key, const std::wstring &value)
{
    if (!value.empty())
        *text += std::wstring(key) + L"=" + value + L"|";
}

// The grammar takes one port or range per field.
void AddPorts(std::wstring *text, const wchar_t *key, const std::wstring &list)
{
    size_t start = 0;
    while (start < list.size())
    {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos)
            comma = list.size();
        AddField(text, key, list.substr(start, comma - start));
        start = comma + 1;
    }
}

void JoinPort(std::wstring *list, const std::wstring &port)
{
    *list += (list->empty() ? L"" : L",") + port;
}

}  // namespace

std::wstring FormatRule(const RuleData &rule)
{
    std::wstring text = L"v2.10|";
    AddField(&text, L"Action", rule.Action == 1 ? L"Allow" : L"Block");
    AddField(&text, L"Active", rule.Enabled ? L"TRUE" : L"FALSE");
    AddField(&text, L"Dir", rule.Direction == 2 ? L"Out" : L"In");
    if (rule.Protocol != ProtocolAny)
        AddField(&text, L"Protocol", std::to_wstring(rule.Protocol));
    if (rule.Profiles != ProfilesAll)
        for (const ProfileName &profile : Profiles)
            if (rule.Profiles & profile.Bit)
                AddField(&text, L"Profile", profile.Name);
    AddPorts(&text, L"LPort", rule.LocalPorts);
    AddPorts(&text, L"RPort", rule.RemotePorts);
    AddField(&text, L"App", rule.ApplicationName);
    AddField(&text, L"Svc", rule.ServiceName);
    AddField(&text, L"Name", rule.Name);
    AddField(&text, L"Desc", rule.Description);
    AddField(&text, L"EmbedCtxt", rule.Grouping);
    if (rule.EdgeTraversal)
        AddField(&text, L"Edge", L"TRUE");
    return text;
}

bool ParseRule(const std::wstring &text, RuleData *rule)
{
    *rule = RuleData();
    size_t bar = text.find(L'|');
    if (text.compare(0, 2, L"v2") != 0 || bar == std::wstring::npos)
        return false;
    LONG profiles = 0;
    for (size_t start = bar + 1, end; (end = text.find(L'|', start)) != std::wstring::npos; start = end + 1)
    {
        std::wstring field = text.substr(start, end - start);
        size_t equals = field.find(L'=');
        if (equals == std::wstring::npos)
            continue;
        std::wstring key = field.substr(0, equals), value = field.substr(equals + 1);
        if (key == L"Action")
            rule->Action = value == L"Allow" ? 1 : 0;
        else if (key == L"Active")
            rule->Enabled = value == L"TRUE";
        else if (key == L"Dir")
            rule->Direction = value == L"Out" ? 2 : 1;
        else if (key == L"Protocol")
            rule->Protocol = wcstol(value.c_str(), NULL, 10);
        else if (key == L"LPort" || key == L"LPort2_10")
            JoinPort(&rule->LocalPorts, value);
        else if (key == L"RPort" || key == L"RPort2_10")
            JoinPort(&rule->RemotePorts, value);
        else if (key == L"App")
            rule->ApplicationName = value;
        else if (key == L"Svc")
            rule->ServiceName = value;
        else if (key == L"Name")
            rule->Name = value;
        else if (key == L"Desc")
            rule->Description = value;
        else if (key == L"EmbedCtxt")
            rule->Grouping = value;
        else if (key == L"Edge")
            rule->EdgeTraversal = value == L"TRUE";
        else if (key == L"Profile")
            for (const ProfileName &profile : Profiles)
                if (value == profile.Name)
                    profiles |= profile.Bit;
    }
    rule->Profiles = profiles != 0 ? profiles : ProfilesAll;
    return true;
}

// Made by the first rule added; reading never makes it.
static LONG OpenStore(REGSAM access, HKEY *key)
{
    if (access == KEY_QUERY_VALUE)
        return RegOpenKeyExW(StoreRoot, StorePath.c_str(), 0, access, key);
    return RegCreateKeyExW(StoreRoot, StorePath.c_str(), 0, NULL, 0, access, NULL, key, NULL);
}

LONG ReadRules(std::vector<StoredRule> *rules)
{
    rules->clear();
    HKEY key;
    LONG result = OpenStore(KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS)
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    DWORD count = 0, longestName = 0, largestData = 0;
    result = RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, &longestName, &largestData,
                              NULL, NULL);
    std::vector<wchar_t> name(longestName + 1), data(largestData / sizeof(wchar_t) + 1);
    for (DWORD i = 0; result == ERROR_SUCCESS && i < count; i++)
    {
        DWORD nameLength = (DWORD)name.size(), size = (DWORD)(data.size() * sizeof(wchar_t)), type;
        result = RegEnumValueW(key, i, name.data(), &nameLength, NULL, &type, (BYTE *)data.data(), &size);
        StoredRule rule;
        if (result == ERROR_SUCCESS && type == REG_SZ &&
            ParseRule(std::wstring(data.data(), size / sizeof(wchar_t)).c_str(), &rule.Data))
        {
            rule.Id.assign(name.data(), nameLength);
            rules->push_back(rule);
        }
    }
    RegCloseKey(key);
    // A rule another process removed meanwhile ends the list early.
    return result == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : result;
}

LONG ReadRule(const std::wstring &id, RuleData *rule)
{
    DWORD size = 0;
    LONG result = RegGetValueW(StoreRoot, StorePath.c_str(), id.c_str(), RRF_RT_REG_SZ, NULL, NULL, &size);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1);
    size = (DWORD)(data.size() * sizeof(wchar_t));
    if (result == ERROR_SUCCESS)
        result = RegGetValueW(StoreRoot, StorePath.c_str(), id.c_str(), RRF_RT_REG_SZ, NULL, data.data(), &size);
    if (result == ERROR_SUCCESS && !ParseRule(data.data(), rule))
        result = ERROR_INVALID_DATA;
    return result;
}

LONG WriteRule(const std::wstring &id, const RuleData &rule)
{
    HKEY key;
    LONG result = OpenStore(KEY_SET_VALUE, &key);
    if (result != ERROR_SUCCESS)
        return result;
    std::wstring text = FormatRule(rule);
    result = RegSetValueExW(key, id.c_str(), 0, REG_SZ, (const BYTE *)text.c_str(),
                            (DWORD)((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result;
}

LONG DeleteRule(const std::wstring &id)
{
    HKEY key;
    LONG result = OpenStore(KEY_SET_VALUE, &key);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegDeleteValueW(key, id.c_str());
    RegCloseKey(key);
    return result;
}
