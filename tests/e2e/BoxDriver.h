// Runs a GUI program with an exact command line and answers its message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum BoxAnswer
{
    BoxAnswerOk,
    BoxAnswerCancel,
    BoxAnswerClose,   // WM_CLOSE, as the title-bar close button sends
    BoxAnswerEscape   // the Esc key
};

struct BoxRecord
{
    std::wstring Caption;
    std::wstring Text;
    bool HasOk;
    bool HasCancel;
    BoxAnswer Answer;
};

struct RunRecord
{
    bool Started;
    DWORD StartError;
    bool TimedOut;
    DWORD ExitCode;
    std::vector<BoxRecord> Boxes;
};

// Answers beyond the end of the list are BoxAnswerOk.
void RunWithBoxes(const std::wstring &exePath, const std::wstring &argumentText,
                  const std::vector<BoxAnswer> &answers, DWORD timeoutMs, RunRecord *record);

std::wstring BuildCommandLine(const std::wstring &exePath, const std::wstring &argumentText);
const wchar_t *BoxAnswerName(BoxAnswer answer);
bool ParseBoxAnswer(const wchar_t *text, BoxAnswer *answer);
