// The application installed again after the uninstall and before the restart, as a user
// may do: what of that new installation the restart then deletes, since the deletions the
// uninstall registered still wait for it.
#pragma once

#include "judge/Compare.h"
#include "judge/InstallerKind.h"
#include "judge/Verdicts.h"

#include <string>
#include <vector>

struct ReinstallRecord {
    bool Started = false;
    bool TimedOut = false;
    DWORD ExitCode = 0;
    unsigned long long Ms = 0;
    // The changes of the first install that the new installation holds again (indices),
    // and what of it the restart deletes, in the restart's order.
    std::vector<size_t> Held;
    std::vector<std::wstring> Taken;
};

// Whether the installer, started again, installed anything: it ended, with exit code 0. An
// installer that asks for the restart first ends with another.
bool InstalledAgain(const ReinstallRecord &record);

// The same, from each change's place as it is now (present[i], now[i]): for the tests.
std::vector<size_t> PlacesHeld(const std::vector<Change> &changes, const std::vector<bool> &present,
                               const std::vector<Entry> &now);

// What the restart deletes of the files and folders there (present), going through the
// pending deletions in their order: a file, and a folder that the deletions before it
// emptied (Windows deletes no folder with anything in it).
std::vector<std::wstring> TakenByRestart(const std::vector<std::wstring> &pendingPaths,
                                         const std::vector<Entry> &present);
// The files and folders of the held changes.
std::vector<Entry> HeldFilesAndFolders(const std::vector<Change> &changes, const std::vector<size_t> &held);

// The problem's text: what the user loses, and what the installer of the kind should do.
std::wstring TakenProblem(const std::vector<std::wstring> &taken, InstallerKind kind, bool afterRestart);

// Whether the installation made again is whole, seen after the restart: gone, what of it is
// gone then. Says so; what is gone is a problem, counted once with the one foreseen; a loss
// foreseen that the restart did not cause is no longer counted.
void JudgeNewInstallation(const ReinstallRecord &again, const std::vector<std::wstring> &gone, InstallerKind kind, Said *said);

// The installer started again after the uninstall, judged: it did not end, or the restart takes
// what it installed.
void JudgeReinstall(const ReinstallRecord &again, DWORD limitSeconds, InstallerKind kind, Said *said);
// Of the installation made again before the restart, the places that are gone now (heldNow: the
// changes whose place is as the install made it, read now).
std::vector<std::wstring> GoneOfNewInstallation(const std::vector<Change> &changes, const ReinstallRecord &again,
                                                const std::vector<size_t> &heldNow);
