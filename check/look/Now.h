// What the places the install changed hold now, read from the machine: the readers the
// judging room is handed.
#pragma once
#include "judge/Compare.h"
#include "judge/Leftovers.h"
#include "judge/Reinstall.h"

// Whether a program is there: 2 yes, 1 the next restart deletes it, 0 no.
int ProgramThere(const std::wstring &program, const std::vector<std::wstring> &pendingPaths);

// The machine itself, for what a leftover breaks.
const MachineReader &RealMachine();

// The state of each change, read now.
std::vector<LeftState> StatesNow(const std::vector<Change> &changes, const std::vector<std::wstring> &pendingPaths);

// Whether what the change made is still there, reading the place now.
LeftState StateNow(const Change &change, const std::vector<std::wstring> &pendingPaths);

// The changes whose place is as the install made it (read now): indices in changes.
std::vector<size_t> PlacesHeldNow(const std::vector<Change> &changes);
