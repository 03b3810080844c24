// The registry half of a snapshot: every key under a root with its values, in the 64-bit
// view; a key reached through a registry link is noted but not walked again.
#pragma once

#include "data/Snapshot.h"

// Adds the key tree under keyPath ("HKLM\SOFTWARE", "HKCU") to the snapshot.
void WalkKeys(const std::wstring &keyPath, Snapshot *snapshot);

// A key or a value now; false when it is gone. For a value, *now gets its type and data.
bool ReadKeyNow(const Entry &entry, Entry *now);
