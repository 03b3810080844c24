// What a leftover makes Windows start, and when: the ones that start a removed program are broken.
#pragma once

#include "data/Snapshot.h"

#include <string>
#include <vector>

struct Launch {
    std::wstring Program;  // the program's full path, environment variables expanded, without quotes or arguments;
                           // for a DLL or a class's server, the file's path whole
    std::wstring When;     // when Windows tries it, e.g. "at every logon", "at the next logon", "at boot",
                           // "when the service starts", "on opening a file of type X",
                           // "when started by name", "when the shortcut is opened", "when the task's trigger fires",
                           // "when a program creates the class {id}", "each time a user right-clicks a file"
    bool Loads = false;    // Program is a DLL loaded into a program, not a program started
    std::wstring Class;    // for a handler: the class {id} it names, whose server Program is
    std::wstring Who = L"Windows";  // what tries it: "Windows", "Explorer", "the print spooler"
    std::wstring Host;     // the Windows program started to load or run Program ("rundll32", "cmd"), which then
                           // tries it; empty when Program is started itself
};

// What the check reads of the registry: a value's type and data, or whether a key is there
// (ReadEntryNow, or a table in the tests).
typedef bool (*EntryReader)(const Entry &place, Entry *now);

// Whether the entry makes Windows start a program or load a DLL. content: the file's bytes for
// a file entry (a shortcut .lnk, a scheduled task's XML under System32\Tasks), empty otherwise.
// before: what a changed value held before the install, so that only the programs the installer
// added to a list count; NULL for a new one. read: for what else the launch point depends on,
// such as the server of the class a handler names, or the service's start type.
bool LaunchOf(const Entry &entry, const std::string &content, const Entry *before, EntryReader read, Launch *launch);

// The program a command line starts, after environment variables are expanded: a quoted path;
// else, as Windows tries an unquoted one blank by blank, the text up to the first blank that
// follows a program's extension (.exe, .com, .bat, .cmd, .scr, .sys), or up to the first blank.
// Empty for an empty line.
std::wstring ProgramOfCommandLine(const std::wstring &commandLine);

// What a command line makes Windows start or load: the program it starts; or, when that program is
// a host (rundll32, regsvr32, cmd /c, powershell, wscript, cscript, mshta, java -jar), the file
// the host loads or runs, with Host and Who naming the host. False for an empty line.
bool LaunchOfCommandLine(const std::wstring &commandLine, Launch *launch);

// When Windows starts a service of this Start type; empty for a disabled one.
std::wstring ServiceWhen(DWORD startType);

// Whether the value is the machine's or the user's Path, the folders Windows looks for programs in.
bool IsPathListValue(const Entry &value);
// The folders of a Path value's text, environment variables expanded, without quotes or a
// trailing backslash; empty parts dropped.
std::vector<std::wstring> FoldersOfPathList(const std::wstring &text);
