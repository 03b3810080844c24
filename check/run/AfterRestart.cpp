#include "run/Steps.h"

#include "judge/Findings.h"
#include "judge/Leftovers.h"
#include "judge/Reinstall.h"
#include "look/Now.h"
#include "look/PendingDeletions.h"
#include "look/Programs.h"
#include "tell/Report.h"
#include "tell/State.h"

// Whether the installation made again before the restart is still whole, seen after it. What
// the restart was foreseen to take was a problem already: seen, it is its consequence; not
// seen, it was no problem.
static std::string NewInstallationSeen(const CheckState &state)
{
    if (!InstalledAgain(state.Reinstall)) {
        TellNothingInstalledAgain();
        return "null";
    }
    std::vector<std::wstring> gone = GoneOfNewInstallation(state.Changes, state.Reinstall, PlacesHeldNow(state.Changes));
    Said said;
    JudgeNewInstallation(state.Reinstall, gone, state.Kind, &said);
    Tell(said);
    return JsonNewInstallation(state.Reinstall.Held.size(), gone);
}

// On Windows, after the restart the user made: the installation made again is seen; of the
// first installation, what the new one does not hold is seen too, and what it holds again is
// judged by the look after the uninstall, where what waited for the restart counts as gone.
int CheckAfterRestart(const Options &options)
{
    CheckState state;
    if (!LoadState(options.AfterRestart, &state)) {
        Say(NoStateText(options.AfterRestart));
        return ExitCannotRun;
    }
    SetProblemCount(state.Problems);
    bool prefix = IsWine() && !options.AsOnWindows;
    TellAfterRestart(prefix);
    Doing(ActivityLookingAtWhatIsLeft);
    std::string newInstallation = state.Reinstalled ? NewInstallationSeen(state) : "null";
    std::vector<LeftState> states = StatesNow(state.Changes, PendingDeletions());
    size_t forecast = 0;
    if (state.Reinstalled && InstalledAgain(state.Reinstall) && state.AfterUninstall.size() == state.Changes.size())
        for (size_t i : state.Reinstall.Held) {
            states[i] = state.AfterUninstall[i] == LeftThere ? LeftThere : LeftGone;
            forecast++;
        }
    TellLeftForGood(forecast);
    std::vector<ChangeGroup> groups;
    GroupInstallChanges(state.Changes, &groups);
    std::vector<std::wstring> pendingPaths = PendingDeletions();
    LeftoverLook look = LookAtLeftovers(state.Changes, groups, states, pendingPaths, RealMachine());
    AddRulesLeft(&look, LookAtRules(state.Firewall, state.RuleName, RealMachine(), pendingPaths));
    TellLeftovers(look);
    if (look.Leftovers.empty() && look.Rules.Left.empty())
        TellNothingLeft();
    Doing(ActivityNone);
    int code = TellConclusion(state.AppName, look.Left, look.Pending, prefix ? WhenPrefixRestarted : WhenRestarted);
    std::string after = JsonWithField(JsonOfLook(look, state.Changes, groups, ProblemCount(), code, forecast == 0),
                                      "newInstallation", newInstallation);
    WriteJsonReport(options.JsonPath, JsonWithAfterRestart(state.Report, after));
    return code;
}
