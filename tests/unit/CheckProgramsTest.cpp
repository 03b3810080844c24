#include "judge/CommandLine.h"
#include "judge/InstallerEnd.h"
#include "look/Programs.h"
#include "run/Installer.h"
#include "tell/Report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include <shellapi.h>

TEST(CheckPrograms, ArgumentTextIsWhatFollowsTheProgramPath)
{
    struct Row { const wchar_t *Line, *Text; } rows[] = {
        {L"\"C:\\Program Files\\Orbel\\Kestrane.exe\" Orbel/NULL", L"Orbel/NULL"},
        {L"C:\\Program Files\\Orbel\\Kestrane.exe Orbel/NULL", L"Files\\Orbel\\Kestrane.exe Orbel/NULL"},
        {L"\"C:\\Orbel\\Kestrane.exe\"  \t Orbel/Rule 1", L"Orbel/Rule 1"},
        {L"C:\\\"Program Files\"\\Kestrane.exe Orbel/NULL", L"Orbel/NULL"},  // quotes toggle mid-path
        {L"\"C:\\Orbel\\Kestrane.exe\"Orbel/NULL", L""},                    // no blank: still the path
        {L"C:\\Orbel\\Kestrane.exe", L""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ArgumentTextOf(row.Line), row.Text) << row.Line;
}

TEST(CheckPrograms, UnquotedPathIsTriedBlankByBlank)
{
    wchar_t system[MAX_PATH];
    const std::wstring cmd = std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) + L"\\cmd";
    ASSERT_EQ(cmd.find(L' '), std::wstring::npos);
    struct Row { std::wstring Line, Started; std::vector<std::wstring> Tried; } rows[] = {
        {L"C:\\No Such\\Kestrane.exe Orbel/NULL", L"",
         {L"C:\\No", L"C:\\No Such\\Kestrane.exe", L"C:\\No Such\\Kestrane.exe Orbel/NULL"}},
        {L"\"C:\\No Such\\Kestrane.exe\" Orbel/NULL", L"", {L"C:\\No Such\\Kestrane.exe"}},
        {L"\"" + cmd + L".exe\" /c", cmd + L".exe", {cmd + L".exe"}},
        // Windows adds .exe to the first try and starts another program than the one named.
        {cmd + L" Tools\\Kestrane.exe Orbel/NULL", cmd + L".exe", {cmd}},
    };
    for (const Row &row : rows) {
        std::vector<std::wstring> tried;
        EXPECT_EQ(ProgramStartedBy(row.Line, &tried), row.Started) << row.Line;
        EXPECT_EQ(tried, row.Tried) << row.Line;
    }
}

// This program is also the installer the rows below run: one that waits for ever, or one whose
// child shows a box nobody answers. Each ends by itself after a minute, whatever the check does.
static bool RunAsInstaller()
{
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring role = argv != NULL && count == 2 ? argv[1] : L"";
    LocalFree(argv);
    if (role != L"--installer-waits" && role != L"--installer-starts-a-box" && role != L"--installer-box")
        return false;
    CloseHandle(CreateThread(NULL, 0, [](void *) -> DWORD { Sleep(60000); ExitProcess(3); }, NULL, 0, NULL));
    if (role == L"--installer-box")
        ExitProcess(MessageBoxW(NULL, L"Close the other programs first.", L"Orbel Setup", MB_OK) == IDOK ? 0 : 1);
    if (role == L"--installer-starts-a-box") {
        wchar_t self[MAX_PATH * 2] = {0};
        GetModuleFileNameW(NULL, self, MAX_PATH * 2);
        std::wstring line = L"\"" + std::wstring(self) + L"\" --installer-box";
        STARTUPINFOW startup = {sizeof startup};
        PROCESS_INFORMATION child;
        if (CreateProcessW(self, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child))
            WaitForSingleObject(child.hProcess, INFINITE);
    }
    Sleep(INFINITE);
    return true;
}
static const bool RunningAsInstaller = RunAsInstaller();

// The installer is stopped at its limit with everything it started, and a box any of them
// shows is named while the check waits.
TEST(CheckPrograms, TheInstallerAndWhatItStartsAreWatchedUpToTheLimit)
{
    StartQuietReport();
    wchar_t self[MAX_PATH * 2] = {0};
    GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    struct Row { const char *Role; DWORD LimitSeconds; std::vector<std::wstring> Boxes; } rows[] = {
        {"--installer-waits", 2, {}},
        {"--installer-starts-a-box", 4, {L"Orbel Setup: Close the other programs first."}},
    };
    for (const Row &row : rows) {
        InstallerRun run = RunInstaller(self, {std::wstring(row.Role, row.Role + strlen(row.Role))}, row.LimitSeconds);
        EXPECT_TRUE(run.Started) << row.Role;
        EXPECT_TRUE(run.TimedOut) << row.Role;
        EXPECT_GE(run.Ms, row.LimitSeconds * 1000ull) << row.Role;
        EXPECT_LT(run.Ms, row.LimitSeconds * 1000ull + 10000) << row.Role;
        EXPECT_EQ(run.Boxes, row.Boxes) << row.Role;
    }
}

// A box the installer's child shows waits as long as one of its own.
TEST(CheckPrograms, BoxesAreLookedForInEveryProcessOfTheJob)
{
    struct Row { const char *Name; std::vector<DWORD> Job, Looked; } rows[] = {
        {"the installer and the program it started", {40, 52}, {40, 52}},
        {"the installer ended, its child runs on", {52}, {52}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ProcessesToLookAt(true, row.Job, 40), row.Looked) << row.Name;
}

// The installer has ended when its own processes have; what it started from the files the
// install made runs on as the application, and the check goes on.
TEST(CheckPrograms, TheApplicationTheInstallerStartsIsNotTheInstaller)
{
    const std::wstring setup = L"Z:\\build\\OrbelSetup.exe";
    struct Row {
        const char *Name;
        std::wstring Image;
        bool ExistedBefore, InstallersOwn, Application;
    } rows[] = {
        {"the setup itself", setup, true, false, false},
        {"the setup, named in another case, new to the look", L"z:\\BUILD\\orbelsetup.exe", false, false, false},
        {"its copy unpacked in the temporary folder", L"C:\\users\\u\\Temp\\nsu1.tmp\\Un_A.exe", false, true,
         false},
        {"Windows' installer service", L"C:\\windows\\system32\\msiexec.exe", true, false, false},
        {"a reboot helper of Windows'", L"C:\\windows\\system32\\shutdown.exe", true, false, false},
        {"a program there before, in the application's folder", L"C:\\Program Files\\Orbel\\Orbel.exe", true, false,
         false},
        {"an agent the install made", L"C:\\ProgramData\\Orbel\\OrbelAgent.exe", false, false, true},
        {"a tray program the install made", L"C:\\Program Files\\Orbel\\OrbelTray.exe", false, false, true},
        {"a process whose program cannot be read", L"", false, false, false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsApplicationProgram(row.Image, setup, row.ExistedBefore, row.InstallersOwn), row.Application) << row.Name;

    // The installer's own helpers run from where installers put them, or are copies of it.
    wchar_t temp[MAX_PATH + 1];
    const std::wstring tempFolder(temp, GetTempPathW(MAX_PATH + 1, temp));
    struct Own { std::wstring Image; bool Copy, Expected; } owns[] = {
        {tempFolder + L"nsu1.tmp\\Au_.exe", false, true},
        {L"C:\\windows\\Installer\\MSI1F2A.tmp", false, true},
        {L"C:\\ProgramData\\Package Cache\\{6F1A}\\OrbelSetup.exe", true, true},
        {L"C:\\ProgramData\\Orbel\\OrbelAgent.exe", false, false},
        {L"C:\\windows\\InstallerOrbel\\OrbelAgent.exe", false, false},
    };
    for (const Own &row : owns)
        EXPECT_EQ(InstallersOwnProgram(row.Image, row.Copy), row.Expected) << std::string(row.Image.begin(), row.Image.end());

    struct Ended { const char *Name; bool SetupEnded; std::vector<bool> Live; bool Expected; } ends[] = {
        {"the setup runs", false, {}, false},
        {"the setup ended, nothing runs", true, {}, true},
        {"the setup ended, its agent runs", true, {true}, true},
        {"the setup ended, its elevated copy runs beside the agent", true, {true, false}, false},
        {"the setup ended, msiexec runs", true, {false}, false},
    };
    for (const Ended &row : ends)
        EXPECT_EQ(InstallerEnded(row.SetupEnded, row.Live), row.Expected) << row.Name;

    // What the agent starts is the agent's, however deep; what the setup starts is not.
    struct Started { const char *Name; std::vector<DWORD> Ids, Parents; std::vector<bool> Application, Expected; } starts[] = {
        {"the agent's helper and its child", {10, 11, 12}, {5, 10, 11}, {true, false, false}, {true, true, true}},
        {"listed before the agent", {12, 11, 10}, {11, 10, 5}, {false, false, true}, {true, true, true}},
        {"msiexec, started by the setup", {10, 20}, {5, 5}, {true, false}, {true, false}},
        {"a process whose parent is its own id", {30}, {30}, {false}, {false}},
    };
    for (const Started &row : starts) {
        std::vector<bool> application = row.Application;
        AddStartedByApplication(row.Ids, row.Parents, &application);
        EXPECT_EQ(application, row.Expected) << row.Name;
    }
}
