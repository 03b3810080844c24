// What the check prints: UTF-8 lines on standard output, the findings counted,
// and a line at least every 10 s while something long runs.
#pragma once
#include "data/PathText.h"
#include "judge/Verdicts.h"
#include "tell/Labels.h"

#include <string>
#include <vector>

void StartReport();
void Say(const std::wstring &line);
// One finding: its verdict, its text and the section that explains it, printed with its page.
void Finding(Verdict verdict, const std::wstring &text, const wchar_t *section);
// A consequence of the finding before it: shown under it, not counted.
void Consequence(const std::wstring &text);
int ProblemCount();
// A problem foreseen that did not come to pass: no longer counted, its finding kept as a note.
void WithdrawProblem(const std::wstring &text);
void SetProblemCount(int count);
// What a rule concluded, each item as Finding, Consequence, Say or WithdrawProblem.
void Tell(const Said &said);

// Every finding so far, for the report machines read.
struct FindingRecord {
    Verdict Kind;
    std::wstring Text;
    std::wstring Section;
    std::vector<std::wstring> Consequences;
};
const std::vector<FindingRecord> &RecordedFindings();
// Tests: nothing printed, nothing recorded kept from before.
void StartQuietReport();
// The words a verdict is printed with ("ok", "problem", "note").
const wchar_t *VerdictWord(Verdict verdict);
// On a hosted runner (GITHUB_ACTIONS=true): the line that shows a problem as the runner's
// own error annotation; empty elsewhere.
std::wstring RunnerAnnotation(const std::wstring &text, const std::wstring &section);
// Lines for the runner's job summary (GITHUB_STEP_SUMMARY), appended when it has one.
void AddToRunnerSummary(const std::wstring &lines);
// Before anything is installed: why the outputs asked for (the report for machines, the job's step
// summary) cannot be written, said to the user; empty when they can.
std::wstring OutputsNotWritable(const std::wstring &jsonPath);
// An output asked for was not written: the check's exit code is then 2, whatever it found.
void LoseOutput();
bool OutputsWritten();

// The summary of one look at what is left: how many items of the application are left, else
// what waits for the restart, else nothing.
std::wstring SummaryLine(const std::wstring &app, size_t left, size_t pending);
// The check's exit code once it has looked: 0 only with nothing left and no problem.
int VerdictExitCode(size_t left, int problems);

// While the activity runs, "still <activity>" is said whenever 10 s passed
// without a line; NULL ends it.
void SetActivity(const wchar_t *activity);

// Writes the bytes to a new file, or over an old one; false, with the last error, when it cannot.
bool WriteTextFile(const std::wstring &path, const std::string &text);

// Utf8() of the box driver, the other way.
std::wstring WideOf(const std::string &text);
