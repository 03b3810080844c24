// What an installer left, held against what Kestrane removes: one line per mistake,
// with what to change, and what Kestrane's own code says of the argument text.
#pragma once

#include "judge/Inspection.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"


// The install's changes in groups (GroupChanges), each product the installer chained besides the
// application's entry one group of its own (GroupChainedProducts).
void GroupInstallChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups);

// Sets the uninstall entry and says the findings of the install, before anything is
// uninstalled.
void InspectInstallation(Inspection *inspection, const MachineReader &machine, Said *said);

