#include "Pending.h"
#include "judge/Reinstall.h"
#include "tell/JsonReport.h"
#include "tell/Report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring Folder = L"C:\\Program Files\\Orbel";
Entry File(const std::wstring &leaf) { return MakeEntry(EntryFile, Folder + L"\\" + leaf); }

}  // namespace

// A restart goes through the deletions in their order; a folder goes only once empty.
TEST(CheckReinstall, TakenByRestartFollowsThePendingDeletionsInOrder)
{
    const Entry folder = MakeEntry(EntryFolder, Folder), exe = File(L"Orbel.exe"), chm = File(L"Orbel.chm"),
                kestrane = File(L"Kestrane.exe"), data = MakeEntry(EntryFolder, Folder + L"\\data"),
                inData = MakeEntry(EntryFile, Folder + L"\\data\\a.txt");
    const std::vector<Entry> installed = {folder, exe, chm, kestrane};
    struct Row { const char *Name; std::vector<std::wstring> Pending; std::vector<Entry> Present;
                 std::vector<std::wstring> Taken; } rows[] = {
        {"what the uninstall leaves: Kestrane.exe, then the folder, which still holds the rest",
         {kestrane.Path, Folder}, installed, {kestrane.Path}},
        {"every file before the folder: all of it", {exe.Path, chm.Path, kestrane.Path, Folder}, installed,
         {exe.Path, chm.Path, kestrane.Path, Folder}},
        {"the folder before its files: not empty then", {Folder, exe.Path, chm.Path, kestrane.Path}, installed,
         {exe.Path, chm.Path, kestrane.Path}},
        {"another letter case", {L"c:\\PROGRAM FILES\\orbel\\kestrane.EXE"}, installed,
         {kestrane.Path}},
        {"a neighbour whose name begins alike", {L"C:\\Program Files\\OrbelX\\Kestrane.exe", L"C:\\Program Files\\Orbe"},
         installed, {}},
        {"a subfolder emptied first, then the folder holds it no more",
         {inData.Path, data.Path, exe.Path, Folder}, {folder, exe, data, inData}, {inData.Path, data.Path, exe.Path, Folder}},
        {"the subfolder's file stays: neither folder goes", {data.Path, exe.Path, Folder}, {folder, exe, data, inData},
         {exe.Path}},
        {"nothing installed again", {kestrane.Path, Folder}, {}, {}},
        {"nothing pending", {}, installed, {}},
        {"one place named twice is taken once", {kestrane.Path, kestrane.Path}, installed, {kestrane.Path}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(TakenByRestart(row.Pending, row.Present), row.Taken) << row.Name;
}

// The forecast goes from the changes the new installation holds again to what the restart deletes.
TEST(CheckReinstall, TheForecastTakesTheFoldersHeldAgain)
{
    const Entry folder = MakeEntry(EntryFolder, Folder), exe = File(L"Orbel.exe"),
                data = MakeEntry(EntryFolder, Folder + L"\\data"), inData = MakeEntry(EntryFile, Folder + L"\\data\\a.txt"),
                value = MakeValue(L"HKCU\\Software\\Orbel", L"Language", REG_SZ, TextData(L"fr"));
    std::vector<Change> changes;
    for (const Entry &place : {folder, exe, data, inData, value})
        changes.push_back({ChangeAdded, Entry(), place});
    struct Row { const char *Name; std::vector<size_t> Held; std::vector<std::wstring> Pending, Taken; } rows[] = {
        {"the folder, once its files are gone", {0, 1, 2, 3, 4}, {inData.Path, data.Path, exe.Path, Folder},
         {inData.Path, data.Path, exe.Path, Folder}},
        {"a subfolder emptied first", {0, 2, 3}, {inData.Path, data.Path}, {inData.Path, data.Path}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(TakenByRestart(row.Pending, HeldFilesAndFolders(changes, row.Held)), row.Taken) << row.Name;
}

// What the check reads of PendingFileRenameOperations is the path, whatever Windows writes before it.
TEST(CheckReinstall, PendingPathIsWithoutWhatWindowsWritesBeforeIt)
{
    struct Row { const wchar_t *Text, *Path; } rows[] = {
        // The target of a rename that may replace what is there.
        {L"!\\??\\C:\\Program Files\\Orbel\\Kestrane.exe", L"C:\\Program Files\\Orbel\\Kestrane.exe"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(PendingPath(row.Text), row.Path) << row.Text;
}

TEST(CheckReinstall, PlacesHeldAreThoseAsTheInstallMadeThem)
{
    const Entry ini = MakeEntry(EntryFile, L"C:\\windows\\win.ini");
    Entry iniBefore = ini, iniAfter = ini;
    iniBefore.Size = 10;
    iniAfter.Size = 20;
    const Entry value = MakeValue(L"HKCU\\Software\\Orbel", L"Language", REG_SZ, TextData(L"fr"));
    const std::vector<Change> changes = {
        {ChangeAdded, Entry(), File(L"Orbel.exe")},
        {ChangeAdded, Entry(), value},
        {ChangeChanged, iniBefore, iniAfter},
        {ChangeRemoved, MakeEntry(EntryFile, L"C:\\old.txt"), Entry()},
    };
    Entry iniAgain = ini;
    iniAgain.Size = 30;  // appended to once more: still not what it was
    struct Row { const char *Name; std::vector<bool> Present; std::vector<Entry> Now; std::vector<size_t> Held; } rows[] = {
        {"all made again", {true, true, true, false}, {File(L"Orbel.exe"), value, iniAgain, Entry()}, {0, 1, 2}},
        {"nothing made again", {false, false, true, false}, {Entry(), Entry(), iniBefore, Entry()}, {}},
        {"a removed place is no place of the new installation", {true, false, false, false},
         {File(L"Orbel.exe"), Entry(), Entry(), Entry()}, {0, 2}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(PlacesHeld(changes, row.Present, row.Now), row.Held) << row.Name;
}

TEST(CheckReinstall, TheProblemSaysWhatTheUserLosesAndTheKindsFix)
{
    const std::wstring kestrane = Folder + L"\\Kestrane.exe", exe = Folder + L"\\Orbel.exe";
    struct Row { std::vector<std::wstring> Taken; InstallerKind Kind; bool After; std::vector<std::wstring> Says; } rows[] = {
        {{kestrane}, KindNsis, false,
         {L"loses C:\\Program Files\\Orbel\\Kestrane.exe at the restart", L"its uninstall entry then starts a program that is gone",
          L"examples/nsis/PendingDeletions.nsh", L"or ask for the restart first"}},
        {{exe, kestrane}, KindInno, false, {L"Orbel.exe and C:\\Program Files\\Orbel\\Kestrane.exe at", L"[Code]"}},
        {{exe}, KindUnknown, true, {L"the restart deleted C:\\Program Files\\Orbel\\Orbel.exe of the installation made again"}},
    };
    for (const Row &row : rows) {
        const std::wstring text = TakenProblem(row.Taken, row.Kind, row.After);
        for (const std::wstring &says : row.Says)
            EXPECT_NE(text.find(says), std::wstring::npos) << "missing: " << testing::PrintToString(says);
    }
    EXPECT_EQ(TakenProblem({exe}, KindNsis, false).find(L"uninstall entry then"), std::wstring::npos);
}

TEST(CheckReinstall, OnlyAnInstallerThatEndedWellInstalledAgain)
{
    ReinstallRecord record;
    record.Started = true;
    EXPECT_TRUE(InstalledAgain(record));
    record.ExitCode = 7;  // Inno Setup's "prepare to install" refused: restart first
    EXPECT_FALSE(InstalledAgain(record));
    record.ExitCode = 0;
    record.TimedOut = true;
    EXPECT_FALSE(InstalledAgain(record));
    record.TimedOut = false;
    record.Started = false;
    EXPECT_FALSE(InstalledAgain(record));
}

// Seen after the restart, the new installation decides the problem foreseen from the deletions:
// a loss counted once, as foreseen or not; none, where the restart took nothing.
TEST(CheckReinstall, TheRestartSeenDecidesTheLossForeseen)
{
    const std::wstring exe = Folder + L"\\Kestrane.exe";
    struct Row { const char *Name; std::vector<std::wstring> Taken, Gone; int Problems; std::string Whole; } rows[] = {
        {"WholeAsForeseen", {}, {}, 0, "\"whole\":true"},
        {"WholeThoughALossWasForeseen", {exe}, {}, 0, "\"whole\":true"},
        {"LostAsForeseen", {exe}, {exe}, 1, "\"whole\":false"},
        {"LostUnforeseen", {}, {exe}, 1, "\"whole\":false"},
    };
    for (const Row &row : rows) {
        StartQuietReport();
        ReinstallRecord again;
        again.Started = true;
        again.Held = {0, 1, 2};
        again.Taken = row.Taken;
        if (!row.Taken.empty())
            Finding(VerdictProblem, TakenProblem(row.Taken, KindNsis, false), L"A reinstall before the restart");
        Said said;
        JudgeNewInstallation(again, row.Gone, KindNsis, &said);
        Tell(said);
        const std::string json = JsonNewInstallation(again.Held.size(), row.Gone);
        int recorded = 0;
        for (const FindingRecord &finding : RecordedFindings())
            recorded += finding.Kind == VerdictProblem;
        EXPECT_EQ(ProblemCount(), row.Problems) << row.Name;
        EXPECT_EQ(recorded, row.Problems) << row.Name;
        EXPECT_NE(json.find(row.Whole), std::string::npos) << row.Name << ": " << json;
    }
}
