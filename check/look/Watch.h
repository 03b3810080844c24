// After the install, while nothing of the check's runs: whether what the install seems to
// have done keeps changing by itself. Windows' background writers (an indexer, a log that
// grows, a file named by the time) may land once in the install and not in the short look
// before it; watched for a while, they change again, and the installer is not blamed.
#pragma once

#include "judge/Compare.h"

#include <windows.h>

#include <string>
#include <vector>

struct WatchTarget {
    Entry Place;  // a place the install changed, or a folder or key whose names are watched
    bool Names;
};

// What to watch: each place the install changed (it was there before), and each folder or
// key, there before and not shared, in which it added or removed a file, folder or subkey. Places the
// install made itself are its own whatever they do later, and are never watched.
std::vector<WatchTarget> WatchTargets(const std::vector<Change> &changes);

// What a look sees of a target, as one text: its content, or the names in it.
typedef std::wstring (*TargetReader)(const WatchTarget &target);
std::wstring TargetNow(const WatchTarget &target);
// A place's content as read (ReadEntryNow, or a table in the tests): empty when it is gone.
std::wstring ContentNow(const Entry &place, bool (*read)(const Entry &place, Entry *now));

// Looks at the targets every stepMs for at most ms, and stops early once each has changed.
// What changed is noise. *watchedMs gets how long it watched.
Noise WatchForNoise(const std::vector<WatchTarget> &targets, DWORD ms, DWORD stepMs, TargetReader read,
                    unsigned long long *watchedMs);
