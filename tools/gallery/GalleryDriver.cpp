// GalleryDriver.exe <Kestrane.exe> <handshake folder> [scenario ...]
//
// Provokes each message box of the real Kestrane.exe in turn. When the box to be
// pictured is up and painted it prints
//   BOX <name> <icon> <left> <top> <right> <bottom> <icon left> <icon top> <icon right> <icon bottom>
// (screen coordinates), waits until <handshake folder>\<name>.captured exists, then
// checks the box against what the scenario expects and answers it. Every run ends with
//   PASS <name> ...   or   FAIL <name> <reason>
// and the exit code is the number of failed scenarios.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shellapi.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const DWORD RunTimeoutMs = 60000;
const DWORD CaptureTimeoutMs = 60000;
const DWORD PollMs = 20;

const wchar_t Caption[] = L"Kestrane";
const wchar_t App[] = L"Orbel";
const wchar_t Argument[] = L"Orbel/Orbel Inbound";

const wchar_t UninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t SessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PendingValue[] = L"PendingFileRenameOperations";
const wchar_t DllOverrides[] = L"Software\\Wine\\DllOverrides";
const wchar_t UserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t MissingDesktop[] = L"C:\\kestrane-gallery-no-such-desktop";
const wchar_t WindowClass[] = L"KestraneGalleryWindow";

enum Layout : unsigned
{
    Installed = 1u << 0,        // folder, Orbel.exe, Orbel.chm, both shortcuts, both keys
    ExtraFile = 1u << 1,        // readme.txt keeps the folder until a restart
    UninstallSubkey = 1u << 2,  // a key RegDeleteKeyW refuses
};

enum Condition : unsigned
{
    ComInitialised = 1u << 0,      // the main thread meets COM already initialised
    RunningWindow = 1u << 1,       // a top-level window titled "Orbel - Document1"
    DesktopMissing = 1u << 2,      // the desktop shell folder points nowhere
    FirewallOff = 1u << 3,         // the firewall library is disabled
    HoldStartMenuLink = 1u << 4,   // open without FILE_SHARE_DELETE: DeleteFileW fails
    HoldAppExe = 1u << 5,
    SchedulingRefused = 1u << 6,   // MoveFileExW(..., MOVEFILE_DELAY_UNTIL_REBOOT) fails
    NoShutdownPrivilege = 1u << 7, // started with a token lacking SeShutdownPrivilege
};

enum Answer { AnswerOk, AnswerCancel };

struct Scenario
{
    const char *Name;
    const wchar_t *Arguments;
    unsigned Layout;
    unsigned Conditions;
    std::vector<std::wstring> Boxes;  // every box expected, in order
    std::vector<Answer> Answers;      // one per box
    size_t Pictured;                  // index of the box to picture
    const char *Icon;                 // error, warning or information
    DWORD ExitCode;
};

std::wstring Confirm()
{
    return std::wstring(L"Désinstaller  ") + App + L" ?";
}

const wchar_t MsgRestartQuestion[] =
    L"Le système doit redémarrer pour terminer la désinstallation.\nRedémarrer maintenant ?";
const wchar_t MsgDone[] = L"Désinstallation terminée avec succès.";

std::vector<Scenario> Scenarios()
{
    const std::wstring confirm = Confirm();
    const std::wstring running =
        std::wstring(App) + L" est en cour d'exécution.\nFermez le programme et recommencez.";
    return {
        {"01-com-failed", Argument, Installed, ComInitialised, {L"Erreur Système."}, {AnswerOk}, 0,
         "error", (DWORD)-1},
        {"02-bad-arguments", App, Installed, 0, {L"Erreur.\nArguments."}, {AnswerOk}, 0, "error", 1},
        {"03-app-running", Argument, Installed, RunningWindow, {running}, {AnswerOk}, 0, "warning", 2},
        {"04-confirm", Argument, Installed, 0, {confirm}, {AnswerCancel}, 0, "information", 0},
        {"05-system-folders", Argument, Installed, DesktopMissing, {confirm, L"Erreur.\nSystème."},
         {AnswerOk, AnswerOk}, 1, "error", 1},
        {"06-firewall", Argument, Installed, FirewallOff, {confirm, L"Erreur.\nPare-Feu."},
         {AnswerOk, AnswerOk}, 1, "error", 1},
        {"07-registry", Argument, Installed | UninstallSubkey, 0, {confirm, L"Erreur.\nRegistre."},
         {AnswerOk, AnswerOk}, 1, "error", 1},
        {"08-shortcuts", Argument, Installed, HoldStartMenuLink | SchedulingRefused,
         {confirm, L"Erreur.\nRaccourcis."}, {AnswerOk, AnswerOk}, 1, "error", 1},
        {"09-files", Argument, Installed, HoldAppExe | SchedulingRefused,
         {confirm, L"Erreur.\nFichiers."}, {AnswerOk, AnswerOk}, 1, "error", 1},
        {"10-restart-question", Argument, Installed | ExtraFile, 0,
         {confirm, MsgRestartQuestion, MsgDone}, {AnswerOk, AnswerCancel, AnswerOk}, 1,
         "information", 0},
        {"11-restart-failed", Argument, Installed | ExtraFile, NoShutdownPrivilege,
         {confirm, MsgRestartQuestion, L"Erreur.\nRedémarrage."}, {AnswerOk, AnswerOk, AnswerOk}, 2,
         "error", 1},
        {"12-done", Argument, Installed, 0, {confirm, MsgDone}, {AnswerOk, AnswerOk}, 1,
         "information", 0},
    };
}

void Write(const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    if (size <= 0)
        return;
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], size, NULL, NULL);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), (DWORD)bytes.size(), &written, NULL);
}

std::wstring Wide(const char *text)
{
    std::wstring result;
    while (*text)
        result += (wchar_t)(unsigned char)*text++;
    return result;
}

std::wstring Number(long long value)
{
    wchar_t buffer[32];
    _snwprintf(buffer, 32, L"%lld", value);
    return buffer;
}

// Line breaks shown as \n, so that a report stays on one line.
std::wstring Escaped(const std::wstring &text)
{
    std::wstring result;
    for (size_t i = 0; i < text.size(); i++)
        result += text[i] == L'\n' ? std::wstring(L"\\n") : std::wstring(1, text[i]);
    return result;
}

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

struct Paths
{
    std::wstring Dir, Exe, Chm, Extra, StartMenuLink, DesktopLink;
    std::wstring UninstallKey, UninstallSubkey, SettingsKey;
};

Paths PathsForOrbel()
{
    Paths paths;
    paths.Dir = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + App;
    paths.Exe = paths.Dir + L"\\" + App + L".exe";
    paths.Chm = paths.Dir + L"\\" + App + L".chm";
    paths.Extra = paths.Dir + L"\\readme.txt";
    paths.StartMenuLink = ShellFolder(CSIDL_PROGRAMS) + L"\\" + App + L".lnk";
    paths.DesktopLink = ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + App + L".lnk";
    paths.UninstallKey = std::wstring(UninstallRoot) + App;
    paths.UninstallSubkey = paths.UninstallKey + L"\\Extra";
    paths.SettingsKey = std::wstring(L"Software\\") + App;
    return paths;
}

bool WriteSmallFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, "kestrane-gallery", 16, &written, NULL);
    CloseHandle(file);
    return ok && written == 16;
}

bool CreateKeyWithValue(HKEY root, const std::wstring &subkey)
{
    HKEY key;
    if (RegCreateKeyExW(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    const wchar_t data[] = L"Orbel";
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

// A value that is not REG_MULTI_SZ makes Wine's MoveFileExW refuse to add a deletion to it.
bool SetPendingValue(bool refuse)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG result;
    if (refuse)
    {
        const wchar_t text[] = L"not a list of deletions";
        result = RegSetValueExW(key, PendingValue, 0, REG_SZ, (const BYTE *)text, sizeof(text));
    }
    else
    {
        result = RegDeleteValueW(key, PendingValue);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool SetFirewallOff(bool off)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, DllOverrides, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG result;
    if (off)
    {
        result = RegSetValueExW(key, L"hnetcfg", 0, REG_SZ, (const BYTE *)L"", sizeof(wchar_t));
    }
    else
    {
        result = RegDeleteValueW(key, L"hnetcfg");
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

struct SavedValue
{
    bool Saved;
    bool Existed;
    DWORD Type;
    std::vector<BYTE> Data;
};

bool PointDesktopAt(const wchar_t *folder, SavedValue *saved)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    saved->Existed =
        RegQueryValueExW(key, L"Desktop", NULL, &saved->Type, NULL, &size) == ERROR_SUCCESS;
    saved->Data.assign(size + 2, 0);
    if (saved->Existed)
        RegQueryValueExW(key, L"Desktop", NULL, &saved->Type, &saved->Data[0], &size);
    saved->Data.resize(size);
    saved->Saved = true;
    LONG result = RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, (const BYTE *)folder,
                                 (DWORD)((wcslen(folder) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
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

void RemoveLayout(const Paths &paths)
{
    DeleteTree(paths.Dir);
    DeleteTree(paths.StartMenuLink);
    DeleteTree(paths.DesktopLink);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, paths.UninstallKey.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, paths.SettingsKey.c_str());
    SetPendingValue(false);
    SetFirewallOff(false);
}

const wchar_t *LayOut(const Paths &paths, unsigned layout)
{
    if (layout & Installed)
    {
        if (!CreateDirectoryW(paths.Dir.c_str(), NULL))
            return L"application folder";
        if (!WriteSmallFile(paths.Exe) || !WriteSmallFile(paths.Chm))
            return L"program files";
        if (!WriteSmallFile(paths.StartMenuLink) || !WriteSmallFile(paths.DesktopLink))
            return L"shortcuts";
        if (!CreateKeyWithValue(HKEY_LOCAL_MACHINE, paths.UninstallKey) ||
            !CreateKeyWithValue(HKEY_CURRENT_USER, paths.SettingsKey))
            return L"registry keys";
    }
    if ((layout & ExtraFile) && !WriteSmallFile(paths.Extra))
        return L"readme.txt";
    if ((layout & UninstallSubkey) && !CreateKeyWithValue(HKEY_LOCAL_MACHINE, paths.UninstallSubkey))
        return L"uninstall subkey";
    return NULL;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// Never shown: the running check reads every top-level title, visible or not.
HWND CreateTitledWindow(const wchar_t *title)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, WindowClass, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                           GetModuleHandleW(NULL), NULL);
}

HANDLE HoldOpen(const std::wstring &path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_EXISTING, 0, NULL);
}

HANDLE TokenWithoutShutdownPrivilege()
{
    HANDLE own = NULL, restricted = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own))
        return NULL;
    LUID_AND_ATTRIBUTES removed;
    removed.Attributes = 0;
    if (LookupPrivilegeValueW(NULL, L"SeShutdownPrivilege", &removed.Luid))
        CreateRestrictedToken(own, 0, 0, NULL, 1, &removed, 0, NULL, &restricted);
    CloseHandle(own);
    return restricted;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// True when the process ended within ms.
bool WaitProcess(HANDLE process, DWORD ms)
{
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, ms, QS_ALLINPUT);
    PumpMessages();
    return result == WAIT_OBJECT_0;
}

struct FindState
{
    DWORD ProcessId;
    HWND Found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM param)
{
    FindState *state = (FindState *)param;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != state->ProcessId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[16] = {0};
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") != 0)
        return TRUE;
    state->Found = window;
    return FALSE;
}

HWND FindBox(DWORD processId)
{
    FindState state = {processId, NULL};
    EnumWindows(FindBoxProc, (LPARAM)&state);
    return state.Found;
}

BOOL CALLBACK FindIconProc(HWND window, LPARAM param)
{
    wchar_t className[16] = {0};
    GetClassNameW(window, className, 16);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    if (_wcsicmp(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
    {
        *(HWND *)param = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindIcon(HWND box)
{
    HWND icon = NULL;
    EnumChildWindows(box, FindIconProc, (LPARAM)&icon);
    return icon;
}

std::wstring ReadWindowText(HWND window)
{
    if (window == NULL)
        return std::wstring();
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(length + 2, L'\0');
    GetWindowTextW(window, &buffer[0], length + 1);
    return std::wstring(&buffer[0]);
}

// Lets the box's thread run its queue, paint included, before the picture is taken.
void SettlePainting(HWND box)
{
    DWORD_PTR ignored = 0;
    for (int round = 0; round < 3; round++)
    {
        SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
        Sleep(150);
    }
}

bool WaitForFile(const std::wstring &path, DWORD ms, HANDLE process)
{
    ULONGLONG deadline = GetTickCount64() + ms;
    while (GetTickCount64() < deadline)
    {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        if (WaitProcess(process, 50))
            return false;
    }
    return false;
}

// The queued call is resolved in this process: it holds only if ole32 sits at the
// same address in the child, which is checked while the child's box is up.
bool SameOle32Base(HANDLE process)
{
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules, sizeof(modules), &needed))
        return false;
    HMODULE own = GetModuleHandleW(L"ole32.dll");
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; i++)
    {
        wchar_t name[MAX_PATH] = {0};
        if (GetModuleBaseNameW(process, modules[i], name, MAX_PATH) && _wcsicmp(name, L"ole32.dll") == 0)
            return modules[i] == own;
    }
    return false;
}

struct Outcome
{
    std::wstring Failure;
    std::vector<std::wstring> Texts;
    DWORD ExitCode = 0;
};

void Fail(Outcome *outcome, const std::wstring &reason)
{
    if (outcome->Failure.empty())
        outcome->Failure = reason;
}

void RunScenario(const Scenario &row, const std::wstring &kestrane, const std::wstring &handshake,
                 Outcome *outcome)
{
    std::wstring name = Wide(row.Name);
    std::wstring commandLine = L"\"" + kestrane + L"\" " + row.Arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    BOOL started;
    if (row.Conditions & NoShutdownPrivilege)
    {
        HANDLE token = TokenWithoutShutdownPrivilege();
        if (token == NULL)
            return Fail(outcome, L"cannot make a token without the shutdown privilege");
        started = CreateProcessAsUserW(token, kestrane.c_str(), &buffer[0], NULL, NULL, FALSE,
                                       CREATE_SUSPENDED, NULL, NULL, &startup, &process);
        CloseHandle(token);
    }
    else
    {
        started = CreateProcessW(kestrane.c_str(), &buffer[0], NULL, NULL, FALSE, CREATE_SUSPENDED,
                                 NULL, NULL, &startup, &process);
    }
    if (!started)
        return Fail(outcome, L"cannot start Kestrane.exe, error " + Number(GetLastError()));

    if (row.Conditions & ComInitialised)
    {
        // A user APC queued to the suspended first thread runs at the end of process
        // initialisation, before the entry point: CoInitialize(NULL) there means the
        // program's own first CoInitializeEx finds the apartment already initialised.
        FARPROC coInitialize = GetProcAddress(LoadLibraryW(L"ole32.dll"), "CoInitialize");
        if (coInitialize == NULL || !QueueUserAPC((PAPCFUNC)(void *)coInitialize, process.hThread, 0))
        {
            TerminateProcess(process.hProcess, 0xDEAD);
            Fail(outcome, L"cannot queue CoInitialize to the main thread");
        }
    }
    ResumeThread(process.hThread);

    ULONGLONG deadline = GetTickCount64() + RunTimeoutMs;
    bool exited = false;
    while (!exited && GetTickCount64() < deadline && outcome->Failure.empty())
    {
        exited = WaitProcess(process.hProcess, PollMs);
        if (exited)
            break;
        HWND box = FindBox(process.dwProcessId);
        if (box == NULL)
            continue;
        size_t index = outcome->Texts.size();
        std::wstring text = ReadWindowText(GetDlgItem(box, 0xFFFF));
        outcome->Texts.push_back(text);
        std::wstring at = L"box " + Number(index + 1) + L": ";
        if (index >= row.Boxes.size())
        {
            Fail(outcome, at + L"not expected: \"" + Escaped(text) + L"\"");
            break;
        }
        if (text != row.Boxes[index])
            Fail(outcome, at + L"text \"" + Escaped(text) + L"\", expected \"" +
                              Escaped(row.Boxes[index]) + L"\"");
        if (ReadWindowText(box) != Caption)
            Fail(outcome, at + L"caption \"" + ReadWindowText(box) + L"\"");
        bool hasCancel = GetDlgItem(box, IDCANCEL) != NULL;
        bool wantsCancel = row.Boxes[index] == Confirm() || row.Boxes[index] == MsgRestartQuestion;
        if (GetDlgItem(box, IDOK) == NULL || hasCancel != wantsCancel)
            Fail(outcome, at + L"buttons are not " + (wantsCancel ? L"OK, Cancel" : L"OK alone"));
        if ((row.Conditions & ComInitialised) && !SameOle32Base(process.hProcess))
            Fail(outcome, L"ole32.dll is not at the same address in Kestrane.exe");

        if (index == row.Pictured && outcome->Failure.empty())
        {
            SettlePainting(box);
            RECT frame, icon;
            GetWindowRect(box, &frame);
            HWND iconWindow = FindIcon(box);
            if (iconWindow == NULL || !IsWindowVisible(iconWindow))
            {
                Fail(outcome, at + L"shows no icon");
                break;
            }
            GetWindowRect(iconWindow, &icon);
            Write(L"BOX " + name + L" " + Wide(row.Icon) + L" " + Number(frame.left) + L" " +
                  Number(frame.top) + L" " + Number(frame.right) + L" " + Number(frame.bottom) +
                  L" " + Number(icon.left) + L" " + Number(icon.top) + L" " + Number(icon.right) +
                  L" " + Number(icon.bottom) + L"\n");
            if (!WaitForFile(handshake + L"\\" + name + L".captured", CaptureTimeoutMs,
                             process.hProcess))
            {
                Fail(outcome, at + L"no picture was taken");
                break;
            }
        }

        int id = row.Answers[index] == AnswerOk ? IDOK : IDCANCEL;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
        while (IsWindow(box) && GetTickCount64() < deadline)
        {
            exited = WaitProcess(process.hProcess, PollMs);
            if (exited)
                break;
        }
    }

    if (!exited)
    {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        Fail(outcome, L"Kestrane.exe did not finish");
    }
    GetExitCodeProcess(process.hProcess, &outcome->ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (outcome->Texts.size() != row.Boxes.size())
        Fail(outcome, Number(outcome->Texts.size()) + L" boxes shown, expected " +
                          Number(row.Boxes.size()));
    if (outcome->ExitCode != row.ExitCode)
        Fail(outcome, L"exit code " + Number((LONG)outcome->ExitCode) + L", expected " +
                          Number((LONG)row.ExitCode));
}

bool Wanted(const Scenario &row, int count, wchar_t **args)
{
    if (count <= 3)
        return true;
    for (int i = 3; i < count; i++)
        if (Wide(row.Name) == args[i])
            return true;
    return false;
}

}  // namespace

int main()
{
    int count = 0;
    wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == NULL || count < 3)
    {
        Write(L"usage: GalleryDriver.exe <Kestrane.exe> <handshake folder> [scenario ...]\n");
        return 125;
    }
    std::wstring kestrane = args[1];
    std::wstring handshake = args[2];
    Paths paths = PathsForOrbel();
    if (paths.Dir.empty() || paths.StartMenuLink.empty() || paths.DesktopLink.empty())
    {
        Write(L"cannot resolve the shell folders\n");
        return 125;
    }

    int failed = 0;
    std::vector<Scenario> rows = Scenarios();
    for (size_t i = 0; i < rows.size(); i++)
    {
        const Scenario &row = rows[i];
        if (!Wanted(row, count, args))
            continue;
        Outcome outcome;
        HANDLE held = INVALID_HANDLE_VALUE;
        HWND window = NULL;
        SavedValue desktop = {false, false, 0, {}};

        RemoveLayout(paths);
        const wchar_t *missing = LayOut(paths, row.Layout);
        if (missing != NULL)
            Fail(&outcome, std::wstring(L"cannot lay out ") + missing);
        if ((row.Conditions & HoldStartMenuLink) &&
            (held = HoldOpen(paths.StartMenuLink)) == INVALID_HANDLE_VALUE)
            Fail(&outcome, L"cannot hold the Start-menu shortcut open");
        if ((row.Conditions & HoldAppExe) && (held = HoldOpen(paths.Exe)) == INVALID_HANDLE_VALUE)
            Fail(&outcome, L"cannot hold Orbel.exe open");
        if ((row.Conditions & SchedulingRefused) && !SetPendingValue(true))
            Fail(&outcome, L"cannot set PendingFileRenameOperations");
        if ((row.Conditions & FirewallOff) && !SetFirewallOff(true))
            Fail(&outcome, L"cannot disable the firewall library");
        if ((row.Conditions & DesktopMissing) && !PointDesktopAt(MissingDesktop, &desktop))
            Fail(&outcome, L"cannot redirect the desktop folder");
        if ((row.Conditions & RunningWindow) &&
            (window = CreateTitledWindow(L"Orbel - Document1")) == NULL)
            Fail(&outcome, L"cannot create the Orbel window");

        if (outcome.Failure.empty())
            RunScenario(row, kestrane, handshake, &outcome);

        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (window != NULL)
            DestroyWindow(window);
        RestoreDesktop(&desktop);
        RemoveLayout(paths);

        std::wstring name = Wide(row.Name);
        if (outcome.Failure.empty())
        {
            Write(L"PASS " + name + L" exit " + Number((LONG)outcome.ExitCode) + L" \"" +
                  Escaped(row.Boxes[row.Pictured]) + L"\"\n");
        }
        else
        {
            failed++;
            Write(L"FAIL " + name + L" " + outcome.Failure + L"\n");
        }
    }
    LocalFree(args);
    return failed;
}
