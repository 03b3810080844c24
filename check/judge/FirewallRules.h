// Every firewall rule the install added, held against the rules read after the uninstall: the
// rules Kestrane leaves, and those that let traffic through for a program that is gone.
#pragma once
#include "data/FirewallRule.h"
#include "judge/MachineReader.h"
#include "judge/Verdicts.h"

#include <string>
#include <vector>

// What the check read of the firewall around the install.
struct FirewallRecord {
    bool Read = false;                // the rules could be read before the install and after it
    std::vector<FirewallRule> Added;  // the rules after the install that were not there before
};

// Whether two reads are the same rule: every property read.
bool SameRule(const FirewallRule &left, const FirewallRule &right);
// The rules of after that before does not hold, each as often as it was added.
std::vector<FirewallRule> RulesAdded(const std::vector<FirewallRule> &before, const std::vector<FirewallRule> &after);

// After the install: each name of rules added besides the entry's rule (entryRule; empty for
// NULL) is a problem, since Kestrane removes only the rules of that one name.
void JudgeRulesAdded(const FirewallRecord &firewall, const std::wstring &entryRule, Said *said);

// The rules of one name that the install added besides the entry's and that are still there.
struct RuleLeftover {
    std::wstring Name;
    size_t Rules = 0;
    bool Broken = false;   // one of them, enabled, lets traffic through for a program that is gone
    std::wstring Place;    // "the firewall rule `NAME`", with the count when more than one
    std::wstring Breaks;   // for a broken one: what it lets through, and for which program
    std::wstring Program;
};
// One look at the rules: Asked when they were read around the install, Seen when read now too.
struct RulesLook {
    bool Asked = false, Seen = false;
    std::vector<RuleLeftover> Left;  // broken ones first
};
RulesLook RulesLeft(const FirewallRecord &firewall, const std::wstring &entryRule, const std::vector<FirewallRule> &now,
                    bool nowRead, ProgramCheck there, const std::vector<std::wstring> &pendingPaths);
// The same, the rules read through the machine's reader.
RulesLook LookAtRules(const FirewallRecord &firewall, const std::wstring &entryRule, const MachineReader &machine,
                      const std::vector<std::wstring> &pendingPaths);
