// What the firewall holds.
#pragma once
#include <string>

// Whether the firewall holds a rule of the name: 1 yes, 0 no, -1 it cannot be asked.
int FirewallHasRule(const std::wstring &name);
