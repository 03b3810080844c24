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
    bool Unlisted;     // not the box listed at its place, so answered Cancel
    DWORD SeenAtMs;    // since the program started
};

struct RunRecord
{
    bool Started;
    DWORD StartError;
    bool TimedOut;
    DWORD ExitCode;
    std::vector<BoxRecord> Boxes;
    // Whether the program's own token held SeShutdownPrivilege while its first box was up:
    // 1 or 0, -1 when no box came or the token could not be read.
    int ShutdownPrivilege;
};

// Answers beyond the end of the list are BoxAnswerOk. A token, when given, is the one the
// program runs with (StartProgram). When the texts of the boxes expected are listed, a box
// that is not the one listed at its place is answered Cancel whatever the answers say, so
// that no unexpected question is ever accepted. A desktop, when named, is the one it runs on.
void RunWithBoxes(const std::wstring &exePath, const std::wstring &argumentText,
                  const std::vector<BoxAnswer> &answers, DWORD timeoutMs, RunRecord *record,
                  HANDLE token = NULL, const std::vector<std::wstring> *listed = NULL,
                  const wchar_t *desktop = NULL);
// The same for a whole command line, which CreateProcessW splits itself, as Windows
// does with an uninstall entry's UninstallString.
void RunCommandLineWithBoxes(const std::wstring &commandLine,
                             const std::vector<BoxAnswer> &answers, DWORD timeoutMs,
                             RunRecord *record, HANDLE token = NULL,
                             const std::vector<std::wstring> *listed = NULL);
// Chooses the answer to the box at index as it comes up, and may mark it Unlisted.
typedef BoxAnswer (*BoxChooser)(BoxRecord *box, size_t index, void *context);
// The same for a chooser, which sees each box before it is answered.
void RunCommandLineChoosing(const std::wstring &commandLine, BoxChooser choose, void *context,
                            DWORD timeoutMs, RunRecord *record, HANDLE token = NULL);
// A restricted copy of this process's token without SeShutdownPrivilege, or NULL: a program
// started with it cannot restart the machine. The caller closes it.
HANDLE TokenWithoutShutdownPrivilege();

// A box as the drivers print it: 'box N "Caption" [OK] [Cancel] answered OK', then its
// text indented; note goes after the answer.
std::wstring DescribeBox(const BoxRecord &box, size_t number, const std::wstring &note = L"");
// "exit code 1 (0x00000001)"
std::wstring DescribeExitCode(DWORD code);

std::wstring BuildCommandLine(const std::wstring &exePath, const std::wstring &argumentText);
const wchar_t *BoxAnswerName(BoxAnswer answer);
bool ParseBoxAnswer(const wchar_t *text, BoxAnswer *answer);

// The pieces RunWithBoxes is made of, for drivers that must do more around each box
// (picture it, time it) than record and answer it.

// Starts exePath (NULL: the first word of commandLine, looked up as CreateProcessW does)
// with exactly commandLine; token NULL starts it with this process's own token, folder
// NULL in this process's current folder. Returns 0 or the error.
DWORD StartProgram(const wchar_t *exePath, const std::wstring &commandLine, HANDLE token,
                   DWORD creationFlags, const wchar_t *folder, PROCESS_INFORMATION *process,
                   const wchar_t *desktop = NULL);
// Terminates a program that did not finish in time and waits for it to go.
void StopProgram(HANDLE process);
// Its exit code; closes both handles.
DWORD CloseProgram(PROCESS_INFORMATION *process);

// The calling thread may own windows; waiting keeps them responsive. True when the
// process ended within ms.
bool WaitProcess(HANDLE process, DWORD ms);
void PumpMessages();
// Waits one poll period, then returns the process's visible box, or NULL when there is
// none yet or the process has ended (*exited says which).
HWND PollForBox(const PROCESS_INFORMATION &process, bool *exited);
// True once the process has ended; false when the box is gone or the deadline passed.
bool WaitBoxGone(HWND box, HANDLE process, ULONGLONG deadline);

bool IsBox(HWND window);  // of the message-box class, visible or not
HWND FindBox(DWORD processId);  // a visible box of the process
std::wstring ReadWindowText(HWND window);
// Caption, text and buttons; the answer is left to the caller.
BoxRecord ReadBox(HWND box);
void AnswerBox(HWND box, BoxAnswer answer);

// Console output of the drivers is UTF-8, so accented box texts read as they are.
std::string Utf8(const std::wstring &text);
void WriteUtf8(HANDLE out, const std::wstring &text);
