#include "run/Steps.h"

#include "data/PathText.h"
#include "judge/Findings.h"
#include "judge/InstallerEnd.h"
#include "look/Firewall.h"
#include "look/Look.h"
#include "look/Programs.h"
#include "look/SetupFile.h"
#include "look/LookAgain.h"
#include "look/Skipped.h"
#include "run/Installer.h"
#include "tell/Report.h"

#include <algorithm>
#include <map>

SetupRefusal LookAtSetup(Options *options, Check *check)
{
    check->StartedMs = GetTickCount64();
    SetupSeen &setup = check->Setup;
    setup.Setup = options->Setup;
    setup.Name = LeafOf(setup.Setup);
    DWORD attributes = GetFileAttributesW(setup.Setup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return SetupMissing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SetupIsFolder;
    setup.Machine = MachineOf(setup.Setup);
    setup.Wine = IsWine();
    check->RestartsPrefix = setup.Wine && !options->AsOnWindows;
    if (setup.Machine.empty())
        return SetupNotWindows;
    setup.Kind = KindOfFile(setup.Setup, 1 << 20);
    if (setup.Machine != L"x86-64" && setup.Machine != L"x86")
        return SetupOtherProcessor;
    TellSetup(setup);
    check->Folders = FindWatchedFolders();
    if (setup.Machine == L"x86" && setup.Wine && !HasWow64Side(check->Folders))
        return SetupNo32BitSide;
    if (!setup.Wine && !IsElevated())
        return SetupNotElevated;
    TellInstalledForReal(setup.Wine);
    if (!options->ArgumentsGiven) {
        options->InstallerArguments = SilentArguments(setup.Kind);
        if (setup.Kind == KindUnknown)
            TellGuessedArguments();
    }
    for (size_t i = 0; i < options->InstallerArguments.size(); i++)
        check->Arguments += L" " + options->InstallerArguments[i];
    check->Settle = options->SettleSeconds != SettleUnset ? options->SettleSeconds
                  : setup.Wine ? DefaultSettleSecondsUnderWine : DefaultSettleSeconds;
    return SetupMayRun;
}

static std::wstring OwnPath()
{
    wchar_t self[MAX_PATH * 2] = {0};
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? self : L"";
}

// The check's own files change while it runs: never the installer's.
static void SkipOwnFiles(const Options &options)
{
    std::vector<std::wstring> outputs;
    DWORD handles[] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (size_t i = 0; i < 2; i++) {
        wchar_t path[MAX_PATH * 2] = {0};
        DWORD length = GetFinalPathNameByHandleW(GetStdHandle(handles[i]), path, MAX_PATH * 2, 0);
        if (length > 0 && length < MAX_PATH * 2)
            outputs.push_back(wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path);
    }
    for (const std::wstring &place : OwnPlaces(OwnPath(), {options.StatePath, options.JsonPath}, outputs))
        SkipPlace(place);
}

// The control run: the check itself in the installer's place, started exactly as the installer
// is, doing what any program does when it starts (a window of its own, unseen) and nothing
// else. What a program's start makes the machine change lands between the two looks.
int StandIn()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"CheckInstaller stand-in", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                                  GetModuleHandleW(NULL), NULL);
    ULONGLONG until = GetTickCount64() + 300;
    MSG message;
    while (GetTickCount64() < until) {
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
    if (window != NULL)
        DestroyWindow(window);
    return 0;
}

static bool InLookBefore(const std::wstring &path, const void *snapshot)
{
    return SnapshotHolds(*(const Snapshot *)snapshot, path);
}

// The places the install changed, read once more right after its look, for the looks after the
// uninstall and after a restart to read again: what changed again by itself is the machine's.
// A file or value as the look saw it; the names in a folder or key as read now. While a program
// of the new installation runs, any change may be its own: nothing is read again.
static void KeepForReadingAgain(const Options &options, const std::vector<Change> &changes, Check *check)
{
    NoiseRecord &noise = check->Noise;
    noise.WatchSeconds = options.WatchSeconds;
    check->Again = AgainTargets(changes);
    if (check->Again.empty())
        return;
    if (!noise.RunningWhileWatched.empty()) {
        check->Again.clear();
        TellNotReadAgain(noise);
        return;
    }
    std::map<std::wstring, const Entry *> after;
    for (const Change &change : changes)
        if (change.Kind == ChangeChanged)
            after[PlaceKey(change.After)] = &change.After;
    for (const AgainTarget &target : check->Again)
        check->AgainRead.push_back(target.Names ? TargetNow(target) : ContentText(*after[PlaceKey(target.Place)]));
    noise.WatchedPlaces = check->Again.size();
}

// The look before the install, twice around the stand-in: what changed between them changes
// by itself. ms[0] and ms[1] get how long each took.
static void LookBefore(const Options &options, Check *check, LooksBefore *looks, unsigned long long ms[2])
{
    NoiseRecord &noise = check->Noise;
    Snapshot first;
    Doing(ActivityLookingBefore);
    ULONGLONG started = GetTickCount64();
    TakeSnapshot(&first, NULL);
    ms[0] = GetTickCount64() - started;
    // Two more whole looks: the second before the install, and the one after it.
    // Nothing waits after the install any more: --watch adds nothing to the worst case.
    RunBounds bounds = {options.LimitSeconds, check->Settle, 0, check->RestartsPrefix, 2};
    LookCost &cost = check->Install.Looks;
    cost = ReckonRun(GetTickCount64() - check->StartedMs, ms[0], first.Records.size(), bounds, options.BudgetSeconds);
    TellLookCost(cost, options.LimitSeconds);
    if ((check->OverBudget = OverBudget(cost))) {
        TellOverBudget(cost, options.LimitSeconds);
        return;
    }
    Doing(ActivityWaitingForStandIn);
    InstallerRun standIn = RunInstaller(OwnPath(), {L"--stand-in"}, options.LimitSeconds);
    noise.StandInRan = standIn.Started && !standIn.TimedOut;
    noise.StandInMs = standIn.Ms;
    // What changes while nothing is installed changes by itself.
    Sleep(LimitMilliseconds(check->Settle));
    Doing(ActivityLookingBefore);
    started = GetTickCount64();
    TakeSnapshot(&looks->Before, &first);
    ms[1] = GetTickCount64() - started;
    SeeWhatChangesByItself(first, looks, &noise);
}

// The application the installer started, directly or as a service, runs on.
static std::vector<std::wstring> RunningAfterInstall(const InstallerRun &install, const std::vector<Change> &changes)
{
    std::vector<std::wstring> running = install.Running, added = RunningAmong(ProgramsAdded(changes));
    for (size_t i = 0; i < added.size(); i++)
        if (std::find_if(running.begin(), running.end(), [&](const std::wstring &p) { return SameText(p, added[i]); })
            == running.end())
            running.push_back(added[i]);
    return running;
}

static void KeepInstallRecord(const Options &options, const Check &check, const InstallerRun &install,
                              InstallRecord *record)
{
    record->Setup = check.Setup.Setup;
    record->Machine = check.Setup.Machine;
    record->Kind = KindName(check.Setup.Kind);
    record->Arguments = options.InstallerArguments;
    record->TimedOut = install.TimedOut;
    record->ExitCode = install.ExitCode;
    record->Ms = install.Ms;
    record->Running = install.Running;
}

bool InstallAndLook(const Options &options, Check *check, Inspection *in, DWORD *startError)
{
    TellInstalling(check->Setup.Name, check->Arguments);
    SkipOwnFiles(options);
    NoiseRecord &noise = check->Noise;
    LooksBefore looks;
    Snapshot installed;
    unsigned long long ms[3] = {0, 0, 0};
    LookBefore(options, check, &looks, ms);
    if (check->OverBudget)
        return false;
    std::vector<FirewallRule> rulesBefore, rulesAfter;
    bool rulesRead = ReadFirewallRules(&rulesBefore);
    Doing(ActivityWaitingForInstaller);
    InstallerRun install = RunInstaller(check->Setup.Setup, options.InstallerArguments, options.LimitSeconds,
                                        InLookBefore, &looks.Before);
    *startError = install.StartError;
    if (!install.Started)
        return false;
    KeepInstallRecord(options, *check, install, &check->Install);
    TellInstallEnd(check->Install, options.LimitSeconds);
    Doing(ActivityLookingAtInstall);
    ULONGLONG started = GetTickCount64();
    TakeSnapshot(&installed, &looks.Before);
    ms[2] = GetTickCount64() - started;
    in->Firewall.Read = ReadFirewallRules(&rulesAfter) && rulesRead;
    in->Firewall.Added = in->Firewall.Read ? RulesAdded(rulesBefore, rulesAfter) : std::vector<FirewallRule>();
    TellLooks(installed.Records.size(), ms, SnapshotBytes(installed));
    in->Wine = check->Setup.Wine;
    in->Kind = check->Setup.Kind;
    in->Machine = check->Setup.Machine;
    in->Folders = check->Folders;
    in->Changes = InstallersChanges(looks, installed, &noise);
    looks = LooksBefore();
    installed = Snapshot();
    noise.SettleSeconds = check->Settle;
    TellChangedBefore(noise, ms[0] + noise.StandInMs + LimitMilliseconds(check->Settle));

    noise.ChangesWindows = ForgetWindowsWrites(&in->Changes, &noise.TakenWindows);
    TellWindowsWrites(noise);

    noise.RunningWhileWatched = check->Install.Running = RunningAfterInstall(install, in->Changes);
    KeepForReadingAgain(options, in->Changes, check);
    GroupInstallChanges(in->Changes, &in->Groups);
    Doing(ActivityNone);
    TellInstallChanges(check->Install, in->Changes, in->Groups);
    return true;
}
