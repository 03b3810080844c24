// What is left of the install after the uninstall, group by group: left, pending (the
// next restart deletes it), removed, or broken (it makes Windows start a program, or
// names a folder, that the uninstall removed).
#pragma once

#include "judge/Compare.h"
#include "judge/FirewallRules.h"
#include "judge/LaunchPoints.h"
#include "judge/MachineReader.h"

#include <string>
#include <vector>

enum LeftoverState { LeftoverRemoved, LeftoverPending, LeftoverLeft, LeftoverBroken };

struct Leftover {
    size_t Group;
    LeftoverState State;
    size_t Inside;       // changes inside the head
    size_t InsideLeft;   // of them, still there or pending
    std::wstring Place;  // the head as people read it
    std::wstring Breaks; // for a broken one: what fails, and when
    std::wstring Program;
    std::wstring When;
    size_t Files = 0;      // for files named by a pattern: how many, and how many still there or pending
    size_t FilesLeft = 0;
    // A product the installer chained (Place names it): Inside counts all it owns, its entry too.
    bool Product = false;
};

// A group's state from its head's and its members' states: a container is gone only with
// everything in it; pending only when nothing of it stays past the restart.
LeftoverState GroupState(LeftState head, const std::vector<LeftState> &inside, size_t *insideLeft);




// What a left place breaks, given what it starts (launch) and whether that program is
// there; empty when it breaks nothing.
std::wstring BreakOf(const Entry &place, const Launch &launch, int programThere);
// A changed Path list's added folders that are gone; empty when none. goneFolders: those
// folders, as a Path lists them.
std::wstring BrokenPathParts(const Change &change, ProgramCheck there, const std::vector<std::wstring> &pendingPaths,
                             std::wstring *goneFolders = NULL);
// When a Path folder that is gone is looked in.
extern const wchar_t PathSearchWhen[];

// Every group that the install added or changed, from the state of each change (states[i]
// for changes[i]), broken ones first.
void AssessLeftovers(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                     const std::vector<LeftState> &states, const std::vector<std::wstring> &pendingPaths,
                     const MachineReader &machine, std::vector<Leftover> *leftovers);
// How many of them are left (broken ones among them), and how many wait for the restart.
size_t CountLeft(const std::vector<Leftover> &leftovers, size_t *pending);

// One look at what is left of the install, from the state of each change, and the firewall
// rules it added that are left.
struct LeftoverLook {
    std::vector<Leftover> Leftovers;
    RulesLook Rules;
    size_t Left = 0, Pending = 0;
};
// The look with the rules left: each name of them one item left.
void AddRulesLeft(LeftoverLook *look, const RulesLook &rules);
LeftoverLook LookAtLeftovers(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                             const std::vector<LeftState> &states, const std::vector<std::wstring> &pendingPaths,
                             const MachineReader &machine);
