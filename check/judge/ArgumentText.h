// The uninstall entry's command line held against Kestrane's own reading of it: how Windows
// starts it, and whether Kestrane accepts the argument text it gets.
#pragma once
#include "judge/Inspection.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"

#include <string>

// A message as the README quotes it: a line feed as "\n".
std::wstring Quoted(const wchar_t *message);
void CheckUninstallString(const Inspection &in, const std::wstring &expectedExe, bool folderExplained,
                          const MachineReader &machine, bool *consequenceOnly, Said *said);
// Sets the rule's name when Kestrane accepts the text and names this entry's application.
void CheckArgumentText(Inspection *in, bool consequenceOnly, Said *said);
