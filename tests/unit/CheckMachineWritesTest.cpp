#include "FakePlatform.h"

#include "judge/Findings.h"
#include "judge/MachineWrites.h"
#include "look/Now.h"
#include "tell/Report.h"

#include "CheckEntries.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace {

std::wstring Expanded(const wchar_t *text)
{
    wchar_t expanded[MAX_PATH * 2] = {0};
    ExpandEnvironmentStringsW(text, expanded, MAX_PATH * 2);
    return expanded;
}

Entry File(const std::wstring &path, unsigned long long size = 1, unsigned long long time = 1)
{
    Entry file = MakeEntry(EntryFile, path);
    file.Size = size;
    file.WriteTime = time;
    return file;
}

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text)
{
    return MakeValue(key, name, REG_SZ, TextData(text));
}

Change Added(const Entry &entry) { return Change{ChangeAdded, Entry(), entry}; }
Change Changed(const Entry &before, const Entry &after) { return Change{ChangeChanged, before, after}; }

std::vector<std::wstring> Paths(const std::vector<Change> &changes)
{
    std::vector<std::wstring> paths;
    for (const Change &change : changes)
        paths.push_back(EntryPlace(change.Place()));
    return paths;
}

const std::wstring Busy = L"C:\\ProgramData\\Busy", Log = Busy + L"\\busy.log";
const std::wstring SessionManager = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

}  // namespace

// What changed again between two readings is the machine's only where neither Kestrane nor the
// uninstall writes: they delete, put back, and add to the deletions pending for the restart.
TEST(CheckMachineWrites, ChangedAgainOnlyWhereNeitherKestraneNorTheUninstallWrites)
{
    const Change log = Changed(File(Log, 1, 1), File(Log, 2, 2));
    const std::wstring was = ContentText(log.After), before = ContentText(log.Before);
    const std::wstring names = L".\n..\nbusy.log\ntrace-1.tmp\n";
    struct Row {
        const char *Name;
        std::vector<Change> Changes;
        std::vector<std::wstring> Was, Now;
        std::set<std::wstring> Places, Busy, Patterns;
    } rows[] = {
        {"WrittenAgain", {log}, {was}, {ContentText(File(Log, 3, 3))}, {PlaceKey(log.After)}, {}, {}},
        {"Untouched", {log}, {was}, {was}, {}, {}, {}},
        {"DeletedByTheUninstall", {log}, {was}, {L""}, {}, {}, {}},
        {"PutBackByTheUninstall", {log}, {was}, {before}, {}, {}, {}},
        // The install's own file deleted by Kestrane: no name of another's came or went.
        {"OwnNameDeleted", {Added(File(Busy + L"\\Orbel.chm"))}, {names + L"Orbel.chm\n"}, {names}, {}, {}, {}},
        {"OtherNameCame", {Added(File(Busy + L"\\Orbel.chm"))}, {names + L"Orbel.chm\n"}, {names + L"trace-2.tmp\n"}, {},
         {Folded(Busy)}, {Folded(Busy + L"\\trace-*.tmp")}},
    };
    for (const Row &row : rows) {
        std::vector<AgainTarget> targets = AgainTargets(row.Changes);
        ASSERT_EQ(targets.size(), 1u) << row.Name;
        Noise noise = ChangedAgain(targets, row.Was, row.Now, row.Changes);
        EXPECT_EQ(noise.Places, row.Places) << row.Name;
        EXPECT_EQ(noise.Busy, row.Busy) << row.Name;
        EXPECT_EQ(noise.BusyPatterns, row.Patterns) << row.Name;
    }
    // Kestrane's list of pending deletions, and a list the installer added to, are never read again.
    std::vector<std::string> multi = {std::string("\\\0?\0?\0\\\0a\0\0\0\0\0", 14), std::string("b\0\0\0\0\0", 6)};
    const std::vector<Change> notRead = {
        Changed(MakeValue(SessionManager, L"PendingFileRenameOperations", REG_MULTI_SZ, multi[0] + multi[1]),
                MakeValue(SessionManager, L"PendingFileRenameOperations", REG_MULTI_SZ, multi[0])),
        Changed(Text(L"HKCU\\Environment", L"Path", L"C:\\a"), Text(L"HKCU\\Environment", L"Path", L"C:\\a;C:\\Orbel"))};
    EXPECT_TRUE(AgainTargets(notRead).empty());
}

// A value a snapshot keeps by its hash reads the same as read whole.
TEST(CheckMachineWrites, ContentTextIsTheSameHoweverTheValueWasKept)
{
    const std::string data(300, 'x');
    const Entry whole = MakeValue(SessionManager, L"Blob", REG_BINARY, data);
    // As the registry's walk keeps a long binary value.
    Entry kept = whole;
    kept.Hashed = true;
    kept.Size = data.size();
    kept.Data = HashOf(data);
    EXPECT_EQ(ContentText(kept), ContentText(whole));
    EXPECT_NE(ContentText(kept), ContentText(MakeValue(SessionManager, L"Blob", REG_BINARY, data + "y")));
}

// Windows' own writes are taken and named with their reason; what the installer made whole is
// its own, a writer's place inside it too.
TEST(CheckMachineWrites, WindowsWritesAreTakenAndNamed)
{
    const std::wstring cdp = Expanded(L"%LOCALAPPDATA%\\ConnectedDevicesPlatform");
    const std::wstring tasks = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks";
    const std::wstring orbelTask = tasks + L"\\{ORBEL}", inf = Expanded(L"%SystemRoot%\\INF");
    std::vector<Change> changes = {
        Changed(File(inf + L"\\setupapi.dev.log", 1), File(inf + L"\\setupapi.dev.log", 2)),
        Added(File(inf + L"\\orbel.inf")),
        Added(MakeEntry(EntryFolder, cdp + L"\\L.ana")), Added(File(cdp + L"\\L.ana\\ActivitiesCache.db")),
        Changed(Text(tasks + L"\\{WINDOWS}", L"DynamicInfo", L"1"), Text(tasks + L"\\{WINDOWS}", L"DynamicInfo", L"2")),
        Added(MakeEntry(EntryKey, orbelTask)), Added(Text(orbelTask, L"DynamicInfo", L"1")),
    };
    TakenPlaces taken;
    EXPECT_EQ(ForgetWindowsWrites(&changes, &taken), 4u);
    const std::vector<std::wstring> kept = {inf + L"\\orbel.inf", KeyPlace(orbelTask),
                                            L"the value `DynamicInfo` of " + KeyPlace(orbelTask)};
    EXPECT_EQ(Paths(changes), kept);
    const std::vector<std::wstring> places = {inf + L"\\setupapi.dev.log", cdp + L"\\L.ana",
                                              L"the value `DynamicInfo` of " + KeyPlace(tasks + L"\\{WINDOWS}")};
    EXPECT_EQ(taken.Places, places);
    ASSERT_EQ(taken.Reasons.size(), 3u);
    EXPECT_EQ(taken.Reasons[0], L"Windows' logs of device and driver setup");
    EXPECT_NE(taken.Reasons[2].find(L"Task Scheduler"), std::wstring::npos);
}

// What the inspection said of a place taken since no longer counts; the rest still does.
TEST(CheckMachineWrites, ProblemsOfWhatWasTakenAreWithdrawn)
{
    const std::wstring app = ProgramFiles + L"\\Orbel", entry = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orbel";
    const std::string one("\1\0\0\0", 4);
    const std::vector<Entry> before = {MakeEntry(EntryFolder, ProgramFiles), File(L"C:\\Windows\\win.ini", 10),
                                       File(Busy + L"\\busy.log", 10), MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall")};
    std::vector<Entry> after = {MakeEntry(EntryFolder, ProgramFiles), File(L"C:\\Windows\\win.ini", 20),
                                File(Busy + L"\\busy.log", 20), MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
                                File(app + L"\\Orbel.exe"), File(app + L"\\Kestrane.exe"), Text(entry, L"DisplayName", L"Orbel"),
                                Text(entry, L"UninstallString", L"\"" + app + L"\\Kestrane.exe\" Orbel/NULL")};
    Inspection was = {};
    CompareSnapshots(Snap(before), Snap(after), &was.Changes);
    ForgetSharedPlaces(&was.Changes);
    GroupChanges(was.Changes, &was.Groups);
    was.Folders.ProgramFiles = ProgramFiles;
    Inspection now = was;
    Noise busy;
    busy.Places.insert(PlaceKey(File(Busy + L"\\busy.log")));
    ASSERT_EQ(ForgetNoise(&now.Changes, busy), 1u);
    GroupChanges(now.Changes, &now.Groups);
    ResetFake();
    Said said;
    WithdrawProblemsOfTaken(was, now, RealMachine(), &said);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].Kind, SaidWithdrawn);
    EXPECT_EQ(said[0].Text.find(Busy + L"\\busy.log, which was there before the install"), 0u) << said[0].Text;
}
