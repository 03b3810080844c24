// What the firewall holds.
#pragma once
#include "data/FirewallRule.h"

#include <string>
#include <vector>

// Whether the firewall holds a rule of the name: 1 yes, 0 no, -1 it cannot be asked.
int FirewallHasRule(const std::wstring &name);

// Every rule the firewall holds, through its enumeration of them; false when it cannot be asked
// (Wine's own firewall answers the enumeration with "not implemented").
bool ReadFirewallRules(std::vector<FirewallRule> *rules);
