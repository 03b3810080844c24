// A firewall rule as the firewall's interface gives it: what the check holds against the rules
// it read before the install.
#pragma once
#include <string>

struct FirewallRule {
    std::wstring Name;
    std::wstring Application;  // as the rule names it, variables and all; empty for none
    std::wstring Program;      // the same, expanded as Windows expands it
    std::wstring Service, LocalPorts, RemotePorts, Grouping;
    long Protocol = 256;       // NET_FW_IP_PROTOCOL_ANY
    long Direction = 1;        // NET_FW_RULE_DIR_IN; 2 out
    long Action = 1;           // NET_FW_ACTION_ALLOW; 0 block
    long Profiles = 0;
    bool Enabled = false;
};
