#include "Launches.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <windows.h>

static Entry ValueEntry(const std::wstring &key, const std::wstring &name, DWORD type, const std::wstring &text)
{
    std::string data((const char *)text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return Entry{EntryValue, key, name, type, data, 0, 0, 0};
}

static Entry FileEntry(const std::wstring &path)
{
    return Entry{EntryFile, path, L"", 0, "", 0, 0, 0};
}

class Launches : public testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableW(L"ORBELHOME", L"C:\\Orbel Home"); }
};

TEST_F(Launches, ProgramOfCommandLineFindsWhatWindowsStarts)
{
    struct Row { const wchar_t *Line, *Program; } rows[] = {
        {L"\"C:\\Program Files\\Orbel\\orbel.exe\" /background", L"C:\\Program Files\\Orbel\\orbel.exe"},
        {L"C:\\Program Files\\Orbel\\orbel.exe /background", L"C:\\Program Files\\Orbel\\orbel.exe"},
        {L"C:\\Tools\\run.exe C:\\Tools\\other.exe", L"C:\\Tools\\run.exe"},
        {L"%ORBELHOME%\\tray.exe -min", L"C:\\Orbel Home\\tray.exe"},
        {L"C:\\Tools\\agent\t-quiet", L"C:\\Tools\\agent.exe"},  // CreateProcess adds .exe
        {L"   \"C:\\Orbel\\a.exe\"", L"C:\\Orbel\\a.exe"},
        {L"\"C:\\Unclosed\\a.exe", L"C:\\Unclosed\\a.exe"},
        {L"  ", L""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ProgramOfCommandLine(row.Line), row.Program) << row.Line;
}

TEST_F(Launches, RegistryValuesThatStartAProgram)
{
    const std::wstring run = L"\\Microsoft\\Windows\\CurrentVersion\\Run", services = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
    const std::wstring appPaths = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\orbel.exe";
    const std::wstring windows = _wgetenv(L"SystemRoot");
    struct Row {
        std::wstring Key, Name;
        DWORD Type;
        std::wstring Text, Program, When;  // no When: starts nothing
    } rows[] = {
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"\"C:\\Orbel\\tray.exe\" -min", L"C:\\Orbel\\tray.exe", L"at every logon"},
        {L"HKLM\\SOFTWARE\\WOW6432Node" + run, L"Orbel", REG_EXPAND_SZ, L"%ORBELHOME%\\tray.exe", L"C:\\Orbel Home\\tray.exe", L"at every logon"},
        {L"hkcu\\software\\microsoft\\windows\\currentversion\\runonce", L"", REG_SZ, L"C:\\Orbel\\finish.exe", L"C:\\Orbel\\finish.exe", L"at the next logon"},
        {L"HKLM\\SOFTWARE" + run + L"\\Orbel", L"Orbel", REG_SZ, L"C:\\Orbel\\tray.exe", L"", L""},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_BINARY, L"C:\\Orbel\\tray.exe", L"", L""},
        {services + L"Orbel", L"ImagePath", REG_EXPAND_SZ, L"\"C:\\Program Files\\Orbel\\svc.exe\" -service", L"C:\\Program Files\\Orbel\\svc.exe", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"\\SystemRoot\\System32\\drivers\\orbelkx.sys", windows + L"\\System32\\drivers\\orbelkx.sys", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"System32\\drivers\\orbelkx.sys", windows + L"\\System32\\drivers\\orbelkx.sys", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"\\??\\C:\\Orbel\\orbelkx.sys", L"C:\\Orbel\\orbelkx.sys", L"when the service starts"},
        {services + L"Orbel\\Parameters", L"ImagePath", REG_SZ, L"C:\\Orbel\\svc.exe", L"", L""},
        {services + L"Orbel", L"DisplayName", REG_SZ, L"C:\\Orbel\\svc.exe", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\shell\\open\\command", L"", REG_SZ, L"\"C:\\Orbel\\orbel.exe\" \"%1\"", L"C:\\Orbel\\orbel.exe", L"on opening a file of type Orbel.Document"},
        {L"HKLM\\SOFTWARE\\WOW6432Node\\Classes\\.orb\\shell\\edit\\command", L"", REG_SZ, L"C:\\Orbel\\edit.exe %1", L"C:\\Orbel\\edit.exe", L"on opening a file of type .orb"},
        {L"HKCU\\Software\\Classes\\Orbel.Document\\shell\\open\\command", L"", REG_EXPAND_SZ, L"%ORBELHOME%\\orbel.exe", L"C:\\Orbel Home\\orbel.exe", L"on opening a file of type Orbel.Document"},
        {L"HKCU\\Software\\Classes\\exefile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" %*", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\shell\\open\\command", L"DelegateExecute", REG_SZ, L"C:\\Orbel\\orbel.exe", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\Orbel\\open\\command", L"", REG_SZ, L"C:\\Orbel\\orbel.exe", L"", L""},
        {appPaths, L"", REG_SZ, L"\"C:\\Orbel\\orbel.exe\"", L"C:\\Orbel\\orbel.exe", L"when started by name"},
        {appPaths, L"Path", REG_SZ, L"C:\\Orbel", L"", L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Key << " " << row.Name << " = " << row.Text);
        Launch launch = {L"untouched", L"untouched"};
        EXPECT_EQ(LaunchOf(ValueEntry(row.Key, row.Name, row.Type, row.Text), "", &launch), !row.When.empty());
        if (!row.When.empty()) {
            EXPECT_EQ(launch.Program, row.Program);
            EXPECT_EQ(launch.When, row.When);
        }
    }
}

TEST(ServiceWhen, FollowsTheStartType)
{
    const wchar_t *expected[] = {L"at boot", L"at boot", L"at every startup", L"when the service is started", L"", L""};
    for (DWORD start = 0; start < 6; start++)
        EXPECT_EQ(ServiceWhen(start), expected[start]) << start;
}

// A shell link as Windows writes one: header, optional ID list, LinkInfo, strings, extra data.
struct LinkParts {
    size_t IdListSize;
    std::string AnsiBase, Suffix;
    std::wstring WideBase, Name, Expandable;
    std::wstring Icon;  // an icon location, also as an icon block ahead of the target's
};

static void Put(std::string *bytes, std::initializer_list<DWORD> numbers, size_t width = 4)
{
    for (DWORD number : numbers)
        for (size_t i = 0; i < width; i++)
            *bytes += (char)(number >> (8 * i));
}

static void PutWide(std::string *bytes, const std::wstring &text, bool terminated)
{
    bytes->append((const char *)text.c_str(), (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

static std::string LinkBytes(const LinkParts &parts)
{
    std::string bytes, info;
    Put(&bytes, {0x4C, 0x00021401, 0, 0xC0, 0x46000000, 0x80 | (parts.IdListSize ? 1u : 0) | (parts.AnsiBase.empty() ? 0 : 2)
                 | (parts.Name.empty() ? 0 : 4) | (parts.Expandable.empty() ? 0 : 0x200) | (parts.Icon.empty() ? 0 : 0x4040)});
    bytes.resize(0x4C, '\0');
    if (parts.IdListSize) {
        Put(&bytes, {(DWORD)parts.IdListSize}, 2);
        bytes.append(parts.IdListSize, '\x7F');
    }
    if (!parts.AnsiBase.empty()) {
        bool wide = !parts.WideBase.empty();
        DWORD header = wide ? 0x24 : 0x1C, base = header + 16, suffix = base + (DWORD)parts.AnsiBase.size() + 1;
        DWORD wideBase = suffix + (DWORD)parts.Suffix.size() + 1, wideSuffix = wideBase + 2 * (DWORD)parts.WideBase.size() + 2;
        Put(&info, {0, header, 1, header, base, 0, suffix});  // the size once known; the volume right after
        if (wide)
            Put(&info, {wideBase, wideSuffix});
        info += std::string(16, '\x11') + parts.AnsiBase + '\0' + parts.Suffix + '\0';
        if (wide) {
            PutWide(&info, parts.WideBase, true);
            PutWide(&info, std::wstring(parts.Suffix.begin(), parts.Suffix.end()), true);
        }
        std::string size;
        Put(&size, {(DWORD)info.size()});
        bytes += size + info.substr(4);
    }
    if (!parts.Name.empty()) {
        Put(&bytes, {(DWORD)parts.Name.size()}, 2);
        PutWide(&bytes, parts.Name, false);
    }
    if (!parts.Icon.empty()) {
        Put(&bytes, {(DWORD)parts.Icon.size()}, 2);
        PutWide(&bytes, parts.Icon, false);
    }
    // The icon's and the target's blocks are alike but for their signature.
    const struct { const std::wstring *Text; DWORD Signature; } blocks[] = {{&parts.Icon, 0xA0000007}, {&parts.Expandable, 0xA0000001}};
    for (const auto &block : blocks)
        if (!block.Text->empty()) {
            Put(&bytes, {0x314, block.Signature});
            bytes += std::string(block.Text->begin(), block.Text->end()) + std::string(260 - block.Text->size(), '\0');
            PutWide(&bytes, *block.Text + std::wstring(260 - block.Text->size(), L'\0'), false);
        }
    Put(&bytes, {0});
    return bytes;
}

TEST_F(Launches, ShortcutsStartTheirTarget)
{
    const std::wstring programs = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
    struct Row {
        std::wstring Path;
        LinkParts Parts;
        std::wstring Program, When;
    } rows[] = {
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\orbel.exe", "", L"", L"", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Startup\\Orbel Tray.LNK", {0, "C:\\Orbel\\tray.exe", "", L"", L"", L""}, L"C:\\Orbel\\tray.exe", L"at every logon"},
        {programs + L"Orbel.lnk", {37, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {0, "C:\\Caf?\\orbel.exe", "", L"C:\\Caf\u00E9\\orbel.exe", L"", L""}, L"C:\\Caf\u00E9\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\", "orbel.exe", L"", L"", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "C:\\Old\\orbel.exe", "", L"", L"Orbel", L"%ORBELHOME%\\orbel.exe"}, L"C:\\Orbel Home\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "", "", L"", L"Orbel", L""}, L"", L""},  // only an ID list
        // The icon is no target, neither its location nor its block.
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L"", L"%ORBELHOME%\\icons.dll"}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "C:\\Old\\orbel.exe", "", L"", L"", L"%ORBELHOME%\\orbel.exe", L"C:\\Orbel\\orbel.ico"}, L"C:\\Orbel Home\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.url", {0, "C:\\Orbel\\orbel.exe", "", L"", L"", L""}, L"", L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Path << " -> " << row.Program);
        Launch launch = {};
        EXPECT_EQ(LaunchOf(FileEntry(row.Path), LinkBytes(row.Parts), &launch), !row.When.empty());
        EXPECT_EQ(launch.Program, row.Program);
        EXPECT_EQ(launch.When, row.When);
    }
}

TEST_F(Launches, DamagedShortcutsStartNothing)
{
    std::string whole = LinkBytes({20, "C:\\Orbel\\", "orbel.exe", L"C:\\Orbel\\", L"Orbel", L"%ORBELHOME%\\o.exe"});
    // Its target only in LinkInfo, read whatever follows: a name of five characters, the terminal block.
    std::string plain = LinkBytes({0, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L""});
    const size_t plainEnd = plain.size() - 4, plainName = plainEnd - 2 - 2 * 5;
    struct Row { const char *Damage; const std::string &Link; size_t At, Width; DWORD Value; } rows[] = {
        {"header size", whole, 0, 4, 0x4D},
        {"class id", whole, 4, 1, 0x02},
        {"ID list past the end", whole, 0x4C, 2, 0xFFFF},
        {"LinkInfo past the end", whole, 0x4C + 22, 4, 0x7FFFFFF0},
        {"base path just past LinkInfo, in the strings", whole, 0x4C + 22 + 0x1C, 4, 0x70},  // 0x70: its size
        {"suffix outside LinkInfo", whole, 0x4C + 22 + 0x20, 4, 0x7FFFFFF0},
        {"name past the end", plain, plainName, 2, 0x7FFF},
        {"name over the terminal block and a character more", plain, plainName, 2, 5 + 2 + 1},
        {"extra data block past the end", plain, plainEnd, 4, 0x7FFFFFF0},
    };
    Launch launch;
    ASSERT_TRUE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), whole, &launch));
    ASSERT_TRUE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), plain, &launch));
    for (const Row &row : rows) {
        std::string damaged = row.Link;
        for (size_t i = 0; i < row.Width; i++)
            damaged[row.At + i] = (char)(row.Value >> (8 * i));
        EXPECT_FALSE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), damaged, &launch)) << row.Damage;
    }
    // Cut anywhere before its last block, the link is incomplete: never read past the bytes there are.
    for (size_t size = 0; size + 4 < whole.size(); size++) {
        std::string cut = whole.substr(0, size);
        EXPECT_FALSE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), cut, &launch)) << size;
    }
}

enum TaskEncoding { Utf16WithMark, Utf16, Utf8WithMark, Utf8 };

// The rows are ASCII, the same bytes in UTF-8.
static std::string TaskFile(TaskEncoding encoding, const std::wstring &xml)
{
    std::string bytes = encoding == Utf16WithMark ? "\xFF\xFE" : encoding == Utf8WithMark ? "\xEF\xBB\xBF" : "";
    if (encoding == Utf16WithMark || encoding == Utf16)
        PutWide(&bytes, xml, false);
    else
        bytes.append(xml.begin(), xml.end());
    return bytes;
}

TEST_F(Launches, ScheduledTasksStartTheirFirstCommand)
{
    const std::wstring tasks = L"C:\\Windows\\System32\\Tasks\\", head = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task>";
    const std::wstring settings = L"<Settings><ExecutionTimeLimit>PT72H</ExecutionTimeLimit></Settings>";
    struct Row {
        std::wstring Path;
        TaskEncoding Encoding;
        std::wstring Body, Program, When;
    } rows[] = {
        {tasks + L"Orbel Update", Utf16WithMark, L"<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>" + settings
            + L"<Actions><Exec><Command>\"%ORBELHOME%\\update.exe\"</Command><Arguments>/q</Arguments></Exec></Actions>",
            L"C:\\Orbel Home\\update.exe", L"at every logon"},
        {tasks + L"Orbel\\Boot", Utf8, L"<Triggers><BootTrigger/></Triggers><Actions><Exec>\n<Command> C:\\Orbel\\boot.exe </Command></Exec></Actions>",
            L"C:\\Orbel\\boot.exe", L"at boot"},
        {tasks + L"Orbel Daily", Utf8WithMark, L"<Triggers><CalendarTrigger/></Triggers><Actions><Exec><Command>C:\\R&amp;D\\caf&#xE9;.exe</Command></Exec></Actions>",
            L"C:\\R&D\\caf\u00E9.exe", L"when the task's trigger fires"},
        {tasks + L"Orbel Two", Utf16, L"<Actions><Exec id=\"first\"><Command>C:\\Orbel\\first.exe</Command></Exec><Exec><Command>C:\\Orbel\\second.exe</Command></Exec></Actions>",
            L"C:\\Orbel\\first.exe", L"when the task's trigger fires"},
        {tasks + L"Orbel Odd", Utf16WithMark, L"<Actions><Exec><Arguments>/q</Arguments></Exec></Actions><Command>C:\\Orbel\\x.exe</Command>", L"", L""},
        {L"C:\\Orbel\\Tasks\\Orbel Update", Utf16WithMark, L"<Actions><Exec><Command>C:\\Orbel\\update.exe</Command></Exec></Actions>", L"", L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Path);
        Launch launch = {};
        EXPECT_EQ(LaunchOf(FileEntry(row.Path), TaskFile(row.Encoding, head + row.Body + L"</Task>"), &launch), !row.When.empty());
        EXPECT_EQ(launch.Program, row.Program);
        EXPECT_EQ(launch.When, row.When);
    }
}

TEST_F(Launches, PathListsNameTheFoldersProgramsAreLookedFor)
{
    struct Row { const wchar_t *Key, *Name; bool IsPathList; } rows[] = {
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"Path", true},
        {L"HKCU\\Environment", L"PATH", true},
        {L"HKCU\\Environment", L"PATHEXT", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"Path", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsPathListValue(ValueEntry(row.Key, row.Name, REG_EXPAND_SZ, L"C:\\Orbel")), row.IsPathList) << row.Key;

    std::vector<std::wstring> expected = {L"C:\\Orbel\\bin", L"C:\\Orbel Home\\tools", L"C:\\Quoted Orbel", L"C:\\Orbel\\last"};
    EXPECT_EQ(FoldersOfPathList(L";C:\\Orbel\\bin\\;;%ORBELHOME%\\tools; \"C:\\Quoted Orbel\" ;C:\\Orbel\\last"), expected);
    EXPECT_TRUE(FoldersOfPathList(L" ; ;").empty());
}
