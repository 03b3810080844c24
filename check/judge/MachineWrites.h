// What the machine wrote while the check ran, and not the installer: what Windows writes by
// itself (the table of look/WindowsWriters.h), and what changed again after the install where
// neither Kestrane nor the uninstall writes. Nothing is waited for: the places the install
// changed are read again at the looks the run takes anyway. Each place taken is named.
#pragma once

#include "judge/Compare.h"
#include "judge/Inspection.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"

#include <string>
#include <vector>

// The places a step took, as people read them, outermost first; each with why.
struct TakenPlaces {
    std::vector<std::wstring> Places, Reasons;
};

// Takes out of the install's changes those Windows' own writers made, and names each place with
// its writer's reason. A write inside a folder or key the install made or removed whole, which
// is no writer's own, stays the installer's. How many changes it took.
size_t ForgetWindowsWrites(std::vector<Change> *changes, TakenPlaces *taken);

// A place read again: a place the install changed (its content), or a folder or key, there before
// and not shared, where it added or removed something (the names in it).
struct AgainTarget {
    Entry Place;
    bool Names;
};
// What to read again. The places the install made itself are its own whatever they do later,
// and the list of deletions pending for the restart is Kestrane's to write: neither is read.
std::vector<AgainTarget> AgainTargets(const std::vector<Change> &changes);
// A place's content as one text: a value's type and data, a file's size, time and attributes.
std::wstring ContentText(const Entry &place);

// What changed between two readings of the targets (was, now: ContentText, or the names one a
// line; empty for a place gone), where neither Kestrane nor the uninstall writes. Both only
// delete: a place gone, or back as it was before the install, is theirs; so are the names of
// the install's own changes in a folder. A list the installer added to stays its own.
Noise ChangedAgain(const std::vector<AgainTarget> &targets, const std::vector<std::wstring> &was,
                   const std::vector<std::wstring> &now, const std::vector<Change> &changes);

// The problems the inspection said that it would not say of the installation without the
// changes taken since (now): no longer counted.
void WithdrawProblemsOfTaken(const Inspection &was, const Inspection &now, const MachineReader &machine, Said *said);
