#include "FakePlatform.h"

#include "Findings.h"
#include "Report.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace {

const std::wstring ProgramFilesX86 = L"C:\\Program Files (x86)";
const std::wstring AppDir = ProgramFiles + L"\\Orbel", AppDir32 = ProgramFilesX86 + L"\\Orbel";
const std::wstring Uninstall = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Uninstall32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Entry64 = Uninstall + L"\\Orbel", Entry32 = Uninstall32 + L"\\Orbel";
const std::wstring Settings = L"HKCU\\Software\\Orbel";

Entry File(const std::wstring &path, unsigned long long size = 1)
{
    Entry file = MakeEntry(EntryFile, path);
    file.Size = size;
    return file;
}

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text)
{
    return MakeValue(key, name, REG_SZ, TextData(text));
}

Entry One(const std::wstring &key, const std::wstring &name)
{
    return MakeValue(key, name, REG_DWORD, std::string("\1\0\0\0", 4));
}

const std::vector<Entry> Before = {
    MakeEntry(EntryFolder, ProgramFiles), MakeEntry(EntryFolder, ProgramFilesX86), MakeEntry(EntryFolder, L"C:\\ProgramData"),
    MakeEntry(EntryFolder, Desktop), MakeEntry(EntryFolder, Programs), File(L"C:\\Windows\\win.ini", 10),
    File(L"C:\\Windows\\old.dll", 7), MakeEntry(EntryKey, Uninstall), MakeEntry(EntryKey, Uninstall32),
    MakeEntry(EntryKey, L"HKCU\\Software"),
};

// What a right installer adds: the folder and entry may be placed elsewhere.
std::vector<Entry> Installed(const std::wstring &dir = AppDir, const std::wstring &entry = Entry64,
                             std::vector<Entry> more = {})
{
    std::vector<Entry> entries = {
        File(dir + L"\\Orbel.exe"), File(dir + L"\\Kestrane.exe"), Text(entry, L"DisplayName", L"Orbel"),
        Text(entry, L"DisplayIcon", dir + L"\\Orbel.exe"),
        Text(entry, L"UninstallString", L"\"" + dir + L"\\Kestrane.exe\" Orbel/NULL"), One(entry, L"NoModify"),
        One(entry, L"NoRepair"), Text(Settings, L"Language", L"fr"), File(Programs + L"\\Orbel.lnk"),
        File(Desktop + L"\\Orbel.lnk")};
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

std::wstring PlaceKey(const Entry &entry)
{
    return std::to_wstring(entry.Kind == EntryValue) + Folded(entry.Path) + L"|" + Folded(entry.Name);
}

// The entries with every folder and key they are in, up to a root ("C:", "HKLM", "HKCU").
Snapshot Snap(std::vector<Entry> entries)
{
    std::set<std::wstring> held;
    for (const Entry &entry : entries)
        held.insert(entry.Kind == EntryValue ? L"" : Folded(entry.Path));
    for (size_t i = 0, count = entries.size(); i < count; i++)
        for (std::wstring path = entries[i].Kind == EntryValue ? entries[i].Path : ParentOf(entries[i].Path);
             !path.empty(); path = ParentOf(path))
            if (held.insert(Folded(path)).second)
                entries.push_back(MakeEntry(path.compare(0, 2, L"HK") == 0 ? EntryKey : EntryFolder, path));
    Snapshot snapshot;
    SnapshotOfEntries(entries, &snapshot);
    return snapshot;
}

struct Row {
    const char *Name;
    std::vector<Entry> After;        // replacing a place's earlier entry
    std::vector<std::wstring> Gone;  // deleted by the installer
    int Problems;
    std::vector<std::pair<Verdict, std::wstring>> Findings;  // each found in a finding's text
};

const Row Rows[] = {
    {"RightInstaller", Installed(), {}, 0, {{VerdictOk, L"the uninstall entry `Orbel` is in the 64-bit registry view"}}},
    {"EntryInBothViews", Installed(AppDir, Entry64, Installed(AppDir, Entry32)), {}, 1,
     {{VerdictOk, L"the uninstall entry `Orbel` is in the 64-bit registry view"},
      {VerdictProblem, L"the uninstall entry " + Uninstall + L"\\Orbel (32-bit view) survives the uninstall"}}},
    {"EntryIn32BitView", Installed(AppDir, Entry32), {}, 1,
     {{VerdictProblem, L"the uninstall entry `Orbel` is in the 32-bit registry view"}}},
    {"SettingsKeyNotFlat", Installed(AppDir, Entry64, {Text(Settings + L"\\Window", L"Left", L"10")}), {}, 1,
     {{VerdictProblem, Settings + L" has the subkey(s) `Window`"}}},
    // One mistake with its consequences: the entry's path and the folder left behind are not counted again.
    {"FolderIn32BitProgramFiles", Installed(AppDir32), {}, 1,
     {{VerdictProblem, L"the application folder is " + AppDir32 + L", in the 32-bit Program Files folder"}}},
    {"UnquotedPathWithBlanks",
     Installed(AppDir, Entry64, {Text(Entry64, L"UninstallString", AppDir + L"\\Kestrane.exe Orbel/NULL")}), {}, 1,
     {{VerdictProblem, L"UninstallString holds the path of Kestrane.exe without quotes"}}},
    {"FileOutsideTheFolder", Installed(AppDir, Entry64, {File(L"C:\\ProgramData\\Orbel\\cache.db")}), {}, 1,
     {{VerdictProblem, L"C:\\ProgramData\\Orbel (a folder with 1 item in it) survives the uninstall: Kestrane removes "
                       L"nothing outside the application folder"}}},
    {"FileInTheFolder", Installed(AppDir, Entry64, {File(AppDir + L"\\readme.txt")}), {}, 1,
     {{VerdictProblem, AppDir + L"\\readme.txt survives the uninstall: Kestrane removes only Orbel.exe"}}},
    {"ChangedFile", Installed(AppDir, Entry64, {File(L"C:\\Windows\\win.ini", 20)}), {}, 1,
     {{VerdictProblem, L"C:\\Windows\\win.ini, which was there before the install, was changed by the installer (its "
                       L"size was 10 bytes, now 20), and stays changed after the uninstall: Kestrane restores no file"}}},
    {"DeletedFile", Installed(), {L"C:\\Windows\\old.dll"}, 1,
     {{VerdictProblem, L"C:\\Windows\\old.dll was there before the install, and the installer deleted it"}}},
};

void PrintTo(const Row &row, std::ostream *out) { *out << row.Name; }

class CheckFindings : public testing::TestWithParam<Row> {};

}  // namespace

TEST_P(CheckFindings, NamesEachMistakeOnce)
{
    const Row &row = GetParam();
    std::vector<Entry> after = Before;
    for (const Entry &entry : row.After) {
        size_t at = 0;
        while (at < after.size() && PlaceKey(after[at]) != PlaceKey(entry))
            at++;
        if (at < after.size())
            after[at] = entry;
        else
            after.push_back(entry);
    }
    for (const std::wstring &gone : row.Gone)
        for (size_t at = 0; at < after.size(); at++)
            if (SameText(after[at].Path, gone))
                after.erase(after.begin() + at--);

    Inspection in = {};
    CompareSnapshots(Snap(Before), Snap(after), &in.Changes);
    ForgetUninstallKeys(&in.Changes);
    GroupChanges(in.Changes, &in.Groups);
    in.Folders.ProgramFiles = ProgramFiles;
    in.Folders.ProgramFilesX86 = ProgramFilesX86;
    ResetFake();
    StartQuietReport();
    InspectInstallation(&in);

    std::wstring shown;
    for (const FindingRecord &finding : RecordedFindings())
        shown += std::wstring(VerdictWord(finding.Kind)) + L": " + finding.Text + L"\n";
    SCOPED_TRACE(testing::Message() << "findings:\n" << shown);
    EXPECT_TRUE(in.HasEntry);
    EXPECT_EQ(ProblemCount(), row.Problems);
    for (const auto &[verdict, text] : row.Findings) {
        bool found = false;
        for (const FindingRecord &finding : RecordedFindings())
            found = found || (finding.Kind == verdict && finding.Text.find(text) != std::wstring::npos);
        EXPECT_TRUE(found) << VerdictWord(verdict) << ": " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Check, CheckFindings, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &info) { return info.param.Name; });
