#include "run/Steps.h"

#include "Pending.h"
#include "judge/Findings.h"
#include "judge/InstallerEnd.h"
#include "judge/Leftovers.h"
#include "judge/Reinstall.h"
#include "judge/UninstallFindings.h"
#include "judge/MachineWrites.h"
#include "look/LookAgain.h"
#include "look/Now.h"
#include "look/PendingDeletions.h"
#include "look/Programs.h"
#include "run/Installer.h"
#include "tell/Report.h"
#include "tell/State.h"

#include <set>

void Uninstall(const Options &options, const Inspection &in, RunRecord *record)
{
    TellUninstalling(in.UninstallString, options.Interactive);
    Doing(ActivityWaitingForUninstall);
    RunUninstall(in.UninstallString, options.LimitSeconds, options.Interactive, record);
    Doing(ActivityNone);
    Said said;
    ReportUninstall(*record, options.LimitSeconds, &said);
    CheckFirewallRule(in, true, RealMachine(), &said);
    Tell(said);
}

// For an install made again: a file the first install added is the installation's, whatever
// the uninstall left of it.
static bool NotAddedByInstall(const std::wstring &path, const void *changes)
{
    const std::vector<Change> &all = *(const std::vector<Change> *)changes;
    for (size_t i = 0; i < all.size(); i++)
        if (all[i].Kind == ChangeAdded && all[i].After.Kind == EntryFile && SameText(all[i].After.Path, path))
            return false;
    return true;
}

// The user who installs again after the uninstall, before the restart: what the restart
// then deletes of the new installation. The changes are the first install's: no new look.
static void InstallAgain(const Options &options, const Check &check, const Inspection &in, ReinstallRecord *again)
{
    Doing(ActivityWaitingForReinstall);
    InstallerRun run = RunInstaller(check.Setup.Setup, options.InstallerArguments, options.LimitSeconds,
                                    NotAddedByInstall, &in.Changes);
    Doing(ActivityNone);
    again->Started = run.Started;
    again->TimedOut = run.TimedOut;
    again->ExitCode = run.ExitCode;
    again->Ms = run.Ms;
    if (!run.Started) {
        TellReinstallNotStarted(run.StartError);
        return;
    }
    if (!run.TimedOut && run.ExitCode != 0)
        TellReinstallNotInstalled(*again);
    if (InstalledAgain(*again)) {
        again->Held = PlacesHeldNow(in.Changes);
        // Read again: an installer that cares has taken its folder out of them.
        again->Taken = TakenByRestart(PendingDeletions(), HeldFilesAndFolders(in.Changes, again->Held));
        TellReinstalled(*again, in.Changes.size());
    }
    Said said;
    JudgeReinstall(*again, options.LimitSeconds, in.Kind, &said);
    Tell(said);
}

// Only what was said and still counts is withdrawn.
static Said StillCounted(const Said &said)
{
    std::multiset<std::wstring> problems;
    for (const FindingRecord &finding : RecordedFindings())
        if (finding.Kind == VerdictProblem)
            problems.insert(finding.Text);
    Said counted;
    for (const SaidItem &item : said) {
        auto problem = problems.find(item.Text);
        if (item.Kind != SaidWithdrawn || problem == problems.end())
            continue;
        problems.erase(problem);
        counted.push_back(item);
    }
    return counted;
}

// The places the install changed, read again: what changed again by itself, where neither
// Kestrane nor the uninstall writes, is the machine's. It is taken out of the install's changes
// and named, and the problems said of it no longer count.
static void TakeWhatChangedAgain(const wchar_t *when, Check *check, Inspection *in)
{
    NoiseRecord &noise = check->Noise;
    if (check->Again.empty())
        return;
    unsigned long long ms = 0;
    std::vector<std::wstring> now = ReadTargets(check->Again, TargetNow, &ms);
    noise.WatchedMs += ms;
    Noise again = ChangedAgain(check->Again, check->AgainRead, now, in->Changes);
    check->AgainRead = now;
    AgainSeen seen;
    seen.When = when;
    seen.Read = check->Again.size();
    seen.Changed = again.Places.size() + again.Busy.size();
    Inspection was = *in;
    seen.Changes = ForgetNoise(&in->Changes, again, &seen.Taken);
    Said withdrawn;
    if (seen.Changes > 0) {
        GroupInstallChanges(in->Changes, &in->Groups);
        WithdrawProblemsOfTaken(was, *in, RealMachine(), &withdrawn);
        withdrawn = StillCounted(withdrawn);
    }
    seen.Withdrawn = withdrawn.size();
    noise.PlacesWatched += seen.Changed;
    noise.ChangesWatched += seen.Changes;
    noise.ProblemsWithdrawn += seen.Withdrawn;
    noise.TakenWatched.insert(noise.TakenWatched.end(), seen.Taken.begin(), seen.Taken.end());
    TellChangedAgain(seen);
    Tell(withdrawn);
}

// What the look after the uninstall saw of each change, for the changes still counted.
static std::vector<LeftState> StatesOfKept(const std::vector<Change> &all, const std::vector<LeftState> &states,
                                           const std::vector<Change> &kept)
{
    std::set<std::wstring> keys;
    for (const Change &change : kept)
        keys.insert(std::to_wstring(change.Kind) + PlaceKey(change.Place()));
    std::vector<LeftState> still;
    for (size_t i = 0; i < all.size() && i < states.size(); i++)
        if (keys.count(std::to_wstring(all[i].Kind) + PlaceKey(all[i].Place())))
            still.push_back(states[i]);
    return still;
}

// One look at what is left, the firewall rules the install added among it, said.
static LeftoverLook LookNow(const Inspection &in, const std::vector<LeftState> &states,
                            const std::vector<std::wstring> &pendingPaths)
{
    LeftoverLook look = LookAtLeftovers(in.Changes, in.Groups, states, pendingPaths, RealMachine());
    AddRulesLeft(&look, LookAtRules(in.Firewall, in.RuleName, RealMachine(), pendingPaths));
    TellLeftovers(look);
    return look;
}

// Whether the installation made again before the restart is still whole, seen after it: its
// part of the report for machines.
static std::string LookAtNewInstallation(const std::vector<Change> &changes, const ReinstallRecord &again,
                                         InstallerKind kind)
{
    if (!InstalledAgain(again)) {
        TellNothingInstalledAgain();
        return "null";
    }
    std::vector<std::wstring> gone = GoneOfNewInstallation(changes, again, PlacesHeldNow(changes));
    Said said;
    JudgeNewInstallation(again, gone, kind, &said);
    Tell(said);
    return JsonNewInstallation(again.Held.size(), gone);
}

// Under Wine, the prefix restarted right after the uninstall: what it leaves for good, seen, in
// *final; what changed again by itself meanwhile is taken first. Whether the prefix restarted;
// if not, *final stays the look after the uninstall.
static bool LookAfterRestart(const Options &options, Check *check, Inspection *in, LeftoverLook *final)
{
    TellPrefixRestarting();
    Doing(ActivityRestartingPrefix);
    bool restarted = RestartWinePrefix(options.LimitSeconds);
    Doing(ActivityNone);
    if (!restarted) {
        TellPrefixNotRestarted(false);
        return false;
    }
    TakeWhatChangedAgain(L"during the restart", check, in);
    std::vector<std::wstring> stillPending = PendingDeletions();
    *final = LookNow(*in, StatesNow(in->Changes, stillPending), stillPending);
    if (final->Leftovers.empty() && final->Rules.Left.empty())
        TellNothingLeft();
    return true;
}

// The installer started again, from where the uninstall left the machine; under Wine, after
// its prefix restarted, with the deletions put back, and seen after a second restart.
static std::string ReinstallBeforeRestart(const Options &options, const Check &check, const Inspection &in,
                                          bool restarted, const std::vector<std::wstring> &pendingStrings,
                                          CheckState *state)
{
    TellInstallingAgain(check.Setup.Name, check.Arguments, restarted);
    if (restarted && !WritePendingStrings(pendingStrings))
        TellPendingNotPutBack(GetLastError());
    state->Reinstalled = true;
    InstallAgain(options, check, in, &state->Reinstall);
    if (!restarted)
        return "null";
    std::string newInstallation = "null";
    TellSecondPrefixRestart();
    Doing(ActivityRestartingPrefix);
    if (RestartWinePrefix(options.LimitSeconds))
        newInstallation = LookAtNewInstallation(in.Changes, state->Reinstall, in.Kind);
    else
        TellPrefixNotRestarted(true);
    Doing(ActivityNone);
    return newInstallation;
}

// The report for machines, once the exit code is known; the state keeps it without the look
// after the restart, which --after-restart adds itself. first: the changes as the look after the
// uninstall held them.
static std::string FirstReport(const Options &options, const Check &check, const Inspection &in,
                               const Inspection &first, const RunRecord &record,
                               const std::vector<std::wstring> &pendingPaths, const LeftoverLook &uninstalled,
                               const std::vector<std::wstring> &stillRunning, int code, bool saved, CheckState *state)
{
    std::string look = JsonWithField(JsonOfLook(uninstalled, first.Changes, first.Groups, ProblemCount(), code, false),
                                     "running", JsonTextList(stillRunning));
    std::string json = JsonReport(check.Install, check.Noise, in.Changes, in.Groups, RecordedFindings(),
                                  in.UninstallString, &record, pendingPaths, look,
                                  JsonReinstall(state->Reinstall, in.Changes.size()), code);
    if (saved && !options.JsonPath.empty()) {
        state->Report = json;
        SaveState(options.StatePath, *state);
    }
    return json;
}

// Under Wine the prefix is restarted, as Windows never is by the check: once right after the
// uninstall, to see what it leaves for good; then, with its deletions pending again as the
// uninstall left them, after the application is installed again, to see whether the new
// installation survives the restart whole. On Windows both are foreseen, and --after-restart
// sees them once the machine has restarted. Each look first reads again what the install changed.
int LookAfterUninstall(const Options &options, Check *check, Inspection *in, const RunRecord &record)
{
    TellAfterUninstall(!check->RestartsPrefix);
    Doing(ActivityLookingAtWhatIsLeft);
    TakeWhatChangedAgain(L"since the install", check, in);
    const Inspection first = *in;
    std::vector<std::wstring> pendingPaths = PendingDeletions(), pendingStrings = ReadPendingStrings();
    CheckState state;
    state.AfterUninstall = StatesNow(in->Changes, pendingPaths);
    LeftoverLook uninstalled = LookNow(*in, state.AfterUninstall, pendingPaths), final = uninstalled;
    // Kestrane deletes what it can: a running program's file waits for the restart.
    std::vector<std::wstring> stillRunning = RunningAmong(ProgramsAdded(in->Changes));
    TellStillRunning(stillRunning);
    Doing(ActivityNone);
    TellPending(pendingStrings);

    bool restarted = check->RestartsPrefix && LookAfterRestart(options, check, in, &final);
    state.AfterUninstall = StatesOfKept(first.Changes, state.AfterUninstall, in->Changes);
    std::string newInstallation = ReinstallBeforeRestart(options, *check, *in, restarted, pendingStrings, &state);
    state.AppName = in->AppName;
    state.Kind = in->Kind;
    state.Problems = ProblemCount();
    state.Changes = in->Changes;
    state.Firewall = in->Firewall;
    state.RuleName = in->RuleName;
    // The exit code is known only once the summary is said; the report is written after it.
    bool saved = SaveState(options.StatePath, state);
    TellStateKept(saved, GetLastError(), options.StatePath, restarted);
    int code = TellConclusion(in->AppName, final.Left, final.Pending, restarted ? WhenPrefixRestarted : WhenUninstalled);
    std::string json = FirstReport(options, *check, *in, first, record, pendingPaths, uninstalled, stillRunning, code,
                                   saved, &state);
    if (restarted)
        json = JsonWithAfterRestart(json, JsonWithField(JsonOfLook(final, in->Changes, in->Groups, ProblemCount(), code,
                                                                   true),
                                                        "newInstallation", newInstallation));
    WriteJsonReport(options.JsonPath, json);
    return code;
}
