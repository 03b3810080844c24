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

// Why an argument text is refused; the driver answers every reason with one
// message, and the installer check explains each.
enum ArgumentsResult {
    ArgumentsOk,
    ArgumentsTooLong,          // the argument text does not fit MAX_PATH
    ArgumentsIncomplete,       // fewer than two tokens
    ArgumentsNotAFolderName,   // the name holds a character no folder name can hold
    ArgumentsOnlyDotsAndBlanks,
    ArgumentsNameTooLong       // too long for the texts composed from it
};

// Fills AppName and FirewallRuleName from "App/Rule" or "App/NULL".
ArgumentsResult ParseArguments(const wchar_t *argumentText);

// The first character of name that keeps it from being a single folder name,
// or NULL.
const wchar_t *FindCharacterNoFolderNameHolds(const wchar_t *name);

// Resolves the three shell folders and composes the remaining fields.
ResolveResult ResolveTargetPaths();
