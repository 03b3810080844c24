#include "judge/Compare.h"
#include "look/Watch.h"

#include "CheckEntries.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace {

Entry File(const std::wstring &path, unsigned long long size = 1, unsigned long long time = 1,
           DWORD attributes = FILE_ATTRIBUTE_ARCHIVE)
{
    Entry file = MakeEntry(EntryFile, path);
    file.Size = size;
    file.WriteTime = time;
    file.Attributes = attributes;
    return file;
}

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text, DWORD type = REG_SZ)
{
    return MakeValue(key, name, type, TextData(text));
}


std::wstring Describe(const Change &change)
{
    static const wchar_t *const kinds[] = {L"folder", L"file", L"key", L"value"};
    const Entry &place = change.Place();
    return std::wstring(change.Kind == ChangeAdded ? L"+" : change.Kind == ChangeChanged ? L"~" : L"-")
        + kinds[place.Kind] + L" " + place.Path + (place.Kind == EntryValue ? L"|" + place.Name : L"");
}

std::vector<std::wstring> Described(const std::vector<Change> &changes)
{
    std::vector<std::wstring> lines;
    for (const Change &change : changes)
        lines.push_back(Describe(change));
    return lines;
}

Change Added(const Entry &entry) { return Change{ChangeAdded, Entry(), entry}; }
Change Changed(const Entry &before, const Entry &after) { return Change{ChangeChanged, before, after}; }
Change Removed(const Entry &entry) { return Change{ChangeRemoved, entry, Entry()}; }

const std::wstring Key = L"HKLM\\SOFTWARE\\Orbel";

}  // namespace

// Each group's head, then its other members indented.
TEST(CheckCompare, SnapshotsYieldChangesGroupedUnderTheOutermostNewOrGoneContainer)
{
    const std::wstring help = L"C:\\Windows\\Help";
    const std::wstring a = L"C:\\Orbel\\a.txt", pf = L"C:\\Program Files", classes = L"HKCU\\Software\\Classes";
    Entry folder = MakeEntry(EntryFolder, L"C:\\Orbel");
    folder.WriteTime = 9;
    struct Row {
        const char *Name;
        std::vector<Entry> Before, After;
        std::vector<std::wstring> Groups;
        std::vector<Entry> First = {};  // the first look before the install, when it saw another machine
    } rows[] = {
        {"ValueData", {Text(Key, L"Version", L"1.0")}, {Text(Key, L"Version", L"2.0")}, {L"~value " + Key + L"|Version"}},
        {"ValueType", {Text(Key, L"Home", L"C:\\O")}, {Text(Key, L"Home", L"C:\\O", REG_EXPAND_SZ)},
         {L"~value " + Key + L"|Home"}},
        {"NamesInAnotherCase", {Text(Key, L"Version", L"1"), File(a)}, {Text(L"hklm\\software\\ORBEL", L"VERSION", L"1"),
                                                                        File(L"C:\\ORBEL\\A.TXT")}, {}},
        {"FileSize", {File(a, 10)}, {File(a, 11)}, {L"~file " + a}},
        {"FileWriteTime", {File(a, 10, 5)}, {File(a, 10, 6)}, {L"~file " + a}},
        {"FileAttributes", {File(a)}, {File(a, 1, 1, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY)}, {L"~file " + a}},
        {"FolderTimes", {File(a)}, {folder, File(a)}, {}},
        {"FileBecameFolder", {File(L"C:\\Orbel\\data")}, {File(L"C:\\Orbel\\data\\x")},
         {L"-file C:\\Orbel\\data", L"+folder C:\\Orbel\\data", L"  +file C:\\Orbel\\data\\x"}},
        {"AddedTree", {MakeEntry(EntryFolder, pf)}, {File(pf + L"\\0.txt"), File(pf + L"\\Orbel\\bin\\a.dll")},
         {L"+file " + pf + L"\\0.txt", L"+folder " + pf + L"\\Orbel", L"  +folder " + pf + L"\\Orbel\\bin",
          L"  +file " + pf + L"\\Orbel\\bin\\a.dll"}},
        {"RemovedTree", {Text(L"HKLM\\SOFTWARE\\Old", L"v", L"1"), File(L"C:\\Old\\sub\\y.txt"), File(L"C:\\Old\\x.txt")},
         {MakeEntry(EntryFolder, L"C:"), MakeEntry(EntryKey, L"HKLM\\SOFTWARE")},
         {L"-folder C:\\Old", L"  -folder C:\\Old\\sub", L"  -file C:\\Old\\sub\\y.txt", L"  -file C:\\Old\\x.txt",
          L"-key HKLM\\SOFTWARE\\Old", L"  -value HKLM\\SOFTWARE\\Old|v"}},
        {"ValuesOfOldAndNewKeys", {Text(Key, L"Version", L"1")},
         {Text(Key, L"Version", L"2"), Text(Key, L"Language", L"fr"), Text(Key + L"\\Sub", L"x", L"1")},
         {L"+value " + Key + L"|Language", L"~value " + Key + L"|Version", L"+key " + Key + L"\\Sub",
          L"  +value " + Key + L"\\Sub|x"}},

        // Wine has no per-user classes root before an install writes one: the file type, the
        // class and the handler are named by their own keys, never by the shared ones.
        {"SharedPlacesMadeByTheInstall", {MakeEntry(EntryKey, L"HKCU\\Software")},
         {Text(classes + L"\\*\\shellex\\ContextMenuHandlers\\OrbelMenu", L"", L"{6F1A}"),
          Text(classes + L"\\.orbeldoc", L"", L"Orbel.Document"),
          Text(classes + L"\\CLSID\\{6F1A}\\LocalServer32", L"", L"C:\\Orbel\\Orbel.exe"),
          Text(classes + L"\\Orbel.Document\\shell\\open\\command", L"", L"C:\\Orbel\\Orbel.exe")},
         {L"+key " + classes + L"\\*\\shellex\\ContextMenuHandlers\\OrbelMenu",
          L"  +value " + classes + L"\\*\\shellex\\ContextMenuHandlers\\OrbelMenu|",
          L"+key " + classes + L"\\.orbeldoc", L"  +value " + classes + L"\\.orbeldoc|",
          L"+key " + classes + L"\\CLSID\\{6F1A}", L"  +key " + classes + L"\\CLSID\\{6F1A}\\LocalServer32",
          L"  +value " + classes + L"\\CLSID\\{6F1A}\\LocalServer32|", L"+key " + classes + L"\\Orbel.Document",
          L"  +key " + classes + L"\\Orbel.Document\\shell", L"  +key " + classes + L"\\Orbel.Document\\shell\\open",
          L"  +key " + classes + L"\\Orbel.Document\\shell\\open\\command",
          L"  +value " + classes + L"\\Orbel.Document\\shell\\open\\command|"}},
        // Files a writer makes under new names, in a folder that was there before: one group
        // named by their pattern; a single file of a pattern, a name without digits, and files
        // inside a new folder are grouped as ever.
        {"FilesUnderNewNamesInAFolderThatWasThere", {File(help + L"\\old.chm")},
         {File(help + L"\\old.chm"), File(help + L"\\Orbel.chm"), File(help + L"\\orbel-agent-7.log"),
          File(help + L"\\orbel-agent-1203.log"), File(help + L"\\orbel-service-9.log"),
          File(help + L"\\Orbel 2\\a1.log"), File(help + L"\\Orbel 2\\a2.log")},
         {L"+folder " + help + L"\\Orbel 2", L"  +file " + help + L"\\Orbel 2\\a1.log",
          L"  +file " + help + L"\\Orbel 2\\a2.log", L"pattern " + help + L"\\orbel-agent-*.log",
          L"  +file " + help + L"\\orbel-agent-1203.log", L"  +file " + help + L"\\orbel-agent-7.log",
          L"+file " + help + L"\\orbel-service-9.log", L"+file " + help + L"\\Orbel.chm"}},
        {"SharedFoldersMadeByTheInstall", {MakeEntry(EntryFolder, L"C:")},
         {File(L"C:\\ProgramData\\Orbel\\a.dat"), File(L"C:\\Program Files\\Orbel\\Orbel.exe")},
         {L"+folder C:\\Program Files\\Orbel", L"  +file C:\\Program Files\\Orbel\\Orbel.exe",
          L"+folder C:\\ProgramData\\Orbel", L"  +file C:\\ProgramData\\Orbel\\a.dat"}},
        // A value the install added under a key the two registry views share is one change, whichever
        // view the walk met it in.
        {"SameNewValueInBothViewsOfASharedKey", {MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"),
                                                  MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts")},
         {Text(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", L"Orbel (TrueType)", L"orbel.ttf"),
          Text(L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", L"Orbel (TrueType)", L"orbel.ttf")},
         {L"+value HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts|Orbel (TrueType)"}},
        // What changed by itself between the two looks before the install is not the installer's.
        {"ChangedByItselfBeforeTheInstall", {Text(Key, L"Seen", L"1"), File(a, 10, 5)},
         {Text(Key, L"Seen", L"2"), File(a, 10, 7), Text(Key, L"Mine", L"1")}, {L"+value " + Key + L"|Mine"},
         {Text(Key, L"Seen", L"0"), File(a, 10, 4)}},
    };
    for (const Row &row : rows) {
        std::vector<Change> changes, changedBefore;
        CompareSnapshots(Snap(row.First.empty() ? row.Before : row.First), Snap(row.Before), &changedBefore);
        CompareSnapshots(Snap(row.Before), Snap(row.After), &changes);
        EXPECT_EQ(ForgetWhatIsNotTheInstallers(&changes, changedBefore), row.First.empty() ? 0u : 2u) << row.Name;
        std::vector<ChangeGroup> groups;
        GroupChanges(changes, &groups);
        std::vector<std::wstring> shown;
        for (const ChangeGroup &group : groups) {
            if (!group.Pattern.empty())
                shown.push_back(L"pattern " + group.Pattern);
            for (size_t member : group.Members)
                shown.push_back((member == group.Head && group.Pattern.empty() ? L"" : L"  ") + Describe(changes[member]));
        }
        EXPECT_EQ(shown, row.Groups) << row.Name;
    }
}

TEST(CheckCompare, AddedListPartsAreTheNewPartsOfAList)
{
    const std::wstring env = L"HKCU\\Environment";
    auto multi = [&](const std::wstring &strings) {  // each string ends in a null; one more ends the list
        return MakeValue(env, L"L", REG_MULTI_SZ, std::string((const char *)strings.c_str(), (strings.size() + 1) * 2));
    };
    const std::wstring winlogon = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring machineEnv = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    struct Row { const char *Name; Change Change; std::vector<std::wstring> Parts; const wchar_t *Separators = L";"; } rows[] = {
        {"OnePartAdded", Changed(Text(env, L"Path", L"C:\\A;C:\\B"), Text(env, L"Path", L"c:\\a;C:\\B;C:\\Orbel")),
         {L"C:\\Orbel"}},
        {"PlainTextBecameList", Changed(Text(env, L"Path", L"C:\\A"), Text(env, L"Path", L"C:\\A;;C:\\Orbel;")),
         {L"C:\\Orbel"}},
        {"PlainTextChanged", Changed(Text(env, L"Name", L"Old"), Text(env, L"Name", L"New")), {}},
        // Windows' lists by name, of one part before and after: an installer that overwrites.
        {"OnePartPathOverwritten", Changed(Text(env, L"Path", L"%USERPROFILE%\\AppData\\Local\\Microsoft\\WindowsApps"),
                                           Text(env, L"Path", L"C:\\Orbel\\bin")), {L"C:\\Orbel\\bin"}},
        {"OnePartMachinePathExt", Changed(Text(machineEnv, L"PATHEXT", L".COM"), Text(machineEnv, L"PATHEXT", L".ORB")),
         {L".ORB"}},
        {"MultiString", Changed(multi(std::wstring(L"a\0b\0", 4)), multi(std::wstring(L"a\0B\0c\0", 6))), {L"c"}},
        {"MultiStringOfOne", Changed(multi(std::wstring(L"a\0", 2)), multi(std::wstring(L"a\0c\0", 4))), {L"c"}},
        {"Added", Added(Text(env, L"Path", L"C:\\A;C:\\B")), {}},
        {"BlanksAroundParts", Changed(Text(env, L"Path", L"C:\\A; C:\\B"), Text(env, L"Path", L"C:\\A ;C:\\B;\t C:\\Orbel ")), {L"C:\\Orbel"}},
        {"CommaList", Changed(Text(winlogon, L"Userinit", L"C:\\W\\userinit.exe,"), Text(winlogon, L"Userinit", L"C:\\W\\userinit.exe, C:\\Orbel\\init.exe;x,")),
         {L"C:\\Orbel\\init.exe;x"}, L","},
    };
    for (const Row &row : rows)
        EXPECT_EQ(AddedListParts(row.Change, row.Separators), row.Parts) << row.Name;
}

TEST(CheckCompare, NoiseAndSharedTwinsAreTakenOut)
{
    const std::wstring fonts = L"Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    const std::wstring wow = L"HKLM\\SOFTWARE\\WOW6432Node\\";
    const std::wstring video = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Video";
    // Noise rows hold what changed by itself; the others are taken out of their shared twins.
    struct Row {
        const char *Name;
        std::vector<Change> Changes;
        std::vector<std::wstring> Kept;
        std::vector<Change> Noise;
        std::vector<std::wstring> Taken = {};  // of a noise row: the places named as taken
    } rows[] = {
        {"SamePlaceChangedByItself",
         {Changed(Text(Key, L"Seen", L"1"), Text(Key, L"Seen", L"2")), Added(Text(Key, L"Mine", L"1"))},
         {L"+value " + Key + L"|Mine"}, {Added(Text(L"hklm\\software\\orbel", L"SEEN", L"1"))}},
        {"InsideWhatAppearedByItself",
         {Added(File(L"C:\\ProgramData\\x\\a.tmp")), Added(File(L"C:\\ProgramData\\xy")),
          Added(Text(L"HKCU\\Cache", L"v", L"1")), Added(MakeEntry(EntryKey, L"HKCU\\Cache\\Sub")),
          Added(Text(L"HKCU\\Cached", L"v", L"1"))},
         {L"+file C:\\ProgramData\\xy", L"+value HKCU\\Cached|v"},
         {Added(MakeEntry(EntryFolder, L"C:\\ProgramData\\x")), Added(MakeEntry(EntryKey, L"HKCU\\Cache"))}},
        {"SharedFontsKey",
         {Added(Text(L"HKLM\\SOFTWARE\\" + fonts, L"Orbel (TrueType)", L"orbel.ttf")),
          Added(Text(L"hklm\\software\\wow6432node\\" + fonts, L"Orbel (TrueType)", L"orbel.ttf"))},
         {L"+value HKLM\\SOFTWARE\\" + fonts + L"|Orbel (TrueType)"}},
        // A folder or key that gains new names by itself: new names there are noise, and
        // whatever is in them; not so in a shared place, nor for values.
        {"NewNamesWhereNewNamesAppearedByThemselves",
         {Added(File(L"C:\\ProgramData\\Busy\\trace-2.tmp")), Changed(File(L"C:\\ProgramData\\Busy\\busy.log", 1),
                                                                 File(L"C:\\ProgramData\\Busy\\busy.log", 2)),
          Added(MakeEntry(EntryKey, video + L"\\{B}")), Added(Text(video + L"\\{B}", L"Device", L"1")),
          Added(MakeEntry(EntryFolder, L"C:\\ProgramData\\Orbel")), Added(Text(Key, L"Mine", L"1"))},
         {L"~file C:\\ProgramData\\Busy\\busy.log", L"+folder C:\\ProgramData\\Orbel", L"+value " + Key + L"|Mine"},
         {Added(File(L"C:\\ProgramData\\Busy\\trace-1.tmp")), Added(MakeEntry(EntryKey, video + L"\\{A}")),
          Added(File(L"C:\\ProgramData\\Other.log")), Added(Text(Key, L"Theirs", L"1"))},
         {L"C:\\ProgramData\\Busy\\trace-2.tmp", L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Video\\{B}"}},
        // The installer's own file in a folder a writer keeps adding to: not taken, unless
        // it bears the writer's pattern.
        {"OwnFileInABusyFolder",
         {Added(File(L"C:\\Windows\\Help\\Orbel.chm")), Added(File(L"C:\\Windows\\Help\\trace-7.tmp")),
          Added(File(L"C:\\Windows\\Help\\orbel-2.log"))},
         {L"+file C:\\Windows\\Help\\Orbel.chm", L"+file C:\\Windows\\Help\\orbel-2.log"},
         {Added(File(L"C:\\Windows\\Help\\trace-3.tmp"))}},
        // Each place taken is named once, a folder for what is in it.
        {"TakenPlacesNamedOutermost",
         {Added(MakeEntry(EntryFolder, L"C:\\ProgramData\\Busy\\sub")), Added(File(L"C:\\ProgramData\\Busy\\sub\\a.tmp")),
          Added(File(L"C:\\ProgramData\\Busy\\trace-2.tmp")), Added(File(L"C:\\ProgramData\\Orbel.log"))},
         {L"+file C:\\ProgramData\\Orbel.log"}, {Added(File(L"C:\\ProgramData\\Busy\\trace-1.tmp"))},
         {L"C:\\ProgramData\\Busy\\sub", L"C:\\ProgramData\\Busy\\trace-2.tmp"}},
        // A key that gains subkeys by itself: its new values are still the installer's.
        {"NewValueWhereSubkeysAppearedByThemselves",
         {Added(Text(Key, L"Mine", L"1")), Added(MakeEntry(EntryKey, Key + L"\\Session2"))},
         {L"+value " + Key + L"|Mine"}, {Added(MakeEntry(EntryKey, Key + L"\\Session1"))}},
        {"OnlyIn32BitView", {Added(Text(wow + fonts, L"Orbel", L"orbel.ttf"))}, {L"+value " + wow + fonts + L"|Orbel"}},
        {"KeyNotShared", {Added(Text(wow + L"Orbel", L"v", L"1")), Added(Text(Key, L"v", L"1"))},
         {L"+value " + wow + L"Orbel|v", L"+value " + Key + L"|v"}},
    };
    for (const Row &row : rows) {
        std::vector<Change> changes = row.Changes;
        std::vector<std::wstring> taken;
        if (row.Noise.empty())
            ForgetSharedTwins(&changes);
        else
            EXPECT_EQ(ForgetNoise(&changes, row.Noise, &taken), row.Changes.size() - row.Kept.size()) << row.Name;
        EXPECT_EQ(Described(changes), row.Kept) << row.Name;
        if (!row.Taken.empty())
            EXPECT_EQ(taken, row.Taken) << row.Name;
    }
}

TEST(CheckCompare, WhatMayChangeByItselfIsWatchedAndWhatDoesIsNoise)
{
    const std::wstring busy = L"C:\\ProgramData\\Busy", orbel = L"C:\\Program Files\\Orbel";
    struct Row { const char *Name; std::vector<Change> Changes; std::vector<std::wstring> Targets; } rows[] = {
        // Changed: it was there before. Added where nothing was made: its folder's names.
        {"ChangedAndNewInAnOldFolder",
         {Changed(File(busy + L"\\busy.log", 1), File(busy + L"\\busy.log", 2)), Added(File(busy + L"\\t-1.tmp")),
          Added(File(busy + L"\\t-2.tmp")), Removed(File(busy + L"\\t-0.tmp"))},
         {L"content " + busy + L"\\busy.log", L"names " + busy}},
        // What the install made is its own whatever it does later; shared places gain the
        // installer's own names; values are watched only as changed places.
        {"MadeByTheInstallOrShared",
         {Added(MakeEntry(EntryFolder, orbel)), Added(File(orbel + L"\\Orbel.exe")),
          Added(File(L"C:\\ProgramData\\Orbel.ini")), Added(Text(Key, L"New", L"1")),
          Changed(Text(Key, L"Counter", L"1"), Text(Key, L"Counter", L"2"))},
         {L"content " + Key + L"|Counter"}},
    };
    for (const Row &row : rows) {
        std::vector<std::wstring> shown;
        for (const WatchTarget &target : WatchTargets(row.Changes))
            shown.push_back((target.Names ? L"names " : L"content ") + target.Place.Path
                            + (target.Place.Kind == EntryValue ? L"|" + target.Place.Name : L""));
        EXPECT_EQ(shown, row.Targets) << row.Name;
    }

    // A reader that sees each place named "keeps" change at every look.
    static int looks = 0;
    TargetReader reader = [](const WatchTarget &target) {
        return target.Place.Path.find(L"keeps") != std::wstring::npos ? std::to_wstring(++looks) : std::wstring(L"same");
    };
    std::vector<WatchTarget> targets = {{File(busy + L"\\keeps.log"), false}, {File(busy + L"\\still.log"), false},
                                        {MakeEntry(EntryFolder, busy + L"\\keeps"), true}};
    unsigned long long watched = 0;
    Noise noise = WatchForNoise(targets, 200, 10, reader, &watched);
    EXPECT_EQ(noise.Places, std::set<std::wstring>{PlaceKey(targets[0].Place)});
    EXPECT_EQ(noise.Busy, std::set<std::wstring>{Folded(busy + L"\\keeps")});
    // The names that came and went there, by their pattern.
    EXPECT_EQ(noise.BusyPatterns, std::set<std::wstring>{Folded(busy + L"\\keeps\\*")});
    EXPECT_GE(watched, 200u);  // one place never changed: watched to the end
    noise = WatchForNoise({targets[0]}, 5000, 10, reader, &watched);
    EXPECT_LT(watched, 1000u) << "stops once each place has changed";
    EXPECT_EQ(noise.Places.size(), 1u);

    // What a look sees of a place changes whatever of it changed: a log rewritten at the same
    // size has a new time.
    static Entry now;
    auto read = [](const Entry &, Entry *seen) { *seen = now; return true; };
    const std::wstring log = busy + L"\\busy.log";
    struct Reading { const char *Name; Entry Was, Is; bool Changed; } readings[] = {
        {"Untouched", File(log, 5, 1), File(log, 5, 1), false},
        {"RewrittenAtTheSameSize", File(log, 5, 1), File(log, 5, 2), true},
        {"Grown", File(log, 5, 1), File(log, 6, 1), true},
        {"AttributesOnly", File(log, 5, 1), File(log, 5, 1, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN), true},
        {"ValueData", Text(Key, L"Counter", L"1"), Text(Key, L"Counter", L"2"), true},
        {"ValueType", Text(Key, L"Counter", L"1"), Text(Key, L"Counter", L"1", REG_EXPAND_SZ), true},
    };
    for (const Reading &reading : readings) {
        now = reading.Was;
        const std::wstring was = ContentNow(reading.Was, read);
        now = reading.Is;
        EXPECT_EQ(ContentNow(reading.Was, read) != was, reading.Changed) << reading.Name;
    }
}

TEST(CheckCompare, StateOfAChangeFromWhatItsPlaceHoldsNow)
{
    const std::wstring dll = L"C:\\Program Files\\Orbel\\a.dll";
    const std::vector<std::wstring> pending = {L"c:\\program files\\orbel\\A.DLL"};
    const Entry one = Text(Key, L"v", L"1"), two = Text(Key, L"v", L"2");
    struct Row {
        const char *Name;
        Change Change;
        bool Present;
        Entry Now;
        std::vector<std::wstring> Pending;
        LeftState State;
    } rows[] = {
        {"AddedPresent", Added(one), true, one, {}, LeftThere},
        {"AddedGone", Added(one), false, Entry(), {}, LeftGone},
        {"ChangedBack", Changed(one, two), true, one, {}, LeftGone},
        {"ChangedStays", Changed(one, two), true, two, {}, LeftThere},
        {"ChangedThenDeleted", Changed(one, two), false, Entry(), {}, LeftThere},
        {"ChangedFileSameSizeOtherTime", Changed(File(dll, 5, 1), File(dll, 5, 2)), true, File(dll, 5, 3), {}, LeftThere},
        {"ChangedFilePending", Changed(File(dll, 5, 1), File(dll, 6, 2)), true, File(dll, 6, 2), pending, LeftThere},
        {"AddedFilePending", Added(File(dll)), true, File(dll), pending, LeftPending},
        {"AddedFileOtherPending", Added(File(dll)), true, File(dll), {dll + L".old"}, LeftThere},
        {"RemovedStillMissing", Removed(File(dll)), false, Entry(), {}, LeftThere},
        {"RemovedBack", Removed(File(dll)), true, File(dll), {}, LeftGone},
    };
    for (const Row &row : rows)
        EXPECT_EQ(StateOf(row.Change, row.Present, row.Now, row.Pending), row.State) << row.Name;
}
