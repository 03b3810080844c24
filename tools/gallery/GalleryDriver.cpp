// GalleryDriver.exe <Kestrane.exe> <handshake folder> [scenario ...]
//
// Provokes each message box of the real Kestrane.exe in turn. When the box to be
// pictured is up and painted it prints
//   BOX <name> <icon> <left> <top> <right> <bottom> <icon left> <icon top> <icon right> <icon bottom>
// (screen coordinates), waits until <handshake folder>\<name>.captured exists, then
// checks the box against what the scenario expects and answers it. Every run ends with
//   PASS <name> ...   or   FAIL <name> <reason>
// and the exit code is the number of failed scenarios.
#include "BoxDriver.h"
#include "Installation.h"
#include "Messages.h"

#include <psapi.h>
#include <shellapi.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const DWORD RunTimeoutMs = 60000;
const DWORD CaptureTimeoutMs = 60000;

const wchar_t App[] = L"Orbel";
const wchar_t Argument[] = L"Orbel/Orbel Inbound";

const wchar_t MissingDesktop[] = L"C:\\kestrane-gallery-no-such-desktop";

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

struct Scenario
{
    const char *Name;
    const wchar_t *Arguments;
    // Items (Installation.h): Installed, with ExtraFile (readme.txt keeps the folder until
    // a restart) or UninstallSubkey (a key RegDeleteKeyW refuses).
    unsigned Layout;
    unsigned Conditions;
    std::vector<std::wstring> Boxes;  // every box expected, in order
    std::vector<BoxAnswer> Answers;   // one per box
    size_t Pictured;                  // index of the box to picture
    const char *Icon;                 // error, warning or information
    DWORD ExitCode;
};

std::vector<Scenario> Scenarios()
{
    const std::wstring confirm = Confirm(App);
    const std::wstring running = Running(App);
    return {
        {"01-com-failed", Argument, Installed, ComInitialised, {MsgComFailed}, {BoxAnswerOk}, 0,
         "error", (DWORD)-1},
        {"02-bad-arguments", App, Installed, 0, {MsgBadArguments}, {BoxAnswerOk}, 0, "error", 1},
        {"03-app-running", Argument, Installed, RunningWindow, {running}, {BoxAnswerOk}, 0, "warning", 2},
        {"04-confirm", Argument, Installed, 0, {confirm}, {BoxAnswerCancel}, 0, "information", 0},
        {"05-system-folders", Argument, Installed, DesktopMissing, {confirm, MsgSystemFolders},
         {BoxAnswerOk, BoxAnswerOk}, 1, "error", 1},
        {"06-firewall", Argument, Installed, FirewallOff, {confirm, MsgFirewall},
         {BoxAnswerOk, BoxAnswerOk}, 1, "error", 1},
        {"07-registry", Argument, Installed | UninstallSubkey, 0, {confirm, MsgRegistry},
         {BoxAnswerOk, BoxAnswerOk}, 1, "error", 1},
        {"08-shortcuts", Argument, Installed, HoldStartMenuLink | SchedulingRefused,
         {confirm, MsgShortcuts}, {BoxAnswerOk, BoxAnswerOk}, 1, "error", 1},
        {"09-files", Argument, Installed, HoldAppExe | SchedulingRefused,
         {confirm, MsgFiles}, {BoxAnswerOk, BoxAnswerOk}, 1, "error", 1},
        {"10-restart-question", Argument, Installed | ExtraFile, 0,
         {confirm, MsgRestartQuestion, MsgDone}, {BoxAnswerOk, BoxAnswerCancel, BoxAnswerOk}, 1,
         "information", 0},
        {"11-restart-failed", Argument, Installed | ExtraFile, NoShutdownPrivilege,
         {confirm, MsgRestartQuestion, MsgRestartFailed}, {BoxAnswerOk, BoxAnswerOk, BoxAnswerOk}, 2,
         "error", 1},
        {"12-done", Argument, Installed, 0, {confirm, MsgDone}, {BoxAnswerOk, BoxAnswerOk}, 1,
         "information", 0},
    };
}

void Write(const std::wstring &text) { WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), text); }

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

// Also undoes a row's disabling of the firewall library.
void RemoveLayout(const InstallationPaths &paths)
{
    RemoveInstallation(paths);
    SetFirewallOff(false);
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
    HANDLE token = NULL;
    if (row.Conditions & NoShutdownPrivilege)
    {
        token = TokenWithoutShutdownPrivilege();
        if (token == NULL)
            return Fail(outcome, L"cannot make a token without the shutdown privilege");
    }
    PROCESS_INFORMATION process;
    DWORD error = StartProgram(kestrane.c_str(), BuildCommandLine(kestrane, row.Arguments), token,
                               CREATE_SUSPENDED, NULL, &process);
    if (token != NULL)
        CloseHandle(token);
    if (error != ERROR_SUCCESS)
        return Fail(outcome, L"cannot start Kestrane.exe, error " + Number(error));

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
        HWND box = PollForBox(process, &exited);
        if (box == NULL)
            continue;
        size_t index = outcome->Texts.size();
        BoxRecord seen = ReadBox(box);
        outcome->Texts.push_back(seen.Text);
        std::wstring at = L"box " + Number(index + 1) + L": ";
        if (index >= row.Boxes.size())
        {
            Fail(outcome, at + L"not expected: \"" + Escaped(seen.Text) + L"\"");
            break;
        }
        if (seen.Text != row.Boxes[index])
            Fail(outcome, at + L"text \"" + Escaped(seen.Text) + L"\", expected \"" +
                              Escaped(row.Boxes[index]) + L"\"");
        if (seen.Caption != BoxCaption)
            Fail(outcome, at + L"caption \"" + seen.Caption + L"\"");
        bool wantsCancel = OffersCancel(row.Boxes[index]);
        if (!seen.HasOk || seen.HasCancel != wantsCancel)
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

        // Answered only now: the picture above is taken while the box waits.
        AnswerBox(box, row.Answers[index]);
        exited = WaitBoxGone(box, process.hProcess, deadline);
    }

    if (!exited)
    {
        StopProgram(process.hProcess);
        Fail(outcome, L"Kestrane.exe did not finish");
    }
    outcome->ExitCode = CloseProgram(&process);
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
    InstallationPaths paths = PathsFor(App);
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
        RunSetup around = NoRunSetup();

        RemoveLayout(paths);
        unsigned missing = LayOut(paths, row.Layout, std::wstring());
        if (missing != 0)
            Fail(&outcome, L"cannot lay out " + Wide(ItemName(missing)));
        if ((row.Conditions & HoldStartMenuLink) &&
            (around.HeldFile = HoldOpen(paths.StartMenuLink)) == INVALID_HANDLE_VALUE)
            Fail(&outcome, L"cannot hold the Start-menu shortcut open");
        if ((row.Conditions & HoldAppExe) &&
            (around.HeldFile = HoldOpen(paths.Exe)) == INVALID_HANDLE_VALUE)
            Fail(&outcome, L"cannot hold Orbel.exe open");
        if ((row.Conditions & SchedulingRefused) && !RefusePendingDeletions())
            Fail(&outcome, L"cannot set PendingFileRenameOperations");
        if ((row.Conditions & FirewallOff) && !SetFirewallOff(true))
            Fail(&outcome, L"cannot disable the firewall library");
        if ((row.Conditions & DesktopMissing) && !PointDesktopAt(MissingDesktop, &around.Desktop))
            Fail(&outcome, L"cannot redirect the desktop folder");
        if ((row.Conditions & RunningWindow) &&
            (around.Window = CreateTitledWindow(L"Orbel - Document1")) == NULL)
            Fail(&outcome, L"cannot create the Orbel window");

        if (outcome.Failure.empty())
            RunScenario(row, kestrane, handshake, &outcome);

        UndoRunSetup(&around);
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
