#include "tell/Report.h"

#include "BoxDriver.h"

#include <windows.h>

#include <stdio.h>

static CRITICAL_SECTION OutputLock;
static ULONGLONG LastLineAt;
static ULONGLONG ActivityStartedAt;
static std::wstring Activity;
static int Problems;
static bool Quiet;
// An output asked for that could not be written: the check then ends with exit code 2.
static bool OutputLost;
static std::vector<FindingRecord> Findings;

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
    if (Quiet)
        return;
    EnterCriticalSection(&OutputLock);
    WriteLine(line);
    LeaveCriticalSection(&OutputLock);
}

void SetActivity(const wchar_t *activity)
{
    EnterCriticalSection(&OutputLock);
    Activity = activity != NULL ? activity : L"";
    ActivityStartedAt = GetTickCount64();
    // "still" only after 10 s of this activity itself.
    LastLineAt = ActivityStartedAt;
    LeaveCriticalSection(&OutputLock);
}

const wchar_t *VerdictWord(Verdict verdict)
{
    return verdict == VerdictOk ? L"ok" : verdict == VerdictProblem ? L"problem" : L"note";
}

static bool OnRunner()
{
    wchar_t value[16] = {0};
    DWORD length = GetEnvironmentVariableW(L"GITHUB_ACTIONS", value, 16);
    return length > 0 && length < 16 && wcscmp(value, L"true") == 0;
}

// The runner reads a workflow command to the end of its line: "%", CR and LF are escaped.
static std::wstring CommandEscaped(const std::wstring &text, bool property)
{
    std::wstring escaped;
    for (size_t i = 0; i < text.size(); i++) {
        switch (text[i]) {
        case L'%': escaped += L"%25"; break;
        case L'\r': escaped += L"%0D"; break;
        case L'\n': escaped += L"%0A"; break;
        case L':': escaped += property ? L"%3A" : L":"; break;
        case L',': escaped += property ? L"%2C" : L","; break;
        default: escaped += text[i];
        }
    }
    return escaped;
}

std::wstring RunnerAnnotation(const std::wstring &text, const std::wstring &section)
{
    if (!OnRunner())
        return L"";
    return L"::error title=" + CommandEscaped(L"CheckInstaller: " + PageOfSection(section) + L": " + section, true) + L"::"
        + CommandEscaped(text, false);
}

// The job's step summary, where the runner gives one.
static std::wstring RunnerSummaryPath()
{
    wchar_t path[MAX_PATH * 2] = {0};
    DWORD length = GetEnvironmentVariableW(L"GITHUB_STEP_SUMMARY", path, MAX_PATH * 2);
    return !OnRunner() || length == 0 || length >= MAX_PATH * 2 ? L"" : path;
}

void AddToRunnerSummary(const std::wstring &lines)
{
    std::wstring path = RunnerSummaryPath();
    if (Quiet || path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    std::string bytes = Utf8(lines);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL)
        && written == bytes.size();
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!ok) {
        OutputLost = true;
        Say(L"  cannot write the job's step summary " + path + L": error " + Number(error));
    }
}

// Why a file cannot be written at path, or empty when it can: opened for writing as the report
// will be, and left as it was (a file made only to try is deleted again).
static std::wstring WhyNotWritable(const std::wstring &path)
{
    bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? L"its folder does not exist"
             : error == ERROR_ACCESS_DENIED  ? L"it cannot be written there (access denied)"
                                             : L"error " + Number(error);
    }
    CloseHandle(file);
    if (!existed)
        DeleteFileW(path.c_str());
    return L"";
}

std::wstring OutputsNotWritable(const std::wstring &jsonPath)
{
    std::wstring why = jsonPath.empty() ? L"" : WhyNotWritable(jsonPath);
    if (!why.empty())
        return L"Cannot write the report " + jsonPath + L" (--json): " + why + L". Nothing was installed.";
    std::wstring summary = RunnerSummaryPath();
    why = summary.empty() ? L"" : WhyNotWritable(summary);
    if (!why.empty())
        return L"Cannot write the job's step summary " + summary + L" (GITHUB_STEP_SUMMARY): " + why
            + L". Nothing was installed.";
    return L"";
}

void LoseOutput() { OutputLost = true; }
bool OutputsWritten() { return !OutputLost; }

// Every finding of the report, whichever way it came.
static void Record(Verdict verdict, const std::wstring &text, const wchar_t *section)
{
    std::wstring word = VerdictWord(verdict);
    if (verdict == VerdictProblem)
        Problems++;
    FindingRecord record;
    record.Kind = verdict;
    record.Text = text;
    record.Section = section;
    Findings.push_back(record);
    Say(word + std::wstring(9 - word.size(), L' ') + text + L"  (" + PageOfSection(section) + L": \"" + section + L"\")");
    std::wstring annotation = verdict == VerdictProblem ? RunnerAnnotation(text, section) : L"";
    if (!annotation.empty())
        Say(annotation);
}

void Finding(Verdict verdict, const std::wstring &text, const wchar_t *section)
{
    Record(verdict, text, section);
}

void Consequence(const std::wstring &text)
{
    if (!Findings.empty())
        Findings.back().Consequences.push_back(text);
    Say(L"           so: " + text);
}

const std::vector<FindingRecord> &RecordedFindings() { return Findings; }

void StartQuietReport()
{
    Quiet = true;
    Problems = 0;
    OutputLost = false;
    Findings.clear();
}

int ProblemCount() { return Problems; }
void SetProblemCount(int count) { Problems = count; }

void WithdrawProblem(const std::wstring &text)
{
    // After a restart the count comes from the state, without the findings.
    if (Problems > 0)
        Problems--;
    for (size_t i = Findings.size(); i-- > 0;)
        if (Findings[i].Kind == VerdictProblem && Findings[i].Text == text) {
            Findings[i].Kind = VerdictNote;
            break;
        }
}

void Tell(const Said &said)
{
    for (const SaidItem &item : said)
        switch (item.Kind) {
        case SaidFinding: Record(item.Of, item.Text, item.Section); break;
        case SaidConsequence: Consequence(item.Text); break;
        case SaidLine: Say(item.Text); break;
        case SaidWithdrawn: WithdrawProblem(item.Text); break;
        }
}

bool WriteTextFile(const std::wstring &path, const std::string &text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL) && written == text.size();
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

std::wstring SummaryLine(const std::wstring &app, size_t left, size_t pending)
{
    if (left > 0)
        return Number(left) + L" item(s) of " + app + L" are left.";
    if (pending > 0)
        return L"Nothing of " + app + L" is left but what the next restart deletes (" + Number(pending) + L" item(s)).";
    return L"Nothing of " + app + L" is left.";
}

int VerdictExitCode(size_t left, int problems)
{
    return left == 0 && problems == 0 ? 0 : 1;
}
