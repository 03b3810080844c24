// What the rules of the installation are held against: the install's changes, and the uninstall
// entry found in them.
#pragma once
#include "data/Snapshot.h"
#include "judge/Compare.h"
#include "judge/FirewallRules.h"
#include "judge/InstallerKind.h"

#include <string>
#include <vector>

struct Inspection {
    // What the install changed, less the places that change by themselves.
    std::vector<Change> Changes;
    std::vector<ChangeGroup> Groups;
    WatchedFolders Folders;
    bool Wine;
    InstallerKind Kind = KindUnknown;  // which tool made the installer: the fixes are said in its words
    std::wstring Machine;              // its processor: "x86-64" or "x86"
    FirewallRecord Firewall;           // the rules it added
    // Found in it: the uninstall entry Kestrane would be started from.
    bool HasEntry;
    std::wstring AppName;          // the entry's key name
    std::wstring UninstallString;
    std::wstring RuleName;         // named by an accepted argument text, else empty
};
