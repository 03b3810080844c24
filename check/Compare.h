// Two snapshots held against each other: what was added, changed and removed, and
// what of it is still there later.
#pragma once

#include "Snapshot.h"

#include <string>
#include <vector>

enum ChangeKind { ChangeAdded, ChangeChanged, ChangeRemoved };

struct Change {
    ChangeKind Kind;
    Entry Before;  // for a change or a removal
    Entry After;   // for an addition or a change
    const Entry &Place() const { return Kind == ChangeRemoved ? Before : After; }
};

// Both sorted by Order.
void CompareSnapshots(const std::vector<Entry> &before, const std::vector<Entry> &after,
                      std::vector<Change> *changes);

// The outermost change and the additions inside it: a new folder or key stands for
// everything new in it, a key for its values.
struct ChangeGroup {
    size_t Head;                  // index in the changes
    std::vector<size_t> Members;  // the head and every change inside it
};
void GroupChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups);

// The parts a list value gained: the texts between ";" (or a REG_MULTI_SZ's strings)
// that the installer added. Empty when the value is no list.
std::vector<std::wstring> AddedListParts(const Change &change);

enum LeftState { LeftGone, LeftPending, LeftThere };
// Whether what the change made is still there: an addition present, a changed value
// not back to what it was before. Pending: a file or folder the next restart deletes.
LeftState StateNow(const Change &change, const std::vector<std::wstring> &pendingPaths);
