#include "Launches.h"

#include <algorithm>

#include <string.h>

static const wchar_t *const SoftwareRoots[] = {L"HKLM\\SOFTWARE", L"HKLM\\SOFTWARE\\WOW6432Node", L"HKCU\\Software"};
static const wchar_t *const ClassesRoots[] = {L"HKLM\\SOFTWARE\\Classes", L"HKLM\\SOFTWARE\\WOW6432Node\\Classes",
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

std::wstring ProgramOfCommandLine(const std::wstring &commandLine)
{
    std::wstring line = Trimmed(Expanded(commandLine)), program;
    if (line.empty())
        return line;
    if (line[0] == L'"') {
        program = line.substr(1, line.find(L'"', 1) - 1);
    } else {
        // Windows tries each blank in turn until a file is there.
        program = line.substr(0, line.find_first_of(L" \t"));
        std::wstring padded = line + L" ";
        for (size_t blank = padded.find_first_of(L" \t"); blank != std::wstring::npos;
             blank = padded.find_first_of(L" \t", blank + 1))
            if (HasProgramExtension(padded.substr(0, blank))) {
                program = padded.substr(0, blank);
                break;
            }
    }
    // CreateProcess does the same to a name without an extension.
    if (!program.empty() && LeafOf(program).find(L'.') == std::wstring::npos)
        program += L".exe";
    return program;
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

static bool IsKeyOfSoftware(const std::wstring &key, const std::wstring &rest)
{
    for (const wchar_t *root : SoftwareRoots)
        if (SameText(key, root + (L"\\" + rest)))
            return true;
    return false;
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

static bool RegistryLaunch(const Entry &value, Launch *launch)
{
    if (value.Type != REG_SZ && value.Type != REG_EXPAND_SZ)
        return false;
    static const struct { const wchar_t *Key, *When; } LogonKeys[] = {
        {L"Microsoft\\Windows\\CurrentVersion\\Run", L"at every logon"},
        {L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", L"at every logon"},
        {L"Microsoft\\Windows\\CurrentVersion\\RunOnce", L"at the next logon"}};
    std::wstring text = WideOfUnits(value.Data.data(), value.Data.size() / 2), key = value.Path;
    for (const auto &logonKey : LogonKeys)
        if (IsKeyOfSoftware(key, logonKey.Key)) {
            *launch = {ProgramOfCommandLine(text), logonKey.When};
            return true;
        }
    if (SameText(ParentOf(key), ServicesKey) && SameText(value.Name, L"ImagePath")) {
        *launch = {ServiceProgram(text), L"when the service starts"};
        return true;
    }
    if (!value.Name.empty())
        return false;
    if (IsKeyOfSoftware(ParentOf(key), L"Microsoft\\Windows\\CurrentVersion\\App Paths")) {
        *launch = {Unquoted(Expanded(text)), L"when started by name"};
        return true;
    }
    std::wstring shell = ParentOf(ParentOf(key)), type = ParentOf(shell);
    if (!SameText(LeafOf(key), L"command") || !SameText(LeafOf(shell), L"shell"))
        return false;
    for (const wchar_t *root : ClassesRoots)
        if (IsInside(type, root)) {
            *launch = {ProgramOfCommandLine(text), L"on opening a file of type " + type.substr(wcslen(root) + 1)};
            return true;
        }
    return false;
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
    HasLinkTargetIDList = 0x1, HasLinkInfo = 0x2, HasName = 0x4, HasIconLocation = 0x40, IsUnicode = 0x80,
    ForceNoLinkInfo = 0x100, HasExpString = 0x200
};

// The target a shell link names: its expandable target, else the local path of its LinkInfo.
static bool ShortcutTarget(const std::string &bytes, std::wstring *target)
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
    launch->When = xml.find(L"<LogonTrigger") != std::wstring::npos ? L"at every logon"
        : xml.find(L"<BootTrigger") != std::wstring::npos         ? L"at boot"
                                                                  : L"when the task's trigger fires";
    return true;
}

bool LaunchOf(const Entry &entry, const std::string &content, Launch *launch)
{
    Launch found;
    bool launches = false;
    if (entry.Kind == EntryFile && EndsWith(entry.Path, L".lnk")) {
        launches = ShortcutTarget(content, &found.Program);
        found.When = Folded(entry.Path).find(L"\\START MENU\\PROGRAMS\\STARTUP\\") != std::wstring::npos
            ? L"at every logon" : L"when the shortcut is opened";
    } else if (entry.Kind == EntryFile) {
        launches = Folded(entry.Path).find(L"\\SYSTEM32\\TASKS\\") != std::wstring::npos && TaskLaunch(content, &found);
    } else if (entry.Kind == EntryValue) {
        launches = RegistryLaunch(entry, &found);
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
