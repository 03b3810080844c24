// BoxDriver.exe <exe-windows-path> <argument text> [ok|cancel|close|esc ...]
// BoxDriver.exe --command-line <whole command line> [ok|cancel|close|esc ... | user]
// "user" leaves the boxes to the person at the display and only waits for the end.
#include "BoxDriver.h"

#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static const DWORD TimeoutMs = 30000;

static void WriteUtf8(const std::wstring &text) { WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), text); }

static void WriteExitCode(DWORD code) { WriteUtf8(DescribeExitCode(code) + L"\n"); }

static int CannotStart(DWORD error)
{
    wchar_t line[64];
    _snwprintf(line, 64, L"cannot start it, error %lu\n", error);
    WriteUtf8(line);
    return 126;
}

int main()
{
    int count = 0;
    wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == NULL || count < 3)
    {
        WriteUtf8(L"usage: BoxDriver.exe <exe-windows-path> <argument text> [ok|cancel|close|esc ...]\n"
                  L"       BoxDriver.exe --command-line <command line> [ok|cancel|close|esc ... | user]\n");
        return 125;
    }
    bool wholeLine = wcscmp(args[1], L"--command-line") == 0;
    std::wstring commandLine = wholeLine ? std::wstring(args[2]) : BuildCommandLine(args[1], args[2]);
    if (wholeLine && count == 4 && _wcsicmp(args[3], L"user") == 0)
    {
        WriteUtf8(L"command line: " + commandLine + L"\n");
        PROCESS_INFORMATION process;
        DWORD error = StartProgram(NULL, commandLine, NULL, 0, NULL, &process);
        if (error != ERROR_SUCCESS)
            return CannotStart(error);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = CloseProgram(&process);
        WriteExitCode(exitCode);
        return (int)exitCode;
    }
    std::vector<BoxAnswer> answers;
    for (int i = 3; i < count; i++)
    {
        BoxAnswer answer;
        if (!ParseBoxAnswer(args[i], &answer))
        {
            WriteUtf8(L"unknown answer: " + std::wstring(args[i]) + L"\n");
            return 125;
        }
        answers.push_back(answer);
    }

    RunRecord record;
    if (wholeLine)
        RunCommandLineWithBoxes(commandLine, answers, TimeoutMs, &record);
    else
        RunWithBoxes(args[1], args[2], answers, TimeoutMs, &record);
    WriteUtf8(L"command line: " + commandLine + L"\n");
    if (!record.Started)
        return CannotStart(record.StartError);

    for (size_t i = 0; i < record.Boxes.size(); i++)
    {
        WriteUtf8(DescribeBox(record.Boxes[i], i + 1) + L"\n");
    }
    if (record.TimedOut)
        WriteUtf8(L"timed out: the program was terminated\n");

    WriteExitCode(record.ExitCode);
    LocalFree(args);
    return (int)record.ExitCode;
}
