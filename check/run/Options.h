// The check's command line, read into options.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

static const DWORD DefaultLimitSeconds = 300;
static const DWORD LongestLimitSeconds = 86400;
// How long the check waits between its two looks before the install, to tell what changes by
// itself: on Windows, which changes much by itself; none under Wine, which changes nothing
// by itself, where one look's own time is the interval.
static const DWORD DefaultSettleSeconds = 2;
static const DWORD DefaultSettleSecondsUnderWine = 0;
static const DWORD SettleUnset = 0xFFFFFFFFu;
// --watch, from when the check watched for a while after the install what may change by
// itself: still accepted, and reported, so that scripts passing it keep working; nothing waits
// for it now, since what the install changed is read again at the looks after the uninstall.
static const DWORD DefaultWatchSeconds = 12;
// The longest whole run a budget may give (--budget): a week.
static const DWORD LongestBudgetSeconds = 604800;

struct Options {
    bool Help;
    std::wstring Machine;        // --machine FILE
    DWORD LimitSeconds;
    DWORD SettleSeconds;
    DWORD WatchSeconds;
    DWORD BudgetSeconds;  // the whole run, at most; 0: no budget
    bool Interactive;
    bool AsOnWindows;  // under Wine, no restart of its own: the check's own test of its Windows path
    std::wstring StatePath;
    std::wstring JsonPath;
    std::wstring AfterRestart;
    std::wstring Setup;
    std::vector<std::wstring> InstallerArguments;  // /S when none follow the installer
    bool ArgumentsGiven;  // false: the installer's kind chooses them
};

enum OptionsResult { OptionsOk, OptionsBad, OptionsNoSetup };

// args without the program's own name. fullPath makes a path given on the command line whole.
OptionsResult ReadOptions(const std::vector<std::wstring> &args, std::wstring (*fullPath)(const std::wstring &),
                          Options *options, std::wstring *bad);
// What ReadOptions refused, said to the user: the option named bad, what it takes, and what was given.
std::wstring BadOptionText(const std::vector<std::wstring> &args, const std::wstring &bad);
// A time limit as milliseconds, for waiting.
DWORD LimitMilliseconds(DWORD seconds);
// The help text: the options, the exit codes, and what the check changes.
const wchar_t *UsageText();
