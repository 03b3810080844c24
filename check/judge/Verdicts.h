// What a rule concludes, as data: the judging room says nothing itself, the telling room
// prints what it concluded, in the order it concluded it.
#pragma once
#include <string>
#include <vector>

enum Verdict { VerdictOk, VerdictProblem, VerdictNote };

// The sections of the pages a finding sends its reader to (the labels' table holds their pages).
extern const wchar_t SectionLayout[], SectionEntry[], SectionArguments[], SectionExitCodes[], SectionNeverTouched[],
    SectionThirtyTwoBit[], SectionCheckInstaller[], SectionReinstall[], SectionUserSees[], SectionChainedProduct[];

enum SaidKind {
    SaidFinding,      // a verdict, its text and its section
    SaidConsequence,  // what follows from the finding before it: shown under it, not counted
    SaidLine,         // what the finding was drawn from, shown as it is
    SaidWithdrawn     // a problem foreseen that did not come to pass: no longer counted
};
struct SaidItem {
    SaidKind Kind;
    Verdict Of;
    std::wstring Text;
    const wchar_t *Section;
};
typedef std::vector<SaidItem> Said;

void Find(Said *said, Verdict verdict, const std::wstring &text, const wchar_t *section);
void Also(Said *said, const std::wstring &consequence);
void Show(Said *said, const std::wstring &line);
void Withdraw(Said *said, const std::wstring &problem);
