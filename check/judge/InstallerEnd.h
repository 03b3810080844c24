// Whether an installer has ended: which of the processes it started are the application
// running rather than the installer working.
#pragma once
#include "judge/Compare.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"

#include <windows.h>

#include <string>
#include <vector>

// Whether a process the installer started is the application running rather than the installer
// working: its program is a file that was not there before the installer started (the install
// made it), not one of the installer's own (InstallersOwnProgram), and not the installer itself.
// An unknown program is the installer's.
bool IsApplicationProgram(const std::wstring &image, const std::wstring &setup, bool existedBefore,
                          bool installersOwn);

// Where installers run their own copies and helpers: the temporary folders (and any other place
// the check skips), Windows Installer's folder of its packages' helpers; or a copy of the setup
// itself (copyOfSetup: the same size and content, wherever it was copied). The image is taken in
// its long form (machine.LongPath), as the tables name those places.
bool InstallersOwnProgram(const std::wstring &image, bool copyOfSetup, const MachineReader &machine);

// A process the application started (a helper of the agent's) is the application's too, however
// deep: marks each process of ids whose parent (parents[i]) is one of the application's.
void AddStartedByApplication(const std::vector<DWORD> &ids, const std::vector<DWORD> &parents,
                             std::vector<bool> *application);

// Whether the installer has ended: its own process has, and every process of its job still
// running is the application's (application[i] for the i-th).
bool InstallerEnded(bool setupEnded, const std::vector<bool> &application);

// The processes whose boxes the check looks for while the installer runs: every process of
// its job (jobListed: the job could be asked), which holds what the installer started; else,
// without a job, the installer's own.
std::vector<DWORD> ProcessesToLookAt(bool jobListed, const std::vector<DWORD> &jobIds, DWORD firstProcess);

// The installer's end, judged: it did not end within the limit, or ended with an exit code
// other than 0. arguments: as given to it, each after a blank.
void JudgeInstallerEnd(bool timedOut, DWORD exitCode, DWORD limitSeconds, const std::wstring &arguments, Said *said);
// The programs the install added: what may run as the application.
std::vector<std::wstring> ProgramsAdded(const std::vector<Change> &changes);
