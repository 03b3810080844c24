#include "judge/FirewallRules.h"

#include "data/PathText.h"

#include <algorithm>

bool SameRule(const FirewallRule &left, const FirewallRule &right)
{
    return left.Name == right.Name && left.Application == right.Application && left.Service == right.Service
        && left.LocalPorts == right.LocalPorts && left.RemotePorts == right.RemotePorts
        && left.Grouping == right.Grouping && left.Protocol == right.Protocol && left.Direction == right.Direction
        && left.Action == right.Action && left.Profiles == right.Profiles && left.Enabled == right.Enabled;
}

std::vector<FirewallRule> RulesAdded(const std::vector<FirewallRule> &before, const std::vector<FirewallRule> &after)
{
    std::vector<bool> matched(before.size(), false);
    std::vector<FirewallRule> added;
    for (const FirewallRule &rule : after) {
        size_t i = 0;
        while (i < before.size() && (matched[i] || !SameRule(before[i], rule)))
            i++;
        if (i < before.size())
            matched[i] = true;
        else
            added.push_back(rule);
    }
    return added;
}

// The names of the rules Kestrane leaves, each once, in the order first added.
static std::vector<std::wstring> NamesLeftByKestrane(const std::vector<FirewallRule> &rules,
                                                     const std::wstring &entryRule)
{
    std::vector<std::wstring> names;
    for (const FirewallRule &rule : rules)
        if (rule.Name != entryRule && std::find(names.begin(), names.end(), rule.Name) == names.end())
            names.push_back(rule.Name);
    return names;
}

static size_t RulesNamed(const std::vector<FirewallRule> &rules, const std::wstring &name)
{
    size_t count = 0;
    for (const FirewallRule &rule : rules)
        count += rule.Name == name;
    return count;
}

static std::wstring RulePlace(const std::wstring &name, size_t rules)
{
    return L"the firewall rule `" + name + L"`" + (rules > 1 ? L" (" + Number(rules) + L" rules of the name)" : L"");
}

void JudgeRulesAdded(const FirewallRecord &firewall, const std::wstring &entryRule, Said *said)
{
    if (!firewall.Read)
        return;
    std::wstring removes = entryRule.empty() ? std::wstring(L"names none")
                                             : L"is `" + entryRule + L"`";
    for (const std::wstring &name : NamesLeftByKestrane(firewall.Added, entryRule))
        Find(said, VerdictProblem, RulePlace(name, RulesNamed(firewall.Added, name)) + L", added by the installer, "
                L"survives the uninstall: Kestrane removes only the rules of the name the argument text gives, which "
                + removes, SectionNeverTouched);
}

static std::wstring Lets(const FirewallRule &rule)
{
    return std::wstring(rule.Action == 0 ? L"blocks" : L"lets") + L" traffic " + (rule.Direction == 2 ? L"out" : L"in");
}

// What the rules of one name still there break: the first enabled one whose program is gone.
static void FindRuleBreak(const std::vector<FirewallRule> &rules, ProgramCheck there,
                          const std::vector<std::wstring> &pendingPaths, RuleLeftover *left)
{
    for (const FirewallRule &rule : rules) {
        // A disabled rule lets nothing through; a rule of no program, or of a bare name, names none.
        if (!rule.Enabled || rule.Program.empty())
            continue;
        int state = there(rule.Program, pendingPaths);
        if (state == 2)
            continue;
        left->Broken = true;
        left->Program = rule.Program;
        left->Breaks = left->Place + L" " + Lets(rule) + L" for a program "
            + (state == 1 ? L"the next restart deletes: " : L"that is gone: ") + rule.Program;
        return;
    }
}

static bool BrokenRuleFirst(const RuleLeftover &left, const RuleLeftover &right) { return left.Broken > right.Broken; }

RulesLook RulesLeft(const FirewallRecord &firewall, const std::wstring &entryRule, const std::vector<FirewallRule> &now,
                    bool nowRead, ProgramCheck there, const std::vector<std::wstring> &pendingPaths)
{
    RulesLook look;
    look.Asked = firewall.Read;
    look.Seen = firewall.Read && nowRead;
    if (!look.Seen)
        return look;
    // What the install added and is still there: the added rules less those now gone.
    std::vector<FirewallRule> gone = RulesAdded(now, firewall.Added), still;
    for (const FirewallRule &rule : RulesAdded(gone, firewall.Added))
        still.push_back(rule);
    for (const std::wstring &name : NamesLeftByKestrane(still, entryRule)) {
        RuleLeftover left;
        left.Name = name;
        std::vector<FirewallRule> named;
        for (const FirewallRule &rule : still)
            if (rule.Name == name)
                named.push_back(rule);
        left.Rules = named.size();
        left.Place = RulePlace(name, left.Rules);
        FindRuleBreak(named, there, pendingPaths, &left);
        look.Left.push_back(left);
    }
    std::stable_sort(look.Left.begin(), look.Left.end(), BrokenRuleFirst);
    return look;
}

RulesLook LookAtRules(const FirewallRecord &firewall, const std::wstring &entryRule, const MachineReader &machine,
                      const std::vector<std::wstring> &pendingPaths)
{
    std::vector<FirewallRule> now;
    bool read = firewall.Read && machine.ReadFirewallRules != NULL && machine.ReadFirewallRules(&now);
    return RulesLeft(firewall, entryRule, now, read, machine.There, pendingPaths);
}
