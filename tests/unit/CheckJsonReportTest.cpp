#include "tell/JsonReport.h"
#include "tell/Report.h"
#include "tell/RunReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

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

// Each step that took places for the machine's own says how many it saw change, and why it took
// them: the watch's count is of the places seen changing, not of those watched.
TEST(CheckJsonReport, EachNoiseStepSaysWhatItSawAndWhy)
{
    struct Row {
        const char *Name;
        size_t Watched, SeenChanging;
        std::vector<std::wstring> Running;
        std::string Step;
    } rows[] = {
        {"KeptChanging", 3, 1, {},
         "{\"step\":\"after the install\",\"places\":[],\"placesSeen\":1,\"changes\":0,\"why\":\"kept changing while "
         "watched after the install"},
        {"NotWatched", 0, 0, {L"C:\\Program Files\\Orbel\\agent.exe"},
         "{\"step\":\"after the install\",\"places\":[],\"placesSeen\":0,\"changes\":0,\"why\":\"not watched: programs "
         "of the new installation were running"},
    };
    for (const Row &row : rows) {
        InstallRecord install = {};
        NoiseRecord noise;
        noise.SeenBefore = {L"C:\\ProgramData\\Busy\\a.log", L"C:\\ProgramData\\Busy\\b.log"};
        noise.WatchedPlaces = row.Watched;
        noise.PlacesWatched = row.SeenChanging;
        noise.RunningWhileWatched = row.Running;
        const std::string json = JsonReport(install, noise, {}, {}, {}, L"", NULL, {}, "", "", 0);
        EXPECT_NE(json.find(row.Step), std::string::npos) << row.Name << ": " << json;
        EXPECT_NE(json.find("\"placesSeen\":2,\"seen\":[\"C:\\\\ProgramData\\\\Busy\\\\a.log\",\"C:\\\\ProgramData\\\\Busy\\\\b.log\"]"),
                  std::string::npos) << row.Name << ": " << json;
    }
}

// A report that cannot be written where it was asked for makes the exit code 2, whatever the
// check found: a job is never green without its report.
TEST(CheckJsonReport, AReportNotWrittenMakesTheExitCodeTwo)
{
    StartQuietReport();
    EXPECT_EQ(FinalExitCode(0), 0);
    WriteJsonReport(L"C:\\no-such-folder-of-the-tests\\report.json", "{}");
    EXPECT_EQ(FinalExitCode(0), 2);
    EXPECT_EQ(FinalExitCode(1), 2);
}
