#include "look/FileWalk.h"
#include "tell/JsonReport.h"
#include "look/Skipped.h"
#include "tell/State.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <windows.h>

namespace {

std::wstring TempFile(const wchar_t *name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

std::string Bytes(const std::wstring &path)
{
    std::string bytes(1 << 16, '\0');
    FILE *file = _wfopen(path.c_str(), L"rb");
    bytes.resize(file != NULL ? fread(&bytes[0], 1, bytes.size(), file) : 0);
    if (file != NULL)
        fclose(file);
    return bytes;
}

void Write(const std::wstring &path, const std::string &bytes)
{
    FILE *file = _wfopen(path.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

auto Fields(const Entry &e)
{
    return std::make_tuple(e.Kind, e.Path, e.Name, e.Type, e.Data, e.Size, e.WriteTime, e.Attributes, e.Hashed);
}

}  // namespace

TEST(CheckJsonReport, JsonStringEscapesWhatJsonMust)
{
    struct Row { std::wstring Text; std::string Json; } rows[] = {
        {L"C:\\Program Files\\Orbel", "\"C:\\\\Program Files\\\\Orbel\""},
        {L"say \"hi\"", "\"say \\\"hi\\\"\""},
        {L"a\tb\nc\r\x01\x1f", "\"a\\u0009b\\u000ac\\u000d\\u0001\\u001f\""},
        {std::wstring(L"nul\0end", 7), "\"nul\\u0000end\""},
        {L"Café €/日本 \x7f", "\"Caf\xc3\xa9 \xe2\x82\xac/\xe6\x97\xa5\xe6\x9c\xac \x7f\""},
        {L"", "\"\""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(JsonString(row.Text), row.Json);
}

TEST(CheckJsonReport, AfterRestartJoinsTheFirstReport)
{
    const std::string report = "{\"tool\":\"CheckInstaller\",\n\"afterUninstall\":{\"leftovers\":[]},\n\"exitCode\":1}\n";
    EXPECT_EQ(JsonWithAfterRestart(report, "{\"leftovers\":[],\"exitCode\":0}"),
              "{\"tool\":\"CheckInstaller\",\n\"afterUninstall\":{\"leftovers\":[]},\n\"exitCode\":1,\n"
              "\"afterRestart\":{\"leftovers\":[],\"exitCode\":0}}\n");
}

// Of the items put in a folder, those still there or pending: what a vendor's script counts.
TEST(CheckJsonReport, LeftoversCountTheItemsPutInAndThoseLeft)
{
    const std::wstring folder = L"C:\\Program Files\\Orbel";
    const std::vector<Change> changes = {{ChangeAdded, Entry(), MakeEntry(EntryFolder, folder)},
                                         {ChangeAdded, Entry(), MakeEntry(EntryFile, folder + L"\\a.exe")},
                                         {ChangeAdded, Entry(), MakeEntry(EntryFile, folder + L"\\b.dll")},
                                         {ChangeAdded, Entry(), MakeEntry(EntryFile, folder + L"\\c.txt")}};
    const std::vector<ChangeGroup> groups = {{0, {0, 1, 2, 3}}};
    struct Row { LeftoverState State; size_t Left; std::string Json; size_t Files = 0; } rows[] = {
        {LeftoverLeft, 1, "\"items\":3,\"itemsLeft\":1"},
        {LeftoverPending, 2, "\"items\":3,\"itemsLeft\":2"},
        {LeftoverRemoved, 0, "\"items\":3,\"itemsLeft\":0"},
        // Files of a pattern: the pattern and how many of them, no head above them.
        {LeftoverLeft, 2, "\"items\":0,\"itemsLeft\":0,\"pattern\":\"C:\\\\Windows\\\\Help\\\\orbel-*.log\","
                          "\"files\":4,\"filesLeft\":2", 4},
    };
    for (const Row &row : rows) {
        Leftover leftover = {};
        leftover.State = row.State;
        leftover.Inside = row.Files > 0 ? 0 : 3;
        leftover.InsideLeft = row.Files > 0 ? 0 : row.Left;
        if (row.Files > 0) {
            leftover.Place = L"C:\\Windows\\Help\\orbel-*.log";
            leftover.Files = row.Files;
            leftover.FilesLeft = row.Left;
        }
        const std::string json = JsonLeftovers({leftover}, changes, groups, 1, 0, 1, 1);
        EXPECT_NE(json.find(row.Json), std::string::npos) << row.Json << " in\n" << json;
    }
}

// A value the installer changed carries what it put in, as the finding says it.
TEST(CheckJsonReport, AChangedValueCarriesWhatTheInstallerPutIn)
{
    const std::wstring environment = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::wstring svchost = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
    const DWORD four = 4, five = 5;
    auto multi = [](const std::wstring &parts) { return std::string((const char *)parts.data(), parts.size() * 2) + std::string(4, '\0'); };
    struct Row { Entry Before, After; std::string Json; } rows[] = {
        {MakeValue(environment, L"PATHEXT", REG_SZ, TextData(L".COM;.EXE")), MakeValue(environment, L"PATHEXT", REG_SZ, TextData(L".COM;.EXE;.ORB")),
         "\"added\":[\".ORB\"]"},
        {MakeValue(svchost, L"netsvcs", REG_MULTI_SZ, multi(std::wstring(L"Dhcp\0Dnscache", 13))),
         MakeValue(svchost, L"netsvcs", REG_MULTI_SZ, multi(std::wstring(L"Dhcp\0Dnscache\0OrbelSvc", 22))), "\"added\":[\"OrbelSvc\"]"},
        {MakeValue(L"HKLM\\SOFTWARE\\Orbel", L"Runs", REG_DWORD, std::string((const char *)&four, 4)),
         MakeValue(L"HKLM\\SOFTWARE\\Orbel", L"Runs", REG_DWORD, std::string((const char *)&five, 4)),
         "\"added\":[],\"from\":\"REG_DWORD 4\",\"to\":\"REG_DWORD 5\""},
    };
    for (const Row &row : rows) {
        const std::vector<Change> changes = {{ChangeChanged, row.Before, row.After}};
        Leftover leftover = {};
        leftover.State = LeftoverLeft;
        const std::string json = JsonLeftovers({leftover}, changes, {{0, {0}}}, 1, 0, 1, 1);
        EXPECT_NE(json.find(row.Json), std::string::npos) << row.Json << " in\n" << json;
    }
}

// The check's report and state, written while it looks, are not changes of the installer's.
TEST(CheckReportFiles, TheWalkLeavesOutAPlaceSkipped)
{
    // Under the current folder, not TEMP: that is skipped itself.
    wchar_t here[MAX_PATH];
    const std::wstring root = std::wstring(here, GetCurrentDirectoryW(MAX_PATH, here)) + L"\\CheckFileWalkTest";
    const std::wstring own = root + L"\\report", beside = root + L"\\kept";
    // Deeper than 260 characters, as installers write (a package's nested dependencies).
    std::vector<std::wstring> deep = {beside + L"\\" + std::wstring(60, L'd')};
    while (deep.back().size() < 300)
        deep.push_back(deep.back() + L"\\" + std::wstring(60, L'd'));
    for (const std::wstring &folder : {root, own, beside})
        CreateDirectoryW(folder.c_str(), NULL);
    for (const std::wstring &folder : deep)
        CreateDirectoryW(FileApiPath(folder).c_str(), NULL);
    Write(own + L"\\r.json", "{}");
    Write(beside + L"\\a.txt", "a");
    Write(FileApiPath(deep.back() + L"\\deep.txt"), "d");
    SkipPlace(own);
    Snapshot snapshot;
    WalkFiles(root, {}, &snapshot);
    std::set<std::wstring> walked;
    for (size_t i = 0; i < snapshot.Records.size(); i++)
        walked.insert(RecordPath(snapshot, i));
    std::set<std::wstring> expected = {root, beside, beside + L"\\a.txt", deep.back() + L"\\deep.txt"};
    expected.insert(deep.begin(), deep.end());
    EXPECT_EQ(walked, expected);
    Entry now;
    EXPECT_TRUE(ReadFileNow(deep.back() + L"\\deep.txt", &now));
    EXPECT_EQ(now.Size, 1u);
    DeleteFileW((own + L"\\r.json").c_str());
    DeleteFileW((beside + L"\\a.txt").c_str());
    DeleteFileW(FileApiPath(deep.back() + L"\\deep.txt").c_str());
    for (size_t i = deep.size(); i-- > 0;)
        RemoveDirectoryW(FileApiPath(deep[i]).c_str());
    for (const std::wstring &folder : {own, beside, root})
        RemoveDirectoryW(folder.c_str());
}

// NTFS brings a file's directory entry up to date only when its writer closes it: a log held
// open lists with its size and time of the last close, while the file itself has grown. The
// walk reads the listing; a later read of the same place reads the listing too, so the file
// compares with itself until it is closed. Wine lists the file itself: a table stands in for NTFS.
TEST(CheckReportFiles, AFileIsReadAgainAsItsFolderListsIt)
{
    wchar_t here[MAX_PATH];
    const std::wstring log = std::wstring(here, GetCurrentDirectoryW(MAX_PATH, here)) + L"\\CheckHeldOpen.log";
    Write(log, "0123456789");  // the file itself: 10 bytes
    static std::vector<std::pair<bool, WIN32_FIND_DATAW>> listed;
    struct Row {
        const char *Name;
        bool Listed;
        DWORD Size, Time;  // what the folder's listing says now
        bool Present, Same;  // read again, and the same as the walk saw it (0 bytes, time 100)
    } rows[] = {
        {"held open: its entry as the walk listed it", true, 0, 100, true, true},
        {"closed: its entry brought up to date", true, 10, 200, true, false},
        {"gone from its folder", false, 0, 0, false, false},
    };
    Entry walked = MakeEntry(EntryFile, log);
    walked.Size = 0;
    walked.WriteTime = 100;
    walked.Attributes = FILE_ATTRIBUTE_ARCHIVE;
    for (const Row &row : rows) {
        WIN32_FIND_DATAW entry = {};
        entry.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        entry.nFileSizeLow = row.Size;
        entry.ftLastWriteTime.dwLowDateTime = row.Time;
        listed.assign(1, std::make_pair(row.Listed, entry));
        Entry now = walked;
        EntryLister ntfs = [](const std::wstring &, WIN32_FIND_DATAW *found) {
            *found = listed[0].second;
            return listed[0].first;
        };
        EXPECT_EQ(ReadListedNow(log, &now, ntfs), row.Present) << row.Name;
        EXPECT_EQ(row.Present && SameContent(walked, now), row.Same) << row.Name;
    }
    // Windows' own listing of a file closed: what the file holds.
    Entry now;
    ASSERT_TRUE(ReadFileNow(log, &now));
    EXPECT_EQ(now.Size, 10u);
    DeleteFileW(log.c_str());
    EXPECT_FALSE(ReadFileNow(log, &now));
}

// Run from the Desktop, where a user saves a download, the check still sees the shortcut an
// installer puts there: only its own files are skipped, and the folder a recipe keeps the
// reports in, with a text report the check cannot name.
TEST(CheckReportFiles, OnlyTheChecksOwnPlacesAreSkipped)
{
    const std::wstring desktop = std::wstring(_wgetenv(L"USERPROFILE")) + L"\\Desktop", box = L"C:\\CheckInstaller";
    struct Row {
        const char *Where;
        std::wstring Self;
        std::vector<std::wstring> Reports, Outputs, Own;
    } rows[] = {
        {"the Desktop", desktop + L"\\CheckInstaller.exe", {desktop + L"\\check.state", desktop + L"\\report.json"},
         {desktop + L"\\report.txt", desktop + L"\\Report.txt"},
         {desktop + L"\\CheckInstaller.exe", desktop + L"\\check.state", desktop + L"\\report.json", desktop + L"\\report.txt"}},
        {"the Sandbox's folder", box + L"\\CheckInstaller.exe", {box + L"\\report\\check.state", box + L"\\report\\report.json"}, {},
         {box + L"\\CheckInstaller.exe", box + L"\\report\\check.state", box + L"\\report\\report.json", box + L"\\report"}},
        {"no report for machines", box + L"\\CheckInstaller.exe", {desktop + L"\\check.state", L""}, {},
         {box + L"\\CheckInstaller.exe", desktop + L"\\check.state"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(OwnPlaces(row.Self, row.Reports, row.Outputs), row.Own) << row.Where;
}

// Windows' own bookkeeping is skipped; what an installer may own next to it is not.
TEST(CheckSkipped, TheTableSkipsWindowsBookkeepingOnly)
{
    struct Row { const wchar_t *Path; bool Skipped; } rows[] = {
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceCurrent", true},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceCurrentOrbel", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelWriter", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceGroupOrder", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsSkippedPlace(row.Path), row.Skipped) << std::string(row.Path, row.Path + wcslen(row.Path));
}

TEST(CheckState, SavedStateLoadsBackWhole)
{
    CheckState saved;
    saved.AppName = L"Orbel\tÉdition\n2";
    saved.Problems = 3;
    saved.Report = std::string("{\"a\":\"x\\ty\"}\n\tline\r\n\\") + '\0' + "\xc3\xa9";
    std::string allBytes;
    for (int i = 0; i < 256; i++)
        allBytes += (char)i;
    saved.Changes = {
        {ChangeChanged, MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_SZ, TextData(L"été")),
         MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_BINARY, allBytes)},
        {ChangeAdded, Entry(), {EntryFile, L"C:\\日本.dll", L"", 0, "", 1ull << 40, 0x01D9ABCDEF0123ull, 0x21, false}},
        {ChangeRemoved, MakeEntry(EntryKey, L"HKCU\\Software\\Café"), Entry()},
        {ChangeAdded, Entry(), {EntryValue, L"HKCU\\O", L"", REG_BINARY, HashOf(std::string(999, 'x')), 999, 0, 0, true}},
        {ChangeAdded, Entry(), MakeValue(L"HKCU\\Software\\Orbel", L"", REG_SZ, "")},
    };
    saved.Kind = KindInno;
    saved.Reinstalled = true;
    saved.Reinstall.Started = true;
    saved.Reinstall.ExitCode = 3221225786u;
    saved.Reinstall.Ms = 1234;
    saved.Reinstall.Held = {1, 4};
    saved.Reinstall.Taken = {L"C:\\日本.dll", L"C:\\Tab\tand\nline"};
    saved.AfterUninstall = {LeftGone, LeftPending, LeftThere, LeftThere, LeftGone};
    const std::wstring path = TempFile(L"CheckStateTest.txt");
    ASSERT_TRUE(SaveState(path, saved));
    CheckState loaded;
    ASSERT_TRUE(LoadState(path, &loaded));
    EXPECT_EQ(loaded.AppName, saved.AppName);
    EXPECT_EQ(loaded.Problems, saved.Problems);
    EXPECT_EQ(loaded.Report, saved.Report);
    EXPECT_EQ(loaded.Kind, KindInno);
    EXPECT_TRUE(loaded.Reinstalled);
    EXPECT_EQ(loaded.AfterUninstall, saved.AfterUninstall);
    EXPECT_EQ(std::make_tuple(loaded.Reinstall.Started, loaded.Reinstall.TimedOut, loaded.Reinstall.ExitCode,
                              loaded.Reinstall.Ms, loaded.Reinstall.Held, loaded.Reinstall.Taken),
              std::make_tuple(true, false, 3221225786u, 1234ull, std::vector<size_t>{1, 4}, saved.Reinstall.Taken));
    ASSERT_EQ(loaded.Changes.size(), saved.Changes.size());
    for (size_t i = 0; i < saved.Changes.size(); i++) {
        SCOPED_TRACE(testing::Message() << "change " << i);
        EXPECT_EQ(loaded.Changes[i].Kind, saved.Changes[i].Kind);
        EXPECT_EQ(Fields(loaded.Changes[i].Before), Fields(saved.Changes[i].Before));
        EXPECT_EQ(Fields(loaded.Changes[i].After), Fields(saved.Changes[i].After));
    }
    DeleteFileW(path.c_str());
}

TEST(CheckState, RefusesAFileCutShortOrNotItsOwn)
{
    CheckState saved;
    saved.AppName = L"Orbel";
    saved.Problems = 1;
    saved.Report = "{}";
    saved.Changes = {{ChangeAdded, Entry(), MakeValue(L"HKCU\\Software\\Orbel", L"v", REG_SZ, TextData(L"1"))},
                     {ChangeAdded, Entry(), {EntryFile, L"C:\\Orbel\\a.exe", L"", 0, "", 5, 6, 0x20, false}}};
    const std::wstring whole = TempFile(L"CheckStateWhole.txt"), cut = TempFile(L"CheckStateCut.txt");
    ASSERT_TRUE(SaveState(whole, saved));
    const std::string bytes = Bytes(whole);
    ASSERT_FALSE(bytes.empty());
    CheckState loaded;
    // At a line end too: a file that lost its last lines is not whole.
    for (size_t length = 1; length < bytes.size(); length++) {
        Write(cut, bytes.substr(0, length));
        EXPECT_FALSE(LoadState(cut, &loaded)) << "cut after " << length << " bytes";
    }
    const std::string changes = bytes.substr(0, bytes.rfind("end\t"));
    const std::string header = bytes.substr(0, bytes.find('\n') + 1);
    // A place of the new installation must be a change of the first: held indices below the count.
    const struct { const char *Why; std::string Bytes; } refused[] = {
        {"another version", "CheckInstaller state 1\napp\tOrbel\n"},
        {"held place out of range", header + "app\tOrbel\nproblems\t0\nreinstall\t1\t0\t0\t5\t0,2\nend\t0\n"},
        // Whole as that version wrote it, but without what the look after the uninstall saw.
        {"the version before", "CheckInstaller state 4\n" + changes.substr(header.size()) + "reinstall\t1\t0\t0\t5\t0,1\nend\t2\n"},
        {"held place one past the last change", changes + "reinstall\t1\t0\t0\t5\t1,2\nend\t2\n"},
        // What the look after the uninstall saw: one state a change, each a state there is.
        {"a state for each change but one", changes + "afterUninstall\t2\nend\t2\n"},
        {"a state there is not", changes + "afterUninstall\t23\nend\t2\n"},
    };
    for (const auto &row : refused) {
        Write(cut, row.Bytes);
        EXPECT_FALSE(LoadState(cut, &loaded)) << row.Why;
    }
    EXPECT_FALSE(LoadState(TempFile(L"CheckStateNoSuchFile.txt"), &loaded));
    DeleteFileW(whole.c_str());
    DeleteFileW(cut.c_str());
}
