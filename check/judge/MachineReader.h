// What the judging room reads of the machine, handed to it: the machine itself, or a table.
#pragma once
#include "data/FirewallRule.h"
#include "data/Snapshot.h"

#include <string>
#include <vector>

// Whether a program is there: 2 yes, 1 the next restart deletes it, 0 no.
typedef int (*ProgramCheck)(const std::wstring &program, const std::vector<std::wstring> &pendingPaths);

// What the rules read of the machine: the look's readers (RealMachine), or a table in the tests.
struct MachineReader {
    bool (*ReadEntry)(const Entry &entry, Entry *now);
    std::string (*ReadStart)(const std::wstring &path, size_t limit);
    ProgramCheck There;
    // The program path Windows starts for a command line (tried: every path it tries, in order).
    std::wstring (*StartedBy)(const std::wstring &commandLine, std::vector<std::wstring> *tried);
    // Whether the firewall holds a rule of the name: 1 yes, 0 no, -1 it cannot be asked.
    int (*HasFirewallRule)(const std::wstring &name);
    // Every rule the firewall holds; false when it cannot be asked. May be null: it cannot.
    bool (*ReadFirewallRules)(std::vector<FirewallRule> *rules);
    // A path in its long form: short 8.3 names made long, as far as the path is there.
    std::wstring (*LongPath)(const std::wstring &path);
};
