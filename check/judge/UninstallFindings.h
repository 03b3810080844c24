// What the uninstall did, judged: the firewall rule, Kestrane's boxes and its exit code.
#pragma once
#include "BoxDriver.h"
#include "judge/Inspection.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"

#include <windows.h>

// The firewall rule, after the install (before) or after the uninstall.
void CheckFirewallRule(const Inspection &inspection, bool uninstalled, const MachineReader &machine, Said *said);

// Kestrane's boxes, each with its answer, and its exit code.
void ReportUninstall(const RunRecord &record, DWORD limitSeconds, Said *said);

// A window that is not open here but will be on Windows, and why.
struct ForeseenTitle {
    std::wstring Title, Why;
};
// Kestrane refuses while a top-level window's title holds the application's name (titles: those
// that do, as Kestrane's own running check finds them; foreseen: those Windows will show).
void JudgeWindowsNamingApp(const std::wstring &appName, const std::vector<std::wstring> &titles,
                           const std::vector<ForeseenTitle> &foreseen, Said *said);
