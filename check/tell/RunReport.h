// The run's own lines: each step hands what it saw, and every line of it is composed here,
// said as the run goes so that a long run shows its progress.
#pragma once
#include "judge/Compare.h"
#include "judge/InstallerKind.h"
#include "judge/Leftovers.h"
#include "judge/Reinstall.h"
#include "tell/JsonReport.h"

#include <windows.h>

#include <string>
#include <vector>

// What the run is doing, said as "still ..." while it takes long.
enum RunActivity { ActivityNone, ActivityLookingBefore, ActivityWaitingForStandIn, ActivityWaitingForInstaller,
                   ActivityLookingAtInstall, ActivityWatching, ActivityWaitingForUninstall, ActivityLookingAtWhatIsLeft,
                   ActivityRestartingPrefix, ActivityWaitingForReinstall };
void Doing(RunActivity activity);

// ---- The installer's file

struct SetupSeen {
    std::wstring Setup, Name;
    std::wstring Machine;  // "x86-64", "x86", another processor's name; empty for no Windows program
    InstallerKind Kind = KindUnknown;
    bool Wine = false;
};

// Why the check cannot run the installer here.
enum SetupRefusal { SetupMayRun, SetupMissing, SetupIsFolder, SetupNotWindows, SetupOtherProcessor,
                    SetupNo32BitSide, SetupNotElevated };
std::wstring SetupRefusalText(SetupRefusal refusal, const SetupSeen &setup);
// Its processor and kind; then where it is installed for real; then, for an unknown kind, the
// silent switch guessed.
void TellSetup(const SetupSeen &setup);
void TellInstalledForReal(bool wine);
void TellGuessedArguments();

// ---- The install and the looks around it

void TellInstalling(const std::wstring &name, const std::wstring &arguments);
// A box the installer shows while the check waits: the check never answers an installer's box.
void TellInstallerBox(const std::wstring &caption, const std::wstring &text);
// The three looks at the machine: how many places, how long each, how much memory.
void TellLooks(size_t places, const unsigned long long ms[3], size_t bytes);
// What changed between the two looks before the install, around the stand-in (aroundMs apart).
void TellChangedBefore(const NoiseRecord &noise, unsigned long long aroundMs);
// The watch after the install: skipped while a program of the installation runs, else what it took.
void TellNotWatched(const NoiseRecord &noise);
void TellWatched(const NoiseRecord &noise);
// How the installer ended; then, once the machine's own changes are taken out, what it changed, and
// the programs of the installation it left running.
void TellInstallEnd(const InstallRecord &install, DWORD limitSeconds);
void TellInstallChanges(const InstallRecord &install, const std::vector<Change> &changes,
                        const std::vector<ChangeGroup> &groups);
void TellNothingToUninstall(const std::wstring &setupName);
void TellInspecting();

// ---- The uninstall, and the looks after it

void TellUninstalling(const std::wstring &commandLine, bool interactive);
void TellAfterUninstall(bool foreseen);
// One line for each outermost change, broken ones first.
void TellLeftovers(const std::vector<Leftover> &leftovers);
void TellNothingLeft();
void TellStillRunning(const std::vector<std::wstring> &programs);
// The deletions and renames registered for the restart, as Windows keeps them (pairs of strings).
void TellPending(const std::vector<std::wstring> &pendingStrings);
void TellPrefixRestarting();
void TellPrefixNotRestarted(bool second);
void TellInstallingAgain(const std::wstring &name, const std::wstring &arguments, bool afterPrefixRestart);
void TellPendingNotPutBack(DWORD error);
void TellSecondPrefixRestart();
// The state kept for the run after the restart: where, or why not.
void TellStateKept(bool saved, DWORD error, const std::wstring &statePath, bool prefixRestarted);
void TellNothingInstalledAgain();

// ---- The installer started again before the restart

void TellReinstallNotStarted(DWORD error);
void TellReinstallNotInstalled(const ReinstallRecord &again);
void TellReinstalled(const ReinstallRecord &again, size_t changes);

// ---- After the restart (--after-restart)

void TellAfterRestart(bool prefix);
void TellLeftForGood(size_t forecast);

// ---- The end

// The summary, said and added to a hosted runner's job summary; the check's exit code.
enum LookWhen { WhenUninstalled, WhenPrefixRestarted, WhenRestarted };
int TellConclusion(const std::wstring &app, size_t left, size_t pending, LookWhen when);
// The report for machines, written where asked; a write that fails is said.
void WriteJsonReport(const std::wstring &path, const std::string &json);
// The check's exit code: code, or 2 when an output asked for could not be written, which it says.
int FinalExitCode(int code);
// What --after-restart says when there is no state to read.
std::wstring NoStateText(const std::wstring &path);
// What the check says when the installer cannot be started.
std::wstring CannotStartText(const std::wstring &setup, DWORD error);
