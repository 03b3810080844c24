#include "Platform.h"

#include <shlobj.h>
#include <wchar.h>

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFunction)(DWORD);
typedef HRESULT(WINAPI *GetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPWSTR);

// Looked up, not imported: Vista and 7 have it only with a later update.
static SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories()
{
    return (SetDefaultDllDirectoriesFunction)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                    "SetDefaultDllDirectories");
}

BOOL OsHasSetDefaultDllDirectories() { return FindSetDefaultDllDirectories() != NULL; }

BOOL OsSetDefaultDllDirectories(DWORD flags)
{
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories = FindSetDefaultDllDirectories();
    return setDefaultDllDirectories != NULL && setDefaultDllDirectories(flags);
}

BOOL OsGetVersionEx(OSVERSIONINFOW *version) { return GetVersionExW(version); }

HMODULE OsLoadSystemLibrary(const wchar_t *name, DWORD flags)
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    size_t nameLength = wcslen(name);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH)
        return NULL;
    path[length] = L'\\';
    wmemcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryExW(path, NULL, flags);
}

static DWORD ShellLoadFlags;
void OsSetShellLoadFlags(DWORD flags) { ShellLoadFlags = flags; }

HRESULT OsCoInitializeEx(DWORD coInit) { return CoInitializeEx(NULL, coInit); }
void OsCoUninitialize() { CoUninitialize(); }

HRESULT OsCoCreateInstance(REFCLSID classId, IUnknown *outer, DWORD context,
                           REFIID interfaceId, void **object)
{
    return CoCreateInstance(classId, outer, context, interfaceId, object);
}

BSTR OsSysAllocString(const wchar_t *text) { return SysAllocString(text); }
void OsSysFreeString(BSTR text) { SysFreeString(text); }
ULONG OsRelease(IUnknown *object) { return object->Release(); }

HRESULT OsFirewallGetRules(INetFwPolicy2 *policy, INetFwRules **rules)
{
    return policy->get_Rules(rules);
}

HRESULT OsFirewallCountRules(INetFwRules *rules, long *count) { return rules->get_Count(count); }
HRESULT OsFirewallRemoveRule(INetFwRules *rules, BSTR name) { return rules->Remove(name); }

HRESULT OsFirewallFindRule(INetFwRules *rules, BSTR name, INetFwRule **rule)
{
    return rules->Item(name, rule);
}

// shell32 is a KnownDLL, but importing it would map what it needs before
// wWinMain could restrict the search: under Wine, a shcore.dll from beside the
// program. It stays loaded for the rest of the run.
HRESULT OsGetFolderPath(int folder, wchar_t *path)
{
    static GetFolderPathFunction getFolderPath;
    if (getFolderPath == NULL) {
        HMODULE shell = OsLoadSystemLibrary(L"shell32.dll", ShellLoadFlags);
        if (shell != NULL)
            getFolderPath = (GetFolderPathFunction)(void *)GetProcAddress(shell, "SHGetFolderPathW");
        if (getFolderPath == NULL)
            return E_FAIL;
    }
    return getFolderPath(NULL, folder, NULL, SHGFP_TYPE_CURRENT, path);
}

int OsMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style)
{
    return MessageBoxW(owner, text, caption, style);
}

BOOL OsEnumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    return EnumWindows(callback, parameter);
}

int OsGetWindowText(HWND window, wchar_t *title, int size)
{
    return GetWindowTextW(window, title, size);
}

BOOL OsSetConsoleTitle(const wchar_t *title) { return SetConsoleTitleW(title); }

DWORD OsGetFileAttributes(const wchar_t *path) { return GetFileAttributesW(path); }

BOOL OsSetFileAttributes(const wchar_t *path, DWORD attributes)
{
    return SetFileAttributesW(path, attributes);
}

BOOL OsDeleteFile(const wchar_t *path) { return DeleteFileW(path); }
BOOL OsRemoveDirectory(const wchar_t *path) { return RemoveDirectoryW(path); }

BOOL OsMoveFileEx(const wchar_t *existing, const wchar_t *replacement, DWORD flags)
{
    return MoveFileExW(existing, replacement, flags);
}

LONG OsRegOpenKeyEx(HKEY root, const wchar_t *subkey, DWORD options, REGSAM access, HKEY *key)
{
    return RegOpenKeyExW(root, subkey, options, access, key);
}

LONG OsRegCloseKey(HKEY key) { return RegCloseKey(key); }
LONG OsRegDeleteKey(HKEY root, const wchar_t *subkey) { return RegDeleteKeyW(root, subkey); }

HANDLE OsGetCurrentProcess() { return GetCurrentProcess(); }

BOOL OsOpenProcessToken(HANDLE process, DWORD access, HANDLE *token)
{
    return OpenProcessToken(process, access, token);
}

BOOL OsLookupPrivilegeValue(const wchar_t *system, const wchar_t *name, LUID *luid)
{
    return LookupPrivilegeValueW(system, name, luid);
}

// Nothing may run between this call and the caller's OsGetLastError: the
// last error is the only report of whether the privilege was granted.
BOOL OsAdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state,
                             DWORD length, TOKEN_PRIVILEGES *previous, DWORD *returned)
{
    return AdjustTokenPrivileges(token, disableAll, state, length, previous, returned);
}

DWORD OsGetLastError() { return GetLastError(); }
BOOL OsCloseHandle(HANDLE handle) { return CloseHandle(handle); }

BOOL OsInitiateSystemShutdownEx(wchar_t *machine, wchar_t *message, DWORD timeout,
                                BOOL forceAppsClosed, BOOL restart, DWORD reason)
{
    return InitiateSystemShutdownExW(machine, message, timeout, forceAppsClosed, restart, reason);
}
