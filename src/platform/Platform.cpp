#include "Platform.h"

#include <shlobj.h>

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

HRESULT OsFirewallRemoveRule(INetFwRules *rules, BSTR name) { return rules->Remove(name); }

HRESULT OsGetFolderPath(int folder, wchar_t *path)
{
    return SHGetFolderPathW(NULL, folder, NULL, SHGFP_TYPE_CURRENT, path);
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
