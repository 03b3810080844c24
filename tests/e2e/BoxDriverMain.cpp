// BoxDriver.exe <exe-windows-path> <argument text> [ok|cancel|close|esc ...]
#include "BoxDriver.h"

#include <shellapi.h>
#include <stdio.h>

static const DWORD TimeoutMs = 30000;

static void WriteUtf8(const std::wstring &text) { WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), text); }

static std::wstring Indented(const std::wstring &text)
{
    std::wstring result = L"    ";
    for (size_t i = 0; i < text.size(); i++)
    {
        result += text[i];
        if (text[i] == L'\n')
            result += L"    ";
    }
    return result;
}

int main()
{
    int count = 0;
    wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == NULL || count < 3)
    {
        WriteUtf8(L"usage: BoxDriver.exe <exe-windows-path> <argument text> [ok|cancel|close|esc ...]\n");
        return 125;
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
    RunWithBoxes(args[1], args[2], answers, TimeoutMs, &record);
    WriteUtf8(L"command line: " + BuildCommandLine(args[1], args[2]) + L"\n");
    if (!record.Started)
    {
        wchar_t line[64];
        _snwprintf(line, 64, L"cannot start it, error %lu\n", record.StartError);
        WriteUtf8(line);
        return 126;
    }

    for (size_t i = 0; i < record.Boxes.size(); i++)
    {
        const BoxRecord &box = record.Boxes[i];
        std::wstring buttons;
        if (box.HasOk)
            buttons += L"[OK]";
        if (box.HasCancel)
            buttons += buttons.empty() ? L"[Cancel]" : L" [Cancel]";
        wchar_t number[16];
        _snwprintf(number, 16, L"%u", (unsigned)(i + 1));
        WriteUtf8(L"box " + std::wstring(number) + L" \"" + box.Caption + L"\" " + buttons +
                  L" answered " + BoxAnswerName(box.Answer) + L"\n" + Indented(box.Text) + L"\n");
    }
    if (record.TimedOut)
        WriteUtf8(L"timed out: the program was terminated\n");

    wchar_t exitLine[64];
    _snwprintf(exitLine, 64, L"exit code %ld (0x%08lX)\n", (long)(LONG)record.ExitCode,
               (unsigned long)record.ExitCode);
    WriteUtf8(exitLine);
    LocalFree(args);
    return (int)record.ExitCode;
}
