// What a leftover makes Windows start, and when: the ones that start a removed program are broken.
#pragma once

#include "Snapshot.h"

#include <string>
#include <vector>

struct Launch {
    std::wstring Program;  // the program's full path, environment variables expanded, without quotes or arguments
    std::wstring When;     // when Windows tries it, e.g. "at every logon", "at the next logon", "at boot",
                           // "when the service starts", "on opening a file of type X",
                           // "when started by name", "when the shortcut is opened", "when the task's trigger fires"
};

// Whether the entry makes Windows start a program. content: the file's bytes for a file entry
// (a shortcut .lnk, a scheduled task's XML under System32\Tasks), empty for a registry value.
bool LaunchOf(const Entry &entry, const std::string &content, Launch *launch);

// The program a command line starts, after environment variables are expanded: a quoted path;
// else, as Windows tries an unquoted one blank by blank, the text up to the first blank that
// follows a program's extension (.exe, .com, .bat, .cmd, .scr, .sys), or up to the first blank.
// Empty for an empty line.
std::wstring ProgramOfCommandLine(const std::wstring &commandLine);

// When Windows starts a service of this Start type; empty for a disabled one.
std::wstring ServiceWhen(DWORD startType);

// Whether the value is the machine's or the user's Path, the folders Windows looks for programs in.
bool IsPathListValue(const Entry &value);
// The folders of a Path value's text, environment variables expanded, without quotes or a
// trailing backslash; empty parts dropped.
std::vector<std::wstring> FoldersOfPathList(const std::wstring &text);
