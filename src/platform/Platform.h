// Every Windows operation the program uses. The logic reaches Windows only
// through these functions, so the unit tests can link a fake in their place.
// Each one passes its arguments and result through unchanged; the only steps
// of their own are finding the functions that are looked up at run time.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <netfw.h>

// DLL search. Windows looks for a DLL loaded by name beside the program
// first, where anyone may have planted one.
// SetDefaultDllDirectories is looked up at run time: whether this Windows has
// it, and the call itself (FALSE where it is missing).
BOOL OsHasSetDefaultDllDirectories();
BOOL OsSetDefaultDllDirectories(DWORD flags);
BOOL OsGetVersionEx(OSVERSIONINFOW *version);
// Loads a DLL by its full path in the system folder, with these LoadLibraryEx flags.
HMODULE OsLoadSystemLibrary(const wchar_t *name, DWORD flags);
// The LoadLibraryEx flags OsGetFolderPath is to load shell32 with.
void OsSetShellLoadFlags(DWORD flags);

// COM
HRESULT OsCoInitializeEx(DWORD coInit);
void OsCoUninitialize();
HRESULT OsCoCreateInstance(REFCLSID classId, IUnknown *outer, DWORD context,
                           REFIID interfaceId, void **object);
BSTR OsSysAllocString(const wchar_t *text);
void OsSysFreeString(BSTR text);
ULONG OsRelease(IUnknown *object);

// Firewall policy
HRESULT OsFirewallGetRules(INetFwPolicy2 *policy, INetFwRules **rules);
HRESULT OsFirewallCountRules(INetFwRules *rules, long *count);
HRESULT OsFirewallRemoveRule(INetFwRules *rules, BSTR name);
HRESULT OsFirewallFindRule(INetFwRules *rules, BSTR name, INetFwRule **rule);

// Shell, loaded from the system folder on first use
HRESULT OsGetFolderPath(int folder, wchar_t *path);

// User interface
int OsMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style);
BOOL OsEnumWindows(WNDENUMPROC callback, LPARAM parameter);
int OsGetWindowText(HWND window, wchar_t *title, int size);
// The title of the calling program's console window (the installer check's own).
BOOL OsSetConsoleTitle(const wchar_t *title);

// Files
DWORD OsGetFileAttributes(const wchar_t *path);
BOOL OsSetFileAttributes(const wchar_t *path, DWORD attributes);
BOOL OsDeleteFile(const wchar_t *path);
BOOL OsRemoveDirectory(const wchar_t *path);
BOOL OsMoveFileEx(const wchar_t *existing, const wchar_t *replacement, DWORD flags);

// Registry
LONG OsRegOpenKeyEx(HKEY root, const wchar_t *subkey, DWORD options, REGSAM access, HKEY *key);
LONG OsRegCloseKey(HKEY key);
LONG OsRegDeleteKey(HKEY root, const wchar_t *subkey);

// Process token, privileges and shutdown
HANDLE OsGetCurrentProcess();
BOOL OsOpenProcessToken(HANDLE process, DWORD access, HANDLE *token);
BOOL OsLookupPrivilegeValue(const wchar_t *system, const wchar_t *name, LUID *luid);
BOOL OsAdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state,
                             DWORD length, TOKEN_PRIVILEGES *previous, DWORD *returned);
DWORD OsGetLastError();
BOOL OsCloseHandle(HANDLE handle);
BOOL OsInitiateSystemShutdownEx(wchar_t *machine, wchar_t *message, DWORD timeout,
                                BOOL forceAppsClosed, BOOL restart, DWORD reason);
