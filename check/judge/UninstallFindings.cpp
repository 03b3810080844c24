#include "judge/UninstallFindings.h"

#include "app/Run.h"

void CheckFirewallRule(const Inspection &in, bool uninstalled, const MachineReader &machine, Said *said)
{
    // Said once: no rule can be seen, neither the entry's nor any other the installer adds.
    if (!in.Firewall.Read) {
        if (!uninstalled)
            Find(said, VerdictNote, in.Wine ? L"the firewall: Wine keeps no firewall rules, so whether a rule is added "
                    L"and removed cannot be seen here"
                    : L"the firewall cannot be asked here: which rules the installer adds, and whether they are "
                      L"removed, cannot be seen", SectionLayout);
        return;
    }
    if (!in.RuleName.empty()) {
        int has = machine.HasFirewallRule(in.RuleName);
        std::wstring rule = L"the firewall rule `" + in.RuleName + L"`";
        if (has < 0)
            Find(said, VerdictNote, rule + L": the firewall cannot be asked here", SectionLayout);
        else if (!uninstalled)
            Find(said, has ? VerdictOk : VerdictProblem, rule + (has ? L" was added by the installer"
                    : L" named in the argument text does not exist after the install: add it, or name NULL"),
                    SectionLayout);
        else
            Find(said, has ? VerdictProblem : VerdictOk, rule + (has ? L" is still there after the uninstall"
                    : L" is gone after the uninstall"), SectionLayout);
    }
    if (!uninstalled)
        JudgeRulesAdded(in.Firewall, in.RuleName, said);
}

static std::wstring SignedNumber(LONG value)
{
    return value < 0 ? L"-" + Number((unsigned long long)-(long long)value) : Number((unsigned long long)value);
}

void ReportUninstall(const RunRecord &record, DWORD limitSeconds, Said *said)
{
    if (!record.Started) {
        Find(said, VerdictProblem, L"UninstallString starts nothing: error " + Number(record.StartError), SectionEntry);
        return;
    }
    for (size_t i = 0; i < record.Boxes.size(); i++) {
        const BoxRecord &box = record.Boxes[i];
        Show(said, DescribeBox(box, i + 1, box.Text == MsgRestartQuestion ? L" (the check never restarts)" : L""));
    }
    if (record.TimedOut) {
        Find(said, VerdictProblem, L"the uninstall did not end within " + Number(limitSeconds) + L" s", SectionExitCodes);
        return;
    }
    Show(said, DescribeExitCode(record.ExitCode));
    if (record.ExitCode != 0)
        Find(said, VerdictProblem, L"Kestrane ended with exit code " + SignedNumber((LONG)record.ExitCode),
                SectionExitCodes);
}

void JudgeWindowsNamingApp(const std::wstring &appName, const std::vector<std::wstring> &titles,
                           const std::vector<ForeseenTitle> &foreseen, Said *said)
{
    for (size_t i = 0; i < titles.size(); i++)
        Find(said, VerdictProblem, L"the window \"" + titles[i] + L"\" is open, and its title holds the application name `"
             + appName + L"`: Kestrane takes the application for running, and uninstalls nothing", SectionUserSees);
    for (size_t i = 0; i < foreseen.size(); i++)
        Find(said, VerdictProblem, L"the window \"" + foreseen[i].Title + L"\" is open on Windows (" + foreseen[i].Why
             + L"), and its title holds the application name `" + appName
             + L"`: Kestrane takes the application for running there, and uninstalls nothing", SectionUserSees);
}
