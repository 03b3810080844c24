// FirewallRules.exe: adds, lists and removes firewall rules through the firewall's own COM
// interface, as installers and Kestrane reach it; in a test prefix that is the stand-in.
//   FirewallRules add NAME [KEY=VALUE...]   keys: app dir(in|out) action(allow|block) protocol
//                                           localports remoteports enabled(yes|no) profiles
//                                           description group service
//   FirewallRules list                      one line per rule, KEY=VALUE fields by tabs
//   FirewallRules remove NAME               every rule of the name, one Remove at a time
//   FirewallRules server                    the file that serves the firewall policy class
// Exit codes: 0 done, 1 the firewall failed (its HRESULT is said), 2 a wrong command line.
// Copied over a test prefix's netsh.exe, it also takes netsh's two commands that installers
// give, through the same interface, where Wine's own netsh does nothing:
//   netsh advfirewall firewall add rule name=NAME dir=in|out action=allow|block [program=PATH]
//         [service=NAME] [description=TEXT] [enable=yes|no] [profile=domain,private,public|any]
//         [localport=PORTS] [remoteport=PORTS] [protocol=tcp|udp|icmpv4|icmpv6|any|NUMBER]
//   netsh advfirewall firewall delete rule name=NAME   every rule of the name
// with netsh's exit codes: 0 done, 1 a wrong command, a firewall failure or no rule to delete.
#include <windows.h>
#include <initguid.h>
#include <netfw.h>

#include <string>
#include <vector>

namespace {

void Print(const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], size, NULL, NULL);
    bytes += "\n";
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), (DWORD)bytes.size(), &written, NULL);
}

std::wstring Hex(HRESULT result)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", (unsigned long)result);
    return text;
}

int Failed(const wchar_t *what, HRESULT result)
{
    Print(std::wstring(what) + L" failed: " + Hex(result));
    return 1;
}

struct Bstr
{
    BSTR Text = NULL;
    explicit Bstr(const std::wstring &text) : Text(SysAllocString(text.c_str())) {}
    Bstr() {}
    ~Bstr() { SysFreeString(Text); }
    std::wstring Value() const { return Text != NULL ? Text : L""; }
};

// One property of a rule, given as KEY=VALUE.
HRESULT Put(INetFwRule *rule, const std::wstring &key, const std::wstring &value)
{
    Bstr text(value);
    LONG number = wcstol(value.c_str(), NULL, 10);
    if (key == L"app") return rule->put_ApplicationName(text.Text);
    if (key == L"dir") return rule->put_Direction(value == L"out" ? NET_FW_RULE_DIR_OUT : NET_FW_RULE_DIR_IN);
    if (key == L"action") return rule->put_Action(value == L"block" ? NET_FW_ACTION_BLOCK : NET_FW_ACTION_ALLOW);
    if (key == L"protocol") return rule->put_Protocol(number);
    if (key == L"localports") return rule->put_LocalPorts(text.Text);
    if (key == L"remoteports") return rule->put_RemotePorts(text.Text);
    if (key == L"enabled") return rule->put_Enabled(value == L"yes" ? VARIANT_TRUE : VARIANT_FALSE);
    if (key == L"profiles") return rule->put_Profiles(number);
    if (key == L"description") return rule->put_Description(text.Text);
    if (key == L"group") return rule->put_Grouping(text.Text);
    if (key == L"service") return rule->put_ServiceName(text.Text);
    return E_INVALIDARG;
}

int Add(INetFwRules *rules, int count, wchar_t **arguments)
{
    INetFwRule *rule = NULL;
    HRESULT result = CoCreateInstance(CLSID_NetFwRule, NULL, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                      (void **)&rule);
    if (FAILED(result))
        return Failed(L"CoCreateInstance(NetFwRule)", result);
    Bstr name(arguments[0]);
    result = rule->put_Name(name.Text);
    std::wstring failed = L"put_Name";
    // In the order given: the protocol must come before the ports.
    for (int i = 1; i < count && SUCCEEDED(result); i++)
    {
        std::wstring argument = arguments[i];
        size_t equals = argument.find(L'=');
        failed = argument;
        result = equals == std::wstring::npos ? E_INVALIDARG
                                              : Put(rule, argument.substr(0, equals), argument.substr(equals + 1));
    }
    if (SUCCEEDED(result))
    {
        failed = L"Add";
        result = rules->Add(rule);
    }
    rule->Release();
    return SUCCEEDED(result) ? 0 : Failed(failed.c_str(), result);
}

std::wstring Describe(INetFwRule *rule)
{
    Bstr name, app, ports, group, description;
    LONG protocol = 0, profiles = 0;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    rule->get_Name(&name.Text);
    rule->get_ApplicationName(&app.Text);
    rule->get_LocalPorts(&ports.Text);
    rule->get_Grouping(&group.Text);
    rule->get_Description(&description.Text);
    rule->get_Protocol(&protocol);
    rule->get_Profiles(&profiles);
    rule->get_Direction(&direction);
    rule->get_Action(&action);
    rule->get_Enabled(&enabled);
    return L"name=" + name.Value() + L"\tapp=" + app.Value() + L"\tdir=" +
           (direction == NET_FW_RULE_DIR_OUT ? L"out" : L"in") + L"\taction=" +
           (action == NET_FW_ACTION_BLOCK ? L"block" : L"allow") + L"\tprotocol=" + std::to_wstring(protocol) +
           L"\tlocalports=" + ports.Value() + L"\tenabled=" + (enabled ? L"yes" : L"no") + L"\tprofiles=" +
           std::to_wstring(profiles) + L"\tgroup=" + group.Value() + L"\tdescription=" + description.Value();
}

// Through the enumeration, as a reader of every rule does.
int List(INetFwRules *rules)
{
    IUnknown *items = NULL;
    IEnumVARIANT *enumeration = NULL;
    HRESULT result = rules->get__NewEnum(&items);
    if (SUCCEEDED(result))
        result = items->QueryInterface(IID_IEnumVARIANT, (void **)&enumeration);
    if (items != NULL)
        items->Release();
    if (FAILED(result))
        return Failed(L"get__NewEnum", result);
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    while ((result = enumeration->Next(1, &item, &fetched)) == S_OK && fetched == 1)
    {
        INetFwRule *rule = NULL;
        if (V_VT(&item) == VT_DISPATCH &&
            SUCCEEDED(V_DISPATCH(&item)->QueryInterface(IID_INetFwRule, (void **)&rule)))
        {
            Print(Describe(rule));
            rule->Release();
        }
        VariantClear(&item);
    }
    enumeration->Release();
    return FAILED(result) ? Failed(L"IEnumVARIANT::Next", result) : 0;
}

int Remove(INetFwRules *rules, const std::wstring &name)
{
    Bstr text(name);
    LONG count = 0;
    HRESULT result = rules->get_Count(&count);
    int removed = 0;
    INetFwRule *rule = NULL;
    // Bounded by the count, in case a Remove removes nothing.
    for (LONG i = 0; SUCCEEDED(result) && i <= count && SUCCEEDED(rules->Item(text.Text, &rule)); i++)
    {
        rule->Release();
        rule = NULL;
        if (SUCCEEDED(result = rules->Remove(text.Text)))
            removed++;
    }
    Print(L"removed " + std::to_wstring(removed));
    return FAILED(result) ? Failed(L"Remove", result) : 0;
}

int Server(INetFwPolicy2 *policy)
{
    HMODULE module = NULL;
    wchar_t path[MAX_PATH] = {0};
    // The module that holds the object's methods serves the class.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            *(LPCWSTR *)policy, &module) ||
        GetModuleFileNameW(module, path, MAX_PATH) == 0)
        return Failed(L"GetModuleHandleExW", HRESULT_FROM_WIN32(GetLastError()));
    Print(path);
    return 0;
}

// A netsh "profile=" list as the firewall's profile bits: domain 1, private 2, public 4.
std::wstring NetshProfiles(const std::wstring &value)
{
    static const struct { const wchar_t *Name; LONG Bit; } Profiles[] = {
        {L"domain", 1}, {L"private", 2}, {L"public", 4}};
    LONG profiles = 0;
    for (const auto &profile : Profiles)
        if (wcsstr(value.c_str(), profile.Name) != NULL)
            profiles |= profile.Bit;
    return std::to_wstring(value == L"any" || profiles == 0 ? 0x7FFFFFFF : profiles);
}

// netsh's key of "add rule" as this tool's own KEY=VALUE; empty for a key it does not take.
std::wstring NetshProperty(const std::wstring &key, const std::wstring &value)
{
    static const struct { const wchar_t *Netsh, *Own; } Keys[] = {
        {L"dir", L"dir"}, {L"action", L"action"}, {L"program", L"app"}, {L"service", L"service"},
        {L"description", L"description"}, {L"enable", L"enabled"}, {L"localport", L"localports"},
        {L"remoteport", L"remoteports"}, {L"profile", L"profiles"}, {L"protocol", L"protocol"}};
    static const struct { const wchar_t *Name, *Number; } Protocols[] = {
        {L"tcp", L"6"}, {L"udp", L"17"}, {L"icmpv4", L"1"}, {L"icmpv6", L"58"}, {L"any", L"256"}};
    for (const auto &pair : Keys)
    {
        if (_wcsicmp(key.c_str(), pair.Netsh) != 0)
            continue;
        std::wstring own = value;
        for (const auto &protocol : Protocols)
            if (key == L"protocol" && _wcsicmp(value.c_str(), protocol.Name) == 0)
                own = protocol.Number;
        if (key == L"profile")
            own = NetshProfiles(value);
        return std::wstring(pair.Own) + L"=" + own;
    }
    return L"";
}

int NetshFails(const std::wstring &text)
{
    Print(text);
    return 1;
}

// Every rule of the name, one Remove at a time, as netsh says it.
int NetshDelete(INetFwRules *rules, const std::wstring &name)
{
    Bstr text(name);
    INetFwRule *rule = NULL;
    int removed = 0;
    for (; removed < 10000 && SUCCEEDED(rules->Item(text.Text, &rule)); removed++)
    {
        rule->Release();
        rule = NULL;
        if (FAILED(rules->Remove(text.Text)))
            return NetshFails(L"The rule could not be deleted.");
    }
    if (removed == 0)
        return NetshFails(L"No rules match the specified criteria.");
    Print(L"Deleted " + std::to_wstring(removed) + L" rule(s).\nOk.");
    return 0;
}

// netsh advfirewall firewall add|delete rule name=NAME ...
int Netsh(INetFwRules *rules, int count, wchar_t **arguments)
{
    bool add = _wcsicmp(arguments[3], L"add") == 0;
    std::wstring name;
    // netsh enables what it adds unless told otherwise.
    std::vector<std::wstring> properties = {L"enabled=yes"};
    for (int i = 5; i < count; i++)
    {
        std::wstring argument = arguments[i], key = argument.substr(0, argument.find(L'='));
        std::wstring value = argument.size() > key.size() ? argument.substr(key.size() + 1) : L"";
        if (_wcsicmp(key.c_str(), L"name") == 0)
            name = value;
        else if (!NetshProperty(key, value).empty())
            properties.push_back(NetshProperty(key, value));
        else if (add)
            return NetshFails(L"A specified value is not valid: " + argument);
    }
    if (name.empty())
        return NetshFails(L"A rule name is needed.");
    if (!add)
        return NetshDelete(rules, name);
    std::vector<wchar_t *> own = {&name[0]};
    for (std::wstring &property : properties)
        own.push_back(&property[0]);
    if (Add(rules, (int)own.size(), own.data()) != 0)
        return 1;
    Print(L"Ok.");
    return 0;
}

int Usage()
{
    Print(L"usage: FirewallRules add NAME [KEY=VALUE...] | list | remove NAME | server");
    return 2;
}

}  // namespace

int wmain(int count, wchar_t **arguments)
{
    std::wstring command = count >= 2 ? arguments[1] : L"";
    bool named = command == L"add" || command == L"remove";
    bool netsh = count >= 5 && _wcsicmp(command.c_str(), L"advfirewall") == 0 &&
                 _wcsicmp(arguments[2], L"firewall") == 0 &&
                 (_wcsicmp(arguments[3], L"add") == 0 || _wcsicmp(arguments[3], L"delete") == 0) &&
                 _wcsicmp(arguments[4], L"rule") == 0;
    if (netsh)
        command = L"netsh";
    else if (_wcsicmp(command.c_str(), L"advfirewall") == 0)
        return NetshFails(L"The following command was not found: " + command);
    else if ((named && count < 3) || (!named && count != 2) ||
        (!named && command != L"list" && command != L"server") || (command == L"remove" && count != 3))
        return Usage();
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = NULL;
    INetFwRules *rules = NULL;
    int exitCode;
    HRESULT result = CoCreateInstance(CLSID_NetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                      (void **)&policy);
    if (FAILED(result))
        exitCode = Failed(L"CoCreateInstance(NetFwPolicy2)", result);
    else if (command == L"server")
        exitCode = Server(policy);
    else if (FAILED(result = policy->get_Rules(&rules)))
        exitCode = Failed(L"get_Rules", result);
    else if (command == L"netsh")
        exitCode = Netsh(rules, count, arguments);
    else if (command == L"add")
        exitCode = Add(rules, count - 2, arguments + 2);
    else if (command == L"list")
        exitCode = List(rules);
    else
        exitCode = Remove(rules, arguments[2]);
    if (rules != NULL)
        rules->Release();
    if (policy != NULL)
        policy->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
