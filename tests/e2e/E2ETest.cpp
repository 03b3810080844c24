// End-to-end runs of the real Kestrane.exe: lay out an installation, run it with an exact
// command line, answer its boxes, then check the boxes, the exit code and what is left.
#include "BoxDriver.h"
#include "Installation.h"
#include "Messages.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

// A box that never comes costs a run this long. Removing 150 firewall rules one by one takes
// a while on Windows, so that row has its own limit.
const DWORD RunTimeoutMs = 30000;
const DWORD ManyRulesTimeoutMs = 300000;

enum Condition : unsigned
{
    ReadOnlyExe = 1u << 0,
    HoldExeOpen = 1u << 1,      // open without FILE_SHARE_DELETE by this process
    RunFromAppDir = 1u << 2,    // start the copy in the application folder
    FirewallOff = 1u << 3,
    DesktopMissing = 1u << 4,
    UninstallKeyUnreadable = 1u << 5,  // exists, but opening it for reading is denied
    PlantedDlls = 1u << 6,      // a marking DLL beside the program under system DLL names
    WatchRestart = 1u << 7,     // the run's restart request, as Wine's stub reports it
    NoShutdownPrivilege = 1u << 8,  // run with a token that cannot enable it
    ThreeRules = 1u << 9,       // inbound rules of the row's rule name: TCP, UDP and ICMPv4
    ManyRules = 1u << 10,       // 150 of them
    OtherRule = 1u << 11,       // a rule of another name, which must stay
    NoDisplay = 1u << 12,       // on a desktop of its own where no display driver loads
    AsVista = 1u << 13,         // Wine reports Windows Vista to the run
    AsWindows7 = 1u << 14,      // Wine reports Windows 7 to the run
    RulesStay = 1u << 15,       // the rules ThreeRules makes must all be left
};

// Where a row holds: Wine's switches and witnesses exist only under Wine. Firewall rules hold
// on both: under Wine, whose own firewall keeps none, through the stand-in firewall.
enum Place
{
    Both,
    WineOnly,
};

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != NULL;
}

const wchar_t OtherRuleName[] = L"Kestrane E2E Other Rule";

// Two are loaded unless the search is restricted (shcore through shell32, and Wine's
// display driver through user32); the rest are names planted in the wild, and those the
// program preloads where it cannot restrict the search.
const wchar_t *const PlantedNames[] = {
    L"shcore.dll",  L"null.dll",    L"shell32.dll", L"uxtheme.dll",  L"dwmapi.dll",
    L"version.dll", L"userenv.dll", L"propsys.dll", L"cryptbase.dll", L"sspicli.dll",
    L"profapi.dll", L"apphelp.dll", L"ntmarta.dll", L"clbcatq.dll",  L"rpcrtremote.dll",
    L"cryptsp.dll",
};
// Wine's display driver, which Windows never has: as Vista or 7 without the restriction,
// user32 looks for it beside the program when the first box appears.
const wchar_t WineDisplayDriver[] = L"null.dll";
const wchar_t WineKey[] = L"Software\\Wine";
const wchar_t WineDriversKey[] = L"Software\\Wine\\Drivers";
const wchar_t NoDisplayDesktop[] = L"KestraneNoDisplay";
const wchar_t PlantedMarker[] = L"C:\\kestrane-planted-loaded.txt";

const wchar_t MissingDesktop[] = L"C:\\kestrane-e2e-no-such-desktop";

struct Scenario
{
    const char *Name;
    Place Holds;
    std::wstring App;        // whose installation is laid out and checked
    std::wstring Arguments;
    unsigned Layout;         // Items (Installation.h)
    unsigned Conditions;
    std::wstring WindowTitle; // a top-level window of this process while it runs
    std::vector<BoxAnswer> Answers;
    std::vector<std::wstring> Boxes;
    DWORD ExitCode;
    unsigned Gone;               // every other laid-out item must be left
    std::vector<Item> Scheduled; // PendingFileRenameOperations, in order
};

void PrintTo(const Scenario &scenario, std::ostream *out)
{
    *out << scenario.Name;
}

// A Windows path that CMake hands over in an environment variable.
std::wstring PathFromEnvironment(const wchar_t *name)
{
    wchar_t value[MAX_PATH] = {0};
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    std::wstring path = value;
    for (size_t i = 0; i < path.size(); i++)
        if (path[i] == L'/')
            path[i] = L'\\';
    return path;
}

std::wstring KestraneExe()
{
    return PathFromEnvironment(L"KESTRANE_EXE");
}

// Under Wine every row runs against the stand-in firewall, registered in the prefix before
// the first row; what went wrong there fails the rows that look at rules.
std::wstring StandInProblem;

class StandInFirewall : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (!UnderWine())
            return;
        std::wstring dll = PathFromEnvironment(L"FIREWALL_STANDIN");
        StandInProblem = dll.empty() ? L"FIREWALL_STANDIN is not set (a Windows path to FirewallStandIn.dll)"
                                     : RegisterFirewallStandIn(dll);
    }
};

[[maybe_unused]] ::testing::Environment *const StandIn =
    ::testing::AddGlobalTestEnvironment(new StandInFirewall);

std::string ReadWholeFile(const std::wstring &path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD read;
    while (ReadFile(file, buffer, sizeof buffer, &read, NULL) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

// What each InitiateSystemShutdownExW call was given (machine, message, timeout, force,
// restart, reason), from the lines Wine added to the log after offset.
std::vector<std::string> RestartRequests(const std::string &log, size_t offset)
{
    const std::string call = "InitiateSystemShutdownExW ";
    std::vector<std::string> requests;
    for (size_t at = log.find(call, offset); at != std::string::npos; at = log.find(call, at + 1))
    {
        size_t end = log.find_first_of("\r\n", at);
        requests.push_back(log.substr(at + call.size(), end - at - call.size()));
    }
    return requests;
}

// An SDDL DACL; also the way back, since the owner may always rewrite it.
bool SetKeyDacl(HKEY root, const std::wstring &subkey, const wchar_t *sddl)
{
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    LONG result = ERROR_INVALID_PARAMETER;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, NULL))
    {
        result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

const wchar_t DenyReadDacl[] = L"D:(D;;KR;;;WD)(A;;KA;;;WD)";
const wchar_t OpenDacl[] = L"D:(A;;KA;;;WD)";

// Also undoes what a scenario's conditions did to the uninstall key and the firewall.
void RemoveLayout(const InstallationPaths &paths)
{
    SetKeyDacl(HKEY_LOCAL_MACHINE, paths.UninstallKey, OpenDacl);
    RemoveInstallation(paths);
    SetFirewallOff(false);
}

std::wstring ScheduledPath(const InstallationPaths &paths, Item item)
{
    const std::wstring *path = &paths.Dir;
    if (item == AppExe || item == ExeFolder)
        path = &paths.Exe;
    else if (item == AppChm)
        path = &paths.Chm;
    else if (item == UninstallerCopy)
        path = &paths.Uninstaller;
    else if (item == ExtraFile)
        path = &paths.Extra;
    else if (item == StartMenuLink)
        path = &paths.StartMenuLink;
    else if (item == DesktopLink)
        path = &paths.DesktopLink;
    return L"\\??\\" + *path;
}

std::wstring NameOfLength(size_t length)
{
    return L"Orbel" + std::wstring(length - 5, L'x');
}

std::vector<Scenario> Scenarios()
{
    const std::wstring orbel = L"Orbel";
    const std::wstring rule = L"Orbel/Orbel Inbound";
    const std::vector<BoxAnswer> ok = {BoxAnswerOk};
    const std::vector<BoxAnswer> okCancel = {BoxAnswerOk, BoxAnswerCancel};
    const std::vector<BoxAnswer> okOk = {BoxAnswerOk, BoxAnswerOk};
    const std::vector<std::wstring> badArguments = {MsgBadArguments};
    const std::vector<std::wstring> done = {Confirm(orbel), MsgDone};
    const std::vector<std::wstring> restart = {Confirm(orbel), MsgRestartQuestion, MsgDone};

    // The longest name whose App.exe path (folder, two names, "\", "\", ".exe") fits 259.
    size_t programFiles = ShellFolder(CSIDL_PROGRAM_FILES).size();
    size_t longest = (259 - programFiles - 6) / 2;
    const std::wstring fits = NameOfLength(longest);
    const std::wstring tooLongForPaths = NameOfLength(longest + 1);
    // The uninstall key path adds 71 characters to the name. The running message would still
    // fit this name (61 + 189 < 256), so only the key paths refuse it.
    const std::wstring tooLongForKeyPaths = NameOfLength(189);

    return {
        // Foundation: the argument text and the confirmation.
        {"Foundation_NoArgument", Both, orbel, L"", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_AppAlone", Both, orbel, L"Orbel", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_AppAndSlashOnly", Both, orbel, L"Orbel/", Installed, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_LoneSlash", Both, orbel, L"/", 0, 0, L"", ok, badArguments, 1, 0, {}},
        {"Foundation_ArgumentOf260Refused", Both, orbel, L"Orbel/" + std::wstring(254, L'R'), Installed, 0,
         L"", ok, badArguments, 1, 0, {}},
        {"Foundation_ArgumentOf259Accepted", Both, orbel, L"Orbel/" + std::wstring(253, L'R'), Installed, 0,
         L"", {BoxAnswerCancel}, {Confirm(orbel)}, 0, 0, {}},
        // A window that the name matches shows the refusal comes before the running check.
        {"Foundation_DotDotRefused", Both, orbel, L"../Rule", 0, 0, L"Notes .. Document1", ok,
         badArguments, 1, 0, {}},
        {"Foundation_DotRefused", Both, orbel, L"./NULL", 0, 0, L"Notes. Document1", ok, badArguments, 1, 0,
         {}},
        {"Foundation_BackslashRefused", Both, orbel, L"a\\b/Rule", 0, 0, L"a\\b - Document1", ok,
         badArguments, 1, 0, {}},
        {"Foundation_NameTooLongForKeyPaths", Both, tooLongForKeyPaths, tooLongForKeyPaths + L"/NULL",
         SettingsKey, 0, tooLongForKeyPaths + L" - Document1", ok, badArguments, 1, 0, {}},
        // Paths are composed only after the confirmation, so that is where this one is refused.
        {"Foundation_NameTooLongForPaths", Both, tooLongForPaths, tooLongForPaths + L"/NULL",
         AppDir | SettingsKey, 0, L"", ok, {Confirm(tooLongForPaths), MsgBadArguments}, 1, 0, {}},
        {"Foundation_LongestNameFits", Both, fits, fits + L"/NULL", AppDir | AppExe | AppChm | SettingsKey,
         0, L"", ok, {Confirm(fits), MsgDone}, 0, AppDir | AppExe | AppChm | SettingsKey, {}},
        {"Foundation_CancelAtConfirmation", Both, orbel, rule, AllItems & ~(ExeFolder | UninstallSubkey),
         0, L"", {BoxAnswerCancel}, {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_CloseAtConfirmation", Both, orbel, rule, Installed, 0, L"", {BoxAnswerClose},
         {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_EscapeAtConfirmation", Both, orbel, rule, Installed, 0, L"", {BoxAnswerEscape},
         {Confirm(orbel)}, 0, 0, {}},
        {"Foundation_FullRun", Both, orbel, L"Orbel/NULL", Installed, 0, L"", ok, done, 0, Installed, {}},
        {"Foundation_SlashRunsCollapse", Both, orbel, L"/Orbel//Orbel Inbound/", SettingsKey, 0, L"", ok,
         done, 0, SettingsKey, {}},
        // The quotes are part of the text, and no folder can be named "Orbel.
        {"Foundation_QuotedArgumentRefused", Both, orbel, L"\"Orbel/Orbel Inbound\"", Installed, 0,
         L"\"Orbel - Document1", ok, badArguments, 1, 0, {}},

        // Removal stages.
        {"Removal_EveryItemRemoved", Both, orbel, rule, Installed | UninstallerCopy, 0, L"", ok, done, 0,
         Installed | UninstallerCopy, {}},
        {"Removal_NothingInstalled", Both, orbel, rule, 0, 0, L"", ok, done, 0, 0, {}},
        {"Removal_ReadOnlyExeDeletedAtOnce", Both, orbel, rule, AppDir | AppExe | AppChm, ReadOnlyExe,
         L"", ok, done, 0, AppDir | AppExe | AppChm, {}},
        {"Removal_HeldExeScheduled", Both, orbel, rule, Installed | UninstallerCopy, HoldExeOpen, L"",
         okCancel, restart, 0, Links | Keys | AppChm | UninstallerCopy, {AppExe, AppDir}},
        {"Removal_ExtraFileKeepsFolder", Both, orbel, rule, AppDir | AppExe | ExtraFile, 0, L"", okCancel,
         restart, 0, AppExe, {AppDir}},
        {"Removal_FolderNamedExeLeftAlone", Both, orbel, rule, AppDir | ExeFolder | AppChm, 0, L"",
         okCancel, restart, 0, AppChm, {AppDir}},
        {"Removal_UninstallKeyWithSubkey", Both, orbel, rule, Installed | UninstallSubkey, 0, L"", ok,
         {Confirm(orbel), MsgRegistry}, 1, 0, {}},
        {"Removal_UnreadableUninstallKey", Both, orbel, rule, Installed, UninstallKeyUnreadable, L"", ok,
         {Confirm(orbel), MsgRegistry}, 1, 0, {}},
        {"Removal_OnlySettingsKey", Both, orbel, rule, SettingsKey, 0, L"", ok, done, 0, SettingsKey, {}},
        {"Removal_OnlyUninstallKey", Both, orbel, rule, UninstallKey, 0, L"", ok, done, 0, UninstallKey,
         {}},
        {"Removal_NameWithBlank", Both, L"Demo Lab", L"Demo Lab/Demo Lab Inbound", Installed, 0, L"", ok,
         {Confirm(L"Demo Lab"), MsgDone}, 0, Installed, {}},
        {"Removal_TypicalRunFromAppFolder", Both, orbel, rule, Installed | UninstallerCopy, RunFromAppDir,
         L"", okOk, restart, 0, Links | Keys | AppExe | AppChm, {UninstallerCopy, AppDir}},

        // Guards, firewall and restart.
        {"Guards_RunningWindowStops", Both, orbel, rule, Installed, 0, L"Orbel - Document1", ok,
         {Running(orbel)}, 2, 0, {}},
        {"Guards_RunningWindowWithBlankName", Both, L"Demo Lab", L"Demo Lab/NULL", Installed, 0,
         L"Demo Lab - Document1", ok, {Running(L"Demo Lab")}, 2, 0, {}},
        {"Guards_WindowInOtherCaseIgnored", Both, orbel, rule, SettingsKey, 0, L"ORBEL - Document1", ok,
         done, 0, SettingsKey, {}},
        {"Guards_UnknownRuleSucceeds", Both, orbel, L"Orbel/No Such Rule 4711", UninstallKey, 0, L"", ok,
         done, 0, UninstallKey, {}},
        {"Guards_FirewallUnavailable", WineOnly, orbel, rule, Installed, FirewallOff, L"", ok,
         {Confirm(orbel), MsgFirewall}, 1, 0, {}},
        {"Guards_FirewallUnavailableWithNull", WineOnly, orbel, L"Orbel/null", Installed, FirewallOff, L"", ok,
         {Confirm(orbel), MsgFirewall}, 1, 0, {}},
        {"Guards_RestartAcceptedEndsWell", WineOnly, orbel, rule, AppDir | AppExe | ExtraFile, WatchRestart,
         L"", okOk, restart, 0, AppExe, {AppDir}},
        {"Guards_DllsPlantedBesideItNeverLoaded", Both, orbel, rule, Installed | UninstallerCopy,
         RunFromAppDir | PlantedDlls, L"", okOk, restart, 0, Links | Keys | AppExe | AppChm,
         {UninstallerCopy, AppDir}},
        {"Guards_DllsPlantedBesideItNeverLoadedAsVista", WineOnly, orbel, rule, Installed | UninstallerCopy,
         RunFromAppDir | PlantedDlls | AsVista, L"", okOk, restart, 0, Links | Keys | AppExe | AppChm,
         {UninstallerCopy, AppDir}},
        {"Guards_DllsPlantedBesideItNeverLoadedAsWindows7", WineOnly, orbel, rule,
         Installed | UninstallerCopy, RunFromAppDir | PlantedDlls | AsWindows7, L"", okOk, restart, 0,
         Links | Keys | AppExe | AppChm, {UninstallerCopy, AppDir}},
        {"Guards_RestartRefusedWithoutShutdownPrivilege", Both, orbel, rule, AppDir | ExtraFile,
         NoShutdownPrivilege, L"", okOk, {Confirm(orbel), MsgRestartQuestion, MsgRestartFailed}, 1, 0,
         {AppDir}},
        // Nobody saw the restart question, so nobody agreed to a restart.
        {"Guards_NoDisplayNoRestart", WineOnly, orbel, rule, AppDir | ExtraFile, NoDisplay | WatchRestart,
         L"", {}, {}, 0, 0, {AppDir}},
        {"Guards_RestartQuestionClosed", Both, orbel, rule, AppDir | ExtraFile, 0, L"",
         {BoxAnswerOk, BoxAnswerClose}, restart, 0, 0, {AppDir}},
        {"Guards_DesktopFolderUnresolved", Both, orbel, rule, Installed, DesktopMissing, L"", ok,
         {Confirm(orbel), MsgSystemFolders}, 1, 0, {}},

        // Firewall rules, checked through the firewall itself.
        {"Firewall_EveryRuleOfTheNameRemoved", Both, orbel, rule, SettingsKey,
         ThreeRules | OtherRule, L"", ok, done, 0, SettingsKey, {}},
        {"Firewall_150RulesRemovedInOneRun", Both, orbel, rule, SettingsKey, ManyRules, L"",
         ok, done, 0, SettingsKey, {}},
        {"Firewall_UnknownRuleLeavesOthersAlone", Both, orbel, L"Orbel/No Such Rule 4711",
         SettingsKey, OtherRule, L"", ok, done, 0, SettingsKey, {}},
        // NULL names no rule, not even rules that are named so.
        {"Firewall_NullRemovesNoRule", Both, orbel, L"Orbel/NULL", SettingsKey, ThreeRules | RulesStay,
         L"", ok, done, 0, SettingsKey, {}},
    };
}

const char *WhyOnlyUnderWine(unsigned conditions)
{
    if (conditions & FirewallOff)
        return "the firewall library is switched off through Wine's DLL overrides";
    if (conditions & NoDisplay)
        return "the display driver is switched off through Wine's settings";
    if (conditions & (AsVista | AsWindows7))
        return "the Windows version reported is set through Wine's settings";
    return "the restart request is read from Wine's debug output";
}

// No run may restart a real machine. On Windows every run gets a token that cannot enable the
// shutdown privilege, so a run that would accept the restart ends with it refused.
bool AcceptsRestart(const std::vector<BoxAnswer> &answers, const std::vector<std::wstring> &boxes)
{
    for (size_t i = 0; i < boxes.size(); i++)
        if (boxes[i] == MsgRestartQuestion)
            return i >= answers.size() || answers[i] == BoxAnswerOk;
    return false;
}

// The token a run gets, adjusting what it should show for it: NULL for the test's own,
// INVALID_HANDLE_VALUE when the one without the shutdown privilege cannot be made.
HANDLE RunToken(bool noShutdown, const std::vector<BoxAnswer> &answers,
                std::vector<std::wstring> *boxes, DWORD *exitCode)
{
    if (!UnderWine())
    {
        if (AcceptsRestart(answers, *boxes))
        {
            boxes->back() = MsgRestartFailed;
            *exitCode = 1;
        }
        noShutdown = true;
    }
    if (!noShutdown)
        return NULL;
    HANDLE token = TokenWithoutShutdownPrivilege();
    return token != NULL ? token : INVALID_HANDLE_VALUE;
}

// A program whose manifest demands elevation may get another token than the one it was
// started with: Wine 10 makes the linked administrator token its process token before its
// entry point. Windows keeps a token that is already elevated.
const char TokenNotKept[] = "Kestrane's process holds the shutdown privilege although it was "
                            "started with a token without it";

std::vector<std::string> Utf8Each(const std::vector<std::wstring> &texts)
{
    std::vector<std::string> result;
    for (size_t i = 0; i < texts.size(); i++)
        result.push_back(Utf8(texts[i]));
    return result;
}

// What every row's check of PendingFileRenameOperations relies on, from strings alone.
TEST(PendingEntries, ReadAndClearedWhateverTheMarker)
{
    InstallationPaths app;
    app.Dir = L"C:\\a";
    app.DesktopLink = L"C:\\d\\a.lnk";
    const std::wstring end(1, L'\0');
    const std::wstring other = L"*1\\??\\C:\\b\\b.exe" + end + end + L"\\??\\C:\\ab" + end + end;
    struct Row
    {
        const char *Name;
        std::wstring Value;
        std::vector<std::wstring> Sources;  // the installation's, in order
        bool DeletionsOnly;
        std::wstring Kept;  // after its entries are cleared
    } rows[] = {
        {"as Wine writes them", L"\\??\\C:\\a\\a.exe" + end + end + L"\\??\\C:\\a" + end + end + end,
         {L"\\??\\C:\\a\\a.exe", L"\\??\\C:\\a"}, true, L""},
        {"*1 before", L"*1\\??\\C:\\a" + end + end + end, {L"\\??\\C:\\a"}, true, L""},
        {"*2 before", L"*2\\??\\C:\\a\\a.exe" + end + end + L"*1\\??\\C:\\d\\a.lnk" + end + end + end,
         {L"\\??\\C:\\a\\a.exe", L"\\??\\C:\\d\\a.lnk"}, true, L""},
        {"a rename", L"*1\\??\\C:\\a\\a.exe" + end + L"!\\??\\C:\\a\\b.exe" + end + end,
         {L"\\??\\C:\\a\\a.exe"}, false, L""},
        {"other programs' entries", other + L"*1\\??\\C:\\a" + end + end + end, {L"\\??\\C:\\a"}, true,
         other},
        {"not a marker", L"*\\??\\C:\\a" + end + end + L"*1C:\\a" + end + end + end, {}, true,
         L"*\\??\\C:\\a" + end + end + L"*1C:\\a" + end + end},
        {"an empty value", L"", {}, true, L""},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.Name);
        std::vector<std::wstring> strings = SplitPending(row.Value), sources;
        EXPECT_EQ(row.DeletionsOnly, PendingDeletionsIn(strings, &sources, &app));
        EXPECT_EQ(Utf8Each(row.Sources), Utf8Each(sources));
        EXPECT_EQ(Utf8(row.Kept), Utf8(PendingWithout(strings, app)));
    }
}

class KestraneE2E : public ::testing::Test
{
protected:
    std::wstring Kestrane;
    InstallationPaths Target;
    RunSetup Around = NoRunSetup();
    std::vector<std::wstring> RulesMade;

    void Prepare(const std::wstring &app)
    {
        Kestrane = KestraneExe();
        ASSERT_FALSE(Kestrane.empty()) << "KESTRANE_EXE is not set (a Windows path to Kestrane.exe)";
        ASSERT_TRUE(IsFile(Kestrane)) << "KESTRANE_EXE names no file: " << Utf8(Kestrane);
        // Cleanup deletes the folder named by the application: never a parent folder.
        ASSERT_TRUE(!app.empty() && app != L"." && app != L".." &&
                    app.find_first_of(L"\\/") == std::wstring::npos);
        RepairDesktop(MissingDesktop);
        Target = PathsFor(app);
        ASSERT_FALSE(Target.Dir.empty());
        RemoveLayout(Target);
    }

    void TearDown() override
    {
        UndoRunSetup(&Around);
        if (!Target.Dir.empty())
            RemoveLayout(Target);
        for (size_t i = 0; i < RulesMade.size(); i++)
            RemoveFirewallRules(RulesMade[i]);
    }

    void MakeRules(const std::wstring &name, int count)
    {
        RulesMade.push_back(name);
        ASSERT_TRUE(AddFirewallRules(name, count)) << "cannot add rules named " << Utf8(name);
        ASSERT_EQ(S_OK, FindFirewallRule(name)) << "the firewall does not find " << Utf8(name);
    }

    void ExpectItems(unsigned layout, unsigned gone)
    {
        for (unsigned bit = 1; bit <= AllItems; bit <<= 1)
        {
            if (!(layout & bit))
                continue;
            bool present = ItemPresent(Target, (Item)bit);
            if (gone & bit)
                EXPECT_FALSE(present) << ItemName(bit) << " should be removed";
            else
                EXPECT_TRUE(present) << ItemName(bit) << " should be left";
        }
    }

    void ExpectScheduled(const std::vector<Item> &items)
    {
        std::vector<std::wstring> expected;
        for (size_t i = 0; i < items.size(); i++)
            expected.push_back(ScheduledPath(Target, items[i]));
        std::vector<std::wstring> actual;
        EXPECT_TRUE(ReadPendingDeletions(&actual, &Target)) << "a pending entry is a rename, not a deletion";
        EXPECT_EQ(Utf8Each(expected), Utf8Each(actual)) << "PendingFileRenameOperations";
    }
};

class KestraneRun : public KestraneE2E, public ::testing::WithParamInterface<Scenario>
{
};

TEST_P(KestraneRun, Row)
{
    const Scenario &row = GetParam();
    if (row.Holds == WineOnly && !UnderWine())
        GTEST_SKIP() << "holds only under Wine: " << WhyOnlyUnderWine(row.Conditions);
    if (UnderWine() && (row.Conditions & (ThreeRules | ManyRules | OtherRule)))
        ASSERT_EQ("", Utf8(StandInProblem)) << "the stand-in firewall";
    ASSERT_NO_FATAL_FAILURE(Prepare(row.App));

    unsigned missing = LayOut(Target, row.Layout, Kestrane);
    ASSERT_EQ(0u, missing) << "cannot lay out " << ItemName(missing);
    if (row.Conditions & ReadOnlyExe)
    {
        ASSERT_TRUE(SetFileAttributesW(Target.Exe.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (row.Conditions & HoldExeOpen)
    {
        Around.HeldFile = HoldOpen(Target.Exe);
        ASSERT_NE(INVALID_HANDLE_VALUE, Around.HeldFile);
    }
    if (row.Conditions & UninstallKeyUnreadable)
    {
        ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, Target.UninstallKey, DenyReadDacl));
        HKEY key;
        ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExW(HKEY_LOCAL_MACHINE, Target.UninstallKey.c_str(),
                                                     0, KEY_QUERY_VALUE, &key));
    }
    if (row.Conditions & FirewallOff)
        SetFirewallOff(true);
    if (row.Conditions & DesktopMissing)
    {
        PointDesktopAt(MissingDesktop, &Around.Desktop);
        ASSERT_TRUE(Around.Desktop.Saved);
    }
    if (!row.WindowTitle.empty())
    {
        Around.Window = CreateTitledWindow(row.WindowTitle);
        ASSERT_NE((HWND)NULL, Around.Window);
    }
    if (row.Conditions & PlantedDlls)
    {
        std::wstring planted = PathFromEnvironment(L"PLANTED_DLL");
        ASSERT_TRUE(IsFile(planted)) << "PLANTED_DLL names no file";
        for (const wchar_t *name : PlantedNames)
            if (!(row.Conditions & (AsVista | AsWindows7)) || wcscmp(name, WineDisplayDriver) != 0)
                ASSERT_TRUE(CopyFileW(planted.c_str(), (Target.Dir + L"\\" + name).c_str(), FALSE));
        DeleteFileW(PlantedMarker);
    }
    std::wstring wineLog = PathFromEnvironment(L"KESTRANE_WINE_LOG");
    size_t logStart = 0;
    wchar_t wineDebug[64] = L"-all";
    if (row.Conditions & WatchRestart)
    {
        ASSERT_FALSE(wineLog.empty()) << "KESTRANE_WINE_LOG is not set";
        logStart = ReadWholeFile(wineLog).size();
        GetEnvironmentVariableW(L"WINEDEBUG", wineDebug, 64);
        // The program inherits it; Wine takes its debug channels from there.
        ASSERT_TRUE(SetEnvironmentVariableW(L"WINEDEBUG", L"fixme+advapi"));
    }
    HDESK desktop = NULL;
    if (row.Conditions & NoDisplay)
    {
        // A new desktop loads the driver Wine's settings name when it is made.
        ASSERT_TRUE(ReplaceUserValue(WineDriversKey, L"Graphics", REG_SZ, L"none", &Around.WineSetting));
        desktop = CreateDesktopW(NoDisplayDesktop, NULL, NULL, 0, GENERIC_ALL, NULL);
        ASSERT_NE((HDESK)NULL, desktop);
    }
    if (row.Conditions & (AsVista | AsWindows7))
        ASSERT_TRUE(ReplaceUserValue(WineKey, L"Version", REG_SZ,
                                     (row.Conditions & AsVista) ? L"vista" : L"win7", &Around.WineSetting));
    std::wstring ruleName = row.Arguments.substr(row.Arguments.find(L'/') + 1);
    if (row.Conditions & (ThreeRules | ManyRules))
        ASSERT_NO_FATAL_FAILURE(MakeRules(ruleName, (row.Conditions & ManyRules) ? 150 : 3));
    if (row.Conditions & OtherRule)
        ASSERT_NO_FATAL_FAILURE(MakeRules(OtherRuleName, 1));
    std::vector<std::wstring> boxes = row.Boxes;
    DWORD exitCode = row.ExitCode;
    HANDLE token = RunToken(row.Conditions & NoShutdownPrivilege, row.Answers, &boxes, &exitCode);
    ASSERT_NE(INVALID_HANDLE_VALUE, token) << "no token without the shutdown privilege";
    std::wstring exe = (row.Conditions & RunFromAppDir) ? Target.Uninstaller : Kestrane;

    RunRecord run;
    DWORD limitMs = (row.Conditions & ManyRules) ? ManyRulesTimeoutMs : RunTimeoutMs;
    ULONGLONG started = GetTickCount64();
    RunWithBoxes(exe, row.Arguments, row.Answers, limitMs, &run, token, &boxes,
                 (row.Conditions & NoDisplay) ? NoDisplayDesktop : NULL);
    ULONGLONG tookMs = GetTickCount64() - started;
    bool restricted = token != NULL;
    if (desktop != NULL)
        CloseDesktop(desktop);
    if (token != NULL)
        CloseHandle(token);
    if (row.Conditions & WatchRestart)
    {
        SetEnvironmentVariableW(L"WINEDEBUG", wineDebug);
        // No machine, no message, no delay, applications not forced, restart, planned
        // for an application's installation.
        std::vector<std::string> requests;
        if (!(row.Conditions & NoDisplay))
            requests.push_back("(null) (null) 0 0 1 0x80040002");
        EXPECT_EQ(requests, RestartRequests(ReadWholeFile(wineLog), logStart));
    }
    if (row.Conditions & PlantedDlls)
    {
        std::string marks = ReadWholeFile(PlantedMarker);
        EXPECT_FALSE(IsFile(PlantedMarker))
            << "loaded: " << Utf8(std::wstring((const wchar_t *)marks.data(), marks.size() / 2));
    }
    if (row.Conditions & ManyRules)
    {
        // The first hosted run tells what the removal really costs.
        std::cout << "[   TIME   ] the whole run took " << tookMs / 1000.0 << " s";
        if (run.Boxes.size() >= 2)
            std::cout << ", the rules' removal (confirmation to the next box) "
                      << (run.Boxes[1].SeenAtMs - run.Boxes[0].SeenAtMs) / 1000.0 << " s";
        std::cout << std::endl;
    }
    if (restricted && run.ShutdownPrivilege == 1)
    {
        if (UnderWine())
            GTEST_SKIP() << "holds only on Windows: " << TokenNotKept
                         << " (this Wine replaces the token of a program that demands elevation)";
        FAIL() << TokenNotKept;
    }
    ASSERT_TRUE(run.Started) << "CreateProcessW error " << run.StartError;
    ASSERT_FALSE(run.TimedOut) << "still running after " << limitMs << " ms; "
                               << run.Boxes.size() << " boxes seen";

    std::vector<std::wstring> texts;
    for (size_t i = 0; i < run.Boxes.size(); i++)
    {
        const BoxRecord &box = run.Boxes[i];
        texts.push_back(box.Text);
        EXPECT_EQ(Utf8(BoxCaption), Utf8(box.Caption)) << "caption of box " << i + 1;
        EXPECT_TRUE(box.HasOk) << "box " << i + 1 << " has no OK button";
        EXPECT_EQ(OffersCancel(box.Text), box.HasCancel) << "Cancel button of box " << i + 1;
        EXPECT_FALSE(box.Unlisted) << "box " << i + 1 << " was not expected, answered Cancel: "
                                   << Utf8(box.Text);
    }
    EXPECT_EQ(Utf8Each(boxes), Utf8Each(texts)) << "message boxes in order";
    EXPECT_EQ(exitCode, run.ExitCode) << "exit code";
    ExpectItems(row.Layout, row.Gone);
    ExpectScheduled(row.Scheduled);
    if (row.Conditions & RulesStay)
        EXPECT_EQ(3, CountFirewallRules(ruleName)) << "rules named " << Utf8(ruleName) << " left";
    else if (row.Conditions & (ThreeRules | ManyRules | OtherRule))
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), FindFirewallRule(ruleName))
            << "a rule named " << Utf8(ruleName) << " is left";
    if (row.Conditions & OtherRule)
        EXPECT_EQ(S_OK, FindFirewallRule(OtherRuleName)) << "the rule of another name is gone";
}

INSTANTIATE_TEST_SUITE_P(Rows, KestraneRun, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) {
                             return std::string(info.param.Name);
                         });

DWORD RunAndWait(const std::wstring &commandLine, DWORD timeoutMs)
{
    PROCESS_INFORMATION process;
    if (StartProgram(NULL, commandLine, NULL, 0, NULL, &process) != ERROR_SUCCESS)
        return 0xFFFFFFFE;
    DWORD exitCode = 0xFFFFFFFD;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// wineboot -r carries out the pending operations as a restart would.
TEST_F(KestraneE2E, SimulatedRestartCarriesOutScheduledDeletions)
{
    if (!UnderWine())
        GTEST_SKIP() << "holds only under Wine: wineboot -r stands in for the restart";
    ASSERT_NO_FATAL_FAILURE(Prepare(L"Orbel"));
    unsigned layout = Installed | UninstallerCopy;
    ASSERT_EQ(0u, LayOut(Target, layout, Kestrane));

    RunRecord run;
    RunWithBoxes(Target.Uninstaller, L"Orbel/Orbel Inbound", {BoxAnswerOk, BoxAnswerOk},
                 RunTimeoutMs, &run);
    ASSERT_TRUE(run.Started);
    ASSERT_FALSE(run.TimedOut);
    ASSERT_EQ(0u, run.ExitCode);
    ASSERT_TRUE(IsFile(Target.Uninstaller));
    ExpectScheduled({UninstallerCopy, AppDir});

    ASSERT_EQ(0u, RunAndWait(L"wineboot.exe -r", 60000));
    EXPECT_FALSE(IsFile(Target.Uninstaller)) << "scheduled Kestrane.exe survived the restart";
    EXPECT_FALSE(IsFolder(Target.Dir)) << "scheduled folder survived the restart";
    ExpectScheduled({});
}

// Its standard output and error, read back from a file, and its exit code.
DWORD RunCapturing(const std::wstring &commandLine, std::string *output)
{
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    output->clear();
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"e2e", 0, file) == 0)
        return 0xFFFFFFFE;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE out = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION process;
    DWORD exitCode = 0xFFFFFFFE;
    if (out != INVALID_HANDLE_VALUE &&
        CreateProcessW(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
    {
        exitCode = 0xFFFFFFFD;
        if (WaitForSingleObject(process.hProcess, RunTimeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &exitCode);
        else
            TerminateProcess(process.hProcess, exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    *output = ReadWholeFile(file);
    DeleteFileW(file);
    return exitCode;
}

// The stand-in keeps its rules for every process of the prefix and across a restart of it, and
// FirewallRules.exe, how test scripts plant and read rules, reaches them.
TEST_F(KestraneE2E, StandInFirewallKeepsRulesForEveryProcessAndRestart)
{
    if (!UnderWine())
        GTEST_SKIP() << "holds only under Wine: the stand-in firewall serves Wine prefixes only";
    ASSERT_EQ("", Utf8(StandInProblem)) << "the stand-in firewall";
    std::wstring tool = PathFromEnvironment(L"FIREWALL_RULES");
    ASSERT_TRUE(IsFile(tool)) << "FIREWALL_RULES names no file: " << Utf8(tool);
    const std::wstring name = L"Kestrane E2E Planted Rule";
    RulesMade.push_back(name);
    std::string output;
    ASSERT_EQ(0u, RunCapturing(L"\"" + tool + L"\" add \"" + name +
                                   L"\" app=C:\\Orbel\\Orbel.exe protocol=6 localports=8080 enabled=yes",
                               &output))
        << output;
    EXPECT_EQ(S_OK, FindFirewallRule(name)) << "a rule another process added";

    ASSERT_EQ(0u, RunAndWait(L"wineboot.exe -r", 60000));
    ASSERT_EQ(0u, RunCapturing(L"\"" + tool + L"\" list", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("name=Kestrane E2E Planted Rule\tapp=C:\\Orbel\\Orbel.exe\tdir=in"
                                             "\taction=allow\tprotocol=6\tlocalports=8080\tenabled=yes\t"))
        << "after the restart:\n" << output;
    ASSERT_EQ(0u, RunCapturing(L"\"" + tool + L"\" remove \"" + name + L"\"", &output)) << output;
    EXPECT_EQ("removed 1\n", output);
    EXPECT_EQ(0, CountFirewallRules(name));
}

std::wstring RegistryString(HKEY root, const std::wstring &subkey, const wchar_t *name)
{
    wchar_t value[1024] = {0};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(root, subkey.c_str(), name, RRF_RT_REG_SZ, NULL, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

// The whole cycle a vendor ships: the installer in examples/nsis, run silently, lays out
// exactly what Kestrane removes, and the command line it registers removes all of it.
TEST_F(KestraneE2E, ShippedInstallerUninstalledThroughItsEntry)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(L"Orbel"));
    std::wstring setup = PathFromEnvironment(L"ORBEL_SETUP");
    ASSERT_TRUE(IsFile(setup)) << "ORBEL_SETUP does not name the built installer: " << Utf8(setup);
    ASSERT_EQ(0u, RunAndWait(L"\"" + setup + L"\" /S", 60000)) << "installer";
    const unsigned installation = Installed | UninstallerCopy;
    for (unsigned bit = 1; bit <= AllItems; bit <<= 1)
        if (installation & bit)
            ASSERT_TRUE(ItemPresent(Target, (Item)bit)) << "the installer did not lay out "
                                                        << ItemName(bit);

    std::wstring line = RegistryString(HKEY_LOCAL_MACHINE, Target.UninstallKey, L"UninstallString");
    EXPECT_EQ(Utf8(L"\"" + Target.Uninstaller + L"\" Orbel/Orbel Inbound"), Utf8(line));
    EXPECT_EQ("", Utf8(RegistryString(HKEY_LOCAL_MACHINE, Target.UninstallKey,
                                      L"QuietUninstallString")));

    // Wine's netsh keeps no rule, so there the rule the installer adds on Windows is planted.
    if (UnderWine())
    {
        ASSERT_EQ("", Utf8(StandInProblem)) << "the stand-in firewall";
        ASSERT_NO_FATAL_FAILURE(MakeRules(L"Orbel Inbound", 1));
    }
    else
    {
        RulesMade.push_back(L"Orbel Inbound");
    }
    ASSERT_EQ(S_OK, FindFirewallRule(L"Orbel Inbound")) << "the installer added no rule";

    // Started as Windows starts it: the whole line, split by CreateProcessW.
    const std::vector<BoxAnswer> answers = {BoxAnswerOk, BoxAnswerOk, BoxAnswerOk};
    std::vector<std::wstring> boxes = {Confirm(L"Orbel"), MsgRestartQuestion, MsgDone};
    DWORD exitCode = 0;
    HANDLE token = RunToken(false, answers, &boxes, &exitCode);
    ASSERT_NE(INVALID_HANDLE_VALUE, token) << "no token without the shutdown privilege";
    RunRecord run;
    RunCommandLineWithBoxes(line, answers, RunTimeoutMs, &run, token, &boxes);
    bool restricted = token != NULL;
    if (token != NULL)
        CloseHandle(token);
    ASSERT_FALSE(restricted && run.ShutdownPrivilege == 1) << TokenNotKept;
    ASSERT_TRUE(run.Started) << "CreateProcessW error " << run.StartError;
    ASSERT_FALSE(run.TimedOut);
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < run.Boxes.size(); i++)
        texts.push_back(run.Boxes[i].Text);
    EXPECT_EQ(Utf8Each(boxes), Utf8Each(texts));
    EXPECT_EQ(exitCode, run.ExitCode);
    ExpectItems(installation, installation & ~(UninstallerCopy | AppDir));
    ExpectScheduled({UninstallerCopy, AppDir});
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), FindFirewallRule(L"Orbel Inbound"))
        << "Orbel's rule is left";
    if (!UnderWine())
        return;  // the restart that would finish the job is Wine's alone to simulate

    ASSERT_EQ(0u, RunAndWait(L"wineboot.exe -r", 60000));
    for (unsigned bit = 1; bit <= AllItems; bit <<= 1)
        if (installation & bit)
            EXPECT_FALSE(ItemPresent(Target, (Item)bit)) << ItemName(bit) << " is left";
    ExpectScheduled({});
}

}  // namespace
