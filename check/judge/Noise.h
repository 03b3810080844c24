// What the machine changed by itself around the install, taken out of the install's changes, and
// the record of what each step took, and why.
#pragma once
#include "data/Snapshot.h"
#include "judge/Compare.h"

#include <string>
#include <vector>

// What the check took for the machine's own changes, and why, step by step.
struct NoiseRecord {
    size_t SettleSeconds = 0;
    // The places that changed between the two looks before the install, around the stand-in: the
    // outermost of them, as people read them.
    std::vector<std::wstring> SeenBefore;
    size_t ChangesBefore = 0;      // of the install's changes, taken for that
    bool StandInRan = false;
    unsigned long long StandInMs = 0;
    size_t WatchSeconds = 0;       // the bound
    size_t WatchedPlaces = 0;
    unsigned long long WatchedMs = 0;
    size_t PlacesWatched = 0;      // seen changing while watched
    size_t ChangesWatched = 0;     // of the install's changes, taken for that
    // The places each step took, as people read them.
    std::vector<std::wstring> TakenBefore, TakenWatched;
    // Programs of the new installation running after the install: the watch took nothing.
    std::vector<std::wstring> RunningWhileWatched;
};

// The looks before the install: the second, and what changed between the two by itself.
struct LooksBefore {
    Snapshot Before;
    std::vector<Change> ChangedBetween;
};

// The changes of the two looks before the install (first, then looks->Before), kept, and their
// places named in noise.
void SeeWhatChangesByItself(const Snapshot &first, LooksBefore *looks, NoiseRecord *noise);

// What the install changed (the look before it, then installed), less what is not the installer's:
// what changed by itself between the looks before it, shared places and twins; noise says what
// was taken.
std::vector<Change> InstallersChanges(const LooksBefore &looks, const Snapshot &installed, NoiseRecord *noise);
