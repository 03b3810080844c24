// What the first run learnt, kept in a file for the run after the restart.
#pragma once

#include "judge/Compare.h"
#include "judge/FirewallRules.h"
#include "judge/Reinstall.h"

#include <string>
#include <vector>

struct CheckState {
    std::wstring AppName;
    int Problems;
    std::vector<Change> Changes;
    std::string Report;  // the first run's report for machines, when it wrote one
    InstallerKind Kind = KindUnknown;  // the fixes are said in its words
    // What the look after the uninstall saw of each change, before anything was installed again:
    // after a restart, what the new installation holds again is judged by it.
    std::vector<LeftState> AfterUninstall;
    bool Reinstalled = false;
    ReinstallRecord Reinstall;
    // The firewall rules the install added, and the name of those Kestrane removes.
    FirewallRecord Firewall;
    std::wstring RuleName;
};

bool SaveState(const std::wstring &path, const CheckState &state);
bool LoadState(const std::wstring &path, CheckState *state);
