#include "BoxDriver.h"

#include <wchar.h>

static const DWORD PollMs = 20;
static const size_t MaxBoxes = 64;

struct FindBoxState
{
    DWORD ProcessId;
    HWND Found;
};

bool IsBox(HWND window)
{
    wchar_t className[16] = {0};
    GetClassNameW(window, className, 16);
    return wcscmp(className, L"#32770") == 0;
}

static BOOL CALLBACK FindBoxProc(HWND window, LPARAM param)
{
    FindBoxState *state = (FindBoxState *)param;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != state->ProcessId || !IsWindowVisible(window) || !IsBox(window))
        return TRUE;
    state->Found = window;
    return FALSE;
}

HWND FindBox(DWORD processId)
{
    FindBoxState state = {processId, NULL};
    EnumWindows(FindBoxProc, (LPARAM)&state);
    return state.Found;
}

static const UINT TextTimeoutMs = 5000;

// GetWindowTextW cannot read a control of another process on Windows (only Wine lets it):
// ask the window itself, and give up on one that hangs.
std::wstring ReadWindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (window == NULL || !SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                               TextTimeoutMs, &length))
        return std::wstring();
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, (LPARAM)&buffer[0], SMTO_ABORTIFHUNG,
                             TextTimeoutMs, &copied))
        return std::wstring();
    return std::wstring(&buffer[0]);
}

BoxRecord ReadBox(HWND box)
{
    BoxRecord seen;
    seen.Caption = ReadWindowText(box);
    seen.Text = ReadWindowText(GetDlgItem(box, 0xFFFF));
    seen.HasOk = GetDlgItem(box, IDOK) != NULL;
    seen.HasCancel = GetDlgItem(box, IDCANCEL) != NULL;
    seen.Answer = BoxAnswerOk;
    seen.Unlisted = false;
    seen.SeenAtMs = 0;
    return seen;
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

bool WaitProcess(HANDLE process, DWORD ms)
{
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, ms, QS_ALLINPUT);
    PumpMessages();
    return result == WAIT_OBJECT_0;
}

static bool PastDeadline(ULONGLONG deadline)
{
    return GetTickCount64() >= deadline;
}

HWND PollForBox(const PROCESS_INFORMATION &process, bool *exited)
{
    *exited = WaitProcess(process.hProcess, PollMs);
    return *exited ? NULL : FindBox(process.dwProcessId);
}

bool WaitBoxGone(HWND box, HANDLE process, ULONGLONG deadline)
{
    while (IsWindow(box) && !PastDeadline(deadline))
    {
        if (WaitProcess(process, PollMs))
            return true;
    }
    return false;
}

void AnswerBox(HWND box, BoxAnswer answer)
{
    if (answer == BoxAnswerOk || answer == BoxAnswerCancel)
    {
        int id = answer == BoxAnswerOk ? IDOK : IDCANCEL;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
    }
    else if (answer == BoxAnswerClose)
    {
        PostMessageW(box, WM_CLOSE, 0, 0);
    }
    else
    {
        // The modal loop hands keys to IsDialogMessage, which turns Esc into IDCANCEL.
        GUITHREADINFO info;
        ZeroMemory(&info, sizeof(info));
        info.cbSize = sizeof(info);
        HWND target = box;
        DWORD threadId = GetWindowThreadProcessId(box, NULL);
        if (GetGUIThreadInfo(threadId, &info) && info.hwndFocus != NULL)
            target = info.hwndFocus;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }
}

std::wstring DescribeBox(const BoxRecord &box, size_t number, const std::wstring &note)
{
    std::wstring buttons = box.HasOk ? L"[OK]" : L"";
    if (box.HasCancel)
        buttons += buttons.empty() ? L"[Cancel]" : L" [Cancel]";
    wchar_t count[24];
    _snwprintf(count, 24, L"%u", (unsigned)number);
    std::wstring text = L"box " + std::wstring(count) + L" \"" + box.Caption + L"\" " + buttons + L" answered "
        + BoxAnswerName(box.Answer) + note + L"\n    ";
    for (size_t i = 0; i < box.Text.size(); i++)
        text += box.Text[i] == L'\n' ? std::wstring(L"\n    ") : std::wstring(1, box.Text[i]);
    return text;
}

std::wstring DescribeExitCode(DWORD code)
{
    wchar_t line[64];
    _snwprintf(line, 64, L"exit code %ld (0x%08lX)", (long)(LONG)code, (unsigned long)code);
    return line;
}

std::wstring BuildCommandLine(const std::wstring &exePath, const std::wstring &argumentText)
{
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!argumentText.empty())
        commandLine += L" " + argumentText;
    return commandLine;
}

DWORD StartProgram(const wchar_t *exePath, const std::wstring &commandLine, HANDLE token,
                   DWORD creationFlags, const wchar_t *folder, PROCESS_INFORMATION *process,
                   const wchar_t *desktop)
{
    // CreateProcessW may write to the command line it is given.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.lpDesktop = (wchar_t *)desktop;
    ZeroMemory(process, sizeof(*process));
    BOOL started;
    if (token != NULL)
        started = CreateProcessAsUserW(token, exePath, &buffer[0], NULL, NULL, FALSE, creationFlags,
                                       NULL, folder, &startup, process);
    else
        started = CreateProcessW(exePath, &buffer[0], NULL, NULL, FALSE, creationFlags, NULL, folder,
                                 &startup, process);
    return started ? ERROR_SUCCESS : GetLastError();
}

void StopProgram(HANDLE process)
{
    TerminateProcess(process, 0xDEAD);
    WaitForSingleObject(process, 5000);
}

DWORD CloseProgram(PROCESS_INFORMATION *process)
{
    DWORD exitCode = 0;
    GetExitCodeProcess(process->hProcess, &exitCode);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    return exitCode;
}

// 1 when the process's token holds the privilege, enabled or not, 0 when not, -1 unknown.
static int HoldsPrivilege(HANDLE process, const wchar_t *name)
{
    LUID luid;
    HANDLE token;
    if (!LookupPrivilegeValueW(NULL, name, &luid) || !OpenProcessToken(process, TOKEN_QUERY, &token))
        return -1;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, NULL, 0, &size);
    std::vector<BYTE> buffer(size + sizeof(TOKEN_PRIVILEGES));
    int held = -1;
    if (GetTokenInformation(token, TokenPrivileges, &buffer[0], (DWORD)buffer.size(), &size))
    {
        const TOKEN_PRIVILEGES *privileges = (const TOKEN_PRIVILEGES *)&buffer[0];
        held = 0;
        for (DWORD i = 0; i < privileges->PrivilegeCount; i++)
            if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
                privileges->Privileges[i].Luid.HighPart == luid.HighPart)
                held = 1;
    }
    CloseHandle(token);
    return held;
}

static void RunStartedWithBoxes(const wchar_t *exePath, const std::wstring &commandLine,
                                BoxChooser choose, void *context, DWORD timeoutMs,
                                RunRecord *record, HANDLE token, const wchar_t *desktop)
{
    record->Started = false;
    record->StartError = 0;
    record->TimedOut = false;
    record->ExitCode = 0;
    record->Boxes.clear();
    record->ShutdownPrivilege = -1;

    PROCESS_INFORMATION process;
    record->StartError = StartProgram(exePath, commandLine, token, 0, NULL, &process, desktop);
    if (record->StartError != ERROR_SUCCESS)
        return;
    record->Started = true;

    ULONGLONG start = GetTickCount64();
    ULONGLONG deadline = start + timeoutMs;
    bool exited = false;
    while (!exited && !PastDeadline(deadline))
    {
        HWND box = PollForBox(process, &exited);
        if (box == NULL || record->Boxes.size() >= MaxBoxes)
            continue;

        BoxRecord seen = ReadBox(box);
        seen.SeenAtMs = (DWORD)(GetTickCount64() - start);
        size_t index = record->Boxes.size();
        if (index == 0)
            record->ShutdownPrivilege = HoldsPrivilege(process.hProcess, L"SeShutdownPrivilege");
        seen.Answer = choose(&seen, index, context);
        record->Boxes.push_back(seen);
        AnswerBox(box, seen.Answer);
        exited = WaitBoxGone(box, process.hProcess, deadline);
    }

    if (!exited)
    {
        record->TimedOut = true;
        StopProgram(process.hProcess);
    }
    record->ExitCode = CloseProgram(&process);
}

struct ListedAnswers
{
    const std::vector<BoxAnswer> *Answers;
    const std::vector<std::wstring> *Listed;
};

static BoxAnswer ChooseListed(BoxRecord *box, size_t index, void *context)
{
    const ListedAnswers *given = (const ListedAnswers *)context;
    const std::vector<std::wstring> *listed = given->Listed;
    box->Unlisted = listed != NULL && (index >= listed->size() || (*listed)[index] != box->Text);
    if (box->Unlisted)
        return BoxAnswerCancel;
    return index < given->Answers->size() ? (*given->Answers)[index] : BoxAnswerOk;
}

void RunWithBoxes(const std::wstring &exePath, const std::wstring &argumentText,
                  const std::vector<BoxAnswer> &answers, DWORD timeoutMs, RunRecord *record,
                  HANDLE token, const std::vector<std::wstring> *listed, const wchar_t *desktop)
{
    ListedAnswers given = {&answers, listed};
    RunStartedWithBoxes(exePath.c_str(), BuildCommandLine(exePath, argumentText), ChooseListed,
                        &given, timeoutMs, record, token, desktop);
}

void RunCommandLineWithBoxes(const std::wstring &commandLine,
                             const std::vector<BoxAnswer> &answers, DWORD timeoutMs,
                             RunRecord *record, HANDLE token,
                             const std::vector<std::wstring> *listed)
{
    ListedAnswers given = {&answers, listed};
    RunStartedWithBoxes(NULL, commandLine, ChooseListed, &given, timeoutMs, record, token, NULL);
}

void RunCommandLineChoosing(const std::wstring &commandLine, BoxChooser choose, void *context,
                            DWORD timeoutMs, RunRecord *record, HANDLE token)
{
    RunStartedWithBoxes(NULL, commandLine, choose, context, timeoutMs, record, token, NULL);
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

const wchar_t *BoxAnswerName(BoxAnswer answer)
{
    switch (answer)
    {
    case BoxAnswerOk:
        return L"OK";
    case BoxAnswerCancel:
        return L"Cancel";
    case BoxAnswerClose:
        return L"Close";
    case BoxAnswerEscape:
        return L"Esc";
    }
    return L"?";
}

bool ParseBoxAnswer(const wchar_t *text, BoxAnswer *answer)
{
    if (_wcsicmp(text, L"ok") == 0)
        *answer = BoxAnswerOk;
    else if (_wcsicmp(text, L"cancel") == 0)
        *answer = BoxAnswerCancel;
    else if (_wcsicmp(text, L"close") == 0)
        *answer = BoxAnswerClose;
    else if (_wcsicmp(text, L"esc") == 0 || _wcsicmp(text, L"escape") == 0)
        *answer = BoxAnswerEscape;
    else
        return false;
    return true;
}

std::string Utf8(const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], size, NULL, NULL);
    return bytes;
}

void WriteUtf8(HANDLE out, const std::wstring &text)
{
    std::string bytes = Utf8(text);
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(out, bytes.data(), (DWORD)bytes.size(), &written, NULL);
}
