// End-to-end runs of the real Kestrane.exe: lay out an installation, run it with an exact
// command line, answer its boxes, then check the boxes, the exit code and what is left.
#include "BoxDriver.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const DWORD RunTimeoutMs = 30000;

// What a scenario lays out; also what it expects gone, and the order of scheduled deletions.
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

enum Condition : unsigned
{
    ReadOnlyExe = 1u << 0,
    HoldExeOpen = 1u << 1,      // open without FILE_SHARE_DELETE by this process
    RunFromAppDir = 1u << 2,    // start the copy in the application folder
    FirewallOff = 1u << 3,
    DesktopMissing = 1u << 4,
    UninstallKeyUnreadable = 1u << 5,  // exists, but opening it for reading is denied
};

const wchar_t Caption[] = L"Kestrane";
const wchar_t MsgBadArguments[] = L"Erreur.\nArguments.";
const wchar_t MsgSystemFolders[] = L"Erreur.\nSystème.";
const wchar_t MsgFirewall[] = L"Erreur.\nPare-Feu.";
const wchar_t MsgRegistry[] = L"Erreur.\nRegistre.";
const wchar_t MsgRestartQuestion[] =
    L"Le système doit redémarrer pour terminer la désinstallation.\nRedémarrer maintenant ?";
const wchar_t MsgDone[] = L"Désinstallation terminée avec succès.";

const wchar_t UninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t SessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PendingValue[] = L"PendingFileRenameOperations";
const wchar_t DllOverrides[] = L"Software\\Wine\\DllOverrides";
const wchar_t UserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t MissingDesktop[] = L"C:\\kestrane-e2e-no-such-desktop";
const wchar_t WindowClass[] = L"KestraneE2EWindow";

std::wstring Confirm(const std::wstring &app)
{
    return L"Désinstaller  " + app + L" ?";
}

std::wstring Running(const std::wstring &app)
{
    return app + L" est en cour d'exécution.\nFermez le programme et recommencez.";
}

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

struct Scenario
{
    const char *Name;
    std::wstring App;        // whose installation is laid out and checked
    std::wstring Arguments;
    unsigned Layout;
    unsigned Conditions;
    std::wstring WindowTitle; // a top-level window of this process while it runs
    std::vector<BoxAnswer> Answers;
    std::vector<std::wstring> Boxes;
    DWORD ExitCode;
    unsigned Gone;               // every other laid-out item must be left
    std::vector<Item> Scheduled; // PendingFileRenameOperations, in order
};

void PrintTo(const Scenario &scenario, std::ostream *out)
{
    *out << scenario.Name;
}

struct Paths
{
    std::wstring Dir, Exe, Chm, Uninstaller, Extra, StartMenuLink, DesktopLink;
    std::wstring UninstallKey, UninstallSubkey, SettingsKey;
};

Paths PathsFor(const std::wstring &app)
{
    Paths paths;
    paths.Dir = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + app;
    paths.Exe = paths.Dir + L"\\" + app + L".exe";
    paths.Chm = paths.Dir + L"\\" + app + L".chm";
    paths.Uninstaller = paths.Dir + L"\\Kestrane.exe";
    paths.Extra = paths.Dir + L"\\readme.txt";
    paths.StartMenuLink = ShellFolder(CSIDL_PROGRAMS) + L"\\" + app + L".lnk";
    paths.DesktopLink = ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + app + L".lnk";
    paths.UninstallKey = UninstallRoot + app;
    paths.UninstallSubkey = paths.UninstallKey + L"\\Extra";
    paths.SettingsKey = L"Software\\" + app;
    return paths;
}

std::wstring KestraneExe()
{
    wchar_t value[MAX_PATH] = {0};
    DWORD length = GetEnvironmentVariableW(L"KESTRANE_EXE", value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    std::wstring path = value;
    for (size_t i = 0; i < path.size(); i++)
        if (path[i] == L'/')
            path[i] = L'\\';
    return path;
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

// A key this process may not read still exists.
bool KeyExists(HKEY root, const std::wstring &subkey)
{
    HKEY key;
    LONG result = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    return result != ERROR_FILE_NOT_FOUND;
}

bool WriteSmallFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, "kestrane-e2e", 12, &written, NULL);
    CloseHandle(file);
    return ok && written == 12;
}

bool CreateKeyWithValue(HKEY root, const std::wstring &subkey)
{
    HKEY key;
    if (RegCreateKeyExW(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    const wchar_t data[] = L"e2e";
    LONG result = RegSetValueExW(key, L"DisplayName", 0, REG_SZ, (const BYTE *)data, sizeof(data));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
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

void ClearPendingDeletions()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
        RegDeleteValueW(key, PendingValue);
        RegCloseKey(key);
    }
}

// Sources in order; false when an entry is a rename rather than a deletion.
bool ReadPendingDeletions(std::vector<std::wstring> *sources)
{
    sources->clear();
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return true;
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExW(key, PendingValue, NULL, &type, NULL, &size);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (result == ERROR_SUCCESS)
        result = RegQueryValueExW(key, PendingValue, NULL, &type, (BYTE *)&data[0], &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return true;

    std::vector<std::wstring> strings;
    size_t count = size / sizeof(wchar_t);
    for (size_t at = 0; at < count;)
    {
        std::wstring text(&data[at]);
        strings.push_back(text);
        at += text.size() + 1;
    }
    bool deletionsOnly = true;
    for (size_t i = 0; i < strings.size(); i += 2)
    {
        if (strings[i].empty())
            break;  // the list's terminator
        sources->push_back(strings[i]);
        if (i + 1 >= strings.size() || !strings[i + 1].empty())
            deletionsOnly = false;
    }
    return deletionsOnly;
}

void SetDllOverride(bool disableFirewall)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, DllOverrides, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
    if (disableFirewall)
        RegSetValueExW(key, L"hnetcfg", 0, REG_SZ, (const BYTE *)L"", sizeof(wchar_t));
    else
        RegDeleteValueW(key, L"hnetcfg");
    RegCloseKey(key);
}

struct SavedValue
{
    bool Saved;
    bool Existed;
    DWORD Type;
    std::vector<BYTE> Data;
};

void PointDesktopAt(const wchar_t *folder, SavedValue *saved)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    saved->Existed = RegQueryValueExW(key, L"Desktop", NULL, &saved->Type, NULL, &size) ==
                     ERROR_SUCCESS;
    saved->Data.assign(size + 2, 0);
    if (saved->Existed)
        RegQueryValueExW(key, L"Desktop", NULL, &saved->Type, &saved->Data[0], &size);
    saved->Data.resize(size);
    saved->Saved = true;
    RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, (const BYTE *)folder,
                   (DWORD)((wcslen(folder) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RestoreDesktop(SavedValue *saved)
{
    if (!saved->Saved)
        return;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserShellFolders, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (saved->Existed)
        RegSetValueExW(key, L"Desktop", 0, saved->Type, saved->Data.empty() ? NULL : &saved->Data[0],
                       (DWORD)saved->Data.size());
    else
        RegDeleteValueW(key, L"Desktop");
    RegCloseKey(key);
    saved->Saved = false;
}

// An SDDL DACL; also the way back, since the owner may always rewrite it.
bool SetKeyDacl(HKEY root, const std::wstring &subkey, const wchar_t *sddl)
{
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    LONG result = ERROR_INVALID_PARAMETER;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, NULL))
    {
        result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

const wchar_t DenyReadDacl[] = L"D:(D;;KR;;;WD)(A;;KA;;;WD)";
const wchar_t OpenDacl[] = L"D:(A;;KA;;;WD)";

// A run killed while the desktop pointed nowhere must not spoil the runs after it.
void RepairDesktop()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return;
    wchar_t value[MAX_PATH] = {0};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"Desktop", NULL, NULL, (BYTE *)value, &size) == ERROR_SUCCESS &&
        wcscmp(value, MissingDesktop) == 0)
    {
        const wchar_t usual[] = L"%USERPROFILE%\\Desktop";
        RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, (const BYTE *)usual, sizeof(usual));
    }
    RegCloseKey(key);
}

void RemoveLayout(const Paths &paths)
{
    SetKeyDacl(HKEY_LOCAL_MACHINE, paths.UninstallKey, OpenDacl);
    DeleteTree(paths.Dir);
    DeleteTree(paths.StartMenuLink);
    DeleteTree(paths.DesktopLink);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, paths.UninstallKey.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, paths.SettingsKey.c_str());
    ClearPendingDeletions();
    SetDllOverride(false);
}

// Returns the first item it could not lay out, or 0.
unsigned LayOut(const Paths &paths, unsigned layout, const std::wstring &kestrane)
{
    if ((layout & (AppDir | AppExe | AppChm | UninstallerCopy | ExtraFile | ExeFolder)) &&
        !CreateDirectoryW(paths.Dir.c_str(), NULL))
        return AppDir;
    if ((layout & AppExe) && !WriteSmallFile(paths.Exe))
        return AppExe;
    if ((layout & ExeFolder) && !CreateDirectoryW(paths.Exe.c_str(), NULL))
        return ExeFolder;
    if ((layout & AppChm) && !WriteSmallFile(paths.Chm))
        return AppChm;
    if ((layout & UninstallerCopy) && !CopyFileW(kestrane.c_str(), paths.Uninstaller.c_str(), FALSE))
        return UninstallerCopy;
    if ((layout & ExtraFile) && !WriteSmallFile(paths.Extra))
        return ExtraFile;
    if ((layout & StartMenuLink) && !WriteSmallFile(paths.StartMenuLink))
        return StartMenuLink;
    if ((layout & DesktopLink) && !WriteSmallFile(paths.DesktopLink))
        return DesktopLink;
    if ((layout & (UninstallKey | UninstallSubkey)) &&
        !CreateKeyWithValue(HKEY_LOCAL_MACHINE, paths.UninstallKey))
        return UninstallKey;
    if ((layout & UninstallSubkey) && !CreateKeyWithValue(HKEY_LOCAL_MACHINE, paths.UninstallSubkey))
        return UninstallSubkey;
    if ((layout & SettingsKey) && !CreateKeyWithValue(HKEY_CURRENT_USER, paths.SettingsKey))
        return SettingsKey;
    return 0;
}

bool ItemPresent(const Paths &paths, Item item)
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

std::wstring ScheduledPath(const Paths &paths, Item item)
{
    const std::wstring *path = &paths.Dir;
    if (item == AppExe || item == ExeFolder)
        path = &paths.Exe;
    else if (item == AppChm)
        path = &paths.Chm;
    else if (item == UninstallerCopy)
        path = &paths.Uninstaller;
    else if (item == ExtraFile)
        path = &paths.Extra;
    else if (item == StartMenuLink)
        path = &paths.StartMenuLink;
    else if (item == DesktopLink)
        path = &paths.DesktopLink;
    return L"\\??\\" + *path;
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTitledWindow(const std::wstring &title)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly once registered
    return CreateWindowExW(0, WindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL,
                           NULL, GetModuleHandleW(NULL), NULL);
}

std::wstring NameOfLength(size_t length)
{
    return L"Orbel" + std::wstring(length - 5, L'x');
}

std::vector<Scenario> Scenarios()
{
    const std::wstring orbel = L"Orbel";
    const std::wstring rule = L"Orbel/Orbel Inbound";
    const std::vector<BoxAnswer> ok = {BoxAnswerOk};
    const std::vector<BoxAnswer> okCancel = {BoxAnswerOk, BoxAnswerCancel};
    const std::vector<BoxAnswer> okOk = {BoxAnswerOk, BoxAnswerOk};
    const std::vector<std::wstring> badArguments = {MsgBadArguments};
    const std::vector<std::wstring> done = {Confirm(orbel), MsgDone};
    const std::vector<std::wstring> restart = {Confirm(orbel), MsgRestartQuestion, MsgDone};

    // The longest name whose App.exe path (folder, two names, "\", "\", ".exe") fits 259.
    size_t programFiles = ShellFolder(CSIDL_PROGRAM_FILES).size();
    size_t longest = (259 - programFiles - 6) / 2;
    const std::wstring fits = NameOfLength(longest);
    const std::wstring tooLongForPaths = NameOfLength(longest + 1);
    // 61 fixed characters + name must fit 255 in the running message.
    const std::wstring tooLongForRunning = NameOfLength(195);

    return {
        // Foundation: the argument text and the confirmation.
        {"Foundation_NoArgument", orbel, L"", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_AppAlone", orbel, L"Orbel", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_AppAndSlashOnly", orbel, L"Orbel/", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_LoneSlash", orbel, L"/", 0, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_ArgumentOf260Refused", orbel, L"Orbel/" + std::wstring(254, L'R'), Installed, 0,
         L"", ok, badArguments, 1, 0, {}},
        {"Foundation_ArgumentOf259Accepted", orbel, L"Orbel/" + std::wstring(253, L'R'), Installed, 0,
         L"", {BoxAnswerCancel}, {Confirm(orbel)}, 0, 0, {}},
        // A window that the name matches shows the refusal comes before the running check.
        {"Foundation_DotDotRefused", orbel, L"../Rule", 0, 0, L"Notes .. Document1", ok,
         badArguments, 1, 0, {}},
        {"Foundation_DotRefused", orbel, L"./NULL", 0, 0, L"Notes. Document1", ok, badArguments, 1, 0,
         {}},
        {"Foundation_BackslashRefused", orbel, L"a\\b/Rule", 0, 0, L"a\\b - Document1", ok,
         badArguments, 1, 0, {}},
        {"Foundation_NameTooLongForRunningMessage", tooLongForRunning, tooLongForRunning + L"/NULL",
         SettingsKey, 0, tooLongForRunning + L" - Document1", ok, badArguments, 1, 0, {}},
        // Paths are composed only after the confirmation, so that is where this one is refused.
        {"Foundation_NameTooLongForPaths", tooLongForPaths, tooLongForPaths + L"/NULL",
         AppDir | SettingsKey, 0, L"", ok, {Confirm(tooLongForPaths), MsgBadArguments}, 1, 0, {}},
        {"Foundation_LongestNameFits", fits, fits + L"/NULL", AppDir | AppExe | AppChm | SettingsKey,
         0, L"", ok, {Confirm(fits), MsgDone}, 0, AppDir | AppExe | AppChm | SettingsKey, {}},
        {"Foundation_CancelAtConfirmation", orbel, rule, AllItems & ~(ExeFolder | UninstallSubkey),
         0, L"", {BoxAnswerCancel}, {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_CloseAtConfirmation", orbel, rule, Installed, 0, L"", {BoxAnswerClose},
         {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_EscapeAtConfirmation", orbel, rule, Installed, 0, L"", {BoxAnswerEscape},
         {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_FullRun", orbel, L"Orbel/NULL", Installed, 0, L"", ok, done, 0, Installed, {}},
        {"Foundation_SlashRunsCollapse", orbel, L"/Orbel//Orbel Inbound/", SettingsKey, 0, L"", ok,
         done, 0, SettingsKey, {}},
        {"Foundation_QuotesKept", L"\"Orbel", L"\"Orbel/Orbel Inbound\"", 0, 0, L"",
         {BoxAnswerCancel}, {Confirm(L"\"Orbel")}, 0, 0, {}},

        // Removal stages.
        {"Removal_EveryItemRemoved", orbel, rule, Installed | UninstallerCopy, 0, L"", ok, done, 0,
         Installed | UninstallerCopy, {}},
        {"Removal_NothingInstalled", orbel, rule, 0, 0, L"", ok, done, 0, 0, {}},
        {"Removal_ReadOnlyExeDeletedAtOnce", orbel, rule, AppDir | AppExe | AppChm, ReadOnlyExe,
         L"", ok, done, 0, AppDir | AppExe | AppChm, {}},
        {"Removal_HeldExeScheduled", orbel, rule, Installed | UninstallerCopy, HoldExeOpen, L"",
         okCancel, restart, 0, Links | Keys | AppChm | UninstallerCopy, {AppExe, AppDir}},
        {"Removal_ExtraFileKeepsFolder", orbel, rule, AppDir | AppExe | ExtraFile, 0, L"", okCancel,
         restart, 0, AppExe, {AppDir}},
        {"Removal_FolderNamedExeLeftAlone", orbel, rule, AppDir | ExeFolder | AppChm, 0, L"",
         okCancel, restart, 0, AppChm, {AppDir}},
        {"Removal_UninstallKeyWithSubkey", orbel, rule, Installed | UninstallSubkey, 0, L"", ok,
         {Confirm(orbel), MsgRegistry}, 1, 0, {}},
        {"Removal_UnreadableUninstallKey", orbel, rule, Installed, UninstallKeyUnreadable, L"", ok,
         {Confirm(orbel), MsgRegistry}, 1, 0, {}},
        {"Removal_OnlySettingsKey", orbel, rule, SettingsKey, 0, L"", ok, done, 0, SettingsKey, {}},
        {"Removal_OnlyUninstallKey", orbel, rule, UninstallKey, 0, L"", ok, done, 0, UninstallKey,
         {}},
        {"Removal_NameWithBlank", L"Demo Lab", L"Demo Lab/Demo Lab Inbound", Installed, 0, L"", ok,
         {Confirm(L"Demo Lab"), MsgDone}, 0, Installed, {}},
        {"Removal_TypicalRunFromAppFolder", orbel, rule, Installed | UninstallerCopy, RunFromAppDir,
         L"", okOk, restart, 0, Links | Keys | AppExe | AppChm, {UninstallerCopy, AppDir}},

        // Guards, firewall and restart.
        {"Guards_RunningWindowStops", orbel, rule, Installed, 0, L"Orbel - Document1", ok,
         {Running(orbel)}, 2, 0, {}},
        {"Guards_RunningWindowWithBlankName", L"Demo Lab", L"Demo Lab/NULL", Installed, 0,
         L"Demo Lab - Document1", ok, {Running(L"Demo Lab")}, 2, 0, {}},
        {"Guards_WindowInOtherCaseIgnored", orbel, rule, SettingsKey, 0, L"ORBEL - Document1", ok,
         done, 0, SettingsKey, {}},
        {"Guards_UnknownRuleSucceeds", orbel, L"Orbel/No Such Rule 4711", UninstallKey, 0, L"", ok,
         done, 0, UninstallKey, {}},
        {"Guards_FirewallUnavailable", orbel, rule, Installed, FirewallOff, L"", ok,
         {Confirm(orbel), MsgFirewall}, 1, 0, {}},
        {"Guards_FirewallUnavailableWithNull", orbel, L"Orbel/null", Installed, FirewallOff, L"", ok,
         {Confirm(orbel), MsgFirewall}, 1, 0, {}},
        {"Guards_RestartAcceptedEndsWell", orbel, rule, AppDir | AppExe | ExtraFile, 0, L"", okOk,
         restart, 0, AppExe, {AppDir}},
        {"Guards_RestartQuestionClosed", orbel, rule, AppDir | ExtraFile, 0, L"",
         {BoxAnswerOk, BoxAnswerClose}, restart, 0, 0, {AppDir}},
        {"Guards_DesktopFolderUnresolved", orbel, rule, Installed, DesktopMissing, L"", ok,
         {Confirm(orbel), MsgSystemFolders}, 1, 0, {}},
    };
}

std::string Narrow(const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string result(size, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &result[0], size, NULL, NULL);
    return result;
}

std::vector<std::string> Narrow(const std::vector<std::wstring> &texts)
{
    std::vector<std::string> result;
    for (size_t i = 0; i < texts.size(); i++)
        result.push_back(Narrow(texts[i]));
    return result;
}

bool OffersCancel(const std::wstring &text)
{
    return text.compare(0, 14, L"Désinstaller  ") == 0 || text == MsgRestartQuestion;
}

class KestraneE2E : public ::testing::Test
{
protected:
    std::wstring Kestrane;
    Paths Target;
    HANDLE HeldFile = INVALID_HANDLE_VALUE;
    HWND Window = NULL;
    SavedValue Desktop = {false, false, 0, {}};

    void Prepare(const std::wstring &app)
    {
        Kestrane = KestraneExe();
        ASSERT_FALSE(Kestrane.empty()) << "KESTRANE_EXE is not set (a Windows path to Kestrane.exe)";
        ASSERT_TRUE(IsFile(Kestrane)) << "KESTRANE_EXE names no file: " << Narrow(Kestrane);
        // Cleanup deletes the folder named by the application: never a parent folder.
        ASSERT_TRUE(!app.empty() && app != L"." && app != L".." &&
                    app.find_first_of(L"\\/") == std::wstring::npos);
        RepairDesktop();
        Target = PathsFor(app);
        ASSERT_FALSE(Target.Dir.empty());
        RemoveLayout(Target);
    }

    void TearDown() override
    {
        if (HeldFile != INVALID_HANDLE_VALUE)
            CloseHandle(HeldFile);
        if (Window != NULL)
            DestroyWindow(Window);
        RestoreDesktop(&Desktop);
        if (!Target.Dir.empty())
            RemoveLayout(Target);
    }

    void ExpectItems(unsigned layout, unsigned gone)
    {
        for (unsigned bit = 1; bit <= AllItems; bit <<= 1)
        {
            if (!(layout & bit))
                continue;
            bool present = ItemPresent(Target, (Item)bit);
            if (gone & bit)
                EXPECT_FALSE(present) << ItemName(bit) << " should be removed";
            else
                EXPECT_TRUE(present) << ItemName(bit) << " should be left";
        }
    }

    void ExpectScheduled(const std::vector<Item> &items)
    {
        std::vector<std::wstring> expected;
        for (size_t i = 0; i < items.size(); i++)
            expected.push_back(ScheduledPath(Target, items[i]));
        std::vector<std::wstring> actual;
        EXPECT_TRUE(ReadPendingDeletions(&actual)) << "a pending entry is a rename, not a deletion";
        EXPECT_EQ(Narrow(expected), Narrow(actual)) << "PendingFileRenameOperations";
    }
};

class KestraneRun : public KestraneE2E, public ::testing::WithParamInterface<Scenario>
{
};

TEST_P(KestraneRun, Row)
{
    const Scenario &row = GetParam();
    ASSERT_NO_FATAL_FAILURE(Prepare(row.App));

    unsigned missing = LayOut(Target, row.Layout, Kestrane);
    ASSERT_EQ(0u, missing) << "cannot lay out " << ItemName(missing);
    if (row.Conditions & ReadOnlyExe)
    {
        ASSERT_TRUE(SetFileAttributesW(Target.Exe.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (row.Conditions & HoldExeOpen)
    {
        HeldFile = CreateFileW(Target.Exe.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, HeldFile);
    }
    if (row.Conditions & UninstallKeyUnreadable)
    {
        ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, Target.UninstallKey, DenyReadDacl));
        HKEY key;
        ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExW(HKEY_LOCAL_MACHINE, Target.UninstallKey.c_str(),
                                                     0, KEY_QUERY_VALUE, &key));
    }
    if (row.Conditions & FirewallOff)
        SetDllOverride(true);
    if (row.Conditions & DesktopMissing)
    {
        PointDesktopAt(MissingDesktop, &Desktop);
        ASSERT_TRUE(Desktop.Saved);
    }
    if (!row.WindowTitle.empty())
    {
        Window = CreateTitledWindow(row.WindowTitle);
        ASSERT_NE((HWND)NULL, Window);
    }
    std::wstring exe = (row.Conditions & RunFromAppDir) ? Target.Uninstaller : Kestrane;

    RunRecord run;
    RunWithBoxes(exe, row.Arguments, row.Answers, RunTimeoutMs, &run);
    ASSERT_TRUE(run.Started) << "CreateProcessW error " << run.StartError;
    ASSERT_FALSE(run.TimedOut) << "still running after " << RunTimeoutMs << " ms; "
                               << run.Boxes.size() << " boxes seen";

    std::vector<std::wstring> texts;
    for (size_t i = 0; i < run.Boxes.size(); i++)
    {
        const BoxRecord &box = run.Boxes[i];
        texts.push_back(box.Text);
        EXPECT_EQ(Narrow(Caption), Narrow(box.Caption)) << "caption of box " << i + 1;
        EXPECT_TRUE(box.HasOk) << "box " << i + 1 << " has no OK button";
        EXPECT_EQ(OffersCancel(box.Text), box.HasCancel) << "Cancel button of box " << i + 1;
    }
    EXPECT_EQ(Narrow(row.Boxes), Narrow(texts)) << "message boxes in order";
    EXPECT_EQ(row.ExitCode, run.ExitCode) << "exit code";
    ExpectItems(row.Layout, row.Gone);
    ExpectScheduled(row.Scheduled);
}

INSTANTIATE_TEST_SUITE_P(Rows, KestraneRun, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) {
                             return std::string(info.param.Name);
                         });

DWORD RunAndWait(const std::wstring &commandLine, DWORD timeoutMs)
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, &buffer[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 0xFFFFFFFE;
    DWORD exitCode = 0xFFFFFFFD;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// wineboot -r carries out the pending operations as a restart would.
TEST_F(KestraneE2E, SimulatedRestartCarriesOutScheduledDeletions)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(L"Orbel"));
    unsigned layout = Installed | UninstallerCopy;
    ASSERT_EQ(0u, LayOut(Target, layout, Kestrane));

    RunRecord run;
    RunWithBoxes(Target.Uninstaller, L"Orbel/Orbel Inbound", {BoxAnswerOk, BoxAnswerOk},
                 RunTimeoutMs, &run);
    ASSERT_TRUE(run.Started);
    ASSERT_FALSE(run.TimedOut);
    ASSERT_EQ(0u, run.ExitCode);
    ASSERT_TRUE(IsFile(Target.Uninstaller));
    ExpectScheduled({UninstallerCopy, AppDir});

    ASSERT_EQ(0u, RunAndWait(L"wineboot.exe -r", 60000));
    EXPECT_FALSE(IsFile(Target.Uninstaller)) << "scheduled Kestrane.exe survived the restart";
    EXPECT_FALSE(IsFolder(Target.Dir)) << "scheduled folder survived the restart";
    ExpectScheduled({});
}

}  // namespace
