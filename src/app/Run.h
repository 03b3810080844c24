// The uninstall run: one straight sequence from the argument text to the exit code.
#pragma once

#include <windows.h>

// Runs the whole uninstall and returns the process exit code:
// -1 COM unavailable, 0 done or cancelled, 1 an error was reported, 2 the application is running.
int RunUninstall(const wchar_t *argumentText);

// Shows a message box captioned "Kestrane", then ends the run's COM use.
void FinishWithMessage(const wchar_t *text, UINT style);
