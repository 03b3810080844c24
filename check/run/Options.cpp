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

OptionsResult ReadOptions(const std::vector<std::wstring> &args, std::wstring (*fullPath)(const std::wstring &),
                          Options *options, std::wstring *bad)
{
    options->Help = false;
    options->LimitSeconds = DefaultLimitSeconds;
    options->SettleSeconds = SettleUnset;
    options->WatchSeconds = DefaultWatchSeconds;
    options->Interactive = false;
    options->AsOnWindows = false;
    options->ArgumentsGiven = false;
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
