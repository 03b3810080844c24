#include "FakePlatform.h"

#include "app/Run.h"
#include "target/Target.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::wstring AppDir = ProgramFiles + L"\\Orbel";
const std::wstring UninstallKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orbel";
const std::wstring UserKey = L"HKEY_CURRENT_USER\\Software\\Orbel";

const wchar_t Confirm[] = L"Désinstaller  Orbel ?";
const wchar_t Running[] = L"Orbel est en cour d'exécution.\nFermez le programme et recommencez.";
const wchar_t RestartQuestion[] =
    L"Le système doit redémarrer pour terminer la désinstallation.\nRedémarrer maintenant ?";
const wchar_t Done[] = L"Désinstallation terminée avec succès.";

void InstallOrbel()
{
    Fake.Files[AppDir] = FILE_ATTRIBUTE_DIRECTORY;
    Fake.Files[AppDir + L"\\Orbel.exe"] = FILE_ATTRIBUTE_ARCHIVE;
    Fake.Files[AppDir + L"\\Orbel.chm"] = FILE_ATTRIBUTE_ARCHIVE;
    Fake.Files[AppDir + L"\\Kestrane.exe"] = FILE_ATTRIBUTE_ARCHIVE;
    Fake.Files[Desktop + L"\\Orbel.lnk"] = FILE_ATTRIBUTE_ARCHIVE;
    Fake.Files[Programs + L"\\Orbel.lnk"] = FILE_ATTRIBUTE_ARCHIVE;
    Fake.Keys = {UninstallKey, UserKey};
}

struct Box {
    std::wstring Text;
    UINT Style;
    bool operator==(const Box &other) const { return Text == other.Text && Style == other.Style; }
};

std::ostream &operator<<(std::ostream &out, const Box &box)
{
    return out << testing::PrintToString(box.Text) << " style " << box.Style;
}

struct Scenario {
    const char *Name;
    std::wstring Argument;
    std::function<void()> Arrange;
    std::vector<int> Answers;
    std::vector<Box> Boxes;
    int ExitCode;
    int ComLeft; // the run's apartment still open at the end
    bool Removed; // everything of the installation gone or scheduled
};

const UINT Error = MB_OK | MB_ICONERROR;
const UINT Question = MB_OKCANCEL | MB_ICONINFORMATION;
const UINT Information = MB_OK | MB_ICONINFORMATION;

const Scenario Scenarios[] = {
    {"SuccessWithoutRestart", L"Orbel/Orbel Inbound", InstallOrbel, {},
     {{Confirm, Question}, {Done, Information}}, 0, 0, true},
    {"NothingInstalledStillSucceeds", L"Orbel/NULL", [] {}, {},
     {{Confirm, Question}, {Done, Information}}, 0, 0, false},
    {"ComAlreadyInitialised", L"Orbel/NULL", [] { Fake.CoInitResults = {S_FALSE}; }, {},
     {{L"Erreur Système.", Error}}, -1, 1, false},
    {"ComRefused", L"Orbel/NULL", [] { Fake.CoInitResults = {RPC_E_CHANGED_MODE}; }, {},
     {{L"Erreur Système.", Error}}, -1, 0, false},
    {"TooFewTokens", L"Orbel", InstallOrbel, {},
     {{L"Erreur.\nArguments.", Error}}, 1, 0, false},
    {"NameOutsideItsFolder", L"../NULL", InstallOrbel, {},
     {{L"Erreur.\nArguments.", Error}}, 1, 0, false},
    {"ArgumentTooLong", std::wstring(260, L'a') + L"/NULL", InstallOrbel, {},
     {{L"Erreur.\nArguments.", Error}}, 1, 0, false},
    {"NameTooLongForPaths", std::wstring(150, L'n') + L"/NULL", InstallOrbel, {},
     {{L"Désinstaller  " + std::wstring(150, L'n') + L" ?", Question}, {L"Erreur.\nArguments.", Error}},
     1, 0, false},
    {"AppRunning", L"Orbel/NULL", [] { InstallOrbel(); Fake.WindowTitles = {L"Orbel - Document1"}; }, {},
     {{Running, MB_ICONWARNING}}, 2, 0, false},
    {"WindowEnumerationFails", L"Orbel/NULL", [] { InstallOrbel(); Fake.EnumFails = true; }, {},
     {{Running, MB_ICONWARNING}}, 2, 0, false},
    {"OtherLetterCaseIsNotRunning", L"Orbel/NULL", [] { InstallOrbel(); Fake.WindowTitles = {L"orbel"}; }, {},
     {{Confirm, Question}, {Done, Information}}, 0, 0, true},
    {"CancelAtConfirmation", L"Orbel/NULL", InstallOrbel, {IDCANCEL},
     {{Confirm, Question}}, 0, 1, false},
    {"ConfirmationFailsToAppear", L"Orbel/NULL", InstallOrbel, {0},
     {{Confirm, Question}, {Done, Information}}, 0, 0, true},
    {"ShellFolderUnresolved", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.Folders[CSIDL_PROGRAMS].first = E_FAIL; }, {},
     {{Confirm, Question}, {L"Erreur.\nSystème.", Error}}, 1, 0, false},
    {"FirewallUnavailable", L"Orbel/NULL", [] { InstallOrbel(); Fake.CreateResult = REGDB_E_CLASSNOTREG; }, {},
     {{Confirm, Question}, {L"Erreur.\nPare-Feu.", Error}}, 1, 0, false},
    {"RegistryRefuses", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.DeleteErrors[UninstallKey] = ERROR_ACCESS_DENIED; }, {},
     {{Confirm, Question}, {L"Erreur.\nRegistre.", Error}}, 1, 0, false},
    {"ShortcutStuck", L"Orbel/NULL",
     [] {
         InstallOrbel();
         Fake.DeleteFails.insert(Programs + L"\\Orbel.lnk");
         Fake.MoveFails.insert(Programs + L"\\Orbel.lnk");
     },
     {}, {{Confirm, Question}, {L"Erreur.\nRaccourcis.", Error}}, 1, 0, false},
    {"ProgramFileStuck", L"Orbel/NULL",
     [] {
         InstallOrbel();
         Fake.DeleteFails.insert(AppDir + L"\\Orbel.chm");
         Fake.MoveFails.insert(AppDir + L"\\Orbel.chm");
     },
     {}, {{Confirm, Question}, {L"Erreur.\nFichiers.", Error}}, 1, 0, false},
    {"RestartAccepted", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe"); }, {IDOK, IDOK},
     {{Confirm, Question}, {RestartQuestion, Question}, {Done, Information}}, 0, 0, true},
    // A question nobody saw is no consent: 0 is Windows' failed box, -1 Wine's.
    {"RestartQuestionFailsToAppear", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe"); }, {IDOK, 0},
     {{Confirm, Question}, {RestartQuestion, Question}, {Done, Information}}, 0, 0, true},
    {"RestartQuestionFailsUnderWine", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe"); }, {IDOK, -1},
     {{Confirm, Question}, {RestartQuestion, Question}, {Done, Information}}, 0, 0, true},
    {"RestartDeclined", L"Orbel/NULL",
     [] { InstallOrbel(); Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe"); }, {IDOK, IDCANCEL},
     {{Confirm, Question}, {RestartQuestion, Question}, {Done, Information}}, 0, 0, true},
    {"RestartRefused", L"Orbel/NULL",
     [] {
         InstallOrbel();
         Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe");
         Fake.AdjustLastError = ERROR_NOT_ALL_ASSIGNED;
     },
     {IDOK, IDOK},
     {{Confirm, Question}, {RestartQuestion, Question}, {L"Erreur.\nRedémarrage.", Error}}, 1, 0, true},
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.Name; }

class RunTest : public testing::TestWithParam<Scenario> {};

TEST_P(RunTest, ShowsTheRightBoxesAndExitCode)
{
    const Scenario &scenario = GetParam();
    ResetFake();
    scenario.Arrange();
    Fake.Answers.assign(scenario.Answers.begin(), scenario.Answers.end());

    EXPECT_EQ(RunUninstall(scenario.Argument.c_str()), scenario.ExitCode);

    std::vector<Box> shown;
    for (const FakeBox &box : Fake.Boxes) {
        shown.push_back({box.Text, box.Style});
        EXPECT_EQ(box.Caption, L"Kestrane");
        EXPECT_EQ(box.Owner, nullptr);
    }
    EXPECT_EQ(shown, scenario.Boxes);
    EXPECT_EQ(Fake.ComDepth, scenario.ComLeft);
    EXPECT_EQ(Fake.LiveObjects, 0);
    EXPECT_EQ(Fake.LiveStrings, 0);
    EXPECT_EQ(Fake.OpenKeys, 0);
    EXPECT_EQ(Fake.OpenTokens, 0);

    bool removed = Fake.Keys.empty();
    for (const auto &[path, attributes] : Fake.Files)
        if (std::find(Fake.Pending.begin(), Fake.Pending.end(), path) == Fake.Pending.end())
            removed = false;
    if (scenario.Removed)
        EXPECT_TRUE(removed);
    bool reachedRemoval = !CallsStartingWith(L"GetFolderPath").empty();
    if (!reachedRemoval) {
        EXPECT_TRUE(CallsStartingWith(L"RegDeleteKey").empty());
        EXPECT_TRUE(CallsStartingWith(L"DeleteFile").empty());
        EXPECT_TRUE(CallsStartingWith(L"CoCreateInstance").empty());
    }
    bool restartAsked = CallsStartingWith(L"InitiateSystemShutdownEx").size() == 1;
    bool restartExpected = scenario.Answers.size() == 2 && scenario.Answers[1] == IDOK;
    // A run that ends well has requested the restart exactly when it was accepted.
    if (scenario.ExitCode == 0)
        EXPECT_EQ(restartAsked, restartExpected);
    else if (restartAsked)
        EXPECT_TRUE(restartExpected);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RunTest, testing::ValuesIn(Scenarios),
                         [](const testing::TestParamInfo<Scenario> &info) { return info.param.Name; });

TEST(RunOrder, StagesRunInTheirFixedOrderAfterTheChecks)
{
    ResetFake();
    InstallOrbel();
    Fake.DeleteFails.insert(AppDir + L"\\Kestrane.exe");
    ASSERT_EQ(RunUninstall(L"Orbel/Orbel Inbound"), 0);

    std::vector<std::wstring> milestones;
    for (const std::wstring &call : Fake.Calls)
        for (const wchar_t *prefix : {L"CoInitializeEx", L"EnumWindows", L"MessageBox", L"GetFolderPath",
                                      L"Remove ", L"RegDeleteKey", L"DeleteFile", L"RemoveDirectory",
                                      L"MoveFileEx", L"InitiateSystemShutdownEx", L"CoUninitialize"})
            if (call.rfind(prefix, 0) == 0)
                milestones.push_back(call);
    std::vector<std::wstring> expected = {
        L"CoInitializeEx 6",
        L"EnumWindows",
        L"MessageBox Désinstaller  Orbel ?",
        L"GetFolderPath 38",
        L"GetFolderPath 16",
        L"GetFolderPath 2",
        L"CoInitializeEx 2",
        L"Remove Orbel Inbound",
        L"CoUninitialize",
        L"RegDeleteKey " + UninstallKey,
        L"RegDeleteKey " + UserKey,
        L"DeleteFile " + Programs + L"\\Orbel.lnk",
        L"DeleteFile " + Desktop + L"\\Orbel.lnk",
        L"DeleteFile " + AppDir + L"\\Orbel.exe",
        L"DeleteFile " + AppDir + L"\\Orbel.chm",
        L"DeleteFile " + AppDir + L"\\Kestrane.exe",
        L"MoveFileEx " + AppDir + L"\\Kestrane.exe",
        L"RemoveDirectory " + AppDir,
        L"MoveFileEx " + AppDir,
        L"MessageBox " + std::wstring(RestartQuestion),
        L"InitiateSystemShutdownEx",
        L"MessageBox " + std::wstring(Done),
        L"CoUninitialize",
    };
    EXPECT_EQ(milestones, expected);
    EXPECT_EQ(Fake.ComDepth, 0);
}

TEST(RunOrder, RestartNeededIsClearedAtStart)
{
    ResetFake();
    RestartNeeded = 1;
    ASSERT_EQ(RunUninstall(L"Orbel/NULL"), 0);
    EXPECT_TRUE(CallsStartingWith(L"MessageBox Le système").empty());
}

} // namespace
