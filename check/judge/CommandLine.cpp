#include "judge/CommandLine.h"

#include "data/PathText.h"
#include "look/Environment.h"

#include <algorithm>

// An argument as a program's C runtime reads it: between blanks, quotes only grouping.
struct Argument {
    std::wstring Text;
    size_t Start, End;  // where it starts and ends in the arguments' text
};


std::wstring ArgumentTextOf(const std::wstring &commandLine)
{
    size_t at = 0;
    bool quoted = false;
    for (; at < commandLine.size(); at++) {
        if (!quoted && commandLine[at] <= L' ')
            break;
        if (commandLine[at] == L'"')
            quoted = !quoted;
    }
    while (at < commandLine.size() && commandLine[at] <= L' ')
        at++;
    return commandLine.substr(at);
}

std::wstring Trimmed(const std::wstring &text)
{
    size_t first = text.find_first_not_of(L" \t"), last = text.find_last_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

// A path never holds a quote: whatever quotes there are only delimit it.
std::wstring Unquoted(const std::wstring &text)
{
    std::wstring unquoted = text;
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), L'"'), unquoted.end());
    return Trimmed(unquoted);
}

static bool HasProgramExtension(const std::wstring &path)
{
    static const wchar_t *const Extensions[] = {L".exe", L".com", L".bat", L".cmd", L".scr", L".sys"};
    for (const wchar_t *extension : Extensions)
        if (EndsWith(path, extension))
            return true;
    return false;
}

// How a host's arguments name the file it loads or runs.
enum HostedForm {
    DllThenEntry,    // "dll,entry": quoted, or up to the comma
    FirstFile,       // the first argument that is no switch
    CommandAfterC,   // the command line after /c or /k, as cmd runs it
    PowerShellFile,  // -File's script, or the script a -Command (or the first argument) starts
    JarAfterSwitch   // the argument after -jar; a class name names no file
};

struct WindowsHost {
    const wchar_t *Name;      // the program's name, without its folder or extension
    HostedForm Form;
    const wchar_t *Switches;  // for FirstFile: how a switch starts, alternatives between blanks
    bool Loads;               // the host loads the file as a DLL, rather than running it
};

// Programs Windows starts only to have them load or run another file: the launch point is
// only as good as that file.
static const WindowsHost WindowsHosts[] = {
    {L"rundll32", DllThenEntry, L"", true},
    {L"regsvr32", FirstFile, L"/ -", true},
    {L"cmd", CommandAfterC, L"", false},
    {L"powershell", PowerShellFile, L"", false},
    {L"pwsh", PowerShellFile, L"", false},
    {L"wscript", FirstFile, L"//", false},
    {L"cscript", FirstFile, L"//", false},
    {L"mshta", FirstFile, L"", false},
    {L"java", JarAfterSwitch, L"", false},
    {L"javaw", JarAfterSwitch, L"", false},
};

static const WindowsHost *HostOf(const std::wstring &program)
{
    std::wstring name = LeafOf(program);
    if (EndsWith(name, L".exe"))
        name.resize(name.size() - 4);
    for (const WindowsHost &host : WindowsHosts)
        if (SameText(name, host.Name))
            return &host;
    return NULL;
}

// The program a command line starts, and the arguments that follow it.
static std::wstring ProgramAndArguments(const std::wstring &commandLine, std::wstring *arguments)
{
    std::wstring line = Trimmed(ExpandedText(commandLine)), program;
    size_t end = line.size();
    if (line.empty()) {
        arguments->clear();
        return line;
    }
    if (line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        program = line.substr(1, close - 1);
        end = close == std::wstring::npos ? line.size() : close + 1;
    } else {
        // Windows tries each blank in turn until a file is there; a host's name is one in System32.
        end = std::min(line.find_first_of(L" \t"), line.size());
        program = line.substr(0, end);
        std::wstring padded = HostOf(program) ? program + L" " : line + L" ";
        for (size_t blank = padded.find_first_of(L" \t"); blank != std::wstring::npos;
             blank = padded.find_first_of(L" \t", blank + 1))
            if (HasProgramExtension(padded.substr(0, blank))) {
                program = padded.substr(0, blank);
                end = std::min(blank, line.size());
                break;
            }
    }
    *arguments = Trimmed(line.substr(end));
    // CreateProcess does the same to a name without an extension.
    if (!program.empty() && LeafOf(program).find(L'.') == std::wstring::npos)
        program += L".exe";
    return program;
}

std::wstring ProgramOfCommandLine(const std::wstring &commandLine)
{
    std::wstring arguments;
    return ProgramAndArguments(commandLine, &arguments);
}

static std::vector<Argument> ArgumentsOf(const std::wstring &text)
{
    std::vector<Argument> arguments;
    for (size_t at = 0; at < text.size();) {
        if (text[at] == L' ' || text[at] == L'\t') {
            at++;
            continue;
        }
        Argument argument;
        argument.Start = at;
        bool quoted = false;
        for (; at < text.size() && (quoted || (text[at] != L' ' && text[at] != L'\t')); at++)
            if (text[at] == L'"')
                quoted = !quoted;
            else
                argument.Text += text[at];
        argument.End = at;
        arguments.push_back(argument);
    }
    return arguments;
}

static bool StartsWithAny(const std::wstring &text, const std::wstring &alternatives)
{
    for (const Argument &start : ArgumentsOf(alternatives))
        if (text.compare(0, start.Text.size(), start.Text) == 0)
            return true;
    return false;
}

// Whether the switch, without its - or /, is a shortening of the name PowerShell knows.
static bool ShortFor(const std::wstring &name, const wchar_t *full)
{
    return !name.empty() && name.size() <= wcslen(full) && SameText(name, std::wstring(full, name.size()));
}

// The script a PowerShell command starts: "& 'C:\x.ps1' -a", "C:\x.ps1"; empty for other commands.
static std::wstring ScriptOfPowerShellCommand(std::wstring command)
{
    command = Trimmed(command);
    if (command.size() > 1 && command[0] == L'"' && command.back() == L'"')
        command = Trimmed(command.substr(1, command.size() - 2));
    if (command.compare(0, 2, L"& ") == 0 || command.compare(0, 2, L". ") == 0)
        command = Trimmed(command.substr(2));
    if (!command.empty() && (command[0] == L'\'' || command[0] == L'"'))
        return command.substr(1, command.find(command[0], 1) - 1);
    return command.substr(0, command.find_first_of(L" \t;"));
}

static std::wstring PowerShellScript(const std::wstring &text)
{
    // The switches that take a value, as both PowerShells name them.
    static const wchar_t *const Valued[] = {L"ExecutionPolicy", L"ep", L"WindowStyle", L"Version", L"InputFormat",
                                            L"OutputFormat", L"PSConsoleFile", L"ConfigurationName",
                                            L"WorkingDirectory", L"wd", L"SettingsFile", L"CustomPipeName"};
    std::vector<Argument> arguments = ArgumentsOf(text);
    for (size_t i = 0; i < arguments.size(); i++) {
        const std::wstring &argument = arguments[i].Text;
        if (argument.empty() || (argument[0] != L'-' && argument[0] != L'/'))
            return ScriptOfPowerShellCommand(text.substr(arguments[i].Start));
        std::wstring name = argument.substr(argument.compare(0, 2, L"--") == 0 ? 2 : 1);
        if (ShortFor(name, L"File"))
            return i + 1 < arguments.size() ? arguments[i + 1].Text : L"";
        if (ShortFor(name, L"Command"))
            return i + 1 < arguments.size() ? ScriptOfPowerShellCommand(text.substr(arguments[i].End)) : L"";
        for (const wchar_t *valued : Valued)
            if (ShortFor(name, valued)) {
                i++;
                break;
            }
    }
    return L"";
}

// What cmd's start runs: past its switches (/D takes a folder) and its first quoted argument, the title.
static std::wstring CommandOfStart(const std::wstring &command)
{
    std::vector<Argument> arguments = ArgumentsOf(command);
    if (arguments.empty() || !SameText(arguments[0].Text, L"start"))
        return command;
    bool titled = false;
    for (size_t i = 1; i < arguments.size(); i++) {
        bool title = !titled && command[arguments[i].Start] == L'"';
        if (!title && arguments[i].Text.compare(0, 1, L"/") != 0)
            return command.substr(arguments[i].Start);
        titled = titled || title;
        if (SameText(arguments[i].Text, L"/d"))
            i++;
    }
    return L"";
}

// The command line cmd runs after /c or /k: with more than two quotes, cmd drops the first and the last.
static std::wstring CommandOfCmd(const std::wstring &text)
{
    std::vector<Argument> arguments = ArgumentsOf(text);
    for (const Argument &argument : arguments)
        if (SameText(argument.Text, L"/c") || SameText(argument.Text, L"/k")) {
            std::wstring command = Trimmed(text.substr(argument.End));
            if (!command.empty() && command[0] == L'"' && std::count(command.begin(), command.end(), L'"') > 2) {
                command.erase(0, 1);
                command.erase(command.rfind(L'"'), 1);
            }
            return CommandOfStart(command);
        }
    return L"";
}

static std::wstring HostedText(const WindowsHost &host, const std::wstring &text)
{
    std::vector<Argument> arguments = ArgumentsOf(text);
    switch (host.Form) {
    case DllThenEntry:
        if (!text.empty() && text[0] == L'"')
            return text.substr(1, text.find(L'"', 1) - 1);
        return Trimmed(text.substr(0, text.find(text.find(L',') != std::wstring::npos ? L',' : L' ')));
    case FirstFile:
        for (const Argument &argument : arguments)
            if (!StartsWithAny(argument.Text, host.Switches))
                return argument.Text;
        return L"";
    case CommandAfterC: return CommandOfCmd(text);
    case PowerShellFile: return PowerShellScript(text);
    case JarAfterSwitch:
        for (size_t i = 0; i + 1 < arguments.size(); i++)
            if (arguments[i].Text == L"-jar")
                return arguments[i + 1].Text;
        return L"";
    }
    return L"";
}

// A file's path, not a URL or a script in a link: its one colon after the drive letter.
static bool IsFilePath(const std::wstring &text)
{
    size_t colon = text.find(L':');
    return text.find(L'\\') != std::wstring::npos && (colon == std::wstring::npos || colon == 1);
}

static bool CommandLineLaunch(const std::wstring &commandLine, int depth, Launch *launch)
{
    std::wstring arguments, program = ProgramAndArguments(commandLine, &arguments);
    if (program.empty())
        return false;
    launch->Program = program;
    const WindowsHost *host = HostOf(program);
    if (host == NULL || depth > 3)
        return true;
    std::wstring hosted = HostedText(*host, arguments);
    Launch inner = *launch;
    // What cmd runs is a command line of its own, perhaps another host's.
    if (host->Form == CommandAfterC) {
        if (!CommandLineLaunch(hosted, depth + 1, &inner))
            return true;
        if (!inner.Host.empty()) {
            *launch = inner;
            return true;
        }
        hosted = inner.Program;
    }
    hosted = Unquoted(hosted);
    if (!IsFilePath(hosted))
        return true;
    launch->Program = hosted;
    launch->Host = host->Name;
    launch->Who = host->Name;
    launch->Loads = host->Loads;
    return true;
}

bool LaunchOfCommandLine(const std::wstring &commandLine, Launch *launch)
{
    Launch found = *launch;
    found.Host.clear();
    if (!CommandLineLaunch(commandLine, 0, &found))
        return false;
    *launch = found;
    return true;
}

// A task or a shortcut gives a host's arguments apart from the program.
void HostedByArguments(const std::wstring &arguments, Launch *launch)
{
    if (HostOf(launch->Program))
        LaunchOfCommandLine(L"\"" + launch->Program + L"\" " + arguments, launch);
}
