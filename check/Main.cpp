// CheckInstaller.exe [options] SETUP.exe [INSTALLER ARGUMENTS...]
// Installs an application with its own installer, holds what it changed against what
// Kestrane removes, uninstalls it through the entry it registered, as Windows does, and
// shows what is left.
#include "Findings.h"
#include "Pending.h"
#include "Report.h"
#include "State.h"

#include <shellapi.h>
#include <stdlib.h>

enum { ExitClean = 0, ExitFound = 1, ExitCannotRun = 2 };

static const DWORD DefaultLimitSeconds = 300;

static const wchar_t Usage[] =
    L"usage: CheckInstaller.exe [options] SETUP.exe [INSTALLER ARGUMENTS...]\n"
    L"       CheckInstaller.exe --after-restart STATE\n"
    L"Installs SETUP.exe for real (silently: /S unless other arguments follow it), holds what\n"
    L"it changed against what Kestrane removes, uninstalls it through the UninstallString it\n"
    L"registered, as Windows does, and shows what is left. Run it only where that may happen:\n"
    L"Windows Sandbox, a throwaway virtual machine, a CI runner, or a throwaway Wine prefix\n"
    L"(bash tools/check-installer.sh).\n"
    L"\n"
    L"options:\n"
    L"  --limit SECONDS       how long the installer, then the uninstall, may run (default 300)\n"
    L"  --interactive         you answer Kestrane's boxes yourself; otherwise every box is\n"
    L"                        answered OK but the restart question, answered Cancel\n"
    L"  --state FILE          where to keep what --after-restart needs\n"
    L"                        (default: CheckInstaller.state in the TEMP folder)\n"
    L"  --after-restart STATE after a restart: what of the install is left now\n"
    L"  --machine FILE        prints the processor FILE is built for (x86-64, x86, ...)\n"
    L"  -h, --help, /?        this text\n"
    L"\n"
    L"exit codes: 0 no problem found and nothing left, 1 a problem found or something left,\n"
    L"            2 the check could not run\n"
    L"\n"
    L"What it changes: it runs the installer and the uninstall as an administrator, which may\n"
    L"change anything on the machine; it never restarts it, and writes only the state file.\n"
    L"It installs nothing of its own. Under Wine, tools/check-installer.sh may install Wine's\n"
    L"32-bit side, and says what that changes first.\n";

struct Options {
    DWORD LimitSeconds;
    bool Interactive;
    std::wstring StatePath;
    std::wstring AfterRestart;
    std::wstring Setup;
    std::vector<std::wstring> InstallerArguments;
};

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

// -1: not an option; 0: bad; 1: taken.
static int TakeOption(wchar_t **args, int count, int *at, Options *options)
{
    std::wstring option = args[*at];
    bool hasValue = *at + 1 < count;
    if (option == L"--interactive") {
        options->Interactive = true;
    } else if (option == L"--limit" && hasValue) {
        wchar_t *end = NULL;
        unsigned long seconds = wcstoul(args[++*at], &end, 10);
        if (end == args[*at] || *end != L'\0' || seconds == 0 || seconds > 86400)
            return 0;
        options->LimitSeconds = (DWORD)seconds;
    } else if (option == L"--state" && hasValue) {
        options->StatePath = FullPath(args[++*at]);
    } else if (option == L"--after-restart" && hasValue) {
        options->AfterRestart = FullPath(args[++*at]);
    } else if (option.size() > 1 && option[0] == L'-') {
        return 0;
    } else {
        return -1;
    }
    return 1;
}

static void SayChanges(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups)
{
    if (groups.empty())
        Say(L"     nothing");
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        size_t inside = groups[g].Members.size() - 1;
        std::wstring place = EntryPlace(head.Place());
        if (head.Kind == ChangeChanged)
            Say(L"     changed  " + place);
        else if (head.Kind == ChangeRemoved)
            Say(L"     removed  " + place);
        else
            Say(L"     " + place + (inside > 0 ? L" (with " + Number(inside) + L" item(s) in it)" : L""));
    }
}

// One line for each outermost change: removed, pending deletion at the next restart, or
// left. Returns how many are left, and how many wait for the restart.
static size_t SayWhatIsLeft(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                            size_t *pendingGroups)
{
    *pendingGroups = 0;
    std::vector<std::wstring> strings = ReadPendingStrings(), pending;
    for (size_t i = 0; i < strings.size(); i += 2)
        if (i + 1 < strings.size() && strings[i + 1].empty())
            pending.push_back(PendingPath(strings[i]));
    size_t left = 0;
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        if (head.Kind == ChangeRemoved)
            continue;
        // The head first: a container is gone only with everything in it.
        size_t there = 0, waiting = 0, inside = groups[g].Members.size() - 1;
        LeftState headState = StateNow(head, pending);
        for (size_t i = 1; i <= inside; i++) {
            LeftState state = StateNow(changes[groups[g].Members[i]], pending);
            there += state == LeftThere;
            waiting += state == LeftPending;
        }
        std::wstring of = inside > 0 && headState != LeftGone
            ? L" (with " + Number(there + waiting) + L" of the " + Number(inside) + L" item(s) put in it)" : L"";
        if (headState == LeftThere)
            there++;
        else if (headState == LeftPending)
            waiting++;
        if (there > 0) {
            Say(L"  left     " + EntryPlace(head.Place()) + of);
            left++;
        } else if (waiting > 0) {
            Say(L"  pending  " + EntryPlace(head.Place()) + of);
            ++*pendingGroups;
        } else {
            Say(L"  removed  " + EntryPlace(head.Place()));
        }
    }
    return left;
}

static void SayPending()
{
    Say(L"  registered for deletion at the next restart:");
    std::vector<std::wstring> strings = ReadPendingStrings();
    for (size_t i = 0; i < strings.size(); i += 2) {
        std::wstring to = i + 1 < strings.size() ? strings[i + 1] : L"";
        Say(to.empty() ? L"    delete  " + PendingPath(strings[i])
                       : L"    move    " + PendingPath(strings[i]) + L" to " + PendingPath(to));
    }
    if (strings.empty())
        Say(L"    nothing");
}

static int Conclude(const std::wstring &app, size_t left, size_t pending)
{
    Say(L"");
    if (left > 0)
        Say(Number(left) + L" item(s) of " + app + L" are left.");
    else if (pending > 0)
        Say(L"Nothing of " + app + L" is left but what the next restart deletes (" + Number(pending) + L" item(s)).");
    else
        Say(L"Nothing of " + app + L" is left.");
    Say(ProblemCount() == 0 ? std::wstring(L"No problem found.") : Number(ProblemCount()) + L" problem(s) found.");
    return left == 0 && ProblemCount() == 0 ? ExitClean : ExitFound;
}

static int CheckAfterRestart(const Options &options)
{
    CheckState state;
    if (!LoadState(options.AfterRestart, &state))
        return CannotRun(L"Cannot read the state " + options.AfterRestart + L": run the check first, with --state.");
    SetProblemCount(state.Problems);
    std::vector<ChangeGroup> groups;
    GroupChanges(state.Changes, &groups);
    Say(IsWine() ? L"== After a simulated restart of the prefix (wineboot -r)" : L"== After the restart");
    SetActivity(L"looking at what is left");
    size_t pending = 0, left = SayWhatIsLeft(state.Changes, groups, &pending);
    SetActivity(NULL);
    return Conclude(state.AppName, left, pending);
}

static int CheckInstaller(const Options &options)
{
    std::wstring setup = options.Setup, name = LeafOf(setup);
    DWORD attributes = GetFileAttributesW(setup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return CannotRun(L"No such file: " + setup);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return CannotRun(setup + L" is a folder: name the installer in it.");
    std::wstring machine = MachineOf(setup);
    bool wine = IsWine();
    if (machine.empty())
        return CannotRun(name + L" is not a Windows program.");
    if (machine == L"x86-64")
        Say(L"== " + name + L" is a 64-bit installer (x86-64).");
    else if (machine == L"x86")
        Say(L"== " + name + L" is a 32-bit installer (x86): it runs on Windows' 32-bit side, and must write "
            L"Kestrane's layout in the 64-bit view and folders.");
    else
        return CannotRun(name + L" is a Windows program for " + machine + L": this check runs x86-64 and x86 installers.");
    WatchedFolders folders = FindWatchedFolders();
    if (machine == L"x86" && wine && GetFileAttributesW((folders.SysWow64 + L"\\kernel32.dll").c_str()) == INVALID_FILE_ATTRIBUTES)
        return CannotRun(L"This Wine has no 32-bit side: bash tools/check-installer.sh installs it.");
    if (!wine && !IsElevated())
        return CannotRun(L"CheckInstaller.exe must run elevated, as installers and Kestrane do: open the console "
                         L"with \"Run as administrator\".");
    Say(wine ? L"   It is installed and uninstalled for real in this Wine prefix."
             : L"   It is installed and uninstalled for real on this machine: run the check only in Windows Sandbox, "
               L"a throwaway virtual machine or a CI runner.");

    std::wstring arguments;
    for (size_t i = 0; i < options.InstallerArguments.size(); i++)
        arguments += L" " + options.InstallerArguments[i];
    Say(L"== Installing it: " + name + arguments);
    std::vector<Entry> before, installed;
    SetActivity(L"looking at the machine before the install");
    TakeSnapshot(&before);
    SetActivity(L"waiting for the installer");
    InstallerRun install = RunInstaller(setup, options.InstallerArguments, options.LimitSeconds);
    if (!install.Started)
        return CannotRun(L"Cannot start " + setup + L": error " + Number(install.StartError));
    SetActivity(L"looking at what the installer changed");
    TakeSnapshot(&installed);
    Inspection in;
    in.Wine = wine;
    in.Folders = folders;
    CompareSnapshots(before, installed, &in.Changes);
    ForgetUninstallKeys(&in.Changes);
    std::vector<Entry>().swap(before);
    std::vector<Entry>().swap(installed);
    GroupChanges(in.Changes, &in.Groups);
    SetActivity(NULL);
    if (install.TimedOut)
        Say(L"   it did not end within " + Number(options.LimitSeconds) + L" s and was stopped; it had changed:");
    else
        Say(L"   it ended with exit code " + Number(install.ExitCode) + L" after " + Seconds(install.Ms)
            + L" s, and changed:");
    SayChanges(in.Changes, in.Groups);

    Say(L"");
    Say(L"== What it installed, against what Kestrane removes");
    if (install.TimedOut)
        Finding(VerdictProblem, L"the installer did not end within " + Number(options.LimitSeconds) + L" s (--limit): "
                L"does it install without asking anything with" + arguments + L"?", L"Check your installer");
    else if (install.ExitCode != 0)
        Finding(VerdictProblem, L"the installer ended with exit code " + Number(install.ExitCode), L"Check your installer");
    InspectInstallation(&in);
    if (!in.HasEntry) {
        Say(L"");
        Say(L"Nothing to uninstall. " + Number(ProblemCount()) + L" problem(s) found.");
        return ExitFound;
    }
    CheckFirewallRule(in, false);

    Say(L"");
    Say(L"== Uninstalling: starting the registered UninstallString, as Windows does");
    Say(L"command line: " + in.UninstallString);
    if (options.Interactive)
        Say(L"Answer the boxes yourself.");
    SetActivity(L"waiting for the uninstall");
    RunRecord record;
    RunUninstall(in.UninstallString, options.LimitSeconds, options.Interactive, &record);
    SetActivity(NULL);
    ReportUninstall(record, options.LimitSeconds);
    CheckFirewallRule(in, true);

    Say(L"");
    Say(L"== After the uninstall");
    SetActivity(L"looking at what is left");
    size_t pending = 0, left = SayWhatIsLeft(in.Changes, in.Groups, &pending);
    SetActivity(NULL);
    SayPending();

    CheckState state;
    state.AppName = in.AppName;
    state.Problems = ProblemCount();
    state.Changes = in.Changes;
    if (SaveState(options.StatePath, state))
        Say(L"  after a restart, CheckInstaller.exe --after-restart \"" + options.StatePath + L"\" shows what is left");
    else
        Say(L"  cannot write the state " + options.StatePath + L": error " + Number(GetLastError()));
    return Conclude(in.AppName, left, pending);
}

int main()
{
    StartReport();
    int count = 0;
    wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &count);
    Options options;
    options.LimitSeconds = DefaultLimitSeconds;
    options.Interactive = false;
    options.StatePath = DefaultStatePath();
    int at = 1;
    for (; args != NULL && at < count; at++) {
        std::wstring arg = args[at];
        if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            Say(Usage);
            return ExitClean;
        }
        if (arg == L"--machine" && at + 1 < count) {
            std::wstring machine = MachineOf(args[at + 1]);
            Say(machine.empty() ? L"not a Windows program" : machine);
            return machine.empty() ? ExitCannotRun : ExitClean;
        }
        if (arg == L"--") {
            at++;
            break;
        }
        int taken = TakeOption(args, count, &at, &options);
        if (taken == 0)
            return CannotRun(L"Unknown or incomplete option " + arg + L"\n\n" + Usage);
        if (taken < 0)
            break;
    }
    if (!options.AfterRestart.empty())
        return CheckAfterRestart(options);
    if (args == NULL || at >= count)
        return CannotRun(Usage);
    options.Setup = FullPath(args[at]);
    for (at++; at < count; at++)
        options.InstallerArguments.push_back(args[at]);
    if (options.InstallerArguments.empty())
        options.InstallerArguments.push_back(L"/S");
    return CheckInstaller(options);
}
