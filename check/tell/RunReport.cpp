#include "tell/RunReport.h"

#include "data/PathText.h"
#include "tell/Report.h"
#include "Pending.h"

void Doing(RunActivity activity)
{
    static const wchar_t *const Activities[] = {
        NULL, L"looking at the machine before the install", L"waiting for a stand-in for the installer",
        L"waiting for the installer", L"looking at what the installer changed", L"waiting for the uninstall",
        L"looking at what is left", L"restarting the prefix", L"waiting for the installer, started again"};
    SetActivity(Activities[activity]);
}

// ---- The installer's file

std::wstring SetupRefusalText(SetupRefusal refusal, const SetupSeen &setup)
{
    switch (refusal) {
    case SetupMissing: return L"No such file: " + setup.Setup;
    case SetupIsFolder: return setup.Setup + L" is a folder: name the installer in it.";
    case SetupNotWindows: return setup.Name + L" is not a Windows program.";
    case SetupOtherProcessor:
        return setup.Name + L" is a Windows program for " + setup.Machine
            + L": this check runs x86-64 and x86 installers.";
    case SetupNo32BitSide: return L"This Wine has no 32-bit side: bash tools/check-installer.sh installs it.";
    case SetupNotElevated:
        return L"CheckInstaller.exe must run elevated, as installers and Kestrane do: open the console with \"Run as "
               L"administrator\".";
    default: return L"";
    }
}

void TellSetup(const SetupSeen &setup)
{
    std::wstring madeWith = setup.Kind == KindUnknown ? L"" : L", made with " + KindName(setup.Kind);
    if (setup.Machine == L"x86-64")
        Say(L"== " + setup.Name + L" is a 64-bit installer (x86-64)" + madeWith + L".");
    else
        Say(L"== " + setup.Name + L" is a 32-bit installer (x86)" + madeWith + L": it runs on Windows' 32-bit side, "
            L"and must write Kestrane's layout in the 64-bit view and folders.");
}

void TellInstalledForReal(bool wine)
{
    Say(wine ? L"   It is installed and uninstalled for real in this Wine prefix."
             : L"   It is installed and uninstalled for real on this machine: run the check only in Windows "
               L"Sandbox, a throwaway virtual machine or a CI runner.");
}

void TellGuessedArguments()
{
    Say(L"   It bears neither NSIS's nor Inno Setup's markers: it is started with /S, a guess. If it asks "
        L"anything, give its own silent arguments after its name: CheckInstaller.exe SETUP.exe ARGUMENTS...");
}

// ---- The install and the looks around it

void TellInstalling(const std::wstring &name, const std::wstring &arguments)
{
    Say(L"== Installing it: " + name + arguments);
}

void TellInstallerBox(const std::wstring &caption, const std::wstring &text)
{
    Say(L"   the installer shows a box, and the check waits while nobody answers it: \"" + caption + L"\": " + text);
}

static std::wstring WaitsAtLimit(const LookCost &cost, DWORD limitSeconds)
{
    return (cost.LimitsAtMost > 3 ? L"the installer, the uninstall, the reinstall and two restarts of the prefix"
                                  : L"the installer, the uninstall and the reinstall")
        + std::wstring(L" each at its limit of ") + Number(limitSeconds) + L" s (--limit)";
}

void TellLookCost(const LookCost &cost, DWORD limitSeconds)
{
    Say(L"   the first look at the machine took " + Seconds(cost.FirstMs) + L" s (" + Number(cost.Places)
        + L" places), " + Number(cost.MoreLooks) + L" more to come: the whole run takes at most "
        + Number((cost.WorstMs + 999) / 1000) + L" s, with " + WaitsAtLimit(cost, limitSeconds)
        + (cost.BudgetSeconds ? L" (--budget " + Number(cost.BudgetSeconds) + L" s)" : std::wstring()));
}

void TellOverBudget(const LookCost &cost, DWORD limitSeconds)
{
    Say(L"");
    Say(L"The run may take " + Number((cost.WorstMs + 999) / 1000) + L" s, longer than --budget "
        + Number(cost.BudgetSeconds) + L" s: a look at the machine takes " + Seconds(cost.FirstMs) + L" s and "
        + Number(cost.MoreLooks) + L" more are to come, with " + WaitsAtLimit(cost, limitSeconds)
        + L". Nothing was installed. Give a longer budget or a shorter --limit.");
}

void TellLooks(size_t places, const unsigned long long ms[3], size_t bytes)
{
    Say(L"   looked at " + Number(places) + L" places (files, folders, keys and values) three times, "
        + Seconds(ms[0]) + L" s, " + Seconds(ms[1]) + L" s and " + Seconds(ms[2]) + L" s, "
        + Number(bytes / 1048576) + L" MB each");
}

static void TellPlacesTaken(const std::vector<std::wstring> &places)
{
    for (size_t i = 0; i < places.size(); i++)
        Say(L"     discounted  " + places[i]);
}

void TellChangedBefore(const NoiseRecord &noise, unsigned long long aroundMs)
{
    Say(L"   " + Number(noise.SeenBefore.size()) + L" place(s) changed by themselves between the two looks before the install, "
        + Seconds(aroundMs) + L" s apart, around a stand-in started as the installer is"
        + (noise.StandInRan ? L"" : L" (it did not run)") + L": not counted as the installer's ("
        + Number(noise.ChangesBefore) + L" change(s) during the install)");
    for (size_t i = 0; i < noise.SeenBefore.size(); i++)
        Say(L"     changed by itself  " + noise.SeenBefore[i]);
    TellPlacesTaken(noise.TakenBefore);
}

void TellWindowsWrites(const NoiseRecord &noise)
{
    const TakenPlaces &taken = noise.TakenWindows;
    if (noise.ChangesWindows == 0)
        return;
    Say(L"   " + Number(taken.Places.size()) + L" place(s) that Windows writes by itself changed during the install: not "
        L"counted as the installer's (" + Number(noise.ChangesWindows) + L" change(s))");
    for (size_t i = 0; i < taken.Places.size() && i < taken.Reasons.size(); i++)
        Say(L"     discounted  " + taken.Places[i] + L": " + taken.Reasons[i]);
}

void TellNotReadAgain(const NoiseRecord &noise)
{
    Say(L"   not judged by the looks after the install: " + Number(noise.RunningWhileWatched.size()) + L" program(s) of "
        L"the new installation run, and what changes from now on may be theirs: nothing is taken for the machine's own "
        L"changes");
}

void TellChangedAgain(const AgainSeen &seen)
{
    if (seen.Read == 0)
        return;
    if (seen.Changed == 0) {
        Say(L"   read again " + Number(seen.Read) + L" place(s) that were there before the install and that it seems to "
            L"have changed: none changed again " + seen.When);
        return;
    }
    Say(L"   read again " + Number(seen.Read) + L" place(s) that were there before the install and that it seems to have "
        L"changed: " + Number(seen.Changed) + L" changed again " + seen.When + L", where neither Kestrane nor the "
        L"uninstall writes, and are not counted as the installer's (" + Number(seen.Changes) + L" change(s))");
    TellPlacesTaken(seen.Taken);
    if (seen.Withdrawn > 0)
        Say(L"     so " + Number(seen.Withdrawn) + L" problem(s) said above for them no longer count");
}

static void TellChanges(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups)
{
    if (groups.empty())
        Say(L"     nothing");
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        size_t inside = groups[g].Members.size() - 1;
        std::wstring place = EntryPlace(head.Place());
        if (!groups[g].Pattern.empty())
            Say(L"     " + groups[g].Pattern + L" (" + Number(groups[g].Members.size()) + L" files named so)");
        else if (!groups[g].Product.empty())
            Say(L"     " + groups[g].Product + L", chained by the installer (with " + Number(groups[g].Members.size())
                + L" item(s))");
        else if (head.Kind == ChangeChanged)
            Say(L"     changed  " + place);
        else if (head.Kind == ChangeRemoved)
            Say(L"     removed  " + place);
        else
            Say(L"     " + place + (inside > 0 ? L" (with " + Number(inside) + L" item(s) in it)" : L""));
    }
}

void TellInstallEnd(const InstallRecord &install, DWORD limitSeconds)
{
    if (install.TimedOut)
        Say(L"   it did not end within " + Number(limitSeconds) + L" s and was stopped");
    else
        Say(L"   it ended with exit code " + Number(install.ExitCode) + L" after " + Seconds(install.Ms) + L" s");
}

void TellInstallChanges(const InstallRecord &install, const std::vector<Change> &changes,
                        const std::vector<ChangeGroup> &groups)
{
    Say(install.TimedOut ? L"   it had changed:" : L"   it changed:");
    TellChanges(changes, groups);
    for (size_t i = 0; i < install.Running.size(); i++)
        Say(L"   running after the install: " + install.Running[i] + L", started by the installer");
}

void TellInspecting()
{
    Say(L"");
    Say(L"== What it installed, against what Kestrane removes");
}

void TellNothingToUninstall(const std::wstring &setupName)
{
    Say(L"");
    Say(L"Nothing to uninstall. " + Number(ProblemCount()) + L" problem(s) found.");
    AddToRunnerSummary(L"### CheckInstaller: " + setupName + L"\n\nNothing to uninstall. " + Number(ProblemCount())
                       + L" problem(s) found.\n");
}

// ---- The uninstall, and the looks after it

void TellUninstalling(const std::wstring &commandLine, bool interactive)
{
    Say(L"");
    Say(L"== Uninstalling: starting the registered UninstallString, as Windows does");
    Say(L"command line: " + commandLine);
    if (interactive)
        Say(L"Answer the boxes yourself.");
}

void TellAfterUninstall(bool foreseen)
{
    Say(L"");
    Say(L"== After the uninstall");
    if (foreseen)
        Say(L"   (foreseen: the check never restarts this machine; what waits for the restart counts as gone)");
}

static void TellLeftover(const Leftover &leftover)
{
    std::wstring of = leftover.Inside > 0 && leftover.State != LeftoverRemoved
        ? L" (with " + Number(leftover.InsideLeft) + L" of the " + Number(leftover.Inside) + L" item(s) put in it)"
        : L"";
    if (leftover.Files > 0)
        of = L" (" + Number(leftover.FilesLeft) + L" of the " + Number(leftover.Files) + L" files named so)";
    if (leftover.Product)
        of = L", chained by the installer (with " + Number(leftover.InsideLeft)
            + (leftover.InsideLeft == leftover.Inside ? L"" : L" of its " + Number(leftover.Inside)) + L" item(s))";
    switch (leftover.State) {
    case LeftoverBroken: Say(L"  broken   " + leftover.Breaks); break;
    case LeftoverLeft: Say(L"  left     " + leftover.Place + of); break;
    case LeftoverPending: Say(L"  pending  " + leftover.Place + of); break;
    default: Say(L"  removed  " + leftover.Place); break;
    }
}

void TellLeftovers(const LeftoverLook &look)
{
    // Broken ones first, the firewall rules' among them.
    for (const Leftover &leftover : look.Leftovers)
        if (leftover.State == LeftoverBroken)
            TellLeftover(leftover);
    for (const RuleLeftover &rule : look.Rules.Left)
        if (rule.Broken)
            Say(L"  broken   " + rule.Breaks);
    for (const Leftover &leftover : look.Leftovers)
        if (leftover.State != LeftoverBroken)
            TellLeftover(leftover);
    for (const RuleLeftover &rule : look.Rules.Left)
        if (!rule.Broken)
            Say(L"  left     " + rule.Place);
    if (look.Rules.Asked && !look.Rules.Seen)
        Say(L"  the firewall cannot be asked now: whether the rules the installer added are left cannot be seen");
}

void TellNothingLeft() { Say(L"     nothing"); }

void TellStillRunning(const std::vector<std::wstring> &programs)
{
    for (size_t i = 0; i < programs.size(); i++)
        Say(L"  still running after the uninstall: " + programs[i] + L", started by the installer");
}

void TellPending(const std::vector<std::wstring> &strings)
{
    Say(L"  registered for deletion at the next restart:");
    for (size_t i = 0; i < strings.size(); i += 2) {
        std::wstring to = i + 1 < strings.size() ? strings[i + 1] : L"";
        Say(to.empty() ? L"    delete  " + PendingPath(strings[i])
                       : L"    move    " + PendingPath(strings[i]) + L" to " + PendingPath(to));
    }
    if (strings.empty())
        Say(L"    nothing");
}

void TellPrefixRestarting()
{
    Say(L"");
    Say(L"== After a restart of the prefix (wineboot -r): what the uninstall leaves for good, seen");
}

void TellPrefixNotRestarted(bool second)
{
    Say(second ? L"   the prefix could not be restarted (wineboot -r)"
               : L"   the prefix could not be restarted (wineboot -r): what is left is the look after the uninstall");
}

void TellInstallingAgain(const std::wstring &name, const std::wstring &arguments, bool afterPrefixRestart)
{
    Say(L"");
    Say(L"== Installing it again before the restart, as a user may: " + name + arguments);
    if (afterPrefixRestart)
        Say(L"   (from where the uninstall left the machine: its deletions pending for the restart again)");
}

void TellPendingNotPutBack(DWORD error)
{
    Say(L"   the deletions could not be put back: error " + Number(error));
}

void TellSecondPrefixRestart()
{
    Say(L"");
    Say(L"== After a second restart of the prefix: the installation made again, seen");
}

void TellStateKept(bool saved, DWORD error, const std::wstring &statePath, bool prefixRestarted)
{
    if (!saved) {
        Say(L"");
        Say(L"  cannot write the state " + statePath + L": error " + Number(error));
    } else if (!prefixRestarted) {
        Say(L"");
        Say(L"  after a restart, CheckInstaller.exe --after-restart \"" + statePath + L"\" shows what is left");
    }
}

void TellNothingInstalledAgain() { Say(L"   Nothing was installed again before the restart."); }

// ---- The installer started again before the restart

void TellReinstallNotStarted(DWORD error) { Say(L"   cannot start it again: error " + Number(error)); }

void TellReinstallNotInstalled(const ReinstallRecord &again)
{
    Say(L"   it ended with exit code " + Number(again.ExitCode) + L" after " + Seconds(again.Ms)
        + L" s: taken as installing nothing before the restart, as an installer that asks for the restart first does");
}

void TellReinstalled(const ReinstallRecord &again, size_t changes)
{
    Say(L"   it ended with exit code 0 after " + Seconds(again.Ms) + L" s; " + Number(again.Held.size()) + L" of the "
        + Number(changes) + L" place(s) the install changed are as it made them again");
    if (again.Taken.empty())
        Say(L"   the restart deletes nothing of the new installation (foreseen from the deletions pending)");
}

// ---- After the restart (--after-restart)

void TellAfterRestart(bool prefix)
{
    Say(prefix ? L"== After a restart of the prefix" : L"== After the restart");
}

void TellLeftForGood(size_t forecast)
{
    Say(L"   What the uninstall leaves for good: seen now" + (forecast > 0 ? L", but for the " + Number(forecast)
        + L" place(s) the new installation holds again, judged by the look after the uninstall" : std::wstring())
        + L":");
}

// ---- The end

int TellConclusion(const std::wstring &app, size_t left, size_t pending, LookWhen when)
{
    const wchar_t *after = when == WhenPrefixRestarted ? L", after a restart of the prefix"
                         : when == WhenRestarted       ? L", after the restart"
                                                       : L"";
    std::wstring summary = SummaryLine(app, left, pending);
    std::wstring problems = ProblemCount() == 0 ? std::wstring(L"No problem found.")
                                                : Number(ProblemCount()) + L" problem(s) found.";
    Say(L"");
    Say(summary);
    Say(problems);
    AddToRunnerSummary(L"### CheckInstaller: " + app + after + L"\n\n" + summary + L"\n\n" + problems + L"\n");
    return VerdictExitCode(left, ProblemCount());
}

void WriteJsonReport(const std::wstring &path, const std::string &json)
{
    if (!path.empty() && !WriteTextFile(path, json)) {
        LoseOutput();
        Say(L"  cannot write the report " + path + L": error " + Number(GetLastError()));
    }
}

std::wstring NoStateText(const std::wstring &path)
{
    return L"Cannot read the state " + path + L": run the check first, with --state.";
}

std::wstring CannotStartText(const std::wstring &setup, DWORD error)
{
    return L"Cannot start " + setup + L": error " + Number(error);
}

int FinalExitCode(int code)
{
    if (OutputsWritten())
        return code;
    Say(L"Exit code 2: an output asked for could not be written.");
    return 2;
}
