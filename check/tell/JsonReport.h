// The report for machines (--json FILE): every change, finding, box and leftover, and the
// exit code, as one JSON object in UTF-8.
#pragma once

#include "BoxDriver.h"
#include "judge/Compare.h"
#include "judge/Leftovers.h"
#include "judge/Noise.h"
#include "judge/Reinstall.h"
#include "tell/Report.h"

#include <string>
#include <vector>

// A text as a JSON string, quotes included: control characters, quotes and backslashes escaped.
std::string JsonString(const std::wstring &text);
// Texts as a JSON array of strings.
std::string JsonTextList(const std::vector<std::wstring> &texts);

struct InstallRecord {
    std::wstring Setup, Machine, Kind;
    std::vector<std::wstring> Arguments;
    bool TimedOut;
    DWORD ExitCode;
    unsigned long long Ms;
    std::vector<std::wstring> Running;  // programs of the new installation running when it ended
};

// The leftovers and the summary of one look (after the uninstall, or after the restart).
std::string JsonLeftovers(const std::vector<Leftover> &leftovers, const std::vector<Change> &changes,
                          const std::vector<ChangeGroup> &groups, size_t left, size_t pending, int problems,
                          int exitCode);

std::string JsonReport(const InstallRecord &install, const NoiseRecord &noise,
                       const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                       const std::vector<FindingRecord> &findings, const std::wstring &uninstallCommand,
                       const RunRecord *uninstall, const std::vector<std::wstring> &pendingPaths,
                       const std::string &leftovers, const std::string &reinstall, int exitCode);
// The install made again before the restart: how it ended, how many places of the first
// install it holds, and what the restart deletes of it.
std::string JsonReinstall(const ReinstallRecord &reinstall, size_t changes);
// The installation made again, after the restart: how many places it held, which are gone.
std::string JsonNewInstallation(size_t held, const std::vector<std::wstring> &gone);
// The object with one field more at its end.
std::string JsonWithField(const std::string &object, const char *name, const std::string &json);
// The first run's report with the look after the restart added as "afterRestart".
std::string JsonWithAfterRestart(const std::string &report, const std::string &afterRestart);

// One look at what is left, with the problems so far and the exit code; observed: seen, not foreseen.
std::string JsonOfLook(const LeftoverLook &look, const std::vector<Change> &changes,
                       const std::vector<ChangeGroup> &groups, int problems, int code, bool observed);
