// What the check prints: UTF-8 lines on standard output, the findings counted,
// and a line at least every 10 s while something long runs.
#pragma once

#include <string>

enum Verdict { VerdictOk, VerdictProblem, VerdictNote };

void StartReport();
void Say(const std::wstring &line);
// One finding: its verdict, its text and the README section that explains it.
void Finding(Verdict verdict, const std::wstring &text, const wchar_t *section);
// A consequence of the finding before it: shown under it, not counted.
void Consequence(const std::wstring &text);
int ProblemCount();
void SetProblemCount(int count);

// While the activity runs, "still <activity>" is said whenever 10 s passed
// without a line; NULL ends it.
void SetActivity(const wchar_t *activity);

std::wstring Number(unsigned long long value);
// Seconds with two decimals.
std::wstring Seconds(unsigned long long ms);
// Utf8() of the box driver, the other way.
std::wstring WideOf(const std::string &text);
