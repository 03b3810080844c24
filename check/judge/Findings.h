// What an installer left, held against what Kestrane removes: one line per mistake,
// with what to change, and what Kestrane's own code says of the argument text.
#pragma once

#include "judge/Compare.h"
#include "judge/InstallerKind.h"
#include "look/Programs.h"

#include <string>
#include <vector>

struct Inspection {
    // What the install changed, less the places that change by themselves.
    std::vector<Change> Changes;
    std::vector<ChangeGroup> Groups;
    WatchedFolders Folders;
    bool Wine;
    InstallerKind Kind = KindUnknown;  // which tool made the installer: the fixes are said in its words
    // Found in it: the uninstall entry Kestrane would be started from.
    bool HasEntry;
    std::wstring AppName;          // the entry's key name
    std::wstring UninstallString;
    std::wstring RuleName;         // named by an accepted argument text, else empty
};

// Sets the uninstall entry and prints the findings of the install, before anything is
// uninstalled.
void InspectInstallation(Inspection *inspection);

// The firewall rule, after the install (before) or after the uninstall.
void CheckFirewallRule(const Inspection &inspection, bool uninstalled);

// Kestrane's boxes, each with its answer, and its exit code.
void ReportUninstall(const RunRecord &record, DWORD limitSeconds);
