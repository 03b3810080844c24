// The uninstall run: one straight sequence from the argument text to the exit code.
#pragma once

#include <windows.h>

#include "../target/Target.h"

// The texts of the program's boxes, all captioned Caption. The installer
// check quotes them from here.
extern const wchar_t Caption[];
extern const wchar_t MsgComFailed[];
extern const wchar_t MsgBadArguments[];
extern const wchar_t MsgAppRunning[];      // %s: the application name
extern const wchar_t MsgConfirm[];         // %s: the application name
extern const wchar_t MsgSystemFolders[];
extern const wchar_t MsgFirewall[];
extern const wchar_t MsgRegistry[];
extern const wchar_t MsgShortcuts[];
extern const wchar_t MsgFiles[];
extern const wchar_t MsgRestartQuestion[];
extern const wchar_t MsgRestartFailed[];
extern const wchar_t MsgDone[];

const size_t RunningTextSize = 256;

// What the run does with the argument text before it looks at anything:
// parses it into Target and composes the running message and the
// confirmation (RunningTextSize and MAX_PATH code units).
ArgumentsResult AcceptArgumentText(const wchar_t *argumentText, wchar_t *runningText, wchar_t *confirmText);

// Runs the whole uninstall and returns the process exit code:
// -1 COM unavailable, 0 done or cancelled, 1 an error was reported, 2 the application is running.
int RunUninstall(const wchar_t *argumentText);

// Shows a message box captioned "Kestrane", then ends the run's COM use.
void FinishWithMessage(const wchar_t *text, UINT style);
