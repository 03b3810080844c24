#include "look/WindowsWriters.h"

#include "data/PathText.h"

#include <windows.h>

#include <vector>

// Each row as narrow as its place allows: a folder of Windows' own whole, else the very files or
// values it writes; never a place an installer may write to. The neighbours an installer may own
// are held to it by CheckWindowsWriters, a row each.
static const wchar_t AttackSurfaceTool[] = L"observed on an idle Windows 10 by Microsoft's attack-surface tool, run "
                                           L"twice an hour apart (github.com/microsoft/AttackSurfaceAnalyzer/issues/372)";
static const wchar_t NewShortcut[] = L"when a shortcut comes or goes";
static const wchar_t NewStartShortcut[] = L"when a shortcut comes or goes in the Start menu";
static const wchar_t MsiPackage[] = L"when an installer runs a Windows Installer package";

static const WindowsWriter Writers[] = {
    // Seen changing on an idle machine.
    {L"%ProgramData%\\Microsoft\\Windows\\AppRepository", L"StateRepository-*",
     L"the state repository of packaged apps, rewritten by Windows' own services", NULL, AttackSurfaceTool},
    {L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\Packages", NULL,
     L"packaged apps' registrations, rewritten as Windows updates its own apps", NULL, AttackSurfaceTool},
    {L"%ProgramData%\\Microsoft\\DiagnosticLogCSP", NULL, L"the device management's diagnostic traces", NULL,
     AttackSurfaceTool},
    {L"%ProgramData%\\Microsoft\\SmsRouter\\MessageStore", NULL, L"the message routing service's store", NULL,
     AttackSurfaceTool},
    {L"%LOCALAPPDATA%\\ConnectedDevicesPlatform", NULL, L"the connected devices service's activity store", NULL,
     AttackSurfaceTool},
    {L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.Search_*", NULL, L"the search app's cache of the programs installed",
     NewStartShortcut, AttackSurfaceTool},
    {L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.Cortana_*", NULL,
     L"the search app's cache of the programs installed (Windows 10 before version 2004)", NewStartShortcut,
     AttackSurfaceTool},
    // The user's registry hive: the registry itself is read as keys.
    {L"%USERPROFILE%", L"ntuser.dat", L"the user's registry hive, flushed as the registry is written", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/sysinfo/registry-hives"},
    {L"%USERPROFILE%", L"ntuser.dat.LOG*", L"the user hive's logs of changes to its keys and values", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/sysinfo/registry-hives"},
    {L"%USERPROFILE%", L"ntuser.dat{*}.TM.blf", L"the user hive's transaction log", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/ktm/about-ktm"},
    {L"%USERPROFILE%", L"ntuser.dat{*}.TMContainer*.regtrans-ms", L"the user hive's transaction log", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/ktm/about-ktm"},
    {L"%LOCALAPPDATA%\\Microsoft\\Windows", L"UsrClass.dat*", L"the user's classes hive and its logs", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/sysinfo/registry-hives"},
    // Services' own state, on their own schedule.
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\*", L"DynamicInfo",
     L"a scheduled task's last run and result, rewritten by Task Scheduler each time the task runs", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/api/taskschd/nf-taskschd-iregisteredtask-get_lastruntime"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SoftwareProtectionPlatform", NULL,
     L"the software protection service's state", NULL,
     L"https://learn.microsoft.com/en-us/previous-versions/windows/it-pro/windows-server-2012-r2-and-2012/dn502536(v=ws.11)"},
    {L"%SystemRoot%\\System32\\spp\\store", NULL, L"the software protection service's store", NULL,
     L"https://learn.microsoft.com/en-us/previous-versions/windows/it-pro/windows-server-2012-r2-and-2012/dn502536(v=ws.11)"},
    {L"%SystemRoot%\\ServiceState\\EventLog\\Data", L"lastalive*.dat",
     L"the event log's last-alive time, written every minute to date an unexpected shutdown", NULL,
     L"https://learn.microsoft.com/windows/client-management/mdm/policy-csp-admx-reliability"},
    {L"%ProgramData%\\Microsoft\\Network\\Downloader", NULL, L"the background transfer service's queue of jobs", NULL,
     L"https://learn.microsoft.com/en-us/windows/win32/bits/bits-interfaces"},
    {L"%ProgramData%\\USOPrivate", NULL, L"the update orchestrator's store of its background scans", NULL,
     L"https://learn.microsoft.com/en-us/uwp/api/windows.management.update.windowsupdatemanager.startscan"},
    {L"%SystemRoot%\\INF", L"setupapi.*.log", L"Windows' logs of device and driver setup", NULL,
     L"https://learn.microsoft.com/en-us/windows-hardware/drivers/install/setupapi-text-logs"},
    {L"%ProgramData%\\Microsoft\\Search\\Data", NULL, L"the search indexer's catalog", L"when files come or go where it indexes",
     L"https://learn.microsoft.com/en-us/previous-versions/bb268030(v=msdn.10)"},
    // The shell, reacting to what the installer put in the places it shows.
    {L"%LOCALAPPDATA%\\Microsoft\\Windows\\Caches", NULL, L"the shell's caches of its folders", NewShortcut,
     L"https://learn.microsoft.com/en-us/windows/win32/api/shlobj_core/nf-shlobj_core-shchangenotify"},
    {L"%LOCALAPPDATA%", L"IconCache.db", L"the shell's icon cache", NewShortcut,
     L"https://learn.microsoft.com/en-us/windows/win32/api/shlobj_core/nf-shlobj_core-shchangenotify"},
    {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\CloudStore", NULL, L"the Start menu's state", NewStartShortcut,
     L"https://learn.microsoft.com/en-us/windows/win32/api/shlobj_core/nf-shlobj_core-shchangenotify"},
    {L"HKCU\\Software\\Microsoft\\Windows\\Shell\\Bags", NULL, L"the shell's view state of each folder, icons' places among it",
     NewShortcut, L"https://learn.microsoft.com/en-us/windows/win32/api/shobjidl_core/nf-shobjidl_core-iexplorerbrowser-setfoldersettings"},
    {L"HKCU\\Software\\Microsoft\\Windows\\Shell\\BagMRU", NULL, L"the shell's list of the folders it keeps a view state of",
     NewShortcut, L"https://learn.microsoft.com/en-us/windows/win32/api/shobjidl_core/nf-shobjidl_core-iexplorerbrowser-setfoldersettings"},
    // Windows Installer's own bookkeeping of a package the installer chains.
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", NULL,
     L"Windows Installer's register of the folders its packages made", MsiPackage,
     L"https://learn.microsoft.com/en-us/windows/win32/msi/createfolders-action"},
    {L"%SystemDrive%\\Config.Msi", NULL, L"Windows Installer's rollback files, deleted once a package is installed",
     MsiPackage, L"https://learn.microsoft.com/en-us/windows/win32/msi/rollback-installation"},
};

const WindowsWriter *WindowsWriters(size_t *count)
{
    *count = sizeof Writers / sizeof Writers[0];
    return Writers;
}

bool NameMatches(const std::wstring &name, const std::wstring &pattern)
{
    const std::wstring text = Folded(name), wild = Folded(pattern);
    size_t t = 0, w = 0, star = std::wstring::npos, resume = 0;
    while (t < text.size()) {
        if (w < wild.size() && wild[w] == L'*') {
            star = w++;
            resume = t;
        } else if (w < wild.size() && wild[w] == text[t]) {
            w++;
            t++;
        } else if (star != std::wstring::npos) {
            w = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (w < wild.size() && wild[w] == L'*')
        w++;
    return w == wild.size();
}

struct ExpandedWriter {
    std::vector<std::wstring> Parts;  // the place's names, each a pattern
    bool Key = false;
    bool Known = false;               // false when this machine lacks one of its variables
};

static const std::vector<ExpandedWriter> &Expanded()
{
    static std::vector<ExpandedWriter> rows;
    if (!rows.empty())
        return rows;
    for (const WindowsWriter &writer : Writers) {
        ExpandedWriter row;
        wchar_t expanded[MAX_PATH * 2] = {0};
        DWORD length = ExpandEnvironmentStringsW(writer.Place, expanded, MAX_PATH * 2);
        row.Known = length > 0 && length <= MAX_PATH * 2 && !wcschr(expanded, L'%');
        row.Key = wcsncmp(writer.Place, L"HK", 2) == 0;
        row.Parts = PathParts(expanded);
        rows.push_back(row);
    }
    return rows;
}

// Whether the path's first names are the place's.
static bool Under(const std::vector<std::wstring> &path, const std::vector<std::wstring> &place)
{
    if (path.size() < place.size())
        return false;
    for (size_t i = 0; i < place.size(); i++)
        if (!NameMatches(path[i], place[i]))
            return false;
    return true;
}

const WindowsWriter *WindowsWriterOf(const Entry &place)
{
    const std::vector<ExpandedWriter> &rows = Expanded();
    bool key = place.Kind == EntryKey || place.Kind == EntryValue;
    std::vector<std::wstring> path = PathParts(place.Path);
    for (size_t i = 0; i < rows.size(); i++) {
        const ExpandedWriter &row = rows[i];
        if (!row.Known || row.Key != key || !Under(path, row.Parts))
            continue;
        if (Writers[i].Names == NULL)
            return &Writers[i];
        if (place.Kind == EntryValue && path.size() == row.Parts.size() && NameMatches(place.Name, Writers[i].Names))
            return &Writers[i];
        if (place.Kind == EntryFile && path.size() == row.Parts.size() + 1 && NameMatches(path.back(), Writers[i].Names))
            return &Writers[i];
    }
    return NULL;
}
