#include "run/Options.h"

#include <stdlib.h>

// A whole number of seconds from 1 to longest, nothing after it.
static bool ReadSeconds(const std::wstring &text, DWORD lowest, DWORD longest, DWORD *seconds)
{
    if (text.empty() || text[0] < L'0' || text[0] > L'9')
        return false;
    wchar_t *end = NULL;
    unsigned long long value = wcstoull(text.c_str(), &end, 10);
    if (*end != L'\0' || value < lowest || value > longest)
        return false;
    *seconds = (DWORD)value;
    return true;
}

static void SetDefaults(Options *options)
{
    options->Help = false;
    options->LimitSeconds = DefaultLimitSeconds;
    options->SettleSeconds = SettleUnset;
    options->WatchSeconds = DefaultWatchSeconds;
    options->BudgetSeconds = 0;
    options->Interactive = false;
    options->AsOnWindows = false;
    options->ArgumentsGiven = false;
}

OptionsResult ReadOptions(const std::vector<std::wstring> &args, std::wstring (*fullPath)(const std::wstring &),
                          Options *options, std::wstring *bad)
{
    SetDefaults(options);
    size_t at = 0;
    for (; at < args.size(); at++) {
        const std::wstring &arg = args[at];
        bool hasValue = at + 1 < args.size();
        *bad = arg;
        if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            options->Help = true;
            return OptionsOk;
        }
        if (arg == L"--") {
            at++;
            break;
        }
        if (arg == L"--interactive") {
            options->Interactive = true;
        } else if (arg == L"--as-on-windows") {
            options->AsOnWindows = true;
        } else if (arg == L"--limit" && hasValue) {
            if (!ReadSeconds(args[++at], 1, LongestLimitSeconds, &options->LimitSeconds))
                return OptionsBad;
        } else if (arg == L"--settle" && hasValue) {
            if (!ReadSeconds(args[++at], 0, 600, &options->SettleSeconds))
                return OptionsBad;
        } else if (arg == L"--watch" && hasValue) {
            if (!ReadSeconds(args[++at], 0, 600, &options->WatchSeconds))
                return OptionsBad;
        } else if (arg == L"--budget" && hasValue) {
            if (!ReadSeconds(args[++at], 1, LongestBudgetSeconds, &options->BudgetSeconds))
                return OptionsBad;
        } else if (arg == L"--state" && hasValue) {
            options->StatePath = fullPath(args[++at]);
        } else if (arg == L"--json" && hasValue) {
            options->JsonPath = fullPath(args[++at]);
        } else if (arg == L"--after-restart" && hasValue) {
            options->AfterRestart = fullPath(args[++at]);
        } else if (arg == L"--machine" && hasValue) {
            options->Machine = args[++at];
            return OptionsOk;
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return OptionsBad;
        } else {
            break;
        }
    }
    bad->clear();
    if (!options->AfterRestart.empty())
        return OptionsOk;
    if (at >= args.size())
        return OptionsNoSetup;
    options->Setup = fullPath(args[at]);
    options->InstallerArguments.assign(args.begin() + at + 1, args.end());
    options->ArgumentsGiven = !options->InstallerArguments.empty();
    if (options->InstallerArguments.empty())
        options->InstallerArguments.push_back(L"/S");
    return OptionsOk;
}

// What each option with a value takes; the ranges are ReadOptions' own.
static const struct {
    const wchar_t *Option;
    DWORD Lowest, Longest;  // seconds; both 0 for a file name
} OptionValues[] = {
    {L"--limit", 1, LongestLimitSeconds},
    {L"--settle", 0, 600},
    {L"--watch", 0, 600},
    {L"--budget", 1, LongestBudgetSeconds},
    {L"--state", 0, 0},
    {L"--json", 0, 0},
    {L"--after-restart", 0, 0},
    {L"--machine", 0, 0},
};

std::wstring BadOptionText(const std::vector<std::wstring> &args, const std::wstring &bad)
{
    for (size_t i = 0; i < sizeof OptionValues / sizeof OptionValues[0]; i++) {
        if (bad != OptionValues[i].Option)
            continue;
        bool seconds = OptionValues[i].Longest != 0;
        std::wstring takes = seconds ? L"a whole number of seconds from " + std::to_wstring(OptionValues[i].Lowest)
                                           + L" to " + std::to_wstring(OptionValues[i].Longest)
                                     : std::wstring(L"a file name");
        // The value refused is the one after the first use of the option that is wrong.
        for (size_t at = 0; at < args.size(); at++) {
            if (args[at] != bad)
                continue;
            if (at + 1 >= args.size())
                return bad + L" needs " + takes + L", and nothing follows it";
            DWORD ignored;
            if (seconds && !ReadSeconds(args[at + 1], OptionValues[i].Lowest, OptionValues[i].Longest, &ignored))
                return bad + L" takes " + takes + L", not `" + args[at + 1] + L"`";
            at++;
        }
        return bad + L" takes " + takes;
    }
    return L"Unknown option " + bad;
}

DWORD LimitMilliseconds(DWORD seconds)
{
    return seconds * 1000;
}

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
    L"  --watch SECONDS       accepted as before (0 to 600), and waits for nothing: what the\n"
    L"                        install changed is read again after the uninstall, and what\n"
    L"                        changed again by itself is not counted\n"
    L"  --budget SECONDS      how long the whole run may take: after its first look at the\n"
    L"                        machine the check reckons its worst case (the looks to come as\n"
    L"                        long as the first, each wait at its limit), says it,\n"
    L"                        and stops with exit code 2 before installing anything when it is\n"
    L"                        longer (default: no budget; the worst case is said anyway)\n"
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

const wchar_t *UsageText() { return Usage; }
