// The stand-in firewall's rules. They live where Windows keeps its local rules, one REG_SZ value
// per rule named by the rule's id, in Windows' own rule grammar: every process of the prefix
// sees the same rules, and a restart of the prefix keeps them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

const LONG ProtocolAny = 256;  // NET_FW_IP_PROTOCOL_ANY, which MinGW's icftypes.h lacks
const LONG ProfilesAll = 0x7FFFFFFF;

struct RuleData
{
    std::wstring Name, Description, ApplicationName, ServiceName, LocalPorts, RemotePorts, Grouping;
    LONG Protocol = ProtocolAny;
    LONG Direction = 1;  // in
    LONG Action = 1;     // allow
    LONG Profiles = ProfilesAll;
    bool Enabled = false;
    bool EdgeTraversal = false;
};

struct StoredRule
{
    std::wstring Id;
    RuleData Data;
};

// Where the rules are kept; the unit tests point it at a key of their own.
extern HKEY StoreRoot;
extern std::wstring StorePath;

std::wstring FormatRule(const RuleData &rule);
// False when the text is not a rule of the grammar at all; fields it does not know are skipped.
bool ParseRule(const std::wstring &text, RuleData *rule);

// Win32 error codes. Every call reads or writes the store itself: nothing is cached.
LONG ReadRules(std::vector<StoredRule> *rules);
LONG ReadRule(const std::wstring &id, RuleData *rule);
LONG WriteRule(const std::wstring &id, const RuleData &rule);
LONG DeleteRule(const std::wstring &id);
