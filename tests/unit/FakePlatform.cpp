#include "FakePlatform.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <string>

FakePlatform Fake;

static INetFwPolicy2 *const PolicyObject = reinterpret_cast<INetFwPolicy2 *>(0x1000);
static INetFwRules *const RulesObject = reinterpret_cast<INetFwRules *>(0x2000);
static INetFwRule *const RuleObject = reinterpret_cast<INetFwRule *>(0x2800);
static HANDLE const TokenHandle = reinterpret_cast<HANDLE>(0x3000);
static HANDLE const CurrentProcess = reinterpret_cast<HANDLE>(-1);
static std::map<HKEY, std::wstring> OpenedKeys;

void ResetFake()
{
    Fake = FakePlatform();
    OpenedKeys.clear();
    Fake.Folders[CSIDL_PROGRAM_FILES] = {S_OK, ProgramFiles};
    Fake.Folders[CSIDL_DESKTOPDIRECTORY] = {S_OK, Desktop};
    Fake.Folders[CSIDL_PROGRAMS] = {S_OK, Programs};
}

std::vector<std::wstring> CallsStartingWith(const std::wstring &prefix)
{
    std::vector<std::wstring> found;
    for (const std::wstring &call : Fake.Calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    return found;
}

// Far more calls than any run makes: past it a loop that never ends fails its test
// instead of eating the machine's memory. The exception unwinds out of the logic,
// which holds nothing to clean up, to the test body.
const size_t CallLimit = 100000;

static void Log(const std::wstring &call)
{
    if (Fake.Calls.size() >= CallLimit)
        throw std::length_error("the fake was called " + std::to_string(CallLimit)
                                + " times: a loop that never ends? Last call: "
                                + std::string(call.begin(), call.end()));
    Fake.Calls.push_back(call);
}

BOOL OsHasSetDefaultDllDirectories() { return Fake.HasSetDefaultDllDirectories; }

BOOL OsSetDefaultDllDirectories(DWORD flags)
{
    Log(L"SetDefaultDllDirectories " + std::to_wstring(flags));
    return Fake.HasSetDefaultDllDirectories && Fake.SetDefaultDllDirectoriesResult;
}

BOOL OsGetVersionEx(OSVERSIONINFOW *version)
{
    version->dwMajorVersion = HIBYTE(Fake.WindowsVersion);
    version->dwMinorVersion = LOBYTE(Fake.WindowsVersion);
    return Fake.WindowsVersion != 0 && version->dwOSVersionInfoSize == sizeof *version;
}

HMODULE OsLoadSystemLibrary(const wchar_t *name, DWORD flags)
{
    Fake.SystemLibrariesLoaded.push_back(name + (L" " + std::to_wstring(flags)));
    return reinterpret_cast<HMODULE>(0x4000);
}

void OsSetShellLoadFlags(DWORD flags) { Fake.ShellLoadFlags = flags; }

HRESULT OsCoInitializeEx(DWORD coInit)
{
    Log(L"CoInitializeEx " + std::to_wstring(coInit));
    HRESULT result = Fake.ComDepth == 0 ? S_OK : S_FALSE;
    if (!Fake.CoInitResults.empty()) {
        result = Fake.CoInitResults.front();
        Fake.CoInitResults.pop_front();
    }
    if (SUCCEEDED(result))
        ++Fake.ComDepth;
    return result;
}

void OsCoUninitialize()
{
    Log(L"CoUninitialize");
    --Fake.ComDepth;
    ++Fake.CoUninitializeCount;
}

HRESULT OsCoCreateInstance(REFCLSID classId, IUnknown *outer, DWORD context, REFIID interfaceId,
                           void **object)
{
    Log(L"CoCreateInstance");
    Fake.CreatedClass = classId;
    Fake.CreatedInterface = interfaceId;
    Fake.CreateContext = context;
    Fake.CreateOuter = outer;
    if (FAILED(Fake.CreateResult)) {
        *object = nullptr;
        return Fake.CreateResult;
    }
    *object = PolicyObject;
    ++Fake.LiveObjects;
    return Fake.CreateResult;
}

BSTR OsSysAllocString(const wchar_t *text)
{
    Log(L"SysAllocString " + std::wstring(text));
    if (Fake.AllocStringFails)
        return nullptr;
    ++Fake.LiveStrings;
    size_t length = wcslen(text);
    wchar_t *copy = new wchar_t[length + 1];
    wcscpy(copy, text);
    return copy;
}

void OsSysFreeString(BSTR text)
{
    Log(L"SysFreeString");
    if (text != nullptr) {
        --Fake.LiveStrings;
        delete[] text;
    }
}

ULONG OsRelease(IUnknown *object)
{
    Log(object == static_cast<IUnknown *>(PolicyObject)  ? L"Release policy"
        : object == static_cast<IUnknown *>(RuleObject) ? L"Release rule"
                                                         : L"Release rules");
    --Fake.LiveObjects;
    return 0;
}

HRESULT OsFirewallGetRules(INetFwPolicy2 *policy, INetFwRules **rules)
{
    Log(L"get_Rules");
    if (policy != PolicyObject)
        return E_POINTER;
    if (FAILED(Fake.GetRulesResult) && !Fake.GetRulesLeavesObject)
        return Fake.GetRulesResult;
    *rules = RulesObject;
    ++Fake.LiveObjects;
    return Fake.GetRulesResult;
}

HRESULT OsFirewallCountRules(INetFwRules *rules, long *count)
{
    Log(L"get_Count");
    if (SUCCEEDED(Fake.CountResult))
        *count = (long)Fake.Rules.size();
    return rules == RulesObject ? Fake.CountResult : E_POINTER;
}

HRESULT OsFirewallRemoveRule(INetFwRules *rules, BSTR name)
{
    Log(L"Remove " + std::wstring(name == nullptr ? L"(null)" : name));
    if (rules != RulesObject)
        return E_POINTER;
    std::wstring text = name == nullptr ? L"" : name;
    Fake.RemovedRules.push_back(text);
    auto rule = std::find(Fake.Rules.begin(), Fake.Rules.end(), text);
    if (SUCCEEDED(Fake.RemoveResult) && !Fake.RemoveDeletesNothing && rule != Fake.Rules.end())
        Fake.Rules.erase(rule);
    return Fake.RemoveResult;
}

HRESULT OsFirewallFindRule(INetFwRules *rules, BSTR name, INetFwRule **rule)
{
    Log(L"Item " + std::wstring(name == nullptr ? L"(null)" : name));
    if (rules != RulesObject)
        return E_POINTER;
    if (FAILED(Fake.ItemResult))
        return Fake.ItemResult;
    if (std::find(Fake.Rules.begin(), Fake.Rules.end(), name == nullptr ? L"" : name) == Fake.Rules.end())
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *rule = RuleObject;
    ++Fake.LiveObjects;
    return S_OK;
}

HRESULT OsGetFolderPath(int folder, wchar_t *path)
{
    Log(L"GetFolderPath " + std::to_wstring(folder));
    auto found = Fake.Folders.find(folder);
    if (found == Fake.Folders.end())
        return E_INVALIDARG;
    if (FAILED(found->second.first))
        return found->second.first;
    wcsncpy(path, found->second.second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = L'\0';
    return found->second.first;
}

int OsMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style)
{
    Log(L"MessageBox " + std::wstring(text));
    Fake.Boxes.push_back({text, caption, style, owner});
    if (Fake.Answers.empty())
        return IDOK;
    int answer = Fake.Answers.front();
    Fake.Answers.pop_front();
    return answer;
}

BOOL OsEnumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    Log(L"EnumWindows");
    if (Fake.EnumFails)
        return FALSE;
    for (size_t i = 0; i < Fake.WindowTitles.size(); ++i)
        if (!callback(reinterpret_cast<HWND>(i + 1), parameter))
            return FALSE;
    return TRUE;
}

int OsGetWindowText(HWND window, wchar_t *title, int size)
{
    const std::wstring &text = Fake.WindowTitles.at(reinterpret_cast<size_t>(window) - 1);
    int length = (int)std::min<size_t>(text.size(), (size_t)size - 1);
    wmemcpy(title, text.c_str(), length);
    title[length] = L'\0';
    return length;
}

BOOL OsSetConsoleTitle(const wchar_t *title)
{
    Log(std::wstring(L"SetConsoleTitle ") + title);
    if (Fake.ConsoleWindow == 0)
        return FALSE;
    Fake.WindowTitles.at(Fake.ConsoleWindow - 1) = title;
    return TRUE;
}

DWORD OsGetFileAttributes(const wchar_t *path)
{
    auto found = Fake.Files.find(path);
    return found == Fake.Files.end() ? INVALID_FILE_ATTRIBUTES : found->second;
}

static bool HasChildren(const std::wstring &folder)
{
    auto next = Fake.Files.upper_bound(folder);
    return next != Fake.Files.end() && next->first.compare(0, folder.size() + 1, folder + L"\\") == 0;
}

static BOOL Fail(const std::wstring &path)
{
    if (Fake.VanishOnFailure.count(path))
        Fake.Files.erase(path);
    return FALSE;
}

BOOL OsSetFileAttributes(const wchar_t *path, DWORD attributes)
{
    Log(L"SetFileAttributes " + std::wstring(path));
    auto found = Fake.Files.find(path);
    if (found == Fake.Files.end() || Fake.SetAttributesFails.count(path))
        return Fail(path);
    found->second = (found->second & FILE_ATTRIBUTE_DIRECTORY) | attributes;
    return TRUE;
}

BOOL OsDeleteFile(const wchar_t *path)
{
    Log(L"DeleteFile " + std::wstring(path));
    auto found = Fake.Files.find(path);
    if (found == Fake.Files.end() || Fake.DeleteFails.count(path)
        || (found->second & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return Fail(path);
    Fake.Files.erase(found);
    return TRUE;
}

BOOL OsRemoveDirectory(const wchar_t *path)
{
    Log(L"RemoveDirectory " + std::wstring(path));
    auto found = Fake.Files.find(path);
    if (found == Fake.Files.end() || !(found->second & FILE_ATTRIBUTE_DIRECTORY)
        || Fake.RemoveDirectoryFails.count(path) || HasChildren(path))
        return Fail(path);
    Fake.Files.erase(found);
    return TRUE;
}

BOOL OsMoveFileEx(const wchar_t *existing, const wchar_t *replacement, DWORD flags)
{
    Log(L"MoveFileEx " + std::wstring(existing));
    if (replacement != nullptr || flags != MOVEFILE_DELAY_UNTIL_REBOOT || Fake.MoveFails.count(existing))
        return FALSE;
    Fake.Pending.push_back(existing);
    return TRUE;
}

static std::wstring RootName(HKEY root)
{
    if (root == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS) return L"HKEY_USERS";
    if (root == HKEY_CURRENT_CONFIG) return L"HKEY_CURRENT_CONFIG";
    return L"";
}

static std::wstring KeyName(HKEY root, const wchar_t *subkey)
{
    return RootName(root) + L"\\" + subkey;
}

LONG OsRegOpenKeyEx(HKEY root, const wchar_t *subkey, DWORD options, REGSAM access, HKEY *key)
{
    std::wstring name = KeyName(root, subkey);
    Log(L"RegOpenKeyEx " + name + L" " + std::to_wstring(options) + L" " + std::to_wstring(access));
    if (RootName(root).empty())
        return ERROR_INVALID_HANDLE;
    auto error = Fake.OpenErrors.find(name);
    if (error != Fake.OpenErrors.end())
        return error->second;
    if (!Fake.Keys.count(name))
        return ERROR_FILE_NOT_FOUND;
    *key = reinterpret_cast<HKEY>(0x5000 + OpenedKeys.size());
    OpenedKeys[*key] = name;
    ++Fake.OpenKeys;
    return ERROR_SUCCESS;
}

LONG OsRegCloseKey(HKEY key)
{
    auto found = OpenedKeys.find(key);
    if (found == OpenedKeys.end())
        return ERROR_INVALID_HANDLE;
    Log(L"RegCloseKey " + found->second);
    --Fake.OpenKeys;
    LONG result = Fake.CloseFails.count(found->second) ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    OpenedKeys.erase(found);
    return result;
}

LONG OsRegDeleteKey(HKEY root, const wchar_t *subkey)
{
    std::wstring name = KeyName(root, subkey);
    Log(L"RegDeleteKey " + name);
    auto error = Fake.DeleteErrors.find(name);
    if (error != Fake.DeleteErrors.end())
        return error->second;
    if (!Fake.Keys.count(name))
        return ERROR_FILE_NOT_FOUND;
    auto next = Fake.Keys.upper_bound(name);
    if (next != Fake.Keys.end() && next->compare(0, name.size() + 1, name + L"\\") == 0)
        return ERROR_ACCESS_DENIED;
    Fake.Keys.erase(name);
    return ERROR_SUCCESS;
}

HANDLE OsGetCurrentProcess() { return CurrentProcess; }

BOOL OsOpenProcessToken(HANDLE process, DWORD access, HANDLE *token)
{
    Log(L"OpenProcessToken");
    Fake.TokenAccess = access;
    if (process != CurrentProcess || !Fake.OpenTokenResult)
        return FALSE;
    *token = TokenHandle;
    ++Fake.OpenTokens;
    return TRUE;
}

BOOL OsLookupPrivilegeValue(const wchar_t *system, const wchar_t *name, LUID *luid)
{
    Log(L"LookupPrivilegeValue");
    Fake.LookedUpPrivilege = name;
    if (system != nullptr || !Fake.LookupResult)
        return FALSE;
    luid->LowPart = 19;
    luid->HighPart = 0;
    return TRUE;
}

BOOL OsAdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state, DWORD length,
                             TOKEN_PRIVILEGES *previous, DWORD *returned)
{
    Log(L"AdjustTokenPrivileges");
    Fake.Adjusted = *state;
    Fake.AdjustDisableAll = disableAll != FALSE;
    Fake.AdjustLength = length;
    Fake.AdjustAskedPrevious = previous != nullptr || returned != nullptr;
    Fake.LastError = token == TokenHandle ? Fake.AdjustLastError : ERROR_INVALID_HANDLE;
    // Like Windows: the call itself succeeds even when not all was assigned.
    return Fake.LastError == ERROR_SUCCESS || Fake.LastError == ERROR_NOT_ALL_ASSIGNED;
}

DWORD OsGetLastError() { return Fake.LastError; }

BOOL OsCloseHandle(HANDLE handle)
{
    Log(L"CloseHandle");
    if (handle == TokenHandle)
        --Fake.OpenTokens;
    return Fake.CloseResult;
}

BOOL OsInitiateSystemShutdownEx(wchar_t *machine, wchar_t *message, DWORD timeout, BOOL force,
                                BOOL restart, DWORD reason)
{
    Log(L"InitiateSystemShutdownEx");
    Fake.Shutdown = {true, machine, message, timeout, reason, force, restart};
    return Fake.ShutdownResult;
}
