#include "judge/Verdicts.h"

const wchar_t SectionLayout[] = L"The layout";
const wchar_t SectionEntry[] = L"The uninstall entry";
const wchar_t SectionArguments[] = L"The argument text";
const wchar_t SectionExitCodes[] = L"Exit codes";
const wchar_t SectionNeverTouched[] = L"What Kestrane never touches";
const wchar_t SectionThirtyTwoBit[] = L"32-bit installers";
const wchar_t SectionCheckInstaller[] = L"Check your installer";
const wchar_t SectionReinstall[] = L"A reinstall before the restart";
const wchar_t SectionUserSees[] = L"What the user sees";
const wchar_t SectionChainedProduct[] = L"A product the installer chained";

void Find(Said *said, Verdict verdict, const std::wstring &text, const wchar_t *section)
{
    said->push_back({SaidFinding, verdict, text, section});
}

void Also(Said *said, const std::wstring &consequence)
{
    said->push_back({SaidConsequence, VerdictNote, consequence, L""});
}

void Show(Said *said, const std::wstring &line)
{
    said->push_back({SaidLine, VerdictNote, line, L""});
}

void Withdraw(Said *said, const std::wstring &problem)
{
    said->push_back({SaidWithdrawn, VerdictProblem, problem, L""});
}
