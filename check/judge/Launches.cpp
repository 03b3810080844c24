#include "judge/Launches.h"

#include "judge/Compare.h"

#include <algorithm>
#include <iterator>

#include <string.h>
#include <wctype.h>

// The machine's first: its two views are <Machine> in the launch points.
static const wchar_t *const SoftwareRoots[] = {L"HKLM\\SOFTWARE", L"HKLM\\SOFTWARE\\WOW6432Node", L"HKCU\\Software"};
// The 32-bit views first: a key in one is also inside the 64-bit root it lies under.
static const wchar_t *const ClassesRoots[] = {L"HKLM\\SOFTWARE\\Classes\\WOW6432Node", L"HKCU\\Software\\Classes\\WOW6432Node",
                                              L"HKLM\\SOFTWARE\\WOW6432Node\\Classes", L"HKLM\\SOFTWARE\\Classes",
                                              L"HKCU\\Software\\Classes"};
static const wchar_t ServicesKey[] = L"HKLM\\SYSTEM\\CurrentControlSet\\Services";

static std::wstring Expanded(const std::wstring &text)
{
    DWORD length = ExpandEnvironmentStringsW(text.c_str(), NULL, 0);
    std::wstring expanded(length, L'\0');
    length = length == 0 ? 0 : ExpandEnvironmentStringsW(text.c_str(), &expanded[0], length);
    if (length == 0 || length > expanded.size())
        return text;
    expanded.resize(length - 1);
    return expanded;
}

static std::wstring Trimmed(const std::wstring &text)
{
    size_t first = text.find_first_not_of(L" \t"), last = text.find_last_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

// A path never holds a quote: whatever quotes there are only delimit it.
static std::wstring Unquoted(const std::wstring &text)
{
    std::wstring unquoted = text;
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), L'"'), unquoted.end());
    return Trimmed(unquoted);
}

static std::wstring WideOfUnits(const char *bytes, size_t units)
{
    std::wstring text(units, L'\0');
    if (units > 0)
        memcpy(&text[0], bytes, units * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

static std::wstring WideOfCodePage(UINT codePage, const char *bytes, size_t count)
{
    int length = count == 0 ? 0 : MultiByteToWideChar(codePage, 0, bytes, (int)count, NULL, 0);
    if (length <= 0)
        return L"";
    std::wstring text(length, L'\0');
    MultiByteToWideChar(codePage, 0, bytes, (int)count, &text[0], length);
    return text.substr(0, text.find(L'\0'));
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
    std::wstring line = Trimmed(Expanded(commandLine)), program;
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

// An argument as a program's C runtime reads it: between blanks, quotes only grouping.
struct Argument {
    std::wstring Text;
    size_t Start, End;  // where it starts and ends in the arguments' text
};

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

std::wstring ServiceWhen(DWORD startType)
{
    switch (startType) {
    case SERVICE_BOOT_START:
    case SERVICE_SYSTEM_START: return L"at boot";
    case SERVICE_AUTO_START: return L"at every startup";
    case SERVICE_DEMAND_START: return L"when the service is started";
    default: return L"";
    }
}

// Drivers name their file as the kernel does, or relative to the Windows folder.
static std::wstring ServiceProgram(const std::wstring &imagePath)
{
    std::wstring program = ProgramOfCommandLine(imagePath), windows = Expanded(L"%SystemRoot%");
    if (program.compare(0, 4, L"\\??\\") == 0 || program.compare(0, 4, L"\\\\?\\") == 0)
        program.erase(0, 4);
    if (IsInside(program, L"\\SystemRoot"))
        return windows + program.substr(11);
    bool absolute = (program.size() > 1 && program[1] == L':') || program.compare(0, 1, L"\\") == 0;
    if (!absolute && program.find(L'\\') != std::wstring::npos)
        return windows + L"\\" + program;
    return program;
}

// Little-endian, only when the bytes are all there.
static bool NumberAt(const std::string &bytes, size_t at, size_t width, DWORD *number)
{
    if (at > bytes.size() || bytes.size() - at < width)
        return false;
    *number = 0;
    for (size_t i = 0; i < width; i++)
        *number |= (DWORD)(unsigned char)bytes[at + i] << (8 * i);
    return true;
}

// A null-terminated text that starts at `at` and ends before `end`.
static bool TextAt(const std::string &bytes, size_t at, size_t end, bool wide, std::wstring *text)
{
    size_t unit = wide ? 2 : 1;
    for (size_t i = at; i + unit <= end; i += unit)
        if (bytes[i] == 0 && (!wide || bytes[i + 1] == 0)) {
            *text = wide ? WideOfUnits(bytes.data() + at, (i - at) / 2) : WideOfCodePage(CP_ACP, bytes.data() + at, i - at);
            return true;
        }
    return false;
}

enum LinkFlag {
    HasLinkTargetIDList = 0x1, HasLinkInfo = 0x2, HasName = 0x4, HasArguments = 0x20, HasIconLocation = 0x40, IsUnicode = 0x80,
    ForceNoLinkInfo = 0x100, HasExpString = 0x200
};

// The target a shell link names: its expandable target, else the local path of its LinkInfo.
static bool ShortcutTarget(const std::string &bytes, std::wstring *target, std::wstring *arguments)
{
    static const unsigned char LinkClsid[16] = {1, 0x14, 2, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    DWORD headerSize = 0, flags = 0, size = 0;
    if (!NumberAt(bytes, 0, 4, &headerSize) || headerSize != 0x4C || bytes.size() < 0x4C
        || memcmp(bytes.data() + 4, LinkClsid, sizeof LinkClsid) != 0 || !NumberAt(bytes, 20, 4, &flags))
        return false;
    size_t at = 0x4C;
    if (flags & HasLinkTargetIDList) {
        if (!NumberAt(bytes, at, 2, &size))
            return false;
        at += 2 + size;
    }
    std::wstring local, expandable;
    if (flags & HasLinkInfo) {
        DWORD infoHeaderSize = 0, infoFlags = 0, baseAt = 0, suffixAt = 0;
        if (!NumberAt(bytes, at, 4, &size) || size < 0x1C || size > bytes.size() - at)
            return false;
        size_t end = at + size;
        NumberAt(bytes, at + 4, 4, &infoHeaderSize);
        NumberAt(bytes, at + 8, 4, &infoFlags);
        bool wide = infoHeaderSize >= 0x24 && size >= 0x24;
        NumberAt(bytes, at + (wide ? 0x1C : 0x10), 4, &baseAt);
        NumberAt(bytes, at + (wide ? 0x20 : 0x18), 4, &suffixAt);
        std::wstring suffix;
        if ((infoFlags & 1) && !(flags & ForceNoLinkInfo)) {
            if (!TextAt(bytes, at + baseAt, end, wide, &local) || !TextAt(bytes, at + suffixAt, end, wide, &suffix))
                return false;
            if (!suffix.empty() && !local.empty() && local.back() != L'\\')
                local += L'\\';
            local += suffix;
        }
        at = end;
    }
    size_t unit = (flags & IsUnicode) ? 2 : 1;
    // The strings only lie between LinkInfo and the extra data.
    for (DWORD flag = HasName; flag <= HasIconLocation; flag <<= 1) {
        if (!(flags & flag))
            continue;
        if (!NumberAt(bytes, at, 2, &size) || size * unit > bytes.size() - at - 2)
            return false;
        if (flag == HasArguments)
            *arguments = unit == 2 ? WideOfUnits(bytes.data() + at + 2, size) : WideOfCodePage(CP_ACP, bytes.data() + at + 2, size);
        at += 2 + size * unit;
    }
    // Extra data blocks until the terminal block, smaller than any block.
    while (at < bytes.size()) {
        DWORD signature = 0;
        if (!NumberAt(bytes, at, 4, &size))
            return false;
        if (size < 4)
            break;
        if (size < 8 || size > bytes.size() - at)
            return false;
        NumberAt(bytes, at + 4, 4, &signature);
        if ((flags & HasExpString) && signature == 0xA0000001 && size >= 0x314) {
            TextAt(bytes, at + 0x10C, at + 0x314, true, &expandable);
            if (expandable.empty())
                TextAt(bytes, at + 8, at + 0x10C, false, &expandable);
            break;
        }
        at += size;
    }
    if ((flags & HasExpString) && expandable.empty())
        return false;  // the block the flag promises is cut off
    *target = expandable.empty() ? local : Expanded(expandable);
    return !target->empty();
}

// A task or a shortcut gives a host's arguments apart from the program.
static void HostedByArguments(const std::wstring &arguments, Launch *launch)
{
    if (HostOf(launch->Program))
        LaunchOfCommandLine(L"\"" + launch->Program + L"\" " + arguments, launch);
}

// Task files are UTF-16 as Windows writes them, UTF-8 as some installers copy them in.
static std::wstring TextOfTaskFile(const std::string &content)
{
    if (content.size() >= 2 && (unsigned char)content[0] == 0xFF && (unsigned char)content[1] == 0xFE)
        return WideOfUnits(content.data() + 2, (content.size() - 2) / 2);
    if (content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return WideOfCodePage(CP_UTF8, content.data() + 3, content.size() - 3);
    if (content.size() >= 2 && content[0] != 0 && content[1] == 0)
        return WideOfUnits(content.data(), content.size() / 2);
    return WideOfCodePage(CP_UTF8, content.data(), content.size());
}

static std::wstring XmlDecoded(const std::wstring &text)
{
    static const struct { const wchar_t *Name; wchar_t Character; } Entities[] = {
        {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
    std::wstring decoded;
    for (size_t i = 0; i < text.size(); i++) {
        size_t semicolon = text[i] == L'&' ? text.find(L';', i) : std::wstring::npos;
        std::wstring name = semicolon == std::wstring::npos ? L"" : text.substr(i + 1, semicolon - i - 1);
        wchar_t character = 0;
        for (const auto &entity : Entities)
            if (name == entity.Name)
                character = entity.Character;
        if (name.size() > 1 && name[0] == L'#')
            character = (wchar_t)wcstoul(name.c_str() + (name[1] == L'x' ? 2 : 1), NULL, name[1] == L'x' ? 16 : 10);
        decoded += character ? character : text[i];
        if (character)
            i = semicolon;
    }
    return decoded;
}

static bool TaskLaunch(const std::string &content, Launch *launch)
{
    std::wstring xml = TextOfTaskFile(content);
    size_t exec = xml.find(L"<Exec");  // <ExecutionTimeLimit> too: it holds no Command
    if (exec == std::wstring::npos)
        return false;
    size_t execEnd = xml.find(L"</Exec>", exec), open = xml.find(L"<Command>", exec);
    size_t close = open == std::wstring::npos ? open : xml.find(L"</Command>", open);
    if (close == std::wstring::npos || (execEnd != std::wstring::npos && close > execEnd))
        return false;
    launch->Program = Unquoted(Expanded(XmlDecoded(xml.substr(open + 9, close - open - 9))));
    size_t arguments = xml.find(L"<Arguments>", exec), argumentsEnd = xml.find(L"</Arguments>", exec);
    if (arguments != std::wstring::npos && argumentsEnd != std::wstring::npos && argumentsEnd < execEnd)
        HostedByArguments(XmlDecoded(xml.substr(arguments + 11, argumentsEnd - arguments - 11)), launch);
    launch->When = xml.find(L"<LogonTrigger") != std::wstring::npos ? L"at every logon"
        : xml.find(L"<BootTrigger") != std::wstring::npos         ? L"at boot"
                                                                  : L"when the task's trigger fires";
    return true;
}

// ---- Launch points of the registry

// How a launch point's value names what Windows starts or loads.
enum PathForm {
    CommandLine,      // a command line: the program it starts
    FilePath,         // a file's path whole, blanks and all: unquoted, expanded, nothing added
    ServiceImage,     // a service's image, perhaps a driver's path as the kernel writes it
    SystemFile,       // a file's path; a bare name is in System32
    ProgramList,      // command lines between commas: only those the installer added
    DllList,          // DLLs between commas or blanks: only those the installer added
    RunOnceExEntry,   // "dll|function|arguments", or "||command line"
    PackedPath,       // binary, an ANSI path at its start
    ClassInData,      // the text is a class {id}: what Windows loads is the class's server
    ClassInName,      // the value's name is a class {id}
    ClassInKey,       // the key's own name is a class {id}
    ClassInDataOrKey  // the default value is a class {id}; else the key's own name, when it is one
};

// What else decides whether, and when, Windows uses the launch point.
enum LaunchGate {
    Always,
    ServiceStarts,   // the service's start type says when; a disabled one never starts
    UrlProtocol,     // only for a type with a `URL Protocol` value: a link's scheme
    FileType,        // only for a type without one
    AppInitOn,       // unless LoadAppInit_DLLs turns them off (Windows 7 and later)
    ExecuteHooksOn,  // only when the policy turns them on (Windows Vista and later)
    View32           // only for a key of a 32-bit view
};

struct LaunchPoint {
    const wchar_t *Key;    // <Software>, <Machine> and <Classes> stand for each of their roots; a part
                           // ending in * matches a key whose name starts with the rest; ** one or more keys
    const wchar_t *Value;  // the value's name, "*" any; NULL: the key itself
    PathForm Path;
    bool Loads;            // a DLL, not a program; a class's server says for itself
    const wchar_t *Who;    // what tries it
    const wchar_t *When;   // %1: what the first * or ** matched; %2: the same as the item a user clicks
    LaunchGate Gate;
};

// Where Windows finds what to start or load, after the categories autostart viewers list. Not
// here: RunServices and RunServicesOnce, which no Windows of the NT line reads.
static const LaunchPoint LaunchPoints[] = {
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\Run", L"*", CommandLine, false, L"Windows", L"at every logon", Always},
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", L"*", CommandLine, false, L"Windows", L"at every logon", Always},
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"*", CommandLine, false, L"Windows", L"at the next logon", Always},
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\*", L"*", RunOnceExEntry, false, L"Windows", L"at the next logon", Always},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Userinit", ProgramList, false, L"Windows", L"at every logon", Always},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell", ProgramList, false, L"Windows", L"at every logon, as the desktop", Always},
    {L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell", ProgramList, false, L"Windows", L"at every logon, as the desktop", Always},
    {L"<Machine>\\Microsoft\\Active Setup\\Installed Components\\*", L"StubPath", CommandLine, false, L"Windows", L"at the next logon of each user", Always},
    {L"<Machine>\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\GPExtensions\\*", L"DllName", FilePath, true, L"Windows", L"each time group policy is applied, at startup and at every logon", Always},
    {L"<Software>\\Microsoft\\Command Processor", L"AutoRun", CommandLine, false, L"Windows", L"each time a command prompt starts", Always},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\*", L"ImagePath", ServiceImage, false, L"Windows", L"when the service starts", ServiceStarts},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\*\\Parameters", L"ServiceDll", FilePath, true, L"Windows", L"when the service starts", ServiceStarts},
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\App Paths\\*", L"", FilePath, false, L"Windows", L"when started by name", Always},
    {L"<Machine>\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\*", L"Debugger", CommandLine, false, L"Windows", L"in place of %1, each time it is started", Always},
    {L"<Machine>\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs", DllList, true, L"Windows", L"in every program that loads user32.dll", AppInitOn},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCertDlls", L"*", FilePath, true, L"Windows", L"in every program that starts another", Always},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\*", L"Driver", SystemFile, true, L"Windows", L"each time the print spooler starts", Always},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\*", L"Name", SystemFile, true, L"Windows", L"each time the print spooler starts", Always},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries*\\*", L"LibraryPath", FilePath, true, L"Windows", L"each time a program looks up a name on the network", Always},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries*\\*", L"PackedCatalogItem", PackedPath, true, L"Windows", L"each time a program opens a network connection", Always},
    // A 32-bit DLL loads only into a 32-bit program; a 64-bit program starts a 32-bit local server
    // when the class has no 64-bit one (COM's PreferredServerBitness default).
    {L"<Classes>\\CLSID\\*\\InprocServer32", L"", FilePath, true, L"Windows", L"when a 32-bit program creates the class %1", View32},
    {L"<Classes>\\CLSID\\*\\LocalServer32", L"", CommandLine, false, L"Windows", L"when a 32-bit program creates the class %1, or a 64-bit one that finds no 64-bit server", View32},
    {L"<Classes>\\CLSID\\*\\InprocServer32", L"", FilePath, true, L"Windows", L"when a program creates the class %1", Always},
    {L"<Classes>\\CLSID\\*\\LocalServer32", L"", CommandLine, false, L"Windows", L"when a program creates the class %1", Always},
    {L"<Classes>\\**\\shell\\*\\command", L"", CommandLine, false, L"Windows", L"on opening a link %1:", UrlProtocol},
    {L"<Classes>\\**\\shell\\*\\command", L"", CommandLine, false, L"Windows", L"on opening a file of type %1", FileType},
    {L"<Classes>\\PROTOCOLS\\Handler\\*", L"CLSID", ClassInData, false, L"Windows", L"on opening a link %1:", Always},
    {L"<Classes>\\**\\shellex\\ContextMenuHandlers\\*", L"", ClassInDataOrKey, false, L"Explorer", L"each time a user right-clicks %2", Always},
    {L"<Classes>\\**\\shellex\\PropertySheetHandlers\\*", L"", ClassInDataOrKey, false, L"Explorer", L"each time a user opens the properties of %2", Always},
    {L"<Classes>\\**\\shellex\\CopyHookHandlers\\*", L"", ClassInDataOrKey, false, L"Explorer", L"each time a user copies, moves, renames or deletes %2", Always},
    {L"<Classes>\\**\\shellex\\DragDropHandlers\\*", L"", ClassInDataOrKey, false, L"Explorer", L"each time a user drops files on %2 with the right mouse button", Always},
    {L"<Classes>\\**\\shellex\\{*", L"", ClassInData, false, L"Explorer", L"each time Explorer shows or previews %2", Always},
    {L"<Machine>\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\*", L"", ClassInData, false, L"Explorer", L"each time Explorer starts", Always},
    {L"<Machine>\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", L"*", ClassInName, false, L"Windows", L"each time a program opens a file or link through the shell", ExecuteHooksOn},
    {L"<Software>\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", L"*", ClassInData, false, L"Explorer", L"at every logon", Always},
    {L"<Machine>\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellServiceObjects\\*", NULL, ClassInKey, false, L"Explorer", L"at every logon", Always},
    {L"<Machine>\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\*", NULL, ClassInKey, false, L"Internet Explorer", L"each time Internet Explorer starts", Always},
    {L"<Machine>\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\*", NULL, ClassInKey, false, L"Windows", L"each time the logon screen shows", Always},
};

// Whether the key's parts from k on match the pattern's from p on; the first * or ** gets what it matched.
static bool PartsMatch(const std::vector<std::wstring> &pattern, size_t p, const std::vector<std::wstring> &key, size_t k,
                       std::wstring *matched)
{
    if (p == pattern.size() || k == key.size())
        return p == pattern.size() && k == key.size();
    const std::wstring &part = pattern[p];
    const std::wstring was = *matched;
    for (size_t end = k + 1; end <= (part == L"**" ? key.size() : k + 1); end++) {
        std::wstring name = key[k];
        for (size_t i = k + 1; i < end; i++)
            name += L"\\" + key[i];
        bool fits = part == L"**" || (part.back() == L'*' ? SameText(name.substr(0, part.size() - 1), part.substr(0, part.size() - 1))
                                                          : SameText(name, part));
        if (was.empty() && (part == L"*" || part == L"**"))
            *matched = name;
        if (fits && PartsMatch(pattern, p + 1, key, end, matched))
            return true;
        *matched = was;
    }
    return false;
}

// Whether the key is one the pattern names: the root it is under, and what the first * or ** matched.
static bool KeyMatches(const wchar_t *pattern, const std::wstring &key, std::wstring *root, std::wstring *matched)
{
    std::vector<std::wstring> parts = PathParts(pattern), roots(1, parts[0]);
    if (parts[0] == L"<Software>" || parts[0] == L"<Machine>")
        roots.assign(SoftwareRoots, SoftwareRoots + (parts[0] == L"<Machine>" ? 2 : 3));
    else if (parts[0] == L"<Classes>")
        roots.assign(std::begin(ClassesRoots), std::end(ClassesRoots));
    for (const std::wstring &candidate : roots) {
        matched->clear();
        if (IsInside(key, candidate) && PartsMatch(parts, 1, PathParts(key.substr(candidate.size() + 1)), 0, matched)) {
            *root = candidate;
            return true;
        }
    }
    return false;
}

static bool IsClassId(const std::wstring &text)
{
    if (text.size() != 38 || text[0] != L'{' || text[37] != L'}')
        return false;
    for (size_t i = 1; i < 37; i++)
        if (i == 9 || i == 14 || i == 19 || i == 24 ? text[i] != L'-' : !iswxdigit(text[i]))
            return false;
    return true;
}

// The classes root COM looks in first for a handler: its own hive's, in its own view.
static std::wstring OwnClassesRoot(const std::wstring &handlerKey)
{
    for (const wchar_t *root : ClassesRoots)
        if (IsInside(handlerKey, root))
            return root;
    if (IsInside(handlerKey, L"HKCU"))
        return L"HKCU\\Software\\Classes";
    return IsInside(handlerKey, L"HKLM\\SOFTWARE\\WOW6432Node") ? L"HKLM\\SOFTWARE\\WOW6432Node\\Classes" : L"HKLM\\SOFTWARE\\Classes";
}

static std::wstring TextOf(const Entry &value)
{
    return value.Type == REG_SZ || value.Type == REG_EXPAND_SZ ? WideOfUnits(value.Data.data(), value.Data.size() / 2) : L"";
}

// The file that serves a class: looked for in the handler's own classes root, then as Windows
// merges them, the user's over the machine's and the 64-bit view before the 32-bit one; the
// in-process server before the local one, as COM prefers it.
static bool ServerOfClass(const std::wstring &handlerKey, const std::wstring &id, EntryReader read, Launch *launch)
{
    static const wchar_t *const Merged[] = {L"HKCU\\Software\\Classes", L"HKLM\\SOFTWARE\\Classes",
                                            L"HKCU\\Software\\Classes\\WOW6432Node", L"HKLM\\SOFTWARE\\WOW6432Node\\Classes"};
    std::vector<std::wstring> roots(1, OwnClassesRoot(handlerKey));
    roots.insert(roots.end(), std::begin(Merged), std::end(Merged));
    for (const std::wstring &root : roots) {
        Entry server;
        std::wstring key = root + L"\\CLSID\\" + id, text;
        if (read(MakeValue(key + L"\\InprocServer32", L"", REG_SZ, ""), &server) && !(text = TextOf(server)).empty()) {
            launch->Program = Unquoted(Expanded(text));
            launch->Loads = true;
            return true;
        }
        if (read(MakeValue(key + L"\\LocalServer32", L"", REG_SZ, ""), &server) && !(text = TextOf(server)).empty()) {
            launch->Program = ProgramOfCommandLine(text);
            return true;
        }
    }
    return false;
}

// What of a list is the installer's: all of a new one; of one that was there, the parts it added,
// or the whole of a single part it put for another.
static std::vector<std::wstring> InstallersParts(const Entry &value, const Entry *before, const wchar_t *separators)
{
    std::vector<std::wstring> now = ListParts(value, separators);
    if (before == NULL)
        return now;
    std::vector<std::wstring> was = ListParts(*before, separators);
    if (was.size() > 1 || now.size() > 1)
        return AddedListParts(Change{ChangeChanged, *before, value}, separators);
    if (!was.empty() && !now.empty() && SameText(was[0], now[0]))
        now.clear();
    return now;
}

static bool NumberValue(EntryReader read, const std::wstring &key, const wchar_t *name, DWORD *number)
{
    Entry value;
    if (!read(MakeValue(key, name, REG_DWORD, ""), &value) || value.Type != REG_DWORD || value.Data.size() != sizeof(DWORD))
        return false;
    memcpy(number, value.Data.data(), sizeof(DWORD));
    return true;
}

// A class of files as the user who clicks one says it.
static std::wstring ItemOfType(const std::wstring &type)
{
    static const struct { const wchar_t *Type, *Item; } Items[] = {
        {L"*", L"a file"}, {L"AllFilesystemObjects", L"a file or folder"}, {L"Directory", L"a folder"}, {L"Folder", L"a folder"},
        {L"Directory\\Background", L"a folder's background"}, {L"Drive", L"a drive"}};
    for (const auto &item : Items)
        if (SameText(type, item.Type))
            return item.Item;
    return L"a file of type " + type;
}

static std::wstring Replaced(std::wstring text, const std::wstring &mark, const std::wstring &by)
{
    for (size_t at = text.find(mark); at != std::wstring::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
    return text;
}

static bool Gated(const LaunchPoint &point, const Entry &entry, EntryReader read, const std::wstring &root,
                  const std::wstring &matched, Launch *launch)
{
    Entry value;
    DWORD number = 0;
    switch (point.Gate) {
    case ServiceStarts:
        if (!NumberValue(read, std::wstring(ServicesKey) + L"\\" + matched, L"Start", &number))
            return true;
        launch->When = ServiceWhen(number);
        return !launch->When.empty();
    case UrlProtocol:
    case FileType:
        return read(MakeValue(root + L"\\" + matched, L"URL Protocol", REG_SZ, ""), &value) == (point.Gate == UrlProtocol);
    case View32: return Folded(root).find(L"\\WOW6432NODE") != std::wstring::npos;
    case AppInitOn: return !NumberValue(read, entry.Path, L"LoadAppInit_DLLs", &number) || number != 0;
    case ExecuteHooksOn:
        return NumberValue(read, L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                           L"EnableShellExecuteHooks", &number) && number != 0;
    default: return true;
    }
}

// What the launch point's entry names: a file, or a class whose server is one.
static bool NamedFile(const LaunchPoint &point, const Entry &entry, const Entry *before, EntryReader read, Launch *launch)
{
    std::wstring text = TextOf(entry), id;
    bool isText = entry.Type == REG_SZ || entry.Type == REG_EXPAND_SZ;
    if (entry.Kind == EntryValue && !isText && point.Path != PackedPath && point.Path != ClassInName)
        return false;
    launch->Loads = point.Loads;
    switch (point.Path) {
    case CommandLine: return LaunchOfCommandLine(text, launch);
    case FilePath: launch->Program = Unquoted(Expanded(text)); return true;
    case ServiceImage: launch->Program = ServiceProgram(text); return true;
    case SystemFile:
        launch->Program = Unquoted(Expanded(text));
        if (!launch->Program.empty() && launch->Program.find(L'\\') == std::wstring::npos)
            launch->Program = Expanded(L"%SystemRoot%\\System32\\") + launch->Program;
        return true;
    case ProgramList:
    case DllList:
        for (const std::wstring &part : InstallersParts(entry, before, point.Path == ProgramList ? L"," : L", ")) {
            if (point.Path == ProgramList && LaunchOfCommandLine(part, launch))
                return true;
            launch->Program = point.Path == ProgramList ? L"" : Unquoted(Expanded(part));
            if (!launch->Program.empty())
                return true;
        }
        return false;
    case RunOnceExEntry: {
        if (entry.Name.empty())
            return false;  // the section's title
        size_t bar = text.find(L'|'), second = bar == std::wstring::npos ? bar : text.find(L'|', bar + 1);
        std::wstring dll = bar == std::wstring::npos ? L"" : Trimmed(text.substr(0, bar));
        launch->Loads = !dll.empty();
        if (launch->Loads)
            launch->Program = Unquoted(Expanded(dll));
        else
            LaunchOfCommandLine(bar == std::wstring::npos ? text : text.substr((second == std::wstring::npos ? bar : second) + 1), launch);
        return true;
    }
    case PackedPath:
        if (entry.Type != REG_BINARY || !TextAt(entry.Data, 0, std::min(entry.Data.size(), (size_t)MAX_PATH), false, &text))
            return false;
        launch->Program = Unquoted(Expanded(text));
        return true;
    case ClassInData: id = Trimmed(text); break;
    case ClassInName: id = entry.Name; break;
    case ClassInKey: id = LeafOf(entry.Path); break;
    case ClassInDataOrKey: {
        Entry named;
        // A key named for its class may still name another in its default value: that one counts.
        if (entry.Kind == EntryValue)
            id = Trimmed(text);
        else if (!read(MakeValue(entry.Path, L"", REG_SZ, ""), &named) || !IsClassId(Trimmed(TextOf(named))))
            id = LeafOf(entry.Path);
        break;
    }
    }
    launch->Class = id;
    return IsClassId(id) && ServerOfClass(entry.Path, id, read, launch);
}

static bool RegistryLaunch(const Entry &entry, const Entry *before, EntryReader read, Launch *launch)
{
    for (const LaunchPoint &point : LaunchPoints) {
        bool keyPoint = point.Path == ClassInKey || point.Path == ClassInDataOrKey;
        if (entry.Kind == EntryKey ? !keyPoint
                                   : point.Value == NULL || (wcscmp(point.Value, L"*") != 0 && !SameText(entry.Name, point.Value)))
            continue;
        std::wstring root, matched;
        Launch found;
        found.Who = point.Who;
        if (!KeyMatches(point.Key, entry.Path, &root, &matched))
            continue;
        found.When = Replaced(Replaced(point.When, L"%1", matched), L"%2", ItemOfType(matched));
        if (Gated(point, entry, read, root, matched, &found) && NamedFile(point, entry, before, read, &found)) {
            *launch = found;
            return true;
        }
    }
    return false;
}

bool LaunchOf(const Entry &entry, const std::string &content, const Entry *before, EntryReader read, Launch *launch)
{
    Launch found;
    bool launches = false;
    if (entry.Kind == EntryFile && EndsWith(entry.Path, L".lnk")) {
        std::wstring arguments;
        launches = ShortcutTarget(content, &found.Program, &arguments);
        HostedByArguments(arguments, &found);
        found.When = Folded(entry.Path).find(L"\\START MENU\\PROGRAMS\\STARTUP\\") != std::wstring::npos
            ? L"at every logon" : L"when the shortcut is opened";
    } else if (entry.Kind == EntryFile) {
        launches = Folded(entry.Path).find(L"\\SYSTEM32\\TASKS\\") != std::wstring::npos && TaskLaunch(content, &found);
    } else if (entry.Kind == EntryValue || entry.Kind == EntryKey) {
        launches = RegistryLaunch(entry, before, read, &found);
    }
    // "%1" and unknown variables name no program Windows could find.
    if (!launches || found.Program.empty() || found.Program[0] == L'%')
        return false;
    *launch = found;
    return true;
}

bool IsPathListValue(const Entry &value)
{
    return value.Kind == EntryValue && SameText(value.Name, L"Path")
        && (SameText(value.Path, L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment")
            || SameText(value.Path, L"HKCU\\Environment"));
}

std::vector<std::wstring> FoldersOfPathList(const std::wstring &text)
{
    std::vector<std::wstring> folders;
    std::wstring expanded = Expanded(text);
    for (size_t start = 0; start <= expanded.size();) {
        size_t end = expanded.find(L';', start);
        if (end == std::wstring::npos)
            end = expanded.size();
        std::wstring folder = Unquoted(expanded.substr(start, end - start));
        while (!folder.empty() && folder.back() == L'\\')
            folder.pop_back();
        if (!folder.empty())
            folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}
