// What a leftover makes Windows start, and when: the ones that start a removed program are broken.
#pragma once

#include "data/Snapshot.h"
#include "judge/CommandLine.h"

#include <string>
#include <vector>


// What the check reads of the registry: a value's type and data, or whether a key is there
// (ReadEntryNow, or a table in the tests).
typedef bool (*EntryReader)(const Entry &place, Entry *now);

// Whether the entry makes Windows start a program or load a DLL. content: the file's bytes for
// a file entry (a shortcut .lnk, a scheduled task's XML under System32\Tasks), empty otherwise.
// before: what a changed value held before the install, so that only the programs the installer
// added to a list count; NULL for a new one. read: for what else the launch point depends on,
// such as the server of the class a handler names, or the service's start type.
bool LaunchOf(const Entry &entry, const std::string &content, const Entry *before, EntryReader read, Launch *launch);



// When Windows starts a service of this Start type; empty for a disabled one.
std::wstring ServiceWhen(DWORD startType);

// Whether the value is the machine's or the user's Path, the folders Windows looks for programs in.
bool IsPathListValue(const Entry &value);
// The folders of a Path value's text, environment variables expanded, without quotes or a
// trailing backslash; empty parts dropped.
std::vector<std::wstring> FoldersOfPathList(const std::wstring &text);
