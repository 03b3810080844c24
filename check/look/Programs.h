// The programs the check starts, and what it asks of the machine around them.
#pragma once

#include "BoxDriver.h"

#include <windows.h>

#include <string>
#include <vector>

// "x86-64", "x86", "arm64" or "another processor"; empty when path is no Windows program.
std::wstring MachineOf(const std::wstring &path);
bool IsWine();
// An administrator's token with its rights in force (elevated, where Windows asks).
bool IsElevated();

struct InstallerRun {
    bool Started;
    DWORD StartError;
    bool TimedOut;
    DWORD ExitCode;
    ULONGLONG Ms;
    std::vector<std::wstring> Boxes;  // each box it or a program it started showed: "caption: text"
    std::vector<std::wstring> Running;  // programs of the new installation it started, running when it ended
};
// Whether a file was there before the installer started (as the check's look then saw it).
typedef bool (*ExistedBefore)(const std::wstring &path, const void *context);

// Whether a process the installer started is the application running rather than the installer
// working: its program is a file that was not there before the installer started (the install
// made it), not one of the installer's own (InstallersOwnProgram), and not the installer itself.
// An unknown program is the installer's.
bool IsApplicationProgram(const std::wstring &image, const std::wstring &setup, bool existedBefore,
                          bool installersOwn);
// Where installers run their own copies and helpers: the temporary folders (and any other place
// the check skips), Windows Installer's folder of its packages' helpers; or a copy of the setup
// itself (copyOfSetup: the same size and content, wherever it was copied).
bool InstallersOwnProgram(const std::wstring &image, bool copyOfSetup);
// A process the application started (a helper of the agent's) is the application's too, however
// deep: marks each process of ids whose parent (parents[i]) is one of the application's.
void AddStartedByApplication(const std::vector<DWORD> &ids, const std::vector<DWORD> &parents,
                             std::vector<bool> *application);
// Whether the installer has ended: its own process has, and every process of its job still
// running is the application's (application[i] for the i-th).
bool InstallerEnded(bool setupEnded, const std::vector<bool> &application);

// Runs the installer with its arguments, each quoted as a program's arguments are, and
// waits for it and everything it starts to install, at most limitSeconds; given existed, not
// for the application it starts (IsApplicationProgram), which is left running. A box it shows
// is printed while the check waits: the check never answers an installer's box.
InstallerRun RunInstaller(const std::wstring &setup, const std::vector<std::wstring> &arguments,
                          DWORD limitSeconds, ExistedBefore existed = NULL, const void *context = NULL);

// The program of a running process, as a full path; empty when it cannot be read.
std::wstring ProgramOfProcess(DWORD id);
// Of the programs given (full paths), those running now, each once, in the order given.
std::vector<std::wstring> RunningAmong(const std::vector<std::wstring> &programs);

// Under Wine only: what a restart does to the machine's files (the deletions and renames
// pending for it), done by Wine's own boot program, as a restart of the prefix does. False
// when it did not end within the limit or could not be started.
bool RestartWinePrefix(DWORD limitSeconds);

// The processes whose boxes the check looks for while the installer runs: every process of
// its job (jobListed: the job could be asked), which holds what the installer started; else,
// without a job, the installer's own.
std::vector<DWORD> ProcessesToLookAt(bool jobListed, const std::vector<DWORD> &jobIds, DWORD firstProcess);

// Starts the command line as Windows' list of programs does and answers Kestrane's boxes:
// Cancel to the restart question, OK to everything else; interactive leaves them to the person.
void RunUninstall(const std::wstring &commandLine, DWORD limitSeconds, bool interactive, RunRecord *record);

// Whether the firewall holds a rule of the name: 1 yes, 0 no, -1 it cannot be asked.
int FirewallHasRule(const std::wstring &name);

// The text a program's runtime hands wWinMain from this command line: after the
// program's path (quotes toggle, a character up to U+0020 outside them ends it) and the
// characters up to U+0020 that follow.
std::wstring ArgumentTextOf(const std::wstring &commandLine);
// The program path Windows starts for a command line with no program named: for an
// unquoted one, each blank in turn ends the path tried (tried: every path it tries, in order).
std::wstring ProgramStartedBy(const std::wstring &commandLine, std::vector<std::wstring> *tried);
