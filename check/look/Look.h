// Taking a snapshot of the machine, and reading one place of it now.
#pragma once
#include "data/Snapshot.h"

// The whole system drive and the registry keys installers write to, less the places in
// the skip list (Skipped.h). like, when given, is an earlier snapshot of the same machine:
// room is made for about as much at once, rather than grown by doubling.
void TakeSnapshot(Snapshot *snapshot, const Snapshot *like);

// What the entry's place holds now: false when it is gone. *now gets a value's type and
// data, a file's listing.
bool ReadEntryNow(const Entry &entry, Entry *now);

WatchedFolders FindWatchedFolders();
