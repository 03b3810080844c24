// The places the install changed, read again: right after the look at the install, and at the
// looks the run takes anyway after it (after the uninstall, after a restart of the prefix).
// What changed between two readings is judged by judge/MachineWrites.h; nothing is waited for.
#pragma once

#include "judge/MachineWrites.h"

#include <string>
#include <vector>

// What a look sees of a target, as one text: its content, or the names in it; empty when gone.
typedef std::wstring (*TargetReader)(const AgainTarget &target);
std::wstring TargetNow(const AgainTarget &target);
// A place's content as read (ReadEntryNow, or a table in the tests): empty when it is gone.
std::wstring ContentNow(const Entry &place, bool (*read)(const Entry &place, Entry *now));
// Each target read once; *ms gets how long that took.
std::vector<std::wstring> ReadTargets(const std::vector<AgainTarget> &targets, TargetReader read,
                                      unsigned long long *ms);
