// How Windows reads a command line: the program it starts, the arguments it hands it, and
// what a host program (rundll32, cmd /c, powershell...) runs.
#pragma once
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

// The program a command line starts, after environment variables are expanded: a quoted path;
// else, as Windows tries an unquoted one blank by blank, the text up to the first blank that
// follows a program's extension (.exe, .com, .bat, .cmd, .scr, .sys), or up to the first blank.
// Empty for an empty line.
std::wstring ProgramOfCommandLine(const std::wstring &commandLine);

// What a command line makes Windows start or load: the program it starts; or, when that program is
// a host (rundll32, regsvr32, cmd /c, powershell, wscript, cscript, mshta, java -jar), the file
// the host loads or runs, with Host and Who naming the host. False for an empty line.
bool LaunchOfCommandLine(const std::wstring &commandLine, Launch *launch);

// The text a program's runtime hands wWinMain from this command line: after the
// program's path (quotes toggle, a character up to U+0020 outside them ends it) and the
// characters up to U+0020 that follow.
std::wstring ArgumentTextOf(const std::wstring &commandLine);

// Text without the blanks and tabs around it.
std::wstring Trimmed(const std::wstring &text);
// A path as a command line names it, without quotes or the blanks around it.
std::wstring Unquoted(const std::wstring &text);
// A task or a shortcut gives a host's arguments apart from the program: when launch's program
// is a host, the file it runs with those arguments.
void HostedByArguments(const std::wstring &arguments, Launch *launch);
