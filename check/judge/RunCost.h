// What a whole run of the check may take, reckoned after its first look at the machine: a
// vendor's CI gives it a time budget, and a run that cannot keep it says so before it installs.
#pragma once

#include <windows.h>

// The bounds the run keeps to (its options), and what it has still to do.
struct RunBounds {
    DWORD LimitSeconds;    // each of the installer, the uninstall and the reinstall, and a restart of the prefix
    DWORD SettleSeconds;   // between the two looks before the install
    DWORD WatchSeconds;    // at most, after the install
    bool RestartsPrefix;   // under Wine: two restarts of the prefix (wineboot -r), each bounded too
    unsigned MoreLooks;    // whole looks still to come after the first
};

// What the first look cost, and what the whole run may take from its start.
struct LookCost {
    unsigned long long FirstMs = 0;  // the first look
    size_t Places = 0;               // files, folders, keys and values it saw
    unsigned MoreLooks = 0;
    unsigned LimitsAtMost = 0;       // bounded waits counted at their limit
    unsigned long long WorstMs = 0;  // the whole run at most, from its start
    DWORD BudgetSeconds = 0;         // --budget; 0: none given
};

// The stand-in ends by itself after 0.3 s: a few seconds for Windows to start it.
static const unsigned long long StandInAllowanceMs = 5000;

// The whole run's worst case, from its start: elapsedMs so far (the first look among it), each
// look to come as long as the first (the later ones find the drive's listing in memory), the
// settle, the stand-in, the watch, and every bounded wait at its limit.
LookCost ReckonRun(unsigned long long elapsedMs, unsigned long long firstLookMs, size_t places, const RunBounds &bounds,
                   DWORD budgetSeconds);
// Whether the run may take longer than the budget it was given.
bool OverBudget(const LookCost &cost);
