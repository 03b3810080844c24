#include "Installation.h"

#include <netfw.h>
#include <shlobj.h>
#include <string.h>

#include <functional>
#include <wchar.h>

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

static const wchar_t UninstallRoot[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

static std::wstring Under(const std::wstring &folder, const std::wstring &name)
{
    return folder.empty() ? std::wstring() : folder + L"\\" + name;
}

InstallationPaths PathsFor(const std::wstring &app)
{
    InstallationPaths paths;
    paths.App = app;
    paths.Dir = Under(ShellFolder(CSIDL_PROGRAM_FILES), app);
    paths.Exe = Under(paths.Dir, app + L".exe");
    paths.Chm = Under(paths.Dir, app + L".chm");
    paths.Uninstaller = Under(paths.Dir, L"Kestrane.exe");
    paths.Extra = Under(paths.Dir, L"readme.txt");
    paths.StartMenuLink = Under(ShellFolder(CSIDL_PROGRAMS), app + L".lnk");
    paths.DesktopLink = Under(ShellFolder(CSIDL_DESKTOPDIRECTORY), app + L".lnk");
    paths.UninstallKey = UninstallRoot + app;
    paths.UninstallSubkey = paths.UninstallKey + L"\\Extra";
    paths.SettingsKey = L"Software\\" + app;
    return paths;
}

static bool CreateKeyWithName(HKEY root, const std::wstring &subkey, const std::wstring &app)
{
    return SetKeyValue(root, subkey, L"DisplayName", app);
}

unsigned LayOut(const InstallationPaths &paths, unsigned items,
                const std::wstring &uninstallerSource)
{
    if ((items & (AppDir | AppExe | AppChm | UninstallerCopy | ExtraFile | ExeFolder)) &&
        !CreateDirectoryW(paths.Dir.c_str(), NULL))
        return AppDir;
    if ((items & AppExe) && !WriteSmallFile(paths.Exe))
        return AppExe;
    if ((items & ExeFolder) && !CreateDirectoryW(paths.Exe.c_str(), NULL))
        return ExeFolder;
    if ((items & AppChm) && !WriteSmallFile(paths.Chm))
        return AppChm;
    if ((items & UninstallerCopy) &&
        !CopyFileW(uninstallerSource.c_str(), paths.Uninstaller.c_str(), FALSE))
        return UninstallerCopy;
    if ((items & ExtraFile) && !WriteSmallFile(paths.Extra))
        return ExtraFile;
    if ((items & StartMenuLink) && !WriteSmallFile(paths.StartMenuLink))
        return StartMenuLink;
    if ((items & DesktopLink) && !WriteSmallFile(paths.DesktopLink))
        return DesktopLink;
    // A subkey needs its parent.
    if ((items & (UninstallKey | UninstallSubkey)) &&
        !CreateKeyWithName(HKEY_LOCAL_MACHINE, paths.UninstallKey, paths.App))
        return UninstallKey;
    if ((items & UninstallSubkey) &&
        !CreateKeyWithName(HKEY_LOCAL_MACHINE, paths.UninstallSubkey, paths.App))
        return UninstallSubkey;
    if ((items & SettingsKey) &&
        !CreateKeyWithName(HKEY_CURRENT_USER, paths.SettingsKey, paths.App))
        return SettingsKey;
    return 0;
}

void RemoveInstallation(const InstallationPaths &paths)
{
    DeleteTree(paths.Dir);
    DeleteTree(paths.StartMenuLink);
    DeleteTree(paths.DesktopLink);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, paths.UninstallKey.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, paths.SettingsKey.c_str());
    ClearPendingDeletions(paths);
}

bool ItemPresent(const InstallationPaths &paths, Item item)
{
    switch (item)
    {
    case AppDir:
        return IsFolder(paths.Dir);
    case AppExe:
        return IsFile(paths.Exe);
    case AppChm:
        return IsFile(paths.Chm);
    case UninstallerCopy:
        return IsFile(paths.Uninstaller);
    case ExtraFile:
        return IsFile(paths.Extra);
    case ExeFolder:
        return IsFolder(paths.Exe);
    case StartMenuLink:
        return IsFile(paths.StartMenuLink);
    case DesktopLink:
        return IsFile(paths.DesktopLink);
    case UninstallKey:
        return KeyExists(HKEY_LOCAL_MACHINE, paths.UninstallKey);
    case UninstallSubkey:
        return KeyExists(HKEY_LOCAL_MACHINE, paths.UninstallSubkey);
    case SettingsKey:
        return KeyExists(HKEY_CURRENT_USER, paths.SettingsKey);
    }
    return false;
}

const char *ItemName(unsigned item)
{
    switch (item)
    {
    case AppDir: return "application folder";
    case AppExe: return "App.exe";
    case AppChm: return "App.chm";
    case UninstallerCopy: return "Kestrane.exe in the application folder";
    case ExtraFile: return "extra file";
    case ExeFolder: return "folder named App.exe";
    case StartMenuLink: return "Start-menu shortcut";
    case DesktopLink: return "desktop shortcut";
    case UninstallKey: return "uninstall key";
    case UninstallSubkey: return "uninstall subkey";
    case SettingsKey: return "settings key";
    }
    return "?";
}

bool IsFile(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static const char SampleContent[] = "kestrane-sample";

bool WriteSmallFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = (DWORD)strlen(SampleContent);
    DWORD written = 0;
    BOOL ok = WriteFile(file, SampleContent, length, &written, NULL);
    CloseHandle(file);
    return ok && written == length;
}

void DeleteTree(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
                DeleteTree(path + L"\\" + found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

HANDLE HoldOpen(const std::wstring &path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_EXISTING, 0, NULL);
}

bool KeyExists(HKEY root, const std::wstring &subkey)
{
    HKEY key;
    LONG result = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    return result != ERROR_FILE_NOT_FOUND;
}

bool SetKeyValue(HKEY root, const std::wstring &subkey, const wchar_t *name,
                 const std::wstring &value)
{
    HKEY key;
    if (RegCreateKeyExW(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)value.c_str(),
                                 (DWORD)((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static const wchar_t SessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
static const wchar_t PendingValue[] = L"PendingFileRenameOperations";

bool IsPendingOf(const InstallationPaths &paths, const std::wstring &entry)
{
    const std::wstring source = WithoutPendingMarker(entry);
    const std::wstring dir = L"\\??\\" + paths.Dir;
    return (!paths.Dir.empty() && (source == dir || source.compare(0, dir.size() + 1, dir + L"\\") == 0))
        || source == L"\\??\\" + paths.StartMenuLink || source == L"\\??\\" + paths.DesktopLink;
}

bool PendingDeletionsIn(const std::vector<std::wstring> &strings, std::vector<std::wstring> *sources,
                        const InstallationPaths *of)
{
    sources->clear();
    bool deletionsOnly = strings.size() % 2 == 0;
    for (size_t i = 0; i < strings.size(); i += 2)
    {
        if (of != NULL && !IsPendingOf(*of, strings[i]))
            continue;
        sources->push_back(WithoutPendingMarker(strings[i]));
        if (i + 1 < strings.size() && !strings[i + 1].empty())
            deletionsOnly = false;
    }
    return deletionsOnly;
}

bool ReadPendingDeletions(std::vector<std::wstring> *sources, const InstallationPaths *of)
{
    return PendingDeletionsIn(ReadPendingStrings(), sources, of);
}

std::wstring PendingWithout(const std::vector<std::wstring> &strings, const InstallationPaths &paths)
{
    std::wstring kept;
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
        if (!IsPendingOf(paths, strings[i]))
            kept += strings[i] + L'\0' + strings[i + 1] + L'\0';
    return kept;
}

bool ClearPendingDeletions(const InstallationPaths &paths)
{
    std::wstring kept = PendingWithout(ReadPendingStrings(), paths);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG result;
    if (kept.empty())
    {
        result = RegDeleteValueW(key, PendingValue);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    }
    else
    {
        kept += L'\0';
        result = RegSetValueExW(key, PendingValue, 0, REG_MULTI_SZ, (const BYTE *)kept.data(),
                                (DWORD)(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool RefusePendingDeletions()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const wchar_t text[] = L"not a list of deletions";
    LONG result = RegSetValueExW(key, PendingValue, 0, REG_SZ, (const BYTE *)text, sizeof(text));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static const wchar_t DllOverrides[] = L"Software\\Wine\\DllOverrides";
// Wine's firewall library, and the stand-in that serves its classes in the test prefixes.
static const wchar_t *const FirewallLibraries[] = {L"hnetcfg", L"FirewallStandIn"};

bool SetFirewallOff(bool off)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, DllOverrides, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG result = ERROR_SUCCESS;
    for (const wchar_t *library : FirewallLibraries)
    {
        LONG one = off ? RegSetValueExW(key, library, 0, REG_SZ, (const BYTE *)L"", sizeof(wchar_t))
                       : RegDeleteValueW(key, library);
        if (one != ERROR_SUCCESS && one != ERROR_FILE_NOT_FOUND)
            result = one;
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static const CLSID ClsidNetFwPolicy2 =
    {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
static const IID IidINetFwPolicy2 =
    {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
static const CLSID ClsidNetFwRule =
    {0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
static const IID IidINetFwRule =
    {0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};

static HRESULT WithFirewallRules(const std::function<HRESULT(INetFwRules *, BSTR)> &use,
                                 const std::wstring &name)
{
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = NULL;
    INetFwRules *rules = NULL;
    BSTR text = SysAllocString(name.c_str());
    HRESULT result = CoCreateInstance(ClsidNetFwPolicy2, NULL, CLSCTX_INPROC_SERVER,
                                      IidINetFwPolicy2, (void **)&policy);
    if (SUCCEEDED(result))
        result = policy->get_Rules(&rules);
    if (SUCCEEDED(result))
        result = text != NULL ? use(rules, text) : E_OUTOFMEMORY;
    SysFreeString(text);
    if (rules != NULL)
        rules->Release();
    if (policy != NULL)
        policy->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}

bool AddFirewallRules(const std::wstring &name, int count)
{
    return SUCCEEDED(WithFirewallRules([count](INetFwRules *rules, BSTR text) {
        const LONG IcmpV4 = 1;
        const LONG protocols[] = {NET_FW_IP_PROTOCOL_TCP, NET_FW_IP_PROTOCOL_UDP, IcmpV4};
        HRESULT result = S_OK;
        for (int i = 0; i < count && SUCCEEDED(result); i++)
        {
            INetFwRule *rule = NULL;
            result = CoCreateInstance(ClsidNetFwRule, NULL, CLSCTX_INPROC_SERVER, IidINetFwRule,
                                      (void **)&rule);
            // Disabled: the rules exist only to be removed, and open nothing meanwhile.
            if (SUCCEEDED(result) && SUCCEEDED(result = rule->put_Name(text)) &&
                SUCCEEDED(result = rule->put_Protocol(protocols[i % 3])) &&
                SUCCEEDED(result = rule->put_Direction(NET_FW_RULE_DIR_IN)) &&
                SUCCEEDED(result = rule->put_Enabled(VARIANT_FALSE)))
                result = rules->Add(rule);
            if (rule != NULL)
                rule->Release();
        }
        return result;
    }, name));
}

HRESULT FindFirewallRule(const std::wstring &name)
{
    return WithFirewallRules([](INetFwRules *rules, BSTR text) {
        INetFwRule *rule = NULL;
        HRESULT result = rules->Item(text, &rule);
        if (SUCCEEDED(result) && rule != NULL)
            rule->Release();
        return result;
    }, name);
}

int CountFirewallRules(const std::wstring &name)
{
    int count = 0;
    HRESULT result = WithFirewallRules([&count](INetFwRules *rules, BSTR text) {
        IUnknown *items = NULL;
        IEnumVARIANT *enumeration = NULL;
        HRESULT read = rules->get__NewEnum(&items);
        if (SUCCEEDED(read))
            read = items->QueryInterface(IID_IEnumVARIANT, (void **)&enumeration);
        if (items != NULL)
            items->Release();
        VARIANT item;
        VariantInit(&item);
        while (SUCCEEDED(read) && enumeration->Next(1, &item, NULL) == S_OK)
        {
            INetFwRule *rule = NULL;
            BSTR ruleName = NULL;
            if (V_VT(&item) != VT_DISPATCH ||
                FAILED(read = V_DISPATCH(&item)->QueryInterface(IidINetFwRule, (void **)&rule)) ||
                FAILED(read = rule->get_Name(&ruleName)))
                read = FAILED(read) ? read : E_UNEXPECTED;
            else if (ruleName != NULL && wcscmp(ruleName, text) == 0)
                count++;
            SysFreeString(ruleName);
            if (rule != NULL)
                rule->Release();
            VariantClear(&item);
        }
        if (enumeration != NULL)
            enumeration->Release();
        return read;
    }, name);
    return SUCCEEDED(result) ? count : -1;
}

std::wstring RegisterFirewallStandIn(const std::wstring &dll)
{
    HMODULE module = LoadLibraryW(dll.c_str());
    if (module == NULL)
        return L"cannot load " + dll + L": error " + std::to_wstring(GetLastError());
    typedef HRESULT(STDAPICALLTYPE * Registration)();
    Registration registerServer = (Registration)(void *)GetProcAddress(module, "DllRegisterServer");
    HRESULT result = registerServer != NULL ? registerServer() : E_NOINTERFACE;
    FreeLibrary(module);
    if (FAILED(result))
        return L"DllRegisterServer of " + dll + L" failed: " + std::to_wstring((unsigned long)result);
    // The module that holds the rules' methods is the one that serves the class.
    wchar_t server[MAX_PATH] = {0};
    result = WithFirewallRules([&server](INetFwRules *rules, BSTR) {
        HMODULE holder = NULL;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                *(LPCWSTR *)rules, &holder) ||
            GetModuleFileNameW(holder, server, MAX_PATH) == 0)
            return HRESULT_FROM_WIN32(GetLastError());
        return S_OK;
    }, L"");
    if (FAILED(result))
        return L"the firewall's policy cannot be reached: " + std::to_wstring((unsigned long)result);
    if (_wcsicmp(server, dll.c_str()) != 0)
        return L"the firewall's policy is served by " + std::wstring(server) + L", not " + dll;
    return std::wstring();
}

void RemoveFirewallRules(const std::wstring &name)
{
    WithFirewallRules([](INetFwRules *rules, BSTR text) {
        INetFwRule *rule = NULL;
        for (int i = 0; i < 1000 && SUCCEEDED(rules->Item(text, &rule)) && rule != NULL; i++)
        {
            rule->Release();
            rule = NULL;
            rules->Remove(text);
        }
        return S_OK;
    }, name);
}

static const wchar_t UserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

bool ReplaceUserValue(const wchar_t *subkey, const wchar_t *name, DWORD type, const std::wstring &text,
                      SavedValue *saved)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    saved->Existed = RegQueryValueExW(key, name, NULL, &saved->Type, NULL, &size) == ERROR_SUCCESS;
    saved->Data.assign(size + 2, 0);
    if (saved->Existed)
        RegQueryValueExW(key, name, NULL, &saved->Type, &saved->Data[0], &size);
    saved->Data.resize(size);
    saved->Subkey = subkey;
    saved->Name = name;
    saved->Saved = true;
    LONG result = RegSetValueExW(key, name, 0, type, (const BYTE *)text.c_str(),
                                 (DWORD)((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void RestoreUserValue(SavedValue *saved)
{
    if (!saved->Saved)
        return;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, saved->Subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    const wchar_t *name = saved->Name.c_str();
    if (saved->Existed)
        RegSetValueExW(key, name, 0, saved->Type, saved->Data.empty() ? NULL : &saved->Data[0],
                       (DWORD)saved->Data.size());
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
    saved->Saved = false;
}

bool PointDesktopAt(const wchar_t *folder, SavedValue *saved)
{
    return ReplaceUserValue(UserShellFolders, L"Desktop", REG_EXPAND_SZ, folder, saved);
}

void RepairDesktop(const wchar_t *missingFolder)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return;
    wchar_t value[MAX_PATH] = {0};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"Desktop", NULL, NULL, (BYTE *)value, &size) == ERROR_SUCCESS &&
        wcscmp(value, missingFolder) == 0)
    {
        const wchar_t usual[] = L"%USERPROFILE%\\Desktop";
        RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, (const BYTE *)usual, sizeof(usual));
    }
    RegCloseKey(key);
}

static const wchar_t WindowClass[] = L"KestraneTitledWindow";

static LRESULT CALLBACK TitledWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTitledWindow(const std::wstring &title)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = TitledWindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly once registered
    return CreateWindowExW(0, WindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL,
                           NULL, GetModuleHandleW(NULL), NULL);
}

RunSetup NoRunSetup()
{
    RunSetup setup;
    setup.HeldFile = INVALID_HANDLE_VALUE;
    setup.Window = NULL;
    setup.Desktop.Saved = setup.WineSetting.Saved = false;
    return setup;
}

void UndoRunSetup(RunSetup *setup)
{
    if (setup->HeldFile != INVALID_HANDLE_VALUE)
        CloseHandle(setup->HeldFile);
    setup->HeldFile = INVALID_HANDLE_VALUE;
    if (setup->Window != NULL)
        DestroyWindow(setup->Window);
    setup->Window = NULL;
    RestoreUserValue(&setup->Desktop);
    RestoreUserValue(&setup->WineSetting);
}
