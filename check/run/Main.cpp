// CheckInstaller.exe [options] SETUP.exe [INSTALLER ARGUMENTS...]
// Installs an application with its own installer, holds what it changed against what
// Kestrane removes, uninstalls it through the entry it registered, as Windows does, and
// shows what is left.
#include "judge/Findings.h"
#include "judge/InstallerEnd.h"
#include "judge/UninstallFindings.h"
#include "look/Now.h"
#include "look/PendingDeletions.h"
#include "look/Programs.h"
#include "look/RunningWindows.h"
#include "run/Steps.h"
#include "tell/Report.h"

#include <shellapi.h>

static int CannotRun(const std::wstring &why)
{
    Say(why);
    return ExitCannotRun;
}

static std::wstring FullPath(const std::wstring &path)
{
    wchar_t full[32768];
    DWORD length = GetFullPathNameW(path.c_str(), 32768, full, NULL);
    return length > 0 && length < 32768 ? full : path;
}

static std::wstring DefaultStatePath()
{
    wchar_t folder[MAX_PATH + 1] = {0};
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(length > 0 && length <= MAX_PATH ? folder : L".\\") + L"CheckInstaller.state";
}

// What the install made, judged before anything is uninstalled: the installer's end, the layout,
// the firewall rule, and the windows Kestrane would take for the application running.
static void InspectWhatItInstalled(const Options &options, const Check &check, Inspection *in)
{
    TellInspecting();
    Said said;
    JudgeInstallerEnd(check.Install.TimedOut, check.Install.ExitCode, options.LimitSeconds, check.Arguments, &said);
    InspectInstallation(in, RealMachine(), &said);
    if (in->HasEntry) {
        CheckFirewallRule(*in, false, RealMachine(), &said);
        JudgeWindowsNamingApp(in->AppName, WindowsNamingApp(in->AppName), &said);
    }
    Tell(said);
}

static int CheckInstaller(Options options)
{
    std::wstring unwritable = OutputsNotWritable(options.JsonPath);
    if (!unwritable.empty())
        return CannotRun(unwritable);
    Check check;
    SetupRefusal refusal = LookAtSetup(&options, &check);
    if (refusal != SetupMayRun)
        return CannotRun(SetupRefusalText(refusal, check.Setup));
    Inspection in;
    DWORD startError = 0;
    if (!InstallAndLook(options, &check, &in, &startError))
        return CannotRun(CannotStartText(check.Setup.Setup, startError));
    InspectWhatItInstalled(options, check, &in);
    if (!in.HasEntry) {
        TellNothingToUninstall(check.Setup.Name);
        WriteJsonReport(options.JsonPath, JsonReport(check.Install, check.Noise, in.Changes, in.Groups,
                                                     RecordedFindings(), L"", NULL, PendingDeletions(), "", "",
                                                     ExitFound));
        return FinalExitCode(ExitFound);
    }
    RunRecord record;
    Uninstall(options, in, &record);
    return FinalExitCode(LookAfterUninstall(options, check, in, record));
}

int main()
{
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != NULL && i < count; i++)
        args.push_back(argv[i]);
    if (args.size() == 1 && args[0] == L"--stand-in")
        return StandIn();
    StartReport();
    SetConsoleTitleW(OwnConsoleTitle(L""));
    Options options;
    std::wstring bad;
    OptionsResult result = ReadOptions(args, FullPath, &options, &bad);
    if (result == OptionsBad)
        return CannotRun(BadOptionText(args, bad) + L"\n\n" + UsageText());
    if (options.Help) {
        Say(UsageText());
        return ExitClean;
    }
    if (!options.Machine.empty()) {
        std::wstring machine = MachineOf(options.Machine);
        Say(machine.empty() ? L"not a Windows program" : machine);
        return machine.empty() ? ExitCannotRun : ExitClean;
    }
    if (options.StatePath.empty())
        options.StatePath = DefaultStatePath();
    if (!options.AfterRestart.empty()) {
        std::wstring unwritable = OutputsNotWritable(options.JsonPath);
        return unwritable.empty() ? FinalExitCode(CheckAfterRestart(options)) : CannotRun(unwritable);
    }
    if (result == OptionsNoSetup)
        return CannotRun(UsageText());
    return CheckInstaller(options);
}
