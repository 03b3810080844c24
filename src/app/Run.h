// The uninstall run: one straight sequence from the argument text to the exit code.
#pragma once

#include "Target.h"

#include <windows.h>

// Shared with the stages for the whole process lifetime.
extern UninstallTarget Target;
extern DWORD RestartNeeded; // 1 once a deletion was deferred to the next restart

// Runs the whole uninstall and returns the process exit code:
// -1 COM unavailable, 0 done or cancelled, 1 an error was reported, 2 the application is running.
int RunUninstall(const wchar_t *argumentText);

// Shows a message box captioned "Kestrane", then ends the run's COM use.
void FinishWithMessage(const wchar_t *text, UINT style);
