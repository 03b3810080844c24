// A sample installation in the conventional layout, laid out and removed in the current
// prefix, and the small file, key and registry helpers the test tools share around it.
#pragma once

#include <windows.h>

#include "Pending.h"

#include <string>
#include <vector>

// What an installation may hold; a caller lays out any combination of them.
enum Item : unsigned
{
    AppDir = 1u << 0,
    AppExe = 1u << 1,
    AppChm = 1u << 2,
    UninstallerCopy = 1u << 3,  // Kestrane.exe in the application folder
    ExtraFile = 1u << 4,        // readme.txt in the application folder
    ExeFolder = 1u << 5,        // a folder where App.exe is expected
    StartMenuLink = 1u << 6,
    DesktopLink = 1u << 7,
    UninstallKey = 1u << 8,
    UninstallSubkey = 1u << 9,
    SettingsKey = 1u << 10,
};
const unsigned AllItems = 0x7FF;
const unsigned Links = StartMenuLink | DesktopLink;
const unsigned Keys = UninstallKey | SettingsKey;
const unsigned Installed = AppDir | AppExe | AppChm | Links | Keys;

// Every path is empty when the shell folder it lies in cannot be resolved, so that no
// cleanup ever works on a path that has lost its folder.
struct InstallationPaths
{
    std::wstring App;
    std::wstring Dir, Exe, Chm, Uninstaller, Extra, StartMenuLink, DesktopLink;
    std::wstring UninstallKey, UninstallSubkey, SettingsKey;  // under HKLM, HKLM, HKCU
};

std::wstring ShellFolder(int csidl);
InstallationPaths PathsFor(const std::wstring &app);

// Returns the first item it could not lay out, or 0. The copy comes from uninstallerSource.
unsigned LayOut(const InstallationPaths &paths, unsigned items,
                const std::wstring &uninstallerSource);
// Files, shortcuts and keys of the installation, and every deletion pending at restart.
void RemoveInstallation(const InstallationPaths &paths);
bool ItemPresent(const InstallationPaths &paths, Item item);
const char *ItemName(unsigned item);

bool IsFile(const std::wstring &path);
bool IsFolder(const std::wstring &path);
bool WriteSmallFile(const std::wstring &path);
void DeleteTree(const std::wstring &path);
// Open without FILE_SHARE_DELETE, so that DeleteFileW fails while the handle lives.
HANDLE HoldOpen(const std::wstring &path);

// True also for a key this process may not read.
bool KeyExists(HKEY root, const std::wstring &subkey);
// Creates the key when needed and sets a REG_SZ value in it.
bool SetKeyValue(HKEY root, const std::wstring &subkey, const wchar_t *name,
                 const std::wstring &value);

// Whether a pending source ("\??\" and a path, on Windows 10 and later after "*1" or "*2")
// is the installation's folder, a file in it or one of its shortcuts: a real machine may hold
// other programs' entries too.
bool IsPendingOf(const InstallationPaths &paths, const std::wstring &source);
// Sources in order, without that marker, of the installation only when one is given; false
// when such an entry is a rename rather than a deletion.
bool PendingDeletionsIn(const std::vector<std::wstring> &strings, std::vector<std::wstring> *sources,
                        const InstallationPaths *of = NULL);
// Every entry that is not the installation's, each string terminated, as the value holds them
// before its final terminator.
std::wstring PendingWithout(const std::vector<std::wstring> &strings, const InstallationPaths &paths);
// PendingDeletionsIn on the registry's value; an absent value is an empty list.
bool ReadPendingDeletions(std::vector<std::wstring> *sources, const InstallationPaths *of = NULL);
// Drops the installation's pending entries and keeps every other one.
bool ClearPendingDeletions(const InstallationPaths &paths);
// A value that is not REG_MULTI_SZ makes Wine's MoveFileExW refuse to add a deletion to it.
bool RefusePendingDeletions();

// Wine DLL overrides that disable the firewall library, Wine's and the stand-in's, or their
// removal.
bool SetFirewallOff(bool off);

// Wine's own firewall keeps no rules (its Add stores nothing, its Item is not implemented):
// under Wine the rows run against the stand-in firewall (tests/firewall), registered in the
// prefix as regsvr32 registers it. An empty answer when it is registered and serves the
// firewall's policy class, else what went wrong.
std::wstring RegisterFirewallStandIn(const std::wstring &dll);

// Firewall rules through the firewall's own policy object.
// Adds count disabled inbound rules of the name, protocols TCP, UDP and ICMPv4 in turn.
bool AddFirewallRules(const std::wstring &name, int count);
// INetFwRules::Item's answer for the name: S_OK while a rule of it is left.
HRESULT FindFirewallRule(const std::wstring &name);
// The rules of the name, read through the firewall's enumeration of every rule; -1 when
// the firewall cannot be read.
int CountFirewallRules(const std::wstring &name);
void RemoveFirewallRules(const std::wstring &name);

// A value under HKEY_CURRENT_USER, replaced and put back as it was.
struct SavedValue
{
    bool Saved;
    bool Existed;
    DWORD Type;
    std::vector<BYTE> Data;
    std::wstring Subkey, Name;
};
bool ReplaceUserValue(const wchar_t *subkey, const wchar_t *name, DWORD type, const std::wstring &text,
                      SavedValue *saved);
void RestoreUserValue(SavedValue *saved);
// The desktop's User Shell Folders value.
bool PointDesktopAt(const wchar_t *folder, SavedValue *saved);
// A run killed while the desktop pointed at missingFolder must not spoil the runs after it.
void RepairDesktop(const wchar_t *missingFolder);

// A top-level window of this process with the given title, never shown: the running
// check reads every top-level title, visible or not.
HWND CreateTitledWindow(const std::wstring &title);

// What a run sets up around the installation and must put back whatever happens: a file
// held open, a titled window, the desktop pointed elsewhere.
struct RunSetup
{
    HANDLE HeldFile;
    HWND Window;
    SavedValue Desktop;
    SavedValue WineSetting;  // under Software\Wine, for one run
};
RunSetup NoRunSetup();
void UndoRunSetup(RunSetup *setup);
