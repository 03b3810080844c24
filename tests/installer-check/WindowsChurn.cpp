// A churning Windows, made on purpose for the check's Windows path under Wine: Windows' own
// writers, of the kinds the check's table names (check/look/WindowsWriters.cpp), each writing
// once, at a time of its own, some while a program is being installed; and the shell, which
// writes its caches and view state whenever a shortcut comes or goes on the desktop or in the
// Start menu. With "near", also one new file beside them that an installer could own, written
// while the install runs: not Windows', so the check must name it. Until it is stopped, at most
// 10 min; what it did goes to WindowsChurn.log in TEMP. A window program, no console.
//   WindowsChurn.exe [near]
#include <windows.h>

#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <vector>

static const wchar_t TaskKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{C9B5BF5C-3F2A-4D6B-8E1F-0A9B8C7D6E5F}";
static const wchar_t CloudStoreKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\CloudStore\\Store\\Cache\\DefaultAccount\\"
                                       L"$$windows.data.unifiedtile.startglobalproperties\\Current";
static const wchar_t SearchCache[] =
    L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.Search_cw5n1h2txyewy\\LocalState\\DeviceSearchCache\\AppCache133.txt";

// One of Windows' own places: a file that grows, a file under a new name, or a value rewritten.
enum Kind { Grows, NewName, Value };
struct Writer {
    Kind Of;
    HKEY Root;             // for a value
    const wchar_t *Path;   // a file (environment variables expanded) or a key; for NewName a folder and a name's start
    const wchar_t *Name;   // a value's name; for NewName the name's end
};
static const Writer Writers[] = {
    {Grows, NULL, L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\StateRepository-Machine.srd-wal", NULL},
    {Grows, NULL, L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\Packages\\Microsoft.WindowsCalculator_8wekyb3d8bbwe\\"
                  L"Microsoft.WindowsCalculator.xml", NULL},
    {NewName, NULL, L"%ProgramData%\\Microsoft\\DiagnosticLogCSP\\Collectors\\DiagnosticLogCSP_Collector_Autopilot_", L".etl"},
    {Grows, NULL, L"%ProgramData%\\Microsoft\\SmsRouter\\MessageStore\\edb.log", NULL},
    {NewName, NULL, L"%LOCALAPPDATA%\\ConnectedDevicesPlatform\\L.", L"\\ActivitiesCache.db"},
    {Grows, NULL, L"%USERPROFILE%\\ntuser.dat.LOG1", NULL},
    {Grows, NULL, L"%USERPROFILE%\\ntuser.dat{016888bd-6c6f-11de-8d1d-001e0bcde3ec}.TM.blf", NULL},
    {Grows, NULL, L"%LOCALAPPDATA%\\Microsoft\\Windows\\UsrClass.dat.LOG1", NULL},
    {Value, HKEY_LOCAL_MACHINE, TaskKey, L"DynamicInfo"},
    {Value, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SoftwareProtectionPlatform",
     L"ServiceSessionId"},
    {Grows, NULL, L"%SystemRoot%\\System32\\spp\\store\\2.0\\data.dat", NULL},
    {Grows, NULL, L"%SystemRoot%\\ServiceState\\EventLog\\Data\\lastalive0.dat", NULL},
    {Grows, NULL, L"%ProgramData%\\Microsoft\\Network\\Downloader\\qmgr.db", NULL},
    {Grows, NULL, L"%ProgramData%\\USOPrivate\\UpdateStore\\store.db", NULL},
    {Grows, NULL, L"%SystemRoot%\\INF\\setupapi.dev.log", NULL},
    {Grows, NULL, L"%ProgramData%\\Microsoft\\Search\\Data\\Applications\\Windows\\Windows.edb", NULL},
    {Value, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders",
     L"C:\\ProgramData\\Microsoft\\Windows\\"},
    {NewName, NULL, L"%SystemDrive%\\Config.Msi\\", L".rbf"},
};
// What the shell writes when a shortcut comes or goes.
static const Writer ShellWriters[] = {
    {Grows, NULL, L"%LOCALAPPDATA%\\IconCache.db", NULL},
    {Grows, NULL, L"%LOCALAPPDATA%\\Microsoft\\Windows\\Caches\\cversions.2.db", NULL},
    {Grows, NULL, SearchCache, NULL},
    {Value, HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Bags\\1\\Desktop", L"IconLayouts"},
    {Value, HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\BagMRU", L"MRUListEx"},
    {Value, HKEY_CURRENT_USER, CloudStoreKey, L"Data"},
};
// Beside Windows' setup logs, where a driver's installer puts its own INF.
static const wchar_t Near[] = L"%SystemRoot%\\INF\\near.inf";
static const int Csidls[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS};

static FILE *Log;

static std::wstring Expanded(const wchar_t *path)
{
    wchar_t expanded[MAX_PATH * 2] = {0};
    ExpandEnvironmentStringsW(path, expanded, MAX_PATH * 2);
    return expanded;
}

// Every folder up to the file's.
static void MakeFolders(const std::wstring &file)
{
    for (size_t at = file.find(L'\\', 3); at != std::wstring::npos; at = file.find(L'\\', at + 1))
        CreateDirectoryW(file.substr(0, at).c_str(), NULL);
}

static void Append(const std::wstring &path, DWORD disposition)
{
    MakeFolders(path);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, disposition,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[32];
    DWORD written = 0;
    snprintf(line, sizeof line, "%llu\r\n", (unsigned long long)GetTickCount64());
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(file);
}

// Once to make the place as Windows has it, then each time it writes.
static void Write(const Writer &writer, bool first)
{
    if (writer.Of == Grows) {
        Append(Expanded(writer.Path), OPEN_ALWAYS);
    } else if (writer.Of == NewName) {
        if (!first)
            Append(Expanded(writer.Path) + std::to_wstring(GetTickCount64()) + writer.Name, CREATE_NEW);
    } else {
        HKEY key;
        if (RegCreateKeyExW(writer.Root, writer.Path, 0, NULL, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, NULL, &key, NULL)
            != ERROR_SUCCESS)
            return;
        ULONGLONG now = GetTickCount64();
        RegSetValueExW(key, writer.Name, 0, REG_BINARY, (const BYTE *)&now, sizeof now);
        RegCloseKey(key);
    }
    if (!first && Log != NULL)
        fwprintf(Log, L"%llu wrote %ls %ls\n", (unsigned long long)GetTickCount64(), writer.Path,
                 writer.Name != NULL ? writer.Name : L"");
}

// The programs installed, by their entries: a count that grows while an installer runs.
static DWORD Entries()
{
    HKEY key;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyW(key, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return count;
}

// The shortcuts the shell shows, as one text.
static std::wstring Shortcuts()
{
    std::wstring all;
    for (int csidl : Csidls) {
        wchar_t folder[MAX_PATH] = {0};
        if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, folder)))
            continue;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((std::wstring(folder) + L"\\*.lnk").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do
            all += std::wstring(folder) + L"\\" + found.cFileName + L"\n";
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return all;
}

static unsigned Random(unsigned *seed)
{
    *seed = *seed * 1103515245u + 12345u;
    return (*seed >> 8) & 0xFFFFFF;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    bool writeNear = wcscmp(arguments, L"near") == 0;
    Log = _wfopen(Expanded(L"%TEMP%\\WindowsChurn.log").c_str(), L"a");
    const size_t count = sizeof Writers / sizeof Writers[0];
    // Each writer's time: half of them while a program is being installed, the others at a
    // random time in the first 40 s.
    unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    std::vector<long long> at(count);
    for (size_t i = 0; i < count; i++) {
        Write(Writers[i], true);
        at[i] = Random(&seed) % 2 ? -1 : (long long)(Random(&seed) % 40000);
    }
    for (const Writer &writer : ShellWriters)
        Write(writer, true);
    std::vector<bool> done(count, false);
    DWORD entries = Entries();
    std::wstring shortcuts = Shortcuts();
    bool installing = false;
    ULONGLONG started = GetTickCount64();
    while (GetTickCount64() - started < 600000) {
        Sleep(50);
        long long now = (long long)(GetTickCount64() - started);
        if (!installing && Entries() > entries) {
            installing = true;
            if (writeNear)
                Append(Expanded(Near), CREATE_NEW);
        }
        for (size_t i = 0; i < count; i++)
            if (!done[i] && ((at[i] < 0 && installing) || (at[i] >= 0 && now >= at[i]))) {
                Write(Writers[i], false);
                done[i] = true;
            }
        std::wstring seen = Shortcuts();
        if (seen != shortcuts)
            for (const Writer &writer : ShellWriters)
                Write(writer, false);
        shortcuts = seen;
        if (Log != NULL)
            fflush(Log);
    }
    return 0;
}
