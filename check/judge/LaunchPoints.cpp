#include "judge/LaunchPoints.h"

#include "judge/Compare.h"
#include "judge/ShortcutFile.h"
#include "judge/TaskFile.h"
#include "look/Environment.h"

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
    std::wstring program = ProgramOfCommandLine(imagePath), windows = ExpandedText(L"%SystemRoot%");
    if (program.compare(0, 4, L"\\??\\") == 0 || program.compare(0, 4, L"\\\\?\\") == 0)
        program.erase(0, 4);
    if (IsInside(program, L"\\SystemRoot"))
        return windows + program.substr(11);
    bool absolute = (program.size() > 1 && program[1] == L':') || program.compare(0, 1, L"\\") == 0;
    if (!absolute && program.find(L'\\') != std::wstring::npos)
        return windows + L"\\" + program;
    return program;
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
            launch->Program = Unquoted(ExpandedText(text));
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
    case FilePath: launch->Program = Unquoted(ExpandedText(text)); return true;
    case ServiceImage: launch->Program = ServiceProgram(text); return true;
    case SystemFile:
        launch->Program = Unquoted(ExpandedText(text));
        if (!launch->Program.empty() && launch->Program.find(L'\\') == std::wstring::npos)
            launch->Program = ExpandedText(L"%SystemRoot%\\System32\\") + launch->Program;
        return true;
    case ProgramList:
    case DllList:
        for (const std::wstring &part : InstallersParts(entry, before, point.Path == ProgramList ? L"," : L", ")) {
            if (point.Path == ProgramList && LaunchOfCommandLine(part, launch))
                return true;
            launch->Program = point.Path == ProgramList ? L"" : Unquoted(ExpandedText(part));
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
            launch->Program = Unquoted(ExpandedText(dll));
        else
            LaunchOfCommandLine(bar == std::wstring::npos ? text : text.substr((second == std::wstring::npos ? bar : second) + 1), launch);
        return true;
    }
    case PackedPath:
        if (entry.Type != REG_BINARY || !TextAt(entry.Data, 0, std::min(entry.Data.size(), (size_t)MAX_PATH), false, &text))
            return false;
        launch->Program = Unquoted(ExpandedText(text));
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
    std::wstring expanded = ExpandedText(text);
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
