// CheckInstaller.exe [options] SETUP.exe [INSTALLER ARGUMENTS...]
// Installs an application with its own installer, holds what it changed against what
// Kestrane removes, uninstalls it through the entry it registered, as Windows does, and
// shows what is left.
#include "judge/Findings.h"
#include "Pending.h"
#include "tell/Report.h"
#include "tell/State.h"

#include <shellapi.h>
#include <stdlib.h>

#include <algorithm>

#include "tell/JsonReport.h"
#include "judge/Leftovers.h"
#include "judge/InstallerKind.h"
#include "run/Options.h"
#include "judge/Reinstall.h"
#include "look/RunningWindows.h"
#include "look/Skipped.h"
#include "look/Watch.h"

enum { ExitClean = 0, ExitFound = 1, ExitCannotRun = 2 };

static const wchar_t Usage[] =
    L"usage: CheckInstaller.exe [options] SETUP.exe [INSTALLER ARGUMENTS...]\n"
    L"       CheckInstaller.exe --after-restart STATE\n"
    L"Installs SETUP.exe for real (silently: with its kind's switches, NSIS's /S or Inno Setup's\n"
    L"/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-, unless arguments follow it), holds what\n"
    L"it changed against what Kestrane removes, uninstalls it through the UninstallString it\n"
    L"registered, as Windows does, and shows what is left. Then it installs it again, as a user\n"
    L"may before restarting, and shows what the restart would delete of that new installation.\n"
    L"Under Wine it restarts the prefix (wineboot -r) to see both; on Windows it foresees them.\n"
    L"Run it only where all that may happen:\n"
    L"Windows Sandbox, a throwaway virtual machine, a CI runner, or a throwaway Wine prefix\n"
    L"(check-installer-linux.sh from the release zip, or tools/check-installer.sh).\n"
    L"\n"
    L"options:\n"
    L"  --limit SECONDS       how long the installer, the uninstall and the reinstall may\n"
    L"                        each run (default 300)\n"
    L"  --settle SECONDS      how long to wait between two looks before the install: what\n"
    L"                        changes then changes by itself, and is not counted (default 2;\n"
    L"                        under Wine 0, where one look's own time is the interval)\n"
    L"  --watch SECONDS       at most how long to watch, after the install, the places that\n"
    L"                        were there before it and that it seems to have changed: what\n"
    L"                        keeps changing is not counted (default 12; 0 never watches)\n"
    L"  --json FILE           also writes the report for machines (UTF-8 JSON) to FILE\n"
    L"  --interactive         you answer Kestrane's boxes yourself; otherwise every box is\n"
    L"                        answered OK but the restart question, answered Cancel\n"
    L"  --state FILE          where to keep what --after-restart needs\n"
    L"                        (default: CheckInstaller.state in the TEMP folder)\n"
    L"  --after-restart STATE after you restarted Windows: whether the installation made again\n"
    L"                        is whole, and what the uninstall left for good\n"
    L"  --machine FILE        prints the processor FILE is built for (x86-64, x86, ...)\n"
    L"  --as-on-windows       for testing the check itself: under Wine, does what it does on\n"
    L"                        Windows (no restart of its own, what a restart does foreseen;\n"
    L"                        --after-restart once the prefix is restarted outside it)\n"
    L"  -h, --help, /?        this text\n"
    L"\n"
    L"exit codes: 0 no problem found and nothing left, 1 a problem found or something left,\n"
    L"            2 the check could not run\n"
    L"\n"
    L"What it changes: it runs the installer and the uninstall as an administrator, which may\n"
    L"change anything on the machine; it never restarts Windows (unless you answer the restart\n"
    L"question yourself, with --interactive), and writes only the state file and the report.\n"
    L"It leaves the application installed again, and, on Windows, the uninstall's deletions\n"
    L"registered for the restart. On a hosted runner (GITHUB_ACTIONS=true) each problem is also\n"
    L"an error annotation, and the summary goes to the job's step summary.\n"
    L"It installs nothing of its own. Under Wine, the Linux runner may install Wine's 32-bit\n"
    L"side, and says what that changes first.\n";

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

static void SayChanges(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups)
{
    if (groups.empty())
        Say(L"     nothing");
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        size_t inside = groups[g].Members.size() - 1;
        std::wstring place = EntryPlace(head.Place());
        if (!groups[g].Pattern.empty())
            Say(L"     " + groups[g].Pattern + L" (" + Number(groups[g].Members.size()) + L" files named so)");
        else if (head.Kind == ChangeChanged)
            Say(L"     changed  " + place);
        else if (head.Kind == ChangeRemoved)
            Say(L"     removed  " + place);
        else
            Say(L"     " + place + (inside > 0 ? L" (with " + Number(inside) + L" item(s) in it)" : L""));
    }
}

static std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> strings = ReadPendingStrings(), pending;
    for (size_t i = 0; i < strings.size(); i += 2)
        if (i + 1 < strings.size() && strings[i + 1].empty())
            pending.push_back(PendingPath(strings[i]));
    return pending;
}

// One line for each outermost change, broken ones first: broken, left, pending deletion at
// the next restart, or removed.
static void SayWhatIsLeft(const std::vector<Leftover> &leftovers)
{
    for (size_t i = 0; i < leftovers.size(); i++) {
        const Leftover &leftover = leftovers[i];
        std::wstring of = leftover.Inside > 0 && leftover.State != LeftoverRemoved
            ? L" (with " + Number(leftover.InsideLeft) + L" of the " + Number(leftover.Inside) + L" item(s) put in it)"
            : L"";
        if (leftover.Files > 0)
            of = L" (" + Number(leftover.FilesLeft) + L" of the " + Number(leftover.Files) + L" files named so)";
        switch (leftover.State) {
        case LeftoverBroken: Say(L"  broken   " + leftover.Breaks); break;
        case LeftoverLeft: Say(L"  left     " + leftover.Place + of); break;
        case LeftoverPending: Say(L"  pending  " + leftover.Place + of); break;
        default: Say(L"  removed  " + leftover.Place); break;
        }
    }
}

// One look at what is left of the install, from the state of each change.
struct Look {
    std::vector<Leftover> Leftovers;
    size_t Left = 0, Pending = 0;
};

static Look LookAt(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                   const std::vector<LeftState> &states, const std::vector<std::wstring> &pendingPaths)
{
    Look look;
    AssessLeftovers(changes, groups, states, pendingPaths, RealMachine(), &look.Leftovers);
    look.Left = CountLeft(look.Leftovers, &look.Pending);
    SayWhatIsLeft(look.Leftovers);
    return look;
}

static std::string JsonOfLook(const Look &look, const std::vector<Change> &changes,
                              const std::vector<ChangeGroup> &groups, int code, bool observed)
{
    return JsonWithField(JsonLeftovers(look.Leftovers, changes, groups, look.Left, look.Pending, ProblemCount(), code),
                         "observed", observed ? "true" : "false");
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

static int Conclude(const std::wstring &app, const Look &look, const std::wstring &when)
{
    std::wstring summary = SummaryLine(app, look.Left, look.Pending);
    std::wstring problems = ProblemCount() == 0 ? std::wstring(L"No problem found.")
                                                : Number(ProblemCount()) + L" problem(s) found.";
    Say(L"");
    Say(summary);
    Say(problems);
    AddToRunnerSummary(L"### CheckInstaller: " + app + when + L"\n\n" + summary + L"\n\n" + problems + L"\n");
    return VerdictExitCode(look.Left, ProblemCount());
}

static void WriteJson(const std::wstring &path, const std::string &json)
{
    if (!path.empty() && !WriteTextFile(path, json))
        Say(L"  cannot write the report " + path + L": error " + Number(GetLastError()));
}

// Of the installation made again before the restart, the places that are gone now.
static std::vector<std::wstring> GoneOfNewInstallation(const std::vector<Change> &changes, const ReinstallRecord &again)
{
    std::vector<bool> heldNow(changes.size(), false);
    for (size_t i : PlacesHeldNow(changes))
        heldNow[i] = true;
    std::vector<std::wstring> gone;
    for (size_t i : again.Held)
        if (!heldNow[i])
            gone.push_back(EntryPlace(changes[i].Place()));
    return gone;
}

// Whether the installation made again before the restart is still whole, seen after it. What
// the restart was foreseen to take was a problem already: seen, it is its consequence; not
// seen, it was no problem.
static std::string LookAtNewInstallation(const std::vector<Change> &changes, const ReinstallRecord &again,
                                         InstallerKind kind)
{
    if (!InstalledAgain(again)) {
        Say(L"   Nothing was installed again before the restart.");
        return "null";
    }
    return JudgeNewInstallation(again, GoneOfNewInstallation(changes, again), kind);
}

// On Windows, after the restart the user made: the installation made again is seen; of the
// first installation, what the new one does not hold is seen too, and what it holds again is
// judged by the look after the uninstall, where what waited for the restart counts as gone.
static int CheckAfterRestart(const Options &options)
{
    CheckState state;
    if (!LoadState(options.AfterRestart, &state))
        return CannotRun(L"Cannot read the state " + options.AfterRestart + L": run the check first, with --state.");
    SetProblemCount(state.Problems);
    bool prefix = IsWine() && !options.AsOnWindows;
    Say(prefix ? L"== After a restart of the prefix" : L"== After the restart");
    SetActivity(L"looking at what is left");
    std::string newInstallation =
        state.Reinstalled ? LookAtNewInstallation(state.Changes, state.Reinstall, state.Kind) : "null";
    std::vector<LeftState> states = StatesNow(state.Changes, PendingDeletions());
    size_t forecast = 0;
    if (state.Reinstalled && InstalledAgain(state.Reinstall) && state.AfterUninstall.size() == state.Changes.size())
        for (size_t i : state.Reinstall.Held) {
            states[i] = state.AfterUninstall[i] == LeftThere ? LeftThere : LeftGone;
            forecast++;
        }
    Say(L"   What the uninstall leaves for good: seen now" + (forecast > 0 ? L", but for the " + Number(forecast)
        + L" place(s) the new installation holds again, judged by the look after the uninstall" : std::wstring())
        + L":");
    std::vector<ChangeGroup> groups;
    GroupChanges(state.Changes, &groups);
    Look look = LookAt(state.Changes, groups, states, PendingDeletions());
    if (look.Leftovers.empty())
        Say(L"     nothing");
    SetActivity(NULL);
    int code = Conclude(state.AppName, look, prefix ? L", after a restart of the prefix" : L", after the restart");
    std::string after = JsonWithField(JsonOfLook(look, state.Changes, groups, code, forecast == 0), "newInstallation",
                                      newInstallation);
    WriteJson(options.JsonPath, JsonWithAfterRestart(state.Report, after));
    return code;
}

// The check's own files change while it runs: never the installer's.
static void SkipOwnFiles(const Options &options)
{
    wchar_t self[MAX_PATH * 2] = {0};
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    std::vector<std::wstring> outputs;
    DWORD handles[] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (size_t i = 0; i < 2; i++) {
        wchar_t path[MAX_PATH * 2] = {0};
        DWORD length = GetFinalPathNameByHandleW(GetStdHandle(handles[i]), path, MAX_PATH * 2, 0);
        if (length > 0 && length < MAX_PATH * 2)
            outputs.push_back(wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path);
    }
    for (const std::wstring &place : OwnPlaces(length > 0 && length < MAX_PATH * 2 ? self : L"",
                                               {options.StatePath, options.JsonPath}, outputs))
        SkipPlace(place);
}

// What the check learns of the installer before it runs it, and of the run.
struct Check {
    std::wstring Setup, Name, Arguments;
    std::wstring Machine;
    InstallerKind Kind = KindUnknown;
    bool Wine = false;
    bool RestartsPrefix = false;  // under Wine, unless told to do as on Windows
    WatchedFolders Folders;
    DWORD Settle = 0;
    NoiseRecord Noise;
    InstallRecord Install = InstallRecord();
};

// The installer's file, its processor and kind, and whether the check may run it here; the
// first lines of the report. Empty when it may, else why not.
static std::wstring LookAtSetup(Options *options, Check *check)
{
    check->Setup = options->Setup;
    check->Name = LeafOf(check->Setup);
    DWORD attributes = GetFileAttributesW(check->Setup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return L"No such file: " + check->Setup;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return check->Setup + L" is a folder: name the installer in it.";
    check->Machine = MachineOf(check->Setup);
    check->Wine = IsWine();
    check->RestartsPrefix = check->Wine && !options->AsOnWindows;
    if (check->Machine.empty())
        return check->Name + L" is not a Windows program.";
    check->Kind = KindOfFile(check->Setup, 1 << 20);
    std::wstring madeWith = check->Kind == KindUnknown ? L"" : L", made with " + KindName(check->Kind);
    if (check->Machine == L"x86-64")
        Say(L"== " + check->Name + L" is a 64-bit installer (x86-64)" + madeWith + L".");
    else if (check->Machine == L"x86")
        Say(L"== " + check->Name + L" is a 32-bit installer (x86)" + madeWith + L": it runs on Windows' 32-bit side, "
            L"and must write Kestrane's layout in the 64-bit view and folders.");
    else
        return check->Name + L" is a Windows program for " + check->Machine + L": this check runs x86-64 and x86 installers.";
    check->Folders = FindWatchedFolders();
    if (check->Machine == L"x86" && check->Wine
        && GetFileAttributesW((check->Folders.SysWow64 + L"\\kernel32.dll").c_str()) == INVALID_FILE_ATTRIBUTES)
        return L"This Wine has no 32-bit side: bash tools/check-installer.sh installs it.";
    if (!check->Wine && !IsElevated())
        return L"CheckInstaller.exe must run elevated, as installers and Kestrane do: open the console with \"Run as "
               L"administrator\".";
    Say(check->Wine ? L"   It is installed and uninstalled for real in this Wine prefix."
                    : L"   It is installed and uninstalled for real on this machine: run the check only in Windows "
                      L"Sandbox, a throwaway virtual machine or a CI runner.");
    if (!options->ArgumentsGiven) {
        options->InstallerArguments = SilentArguments(check->Kind);
        if (check->Kind == KindUnknown)
            Say(L"   It bears neither NSIS's nor Inno Setup's markers: it is started with /S, a guess. If it asks "
                L"anything, give its own silent arguments after its name: CheckInstaller.exe SETUP.exe ARGUMENTS...");
    }
    for (size_t i = 0; i < options->InstallerArguments.size(); i++)
        check->Arguments += L" " + options->InstallerArguments[i];
    check->Settle = options->SettleSeconds != SettleUnset ? options->SettleSeconds
                  : check->Wine ? DefaultSettleSecondsUnderWine : DefaultSettleSeconds;
    return L"";
}

static std::wstring OwnPath()
{
    wchar_t self[MAX_PATH * 2] = {0};
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? self : L"";
}

// The control run: the check itself in the installer's place, started exactly as the installer
// is, doing what any program does when it starts (a window of its own, unseen) and nothing
// else. What a program's start makes the machine change lands between the two looks.
static int StandIn()
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

// Whether the snapshot holds the file or folder at path: each part of the path in turn among
// the children of the part before (siblings are few at each level).
static bool SnapshotHolds(const Snapshot &snapshot, const std::wstring &path)
{
    for (size_t root = 0; root < snapshot.Records.size(); root = snapshot.Records[root].End) {
        std::wstring rootPath = RecordName(snapshot, root);
        if (!SameText(rootPath, path.substr(0, rootPath.size())))
            continue;
        if (path.size() == rootPath.size())
            return true;
        if (path[rootPath.size()] != L'\\')
            continue;
        size_t at = root;
        bool found = true;
        for (size_t start = rootPath.size() + 1; found && start <= path.size();) {
            size_t end = path.find(L'\\', start);
            std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            found = false;
            for (size_t child = at + 1; child < snapshot.Records[at].End && !found; child = snapshot.Records[child].End)
                if (snapshot.Records[child].Kind != EntryValue && SameText(RecordName(snapshot, child), part)) {
                    at = child;
                    found = true;
                }
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
        if (found)
            return true;
    }
    return false;
}

static bool InLookBefore(const std::wstring &path, const void *snapshot)
{
    return SnapshotHolds(*(const Snapshot *)snapshot, path);
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

// The programs the install added: what may run as the application.
static std::vector<std::wstring> ProgramsAdded(const std::vector<Change> &changes)
{
    std::vector<std::wstring> programs;
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind == ChangeAdded && changes[i].After.Kind == EntryFile && EndsWith(changes[i].After.Path, L".exe"))
            programs.push_back(changes[i].After.Path);
    return programs;
}

static void SayPlacesTaken(const std::vector<std::wstring> &places)
{
    for (size_t i = 0; i < places.size(); i++)
        Say(L"     discounted  " + places[i]);
}

// Windows' own writers may have landed once during the install: whatever keeps changing
// while nothing runs is theirs. While a program of the new installation runs, a change may be
// its own: then nothing is watched, and nothing taken.
static void ForgetWhatKeepsChanging(const Options &options, std::vector<Change> *changes, NoiseRecord *noise)
{
    std::vector<WatchTarget> targets = WatchTargets(*changes);
    noise->WatchSeconds = options.WatchSeconds;
    noise->WatchedPlaces = targets.size();
    if (targets.empty() || options.WatchSeconds == 0)
        return;
    if (!noise->RunningWhileWatched.empty()) {
        noise->WatchedPlaces = 0;
        Say(L"   not watched after the install: " + Number(noise->RunningWhileWatched.size()) + L" program(s) of the new "
            L"installation run, and what changes now may be theirs: nothing is taken for the machine's own changes");
        return;
    }
    SetActivity(L"watching what may change by itself");
    Noise watched = WatchForNoise(targets, LimitMilliseconds(options.WatchSeconds), 500, TargetNow, &noise->WatchedMs);
    noise->PlacesWatched = watched.Places.size() + watched.Busy.size();
    noise->ChangesWatched = ForgetNoise(changes, watched, &noise->TakenWatched);
    Say(L"   watched " + Number(targets.size()) + L" place(s) that were there before and that the install seems to "
        L"have changed, " + Seconds(noise->WatchedMs) + L" s (--watch " + Number(options.WatchSeconds) + L"): "
        + Number(noise->PlacesWatched) + L" kept changing by themselves, and are not counted as the installer's ("
        + Number(noise->ChangesWatched) + L" change(s))");
    SayPlacesTaken(noise->TakenWatched);
}

// Two looks at the machine around a stand-in for the installer, the installer, a look at what
// it changed: the changes, less what the machine changed by itself around the stand-in, less
// what keeps changing while watched afterwards. Empty when the installer ran, else why not.
static std::wstring InstallAndLook(const Options &options, Check *check, Inspection *in)
{
    Say(L"== Installing it: " + check->Name + check->Arguments);
    SkipOwnFiles(options);
    NoiseRecord &noise = check->Noise;
    Snapshot first, before, installed;
    std::vector<Change> changedBefore;
    SetActivity(L"looking at the machine before the install");
    ULONGLONG started = GetTickCount64();
    TakeSnapshot(&first, NULL);
    ULONGLONG firstMs = GetTickCount64() - started;
    SetActivity(L"waiting for a stand-in for the installer");
    InstallerRun standIn = RunInstaller(OwnPath(), {L"--stand-in"}, options.LimitSeconds);
    noise.StandInRan = standIn.Started && !standIn.TimedOut;
    noise.StandInMs = standIn.Ms;
    // What changes while nothing is installed changes by itself.
    Sleep(LimitMilliseconds(check->Settle));
    SetActivity(L"looking at the machine before the install");
    started = GetTickCount64();
    TakeSnapshot(&before, &first);
    ULONGLONG beforeMs = GetTickCount64() - started;
    CompareSnapshots(first, before, &changedBefore);
    first = Snapshot();
    SetActivity(L"waiting for the installer");
    InstallerRun install = RunInstaller(check->Setup, options.InstallerArguments, options.LimitSeconds, InLookBefore,
                                        &before);
    if (!install.Started)
        return L"Cannot start " + check->Setup + L": error " + Number(install.StartError);
    SetActivity(L"looking at what the installer changed");
    started = GetTickCount64();
    TakeSnapshot(&installed, &before);
    ULONGLONG installedMs = GetTickCount64() - started;
    Say(L"   looked at " + Number(installed.Records.size()) + L" places (files, folders, keys and values) three times, "
        + Seconds(firstMs) + L" s, " + Seconds(beforeMs) + L" s and " + Seconds(installedMs) + L" s, "
        + Number(SnapshotBytes(installed) / 1048576) + L" MB each");
    in->Wine = check->Wine;
    in->Kind = check->Kind;
    in->Folders = check->Folders;
    CompareSnapshots(before, installed, &in->Changes);
    before = Snapshot();
    installed = Snapshot();
    noise.SettleSeconds = check->Settle;
    noise.PlacesBefore = changedBefore.size();
    noise.ChangesBefore = ForgetWhatIsNotTheInstallers(&in->Changes, changedBefore, &noise.TakenBefore);
    Say(L"   " + Number(noise.PlacesBefore) + L" place(s) changed by themselves between the two looks before the install, "
        + Seconds(firstMs + standIn.Ms + LimitMilliseconds(check->Settle)) + L" s apart, around a stand-in started as "
        L"the installer is" + (noise.StandInRan ? L"" : L" (it did not run)") + L": not counted as the installer's ("
        + Number(noise.ChangesBefore) + L" change(s) during the install)");
    SayPlacesTaken(noise.TakenBefore);

    // The application the installer started, directly or as a service, runs on.
    std::vector<std::wstring> running = install.Running, added = RunningAmong(ProgramsAdded(in->Changes));
    for (size_t i = 0; i < added.size(); i++)
        if (std::find_if(running.begin(), running.end(), [&](const std::wstring &p) { return SameText(p, added[i]); })
            == running.end())
            running.push_back(added[i]);
    noise.RunningWhileWatched = running;
    ForgetWhatKeepsChanging(options, &in->Changes, &noise);
    GroupChanges(in->Changes, &in->Groups);
    SetActivity(NULL);
    if (install.TimedOut)
        Say(L"   it did not end within " + Number(options.LimitSeconds) + L" s and was stopped; it had changed:");
    else
        Say(L"   it ended with exit code " + Number(install.ExitCode) + L" after " + Seconds(install.Ms)
            + L" s, and changed:");
    SayChanges(in->Changes, in->Groups);
    for (size_t i = 0; i < running.size(); i++)
        Say(L"   running after the install: " + running[i] + L", started by the installer");
    InstallRecord &record = check->Install;
    record.Setup = check->Setup;
    record.Machine = check->Machine;
    record.Kind = KindName(check->Kind);
    record.Arguments = options.InstallerArguments;
    record.TimedOut = install.TimedOut;
    record.ExitCode = install.ExitCode;
    record.Ms = install.Ms;
    record.Running = running;
    return L"";
}

static void SayInstallerEnd(const Options &options, const Check &check)
{
    if (check.Install.TimedOut)
        Finding(VerdictProblem, L"the installer did not end within " + Number(options.LimitSeconds) + L" s (--limit): "
                L"does it install without asking anything with" + check.Arguments + L"?", L"Check your installer");
    else if (check.Install.ExitCode != 0)
        Finding(VerdictProblem, L"the installer ended with exit code " + Number(check.Install.ExitCode),
                L"Check your installer");
}

// Kestrane refuses while a top-level window's title holds the application's name: the check's own
// console first, which started from cmd.exe is titled with the command line.
static void CheckWindowsNamingApp(const std::wstring &appName)
{
    SetConsoleTitleW(OwnConsoleTitle(appName));
    std::vector<std::wstring> titles = WindowsNamingApp(appName);
    for (size_t i = 0; i < titles.size(); i++)
        Finding(VerdictProblem, L"the window \"" + titles[i] + L"\" is open, and its title holds the application name `"
                + appName + L"`: Kestrane takes the application for running, and uninstalls nothing",
                L"What the user sees");
}

static void Uninstall(const Options &options, const Inspection &in, RunRecord *record)
{
    Say(L"");
    Say(L"== Uninstalling: starting the registered UninstallString, as Windows does");
    Say(L"command line: " + in.UninstallString);
    if (options.Interactive)
        Say(L"Answer the boxes yourself.");
    SetActivity(L"waiting for the uninstall");
    RunUninstall(in.UninstallString, options.LimitSeconds, options.Interactive, record);
    SetActivity(NULL);
    ReportUninstall(*record, options.LimitSeconds);
    CheckFirewallRule(in, true);
}

// The user who installs again after the uninstall, before the restart: what the restart
// then deletes of the new installation. The changes are the first install's: no new look.
static void InstallAgain(const Options &options, const Check &check, const Inspection &in, ReinstallRecord *again)
{
    SetActivity(L"waiting for the installer, started again");
    InstallerRun run = RunInstaller(check.Setup, options.InstallerArguments, options.LimitSeconds, NotAddedByInstall,
                                    &in.Changes);
    SetActivity(NULL);
    again->Started = run.Started;
    again->TimedOut = run.TimedOut;
    again->ExitCode = run.ExitCode;
    again->Ms = run.Ms;
    if (!run.Started) {
        Say(L"   cannot start it again: error " + Number(run.StartError));
        return;
    }
    if (run.TimedOut) {
        Finding(VerdictProblem, L"the installer, started again after the uninstall, did not end within "
                + Number(options.LimitSeconds) + L" s (--limit)", L"A reinstall before the restart");
        return;
    }
    if (run.ExitCode != 0) {
        Say(L"   it ended with exit code " + Number(run.ExitCode) + L" after " + Seconds(run.Ms)
            + L" s: taken as installing nothing before the restart, as an installer that asks for the restart first does");
        return;
    }
    again->Held = PlacesHeldNow(in.Changes);
    // Read again: an installer that cares has taken its folder out of them.
    again->Taken = TakenByRestart(PendingDeletions(), HeldFilesAndFolders(in.Changes, again->Held));
    Say(L"   it ended with exit code 0 after " + Seconds(run.Ms) + L" s; " + Number(again->Held.size()) + L" of the "
        + Number(in.Changes.size()) + L" place(s) the install changed are as it made them again");
    if (again->Taken.empty())
        Say(L"   the restart deletes nothing of the new installation (foreseen from the deletions pending)");
    else
        Finding(VerdictProblem, TakenProblem(again->Taken, in.Kind, false), L"A reinstall before the restart");
}

// Under Wine, the prefix restarted right after the uninstall: what it leaves for good, seen, in
// *final. Whether the prefix restarted; if not, *final stays the look after the uninstall.
static bool LookAfterRestart(const Options &options, const Inspection &in, Look *final)
{
    Say(L"");
    Say(L"== After a restart of the prefix (wineboot -r): what the uninstall leaves for good, seen");
    SetActivity(L"restarting the prefix");
    bool restarted = RestartWinePrefix(options.LimitSeconds);
    SetActivity(NULL);
    if (!restarted) {
        Say(L"   the prefix could not be restarted (wineboot -r): what is left is the look after the uninstall");
        return false;
    }
    std::vector<std::wstring> stillPending = PendingDeletions();
    *final = LookAt(in.Changes, in.Groups, StatesNow(in.Changes, stillPending), stillPending);
    if (final->Leftovers.empty())
        Say(L"     nothing");
    return true;
}

// Under Wine the prefix is restarted, as Windows never is by the check: once right after the
// uninstall, to see what it leaves for good; then, with its deletions pending again as the
// uninstall left them, after the application is installed again, to see whether the new
// installation survives the restart whole. On Windows both are foreseen, and --after-restart
// sees them once the machine has restarted.
static int LookAfterUninstall(const Options &options, const Check &check, const Inspection &in, const RunRecord &record)
{
    Say(L"");
    Say(L"== After the uninstall");
    if (!check.RestartsPrefix)
        Say(L"   (foreseen: the check never restarts this machine; what waits for the restart counts as gone)");
    SetActivity(L"looking at what is left");
    std::vector<std::wstring> pendingPaths = PendingDeletions(), pendingStrings = ReadPendingStrings();
    CheckState state;
    state.AfterUninstall = StatesNow(in.Changes, pendingPaths);
    Look uninstalled = LookAt(in.Changes, in.Groups, state.AfterUninstall, pendingPaths), final = uninstalled;
    // Kestrane deletes what it can: a running program's file waits for the restart.
    std::vector<std::wstring> stillRunning = RunningAmong(ProgramsAdded(in.Changes));
    for (size_t i = 0; i < stillRunning.size(); i++)
        Say(L"  still running after the uninstall: " + stillRunning[i] + L", started by the installer");
    SetActivity(NULL);
    SayPending();

    bool restarted = check.RestartsPrefix && LookAfterRestart(options, in, &final);

    Say(L"");
    Say(L"== Installing it again before the restart, as a user may: " + check.Name + check.Arguments);
    if (restarted) {
        Say(L"   (from where the uninstall left the machine: its deletions pending for the restart again)");
        if (!WritePendingStrings(pendingStrings))
            Say(L"   the deletions could not be put back: error " + Number(GetLastError()));
    }
    state.Reinstalled = true;
    InstallAgain(options, check, in, &state.Reinstall);
    std::string newInstallation = "null";
    if (restarted) {
        Say(L"");
        Say(L"== After a second restart of the prefix: the installation made again, seen");
        SetActivity(L"restarting the prefix");
        if (RestartWinePrefix(options.LimitSeconds))
            newInstallation = LookAtNewInstallation(in.Changes, state.Reinstall, in.Kind);
        else
            Say(L"   the prefix could not be restarted (wineboot -r)");
        SetActivity(NULL);
    }
    state.AppName = in.AppName;
    state.Kind = in.Kind;
    state.Problems = ProblemCount();
    state.Changes = in.Changes;
    // The exit code is known only once the summary is said; the report is written after it.
    bool saved = SaveState(options.StatePath, state);
    DWORD saveError = GetLastError();
    if (!saved) {
        Say(L"");
        Say(L"  cannot write the state " + options.StatePath + L": error " + Number(saveError));
    } else if (!restarted) {
        Say(L"");
        Say(L"  after a restart, CheckInstaller.exe --after-restart \"" + options.StatePath + L"\" shows what is left");
    }
    int code = Conclude(in.AppName, final, restarted ? L", after a restart of the prefix" : L"");
    std::string json = JsonReport(check.Install, check.Noise, in.Changes, in.Groups, RecordedFindings(),
                                  in.UninstallString, &record, pendingPaths,
                                  JsonWithField(JsonOfLook(uninstalled, in.Changes, in.Groups, code, false), "running",
                                                JsonTextList(stillRunning)),
                                  JsonReinstall(state.Reinstall, in.Changes.size()), code);
    // The state keeps the report without the look after the restart: --after-restart adds its own.
    if (saved && !options.JsonPath.empty()) {
        state.Report = json;
        SaveState(options.StatePath, state);
    }
    if (restarted)
        json = JsonWithAfterRestart(json, JsonWithField(JsonOfLook(final, in.Changes, in.Groups, code, true),
                                                        "newInstallation", newInstallation));
    WriteJson(options.JsonPath, json);
    return code;
}

static int CheckInstaller(Options options)
{
    Check check;
    std::wstring why = LookAtSetup(&options, &check);
    if (!why.empty())
        return CannotRun(why);
    Inspection in;
    why = InstallAndLook(options, &check, &in);
    if (!why.empty())
        return CannotRun(why);

    Say(L"");
    Say(L"== What it installed, against what Kestrane removes");
    SayInstallerEnd(options, check);
    InspectInstallation(&in);
    if (!in.HasEntry) {
        Say(L"");
        Say(L"Nothing to uninstall. " + Number(ProblemCount()) + L" problem(s) found.");
        AddToRunnerSummary(L"### CheckInstaller: " + check.Name + L"\n\nNothing to uninstall. " + Number(ProblemCount())
                           + L" problem(s) found.\n");
        WriteJson(options.JsonPath, JsonReport(check.Install, check.Noise, in.Changes, in.Groups,
                                               RecordedFindings(), L"", NULL, PendingDeletions(), "", "", ExitFound));
        return ExitFound;
    }
    CheckFirewallRule(in, false);
    CheckWindowsNamingApp(in.AppName);

    RunRecord record;
    Uninstall(options, in, &record);
    return LookAfterUninstall(options, check, in, record);
}

static std::wstring FullPathOf(const std::wstring &path) { return FullPath(path); }

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
    OptionsResult result = ReadOptions(args, FullPathOf, &options, &bad);
    if (result == OptionsBad)
        return CannotRun(BadOptionText(args, bad) + L"\n\n" + Usage);
    if (options.Help) {
        Say(Usage);
        return ExitClean;
    }
    if (!options.Machine.empty()) {
        std::wstring machine = MachineOf(options.Machine);
        Say(machine.empty() ? L"not a Windows program" : machine);
        return machine.empty() ? ExitCannotRun : ExitClean;
    }
    if (options.StatePath.empty())
        options.StatePath = DefaultStatePath();
    if (!options.AfterRestart.empty())
        return CheckAfterRestart(options);
    if (result == OptionsNoSetup)
        return CannotRun(Usage);
    return CheckInstaller(options);
}
