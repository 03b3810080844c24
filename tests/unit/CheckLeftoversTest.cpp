#include "data/Links.h"
#include "judge/Leftovers.h"
#include "look/Now.h"
#include "tell/Report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text, DWORD type = REG_EXPAND_SZ)
{
    return MakeValue(key, name, type, TextData(text));
}

// Gone: every folder of Orbel's; the restart deletes C:\Pending; the rest is there.
int FakeThere(const std::wstring &program, const std::vector<std::wstring> &)
{
    if (Folded(program).find(L"ORBEL") != std::wstring::npos)
        return 0;
    return SameText(program, L"C:\\Pending") ? 1 : 2;
}

const std::wstring MachineEnvironment = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const std::wstring Gone = L", a folder that is gone: every program that searches the Path looks there in vain";

}  // namespace

TEST(CheckLeftovers, GroupStateFromItsHeadAndMembers)
{
    struct Row { LeftState Head; std::vector<LeftState> Inside; LeftoverState State; size_t InsideLeft; } rows[] = {
        {LeftGone, {LeftGone, LeftGone}, LeftoverRemoved, 0},
        {LeftThere, {}, LeftoverLeft, 0},
        {LeftGone, {LeftGone, LeftThere, LeftPending}, LeftoverLeft, 2},
        {LeftPending, {LeftThere}, LeftoverLeft, 1},          // the member outlives the restart
        {LeftThere, {LeftPending, LeftPending}, LeftoverLeft, 2},
        {LeftPending, {LeftPending, LeftGone}, LeftoverPending, 1},
        {LeftGone, {LeftPending}, LeftoverPending, 1},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        size_t insideLeft = 99;
        EXPECT_EQ(GroupState(rows[i].Head, rows[i].Inside, &insideLeft), rows[i].State) << "row " << i;
        EXPECT_EQ(insideLeft, rows[i].InsideLeft) << "row " << i;
    }
}

TEST(CheckLeftovers, BreakOfNamesTheProgramAndWhenItFails)
{
    const Entry run = Text(L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Orbel", L"x", REG_SZ);
    const Launch tray = {L"C:\\Program Files\\Orbel\\tray.exe", L"at every logon"};
    const std::wstring start = L"the value `Orbel` of HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run starts "
                               L"C:\\Program Files\\Orbel\\tray.exe at every logon";
    const std::wstring menu = L"{4F1C6A2E-8B3D-4E5F-9A0B-1C2D3E4F5A6B}", shell = L"C:\\Program Files\\Orbel\\OrbelShell.dll";
    const std::wstring parameters = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelSvc\\Parameters";
    const std::wstring svc = L"the value `ServiceDll` of " + parameters + L" loads C:\\Orbel\\svc.dll at every startup";
    const Launch dll = {L"C:\\Orbel\\svc.dll", L"at every startup", true};
    const Entry helper = MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + menu);
    struct Row { Launch Launch; int There; std::wstring Breaks; Entry Place = Entry(); } rows[] = {
        {tray, 0, start + L", but that program is gone: Windows tries and fails at every logon"},
        {tray, 1, start + L", but the next restart deletes that program: Windows tries and fails at every logon"},
        {tray, 2, L""},
        {{L"", L"at every logon"}, 0, L""},
        {dll, 0, svc + L", but that DLL is gone: Windows tries and fails to load it at every startup", Text(parameters, L"ServiceDll", L"x")},
        {dll, 1, svc + L", but the next restart deletes that DLL: Windows tries and fails to load it at every startup", Text(parameters, L"ServiceDll", L"x")},
        // A handler named by its key's default value: the key is what the vendor removes.
        {{shell, L"each time a user right-clicks a file", true, menu, L"Explorer"}, 0,
         L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu names the class " + menu + L", whose server " + shell
             + L" is gone: Explorer tries and fails to load it each time a user right-clicks a file",
         Text(L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu", L"", menu, REG_SZ)},
        {{L"C:\\Orbel\\server.exe", L"at every logon", false, menu, L"Explorer"}, 1,
         L"the value `OrbelLoader` of HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad (64-bit view) names the class "
             + menu + L", whose server C:\\Orbel\\server.exe the next restart deletes: Explorer tries and fails to start it at every logon",
         Text(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", L"OrbelLoader", menu, REG_SZ)},
        {{shell, L"each time Internet Explorer starts", true, menu, L"Internet Explorer"}, 0,
         L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + menu + L" (32-bit view) names the class "
             + menu + L", whose server " + shell + L" is gone: Internet Explorer tries and fails to load it each time Internet Explorer starts",
         helper},
        // Through a host: what fails is the host, on the file it loads or runs.
        {{L"C:\\Program Files\\Orbel\\OrbelHook.dll", L"at every logon", true, L"", L"rundll32", L"rundll32"}, 0,
         L"the value `Orbel` of HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run starts rundll32 to load C:\\Program Files\\Orbel\\OrbelHook.dll "
         L"at every logon, but that DLL is gone: rundll32 tries and fails to load it at every logon"},
        {{L"C:\\Orbel\\tray.ps1", L"at every logon", false, L"", L"powershell", L"powershell"}, 1,
         L"the value `Orbel` of HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run starts powershell to run C:\\Orbel\\tray.ps1 "
         L"at every logon, but the next restart deletes that file: powershell tries and fails to run it at every logon"},
        // A class of the 32-bit view is named in it, wherever 64-bit Windows keeps it.
        {{L"C:\\Orbel\\server.exe", L"when a 32-bit program creates the class " + menu}, 0,
         L"the value (default) of HKLM\\SOFTWARE\\Classes\\CLSID\\" + menu + L"\\LocalServer32 (32-bit view) starts C:\\Orbel\\server.exe when a 32-bit program "
         L"creates the class " + menu + L", but that program is gone: Windows tries and fails when a 32-bit program creates the class " + menu,
         Text(L"HKLM\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\" + menu + L"\\LocalServer32", L"", L"C:\\Orbel\\server.exe", REG_SZ)},
        {{shell, L"when a 32-bit program creates the class " + menu, true}, 0,
         L"the value (default) of HKCU\\Software\\Classes\\CLSID\\" + menu + L"\\InprocServer32 (32-bit view) loads " + shell + L" when a 32-bit program "
         L"creates the class " + menu + L", but that DLL is gone: Windows tries and fails to load it when a 32-bit program creates the class " + menu,
         Text(L"HKCU\\Software\\Classes\\WOW6432Node\\CLSID\\" + menu + L"\\InprocServer32", L"", shell, REG_SZ)},
    };
    for (const Row &row : rows)
        EXPECT_EQ(BreakOf(row.Place.Path.empty() ? run : row.Place, row.Launch, row.There), row.Breaks) << row.Launch.Program << " there " << row.There;
}

TEST(CheckLeftovers, BrokenPathPartsNamesTheAddedFoldersThatAreGone)
{
    const std::wstring was = L"C:\\Windows;C:\\Old Orbel";  // a gone folder the installer did not add
    const std::wstring machinePath = L"the value `Path` of " + MachineEnvironment + L" names ";
    auto gained = [&](const std::wstring &more, DWORD typeBefore = REG_EXPAND_SZ) {
        return Change{ChangeChanged, Text(MachineEnvironment, L"Path", was, typeBefore),
                      Text(MachineEnvironment, L"Path", was + more)};
    };
    struct Row { const char *Name; Change Change; std::wstring Breaks; } rows[] = {
        {"GainedAGoneFolder", gained(L";C:\\Orbel\\bin\\"), machinePath + L"C:\\Orbel\\bin" + Gone},
        {"GainedAPendingAndAThereFolder", gained(L";C:\\Pending;C:\\Tools"), machinePath + L"C:\\Pending" + Gone},
        {"GainedAFolderThatIsThere", gained(L";C:\\Tools"), L""},
        {"AddedUserPath", {ChangeAdded, Entry(), Text(L"HKCU\\Environment", L"Path", L"C:\\Orbel\\bin;C:\\Tools")},
         L"the value `Path` of HKCU\\Environment names C:\\Orbel\\bin" + Gone},
        {"AnotherValueNamedPath", {ChangeAdded, Entry(), Text(L"HKCU\\Software\\Orbel", L"Path", L"C:\\Orbel")}, L""},
        {"RemovedPath", {ChangeRemoved, Text(L"HKCU\\Environment", L"Path", L"C:\\Orbel"), Entry()}, L""},
        // Rewritten as REG_EXPAND_SZ while gaining a folder, as installers that add %VARIABLES% do.
        {"GainedAGoneFolderAndAType", gained(L";C:\\Program Files\\Orbel\\bin", REG_SZ),
         machinePath + L"C:\\Program Files\\Orbel\\bin" + Gone},
    };
    for (const Row &row : rows)
        EXPECT_EQ(BrokenPathParts(row.Change, FakeThere, {}), row.Breaks) << row.Name;
}

namespace {

// The machine as the rows say it is: each place present holds the entry given.
std::vector<Entry> FakeMachine;

bool FakeRead(const Entry &entry, Entry *now)
{
    for (const Entry &place : FakeMachine)
        if (PlaceKey(place) == PlaceKey(entry)) {
            *now = place;
            return true;
        }
    return false;
}

std::string NoFile(const std::wstring &, size_t) { return ""; }

// A link the walk read: a folder's junction, or a file's symbolic link.
Entry Linked(EntryKind kind, const std::wstring &path, const std::wstring &target)
{
    Entry link = MakeEntry(kind, path);
    LinkRead read;
    read.Tag = kind == EntryFolder ? TagJunction : TagSymbolicLink;
    read.Target = target;
    link.Data = LinkData(read);
    return link;
}

Entry Number(const std::wstring &key, const std::wstring &name, DWORD number)
{
    return MakeValue(key, name, REG_DWORD, std::string((const char *)&number, sizeof number));
}

}  // namespace

TEST(CheckLeftovers, EachGroupJudgedByWhatItsMembersStart)
{
    const std::wstring service = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelAgent";
    const std::wstring run = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const Entry image = Text(service, L"ImagePath", L"\"C:\\Orbel\\svc.exe\" /service");
    const MachineReader machine = {FakeRead, NoFile, FakeThere};
    const std::wstring help = L"C:\\Windows\\Help";
    const std::wstring desktop = L"C:\\Users\\Public\\Desktop", orbelData = L"C:\\Program Files\\Orbel\\data";
    struct Row {
        const char *Name;
        std::vector<Entry> Added;  // in order, the first the group's head
        LeftState State;
        LeftoverState Expected;
        std::wstring When;
        std::wstring Program = L"C:\\Orbel\\svc.exe";
        std::wstring Place = L"";  // when given, the leftover's name
        size_t Files = 0;
        std::wstring Breaks = L"";  // when given, what it breaks
    } rows[] = {
        // The service's key heads the group: what starts the program is one of its members.
        {"ServiceStartedAtStartup", {MakeEntry(EntryKey, service), image, Number(service, L"Start", 2)}, LeftThere,
         LeftoverBroken, L"at every startup"},
        {"ServiceStartedByHand", {MakeEntry(EntryKey, service), image, Number(service, L"Start", 3)}, LeftThere,
         LeftoverBroken, L"when the service is started"},
        // Windows never starts a disabled service: nothing breaks.
        {"ServiceDisabled", {MakeEntry(EntryKey, service), image, Number(service, L"Start", 4)}, LeftThere,
         LeftoverLeft, L""},
        {"ServiceGone", {MakeEntry(EntryKey, service), image, Number(service, L"Start", 2)}, LeftGone, LeftoverRemoved,
         L""},
        {"ServicePending", {MakeEntry(EntryKey, service), image}, LeftPending, LeftoverPending, L""},
        // Windows' own host is there: what it loads is what is gone.
        {"RunValueThroughRundll32", {Text(run, L"Orbel", L"rundll32.exe \"C:\\Program Files\\Orbel\\OrbelHook.dll\",Start", REG_SZ)}, LeftThere,
         LeftoverBroken, L"at every logon", L"C:\\Program Files\\Orbel\\OrbelHook.dll"},
        {"RunValueThroughCmd", {Text(run, L"Orbel", L"%ComSpec% /c \"C:\\Orbel\\start.cmd\"", REG_EXPAND_SZ)}, LeftThere,
         LeftoverBroken, L"at every logon", L"C:\\Orbel\\start.cmd"},
        // A Path folder that is gone names the folder and when it is looked in, as a program would.
        {"PathOfAGoneFolder", {Text(L"HKCU\\Environment", L"Path", L"C:\\Orbel\\bin;C:\\Tools;C:\\Orbel\\lib")}, LeftThere,
         LeftoverBroken, PathSearchWhen, L"C:\\Orbel\\bin;C:\\Orbel\\lib"},
        // A writer's files under new names in a folder that was there before: one leftover.
        {"FilesOfOneWriter", {MakeEntry(EntryFile, help + L"\\orbel-agent-51.log"),
                              MakeEntry(EntryFile, help + L"\\orbel-agent-1003.log"),
                              MakeEntry(EntryFile, help + L"\\orbel-agent-2210.log")},
         LeftThere, LeftoverLeft, L"", L"", help + L"\\orbel-agent-*.log", 3},
        {"FilesOfOneWriterPending", {MakeEntry(EntryFile, help + L"\\orbel-agent-51.log"),
                                     MakeEntry(EntryFile, help + L"\\orbel-agent-1003.log")},
         LeftPending, LeftoverPending, L"", L"", help + L"\\orbel-agent-*.log", 2},
        // A link is named with its target, and leads nowhere once its target is gone.
        {"LinkToAGoneFolder", {Linked(EntryFolder, desktop + L"\\Orbel Data", orbelData)}, LeftThere, LeftoverBroken,
         L"whenever it is opened", orbelData, L"the link " + desktop + L"\\Orbel Data -> " + orbelData, 0,
         L"the link " + desktop + L"\\Orbel Data -> " + orbelData + L", whose target is gone: opening it fails"},
        {"LinkToAFileTheRestartDeletes", {Linked(EntryFile, desktop + L"\\pending.txt", L"C:\\Pending")}, LeftThere,
         LeftoverBroken, L"whenever it is opened", L"C:\\Pending", L"", 0,
         L"the link " + desktop + L"\\pending.txt -> C:\\Pending, whose target the next restart deletes: opening it "
         L"then fails"},
        {"LinkToAFolderThere", {Linked(EntryFolder, desktop + L"\\Tools", L"C:\\Tools")}, LeftThere, LeftoverLeft, L"",
         L"", L"the link " + desktop + L"\\Tools -> C:\\Tools"},
        {"LinkRemoved", {Linked(EntryFolder, desktop + L"\\Orbel Data", orbelData)}, LeftGone, LeftoverRemoved, L"", L"",
         L"the link " + desktop + L"\\Orbel Data -> " + orbelData},
    };
    for (const Row &row : rows) {
        std::vector<Change> changes;
        for (const Entry &entry : row.Added)
            changes.push_back(Change{ChangeAdded, Entry(), entry});
        FakeMachine = row.State == LeftThere ? row.Added : std::vector<Entry>();
        std::vector<ChangeGroup> groups;
        GroupChanges(changes, &groups);
        ASSERT_EQ(groups.size(), 1u) << row.Name;
        std::vector<Leftover> leftovers;
        AssessLeftovers(changes, groups, std::vector<LeftState>(changes.size(), row.State), {}, machine, &leftovers);
        ASSERT_EQ(leftovers.size(), 1u) << row.Name;
        EXPECT_EQ(leftovers[0].State, row.Expected) << row.Name;
        EXPECT_EQ(leftovers[0].When, row.When) << row.Name;
        if (!row.Place.empty()) {
            EXPECT_EQ(leftovers[0].Place, row.Place) << row.Name;
            EXPECT_EQ(leftovers[0].Files, row.Files) << row.Name;
            EXPECT_EQ(leftovers[0].FilesLeft, row.Files) << row.Name;
        }
        if (row.Expected == LeftoverBroken)
            EXPECT_EQ(leftovers[0].Program, row.Program) << row.Name;
        if (!row.Breaks.empty())
            EXPECT_EQ(leftovers[0].Breaks, row.Breaks) << row.Name;
        size_t pending = 9;
        EXPECT_EQ(CountLeft(leftovers, &pending), row.Expected == LeftoverBroken || row.Expected == LeftoverLeft ? 1u : 0u)
            << row.Name;
        EXPECT_EQ(pending, row.Expected == LeftoverPending ? 1u : 0u) << row.Name;
    }
}

TEST(CheckLeftovers, AProgramNamedWithoutAFolderIsFoundAlongThePath)
{
    EXPECT_EQ(ProgramThere(L"orbeltray.exe", {}), 2);
    EXPECT_EQ(ProgramThere(L"C:\\No Such Folder\\orbeltray.exe", {}), 0);
}

TEST(CheckLeftovers, TheVerdictOfALook)
{
    struct Row { size_t Left, Pending; int Problems, Code; std::wstring Summary; } rows[] = {
        {0, 0, 0, 0, L"Nothing of Orbel is left."},
        {0, 2, 0, 0, L"Nothing of Orbel is left but what the next restart deletes (2 item(s))."},
        {0, 1, 0, 0, L"Nothing of Orbel is left but what the next restart deletes (1 item(s))."},
        {3, 2, 0, 1, L"3 item(s) of Orbel are left."},
        {0, 0, 1, 1, L"Nothing of Orbel is left."},
        {1, 0, 2, 1, L"1 item(s) of Orbel are left."},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(SummaryLine(L"Orbel", row.Left, row.Pending), row.Summary);
        EXPECT_EQ(VerdictExitCode(row.Left, row.Problems), row.Code) << row.Summary;
    }
}
