// The programs the check starts: the installer, the uninstall, Wine's boot program.
#pragma once
#include "BoxDriver.h"

#include <windows.h>

#include <string>
#include <vector>

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

// Runs the installer with its arguments, each quoted as a program's arguments are, and
// waits for it and everything it starts to install, at most limitSeconds; given existed, not
// for the application it starts (IsApplicationProgram), which is left running. A box it shows
// is printed while the check waits: the check never answers an installer's box.
InstallerRun RunInstaller(const std::wstring &setup, const std::vector<std::wstring> &arguments,
                          DWORD limitSeconds, ExistedBefore existed = NULL, const void *context = NULL);

// Under Wine only: what a restart does to the machine's files (the deletions and renames
// pending for it), done by Wine's own boot program, as a restart of the prefix does. False
// when it did not end within the limit or could not be started.
bool RestartWinePrefix(DWORD limitSeconds);

// Starts the command line as Windows' list of programs does and answers Kestrane's boxes:
// Cancel to the restart question, OK to everything else; interactive leaves them to the person.
void RunUninstall(const std::wstring &commandLine, DWORD limitSeconds, bool interactive, RunRecord *record);
