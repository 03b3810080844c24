#include "Report.h"

#include "BoxDriver.h"

#include <windows.h>

#include <stdio.h>

static CRITICAL_SECTION OutputLock;
static ULONGLONG LastLineAt;
static ULONGLONG ActivityStartedAt;
static std::wstring Activity;
static int Problems;

std::wstring WideOf(const std::string &text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], size);
    return wide;
}

static void WriteLine(const std::wstring &line)
{
    // A console shows the text as it is; a file or pipe gets UTF-8, whatever the code page.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    std::wstring text = line + L"\n";
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), (DWORD)text.size(), &written, NULL);
    } else {
        std::string bytes = Utf8(text);
        WriteFile(out, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    }
    LastLineAt = GetTickCount64();
}

static DWORD WINAPI WatchActivity(void *)
{
    for (;;) {
        Sleep(1000);
        EnterCriticalSection(&OutputLock);
        ULONGLONG now = GetTickCount64();
        if (!Activity.empty() && now - LastLineAt >= 10000)
            WriteLine(L"   ... still " + Activity + L" (" + Number((now - ActivityStartedAt) / 1000) + L" s)");
        LeaveCriticalSection(&OutputLock);
    }
    return 0;
}

void StartReport()
{
    InitializeCriticalSection(&OutputLock);
    LastLineAt = GetTickCount64();
    HANDLE thread = CreateThread(NULL, 0, WatchActivity, NULL, 0, NULL);
    if (thread != NULL)
        CloseHandle(thread);
}

void Say(const std::wstring &line)
{
    EnterCriticalSection(&OutputLock);
    WriteLine(line);
    LeaveCriticalSection(&OutputLock);
}

void SetActivity(const wchar_t *activity)
{
    EnterCriticalSection(&OutputLock);
    Activity = activity != NULL ? activity : L"";
    ActivityStartedAt = GetTickCount64();
    LeaveCriticalSection(&OutputLock);
}

void Finding(Verdict verdict, const std::wstring &text, const wchar_t *section)
{
    const wchar_t *word = verdict == VerdictOk ? L"ok      " : verdict == VerdictProblem ? L"problem " : L"note    ";
    if (verdict == VerdictProblem)
        Problems++;
    Say(std::wstring(word) + L" " + text + L"  (README: \"" + section + L"\")");
}

void Consequence(const std::wstring &text)
{
    Say(L"           so: " + text);
}

int ProblemCount() { return Problems; }
void SetProblemCount(int count) { Problems = count; }

std::wstring Number(unsigned long long value)
{
    wchar_t text[32];
    _snwprintf(text, 32, L"%I64u", value);
    return text;
}

std::wstring Seconds(unsigned long long ms)
{
    wchar_t text[40];
    _snwprintf(text, 40, L"%I64u.%02I64u", ms / 1000, (ms % 1000) / 10);
    return text;
}
