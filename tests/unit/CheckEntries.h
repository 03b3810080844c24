// Snapshots made in the tests from a few entries: every folder and key they are in is added,
// up to a root ("C:", "HKLM", "HKCU").
#pragma once

#include "data/Snapshot.h"

#include <set>
#include <string>
#include <vector>

inline Snapshot Snap(std::vector<Entry> entries)
{
    std::set<std::wstring> held;
    for (const Entry &entry : entries)
        held.insert(entry.Kind == EntryValue ? L"" : Folded(entry.Path));
    for (size_t i = 0, count = entries.size(); i < count; i++)
        for (std::wstring path = entries[i].Kind == EntryValue ? entries[i].Path : ParentOf(entries[i].Path);
             !path.empty(); path = ParentOf(path))
            if (held.insert(Folded(path)).second)
                entries.push_back(MakeEntry(Folded(path).compare(0, 2, L"HK") == 0 ? EntryKey : EntryFolder, path));
    Snapshot snapshot;
    SnapshotOfEntries(entries, &snapshot);
    return snapshot;
}
