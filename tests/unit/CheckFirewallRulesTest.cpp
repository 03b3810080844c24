#include "judge/FirewallRules.h"
#include "judge/Leftovers.h"
#include "judge/UninstallFindings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring Orbel = L"C:\\Program Files\\Orbel\\Orbel.exe", Svchost = L"C:\\Windows\\system32\\svchost.exe";

FirewallRule Rule(const std::wstring &name, const std::wstring &program, bool enabled = true, long direction = 1,
                  long action = 1)
{
    FirewallRule rule;
    rule.Name = name;
    rule.Application = rule.Program = program;
    rule.Enabled = enabled;
    rule.Direction = direction;
    rule.Action = action;
    return rule;
}

FirewallRule Udp(FirewallRule rule)
{
    rule.Protocol = 17;
    return rule;
}

// Gone: Orbel's program; the restart deletes C:\Pending\app.exe; the rest is there.
int FakeThere(const std::wstring &program, const std::vector<std::wstring> &)
{
    return program == Orbel ? 0 : program == L"C:\\Pending\\app.exe" ? 1 : 2;
}

// The firewall as the row says it is now; false when it cannot be asked.
std::vector<FirewallRule> FirewallNow;
bool FirewallAsked;
bool FakeRules(std::vector<FirewallRule> *rules)
{
    *rules = FirewallNow;
    return FirewallAsked;
}
int NoRule(const std::wstring &) { return 0; }

const std::wstring Inbound = L"Orbel Inbound", Sharing = L"Orbel Sharing";
const std::wstring Survives = L", added by the installer, survives the uninstall: Kestrane removes only the rules of the "
                              L"name the argument text gives, which ";
const std::wstring Gone = L" lets traffic in for a program that is gone: " + Orbel;

}  // namespace

// Each name of rules the install added besides the entry's is one problem once installed and one
// item left after the uninstall, broken when an enabled rule of it lets traffic through for a
// program that is gone; the entry's own rule is its own finding's.
TEST(CheckFirewallRules, EachNameTheEntryDoesNotGiveIsOneProblemAndOneItemLeft)
{
    const FirewallRule windows = Rule(L"Core Networking", Svchost);
    struct Row {
        const char *Name;
        std::vector<FirewallRule> Before, Installed, Now;
        std::wstring EntryRule;
        std::vector<std::wstring> Problems;  // the findings' texts, each a problem
        std::vector<std::wstring> Left;      // the lines after the uninstall: broken ones' Breaks, else the place
    } rows[] = {
        // Foreseen to survive, it did not (another program removed it): nothing left to name.
        {"SecondRuleGoneAfterAll", {windows}, {windows, Rule(Inbound, Orbel), Rule(Sharing, Orbel)}, {windows},
         Inbound, {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"}, {}},
        {"SecondRuleLeft", {windows}, {windows, Rule(Inbound, Orbel), Rule(Sharing, Orbel)}, {windows, Rule(Sharing, Orbel)},
         Inbound, {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"},
         {L"the firewall rule `Orbel Sharing`" + Gone}},
        // The entry's own rule left is the entry rule's finding, never a leftover besides.
        {"EntryRuleLeft", {}, {Rule(Inbound, Orbel)}, {Rule(Inbound, Orbel)}, Inbound, {}, {}},
        {"NoRuleNamed", {}, {Rule(Inbound, Orbel)}, {Rule(Inbound, Orbel)}, L"",
         {L"the firewall rule `Orbel Inbound`" + Survives + L"names none"}, {L"the firewall rule `Orbel Inbound`" + Gone}},
        // A TCP and a UDP rule of one name: one item, counted once.
        {"TwoRulesOfOneName", {}, {Rule(Sharing, Orbel), Udp(Rule(Sharing, Orbel))},
         {Udp(Rule(Sharing, Orbel)), Rule(Sharing, Orbel)}, Inbound,
         {L"the firewall rule `Orbel Sharing` (2 rules of the name)" + Survives + L"is `Orbel Inbound`"},
         {L"the firewall rule `Orbel Sharing` (2 rules of the name)" + Gone}},
        // There before, exactly so: not the installer's. One more of the same: its.
        {"ThereBefore", {Rule(Sharing, Orbel)}, {Rule(Sharing, Orbel)}, {Rule(Sharing, Orbel)}, Inbound, {}, {}},
        {"OneMoreOfARuleThereBefore", {Rule(Sharing, Orbel)}, {Rule(Sharing, Orbel), Rule(Sharing, Orbel)},
         {Rule(Sharing, Orbel), Rule(Sharing, Orbel)}, Inbound,
         {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"}, {L"the firewall rule `Orbel Sharing`" + Gone}},
        // What it lets through, and whether for a program that is gone.
        {"ProgramThere", {}, {Rule(L"Orbel Svc", Svchost)}, {Rule(L"Orbel Svc", Svchost)}, Inbound,
         {L"the firewall rule `Orbel Svc`" + Survives + L"is `Orbel Inbound`"}, {L"the firewall rule `Orbel Svc`"}},
        {"DisabledLetsNothingThrough", {}, {Rule(Sharing, Orbel, false)}, {Rule(Sharing, Orbel, false)}, Inbound,
         {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"}, {L"the firewall rule `Orbel Sharing`"}},
        {"OutboundBlock", {}, {Rule(Sharing, Orbel, true, 2, 0)}, {Rule(Sharing, Orbel, true, 2, 0)}, Inbound,
         {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"},
         {L"the firewall rule `Orbel Sharing` blocks traffic out for a program that is gone: " + Orbel}},
        {"ProgramTheRestartDeletes", {}, {Rule(Sharing, L"C:\\Pending\\app.exe")}, {Rule(Sharing, L"C:\\Pending\\app.exe")},
         Inbound, {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"},
         {L"the firewall rule `Orbel Sharing` lets traffic in for a program the next restart deletes: C:\\Pending\\app.exe"}},
        {"NoProgram", {}, {Rule(Sharing, L"")}, {Rule(Sharing, L"")}, Inbound,
         {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"}, {L"the firewall rule `Orbel Sharing`"}},
        // Changed by the uninstall (here: disabled), it is no longer the rule the install added.
        {"ChangedSince", {}, {Rule(Sharing, Orbel)}, {Rule(Sharing, Orbel, false)}, Inbound,
         {L"the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`"}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        FirewallRecord firewall;
        firewall.Read = true;
        firewall.Added = RulesAdded(row.Before, row.Installed);
        Said said;
        JudgeRulesAdded(firewall, row.EntryRule, &said);
        std::vector<std::wstring> problems;
        for (const SaidItem &item : said) {
            EXPECT_EQ(item.Of, VerdictProblem);
            problems.push_back(item.Text);
        }
        EXPECT_EQ(problems, row.Problems);

        FirewallNow = row.Now;
        FirewallAsked = true;
        MachineReader machine = {NULL, NULL, FakeThere, NULL, NoRule, FakeRules};
        LeftoverLook look;
        AddRulesLeft(&look, LookAtRules(firewall, row.EntryRule, machine, {}));
        std::vector<std::wstring> left;
        for (const RuleLeftover &rule : look.Rules.Left)
            left.push_back(rule.Broken ? rule.Breaks : rule.Place);
        EXPECT_EQ(left, row.Left);
        EXPECT_EQ(look.Left, row.Left.size());
        EXPECT_TRUE(look.Rules.Asked && look.Rules.Seen);
    }
}

// A firewall that cannot be asked (Wine's own: its enumeration is not implemented) is said once,
// after the install; no rule is ever taken for gone, nor the look for one that left nothing.
TEST(CheckFirewallRules, AFirewallThatCannotBeAskedIsSaidOnceAndNothingTakenForGone)
{
    const std::wstring wine = L"the firewall: Wine keeps no firewall rules, so whether a rule is added and removed "
                              L"cannot be seen here";
    const std::wstring windows = L"the firewall cannot be asked here: which rules the installer adds, and whether they "
                                 L"are removed, cannot be seen";
    struct Row {
        const char *Name;
        bool Wine, ReadAroundInstall, ReadNow;
        std::vector<std::wstring> Said;  // after the install, then after the uninstall
        bool Seen;
    } rows[] = {
        {"WineWithoutTheStandIn", true, false, false, {L"note: " + wine}, false},
        {"WindowsWithoutItsService", false, false, true, {L"note: " + windows}, false},
        // Asked around the install but not now: nothing named, and the look says it could not see.
        {"NotNow", false, true, false,
         {L"ok: the firewall rule `Orbel Inbound` was added by the installer",
          L"problem: the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`",
          L"ok: the firewall rule `Orbel Inbound` is gone after the uninstall"}, false},
        // The stand-in under Wine: asked as Windows is.
        {"WineWithTheStandIn", true, true, true,
         {L"ok: the firewall rule `Orbel Inbound` was added by the installer",
          L"problem: the firewall rule `Orbel Sharing`" + Survives + L"is `Orbel Inbound`",
          L"ok: the firewall rule `Orbel Inbound` is gone after the uninstall"}, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        Inspection in = {};
        in.Wine = row.Wine;
        in.RuleName = Inbound;
        in.Firewall.Read = row.ReadAroundInstall;
        if (row.ReadAroundInstall)
            in.Firewall.Added = {Rule(Inbound, Orbel), Rule(Sharing, Orbel)};
        MachineReader afterInstall = {NULL, NULL, FakeThere, NULL, [](const std::wstring &) { return 1; }, FakeRules};
        MachineReader afterUninstall = {NULL, NULL, FakeThere, NULL, [](const std::wstring &) { return 0; }, FakeRules};
        Said said;
        CheckFirewallRule(in, false, afterInstall, &said);
        CheckFirewallRule(in, true, afterUninstall, &said);
        std::vector<std::wstring> texts;
        for (const SaidItem &item : said)
            texts.push_back(std::wstring(item.Of == VerdictOk ? L"ok" : item.Of == VerdictProblem ? L"problem" : L"note")
                            + L": " + item.Text);
        EXPECT_EQ(texts, row.Said);

        FirewallNow = {Rule(Sharing, Orbel)};
        FirewallAsked = row.ReadNow;
        RulesLook look = LookAtRules(in.Firewall, in.RuleName, afterUninstall, {});
        EXPECT_EQ(look.Asked, row.ReadAroundInstall);
        EXPECT_EQ(look.Seen, row.Seen);
        EXPECT_EQ(look.Left.size(), row.Seen ? 1u : 0u);
    }
}
