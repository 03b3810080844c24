#include "BoxDriver.h"

#include <wchar.h>

static const DWORD PollMs = 20;
static const size_t MaxBoxes = 64;

struct FindBoxState
{
    DWORD ProcessId;
    HWND Found;
};

static BOOL CALLBACK FindBoxProc(HWND window, LPARAM param)
{
    FindBoxState *state = (FindBoxState *)param;
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

static HWND FindBox(DWORD processId)
{
    FindBoxState state = {processId, NULL};
    EnumWindows(FindBoxProc, (LPARAM)&state);
    return state.Found;
}

// GetWindowTextW reads another process's window text without sending it a message.
static std::wstring ReadWindowText(HWND window)
{
    if (window == NULL)
        return std::wstring();
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(length + 2, L'\0');
    GetWindowTextW(window, &buffer[0], length + 1);
    return std::wstring(&buffer[0]);
}

// The calling thread may own windows (the running-check scenarios); keep them responsive.
static void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

static bool WaitProcess(HANDLE process, DWORD ms)
{
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, ms, QS_ALLINPUT);
    PumpMessages();
    return result == WAIT_OBJECT_0;
}

static bool PastDeadline(ULONGLONG deadline)
{
    return GetTickCount64() >= deadline;
}

static void AnswerBox(HWND box, DWORD threadId, BoxAnswer answer)
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
        if (GetGUIThreadInfo(threadId, &info) && info.hwndFocus != NULL)
            target = info.hwndFocus;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }
}

std::wstring BuildCommandLine(const std::wstring &exePath, const std::wstring &argumentText)
{
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!argumentText.empty())
        commandLine += L" " + argumentText;
    return commandLine;
}

void RunWithBoxes(const std::wstring &exePath, const std::wstring &argumentText,
                  const std::vector<BoxAnswer> &answers, DWORD timeoutMs, RunRecord *record)
{
    record->Started = false;
    record->StartError = 0;
    record->TimedOut = false;
    record->ExitCode = 0;
    record->Boxes.clear();

    std::wstring commandLine = BuildCommandLine(exePath, argumentText);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessW(exePath.c_str(), &buffer[0], NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process))
    {
        record->StartError = GetLastError();
        return;
    }
    record->Started = true;

    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool exited = false;
    while (!exited && !PastDeadline(deadline))
    {
        exited = WaitProcess(process.hProcess, PollMs);
        if (exited)
            break;
        HWND box = FindBox(process.dwProcessId);
        if (box == NULL || record->Boxes.size() >= MaxBoxes)
            continue;

        BoxRecord seen;
        seen.Caption = ReadWindowText(box);
        seen.Text = ReadWindowText(GetDlgItem(box, 0xFFFF));
        seen.HasOk = GetDlgItem(box, IDOK) != NULL;
        seen.HasCancel = GetDlgItem(box, IDCANCEL) != NULL;
        size_t index = record->Boxes.size();
        seen.Answer = index < answers.size() ? answers[index] : BoxAnswerOk;
        record->Boxes.push_back(seen);

        AnswerBox(box, GetWindowThreadProcessId(box, NULL), seen.Answer);
        while (IsWindow(box) && !PastDeadline(deadline))
        {
            exited = WaitProcess(process.hProcess, PollMs);
            if (exited)
                break;
        }
    }

    if (!exited)
    {
        record->TimedOut = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    record->ExitCode = exitCode;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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
