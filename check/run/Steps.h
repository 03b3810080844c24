// The check's steps, in the order the run takes them (Main.cpp): each reads the machine through
// the looking room, has what it read judged, and hands what it saw to the telling room.
#pragma once
#include "BoxDriver.h"
#include "judge/Inspection.h"
#include "run/Options.h"
#include "tell/JsonReport.h"
#include "tell/RunReport.h"

#include <string>

// What the check learns of the installer before it runs it, and of the run.
struct Check {
    SetupSeen Setup;
    std::wstring Arguments;  // the installer's, each after a blank, as the report shows them
    bool RestartsPrefix = false;  // under Wine, unless told to do as on Windows
    WatchedFolders Folders;
    DWORD Settle = 0;
    NoiseRecord Noise;
    InstallRecord Install = InstallRecord();
    // The places the install changed, as last read: each look after it reads them again.
    std::vector<AgainTarget> Again;
    std::vector<std::wstring> AgainRead;
    ULONGLONG StartedMs = 0;  // when the run began (GetTickCount64)
    bool OverBudget = false;  // stopped after the first look: the run may outlast --budget
};

// The installer's file, its processor and kind, and whether the check may run it here; the
// first lines of the report.
SetupRefusal LookAtSetup(Options *options, Check *check);
// Two looks at the machine around a stand-in for the installer, the installer, a look at what
// it changed: the changes, less what the machine changed by itself around the stand-in, less
// what Windows' own writers wrote; what it changed, read once more for the looks after it.
// False when the installer could not be started, or when the run may outlast --budget
// (check->OverBudget), said before anything is installed.
bool InstallAndLook(const Options &options, Check *check, Inspection *in, DWORD *startError);
// The stand-in's own run (--stand-in): what any program does when it starts, and nothing else.
int StandIn();

// The uninstall through the registered UninstallString, as Windows starts it.
void Uninstall(const Options &options, const Inspection &in, RunRecord *record);
// What the uninstall left, the install made again, and, under Wine, both seen after a restart
// of the prefix; what changed again by itself meanwhile is taken out of the install's changes.
// The check's exit code.
int LookAfterUninstall(const Options &options, Check *check, Inspection *in, const RunRecord &record);
// --after-restart: what the uninstall left for good, and the installation made again, seen.
// The check's exit code; ExitCannotRun without a state.
int CheckAfterRestart(const Options &options);

enum { ExitClean = 0, ExitFound = 1, ExitCannotRun = 2 };
