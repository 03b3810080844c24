// The uninstall target: the two names taken from the argument text and every
// path and key path composed from them, and the state the run shares with its
// stages for the whole process lifetime.
#pragma once

#include <windows.h>

struct UninstallTarget {
    wchar_t AppName[MAX_PATH];
    wchar_t FirewallRuleName[MAX_PATH];
    wchar_t ProgramFilesDir[MAX_PATH];
    wchar_t AppDir[MAX_PATH];
    wchar_t AppExePath[MAX_PATH];
    wchar_t AppHelpPath[MAX_PATH];
    wchar_t UninstallerExePath[MAX_PATH];
    wchar_t DesktopDir[MAX_PATH];
    wchar_t DesktopShortcutPath[MAX_PATH];
    wchar_t ProgramsDir[MAX_PATH];
    wchar_t StartMenuShortcutPath[MAX_PATH];
    wchar_t UserKeyPath[MAX_PATH];
    wchar_t UninstallKeyPath[MAX_PATH];
};

extern UninstallTarget Target;
// Cleared by the driver at start; set to 1 by the file stage once a deletion
// was deferred to the next restart.
extern DWORD RestartNeeded;

enum ResolveResult {
    ResolveOk,
    ResolveFolderFailed, // a shell folder could not be resolved
    ResolveTooLong       // a composed path would not fit its buffer
};

// Fills AppName and FirewallRuleName from "App/Rule" or "App/NULL". False for
// fewer than two tokens, an argument text that does not fit MAX_PATH, an
// application name that is not a single folder name, or one too long for
// its key paths.
bool ParseArguments(const wchar_t *argumentText);

// Resolves the three shell folders and composes the remaining fields.
ResolveResult ResolveTargetPaths();
