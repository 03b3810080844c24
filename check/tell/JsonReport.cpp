#include "tell/JsonReport.h"

#include "judge/Products.h"

static const char *KindName(EntryKind kind)
{
    switch (kind) {
    case EntryFolder: return "folder";
    case EntryFile: return "file";
    case EntryKey: return "key";
    default: return "value";
    }
}

static const char *ChangeName(ChangeKind kind)
{
    return kind == ChangeAdded ? "added" : kind == ChangeChanged ? "changed" : "removed";
}

static const char *StateName(LeftoverState state)
{
    switch (state) {
    case LeftoverRemoved: return "removed";
    case LeftoverPending: return "pending";
    case LeftoverLeft: return "left";
    default: return "broken";
    }
}

std::string JsonString(const std::wstring &text)
{
    std::string bytes = Utf8(text), json = "\"";
    for (size_t i = 0; i < bytes.size(); i++) {
        unsigned char c = (unsigned char)bytes[i];
        if (c == '"' || c == '\\') {
            json += '\\';
            json += (char)c;
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json += (char)c;
        }
    }
    return json + "\"";
}

static std::string Field(const char *name, const std::string &json) { return std::string("\"") + name + "\":" + json; }
static std::string Text(const char *name, const std::wstring &text) { return Field(name, JsonString(text)); }
static std::string Whole(const char *name, unsigned long long value) { return Field(name, std::to_string(value)); }
static std::string Flag(const char *name, bool value) { return Field(name, value ? "true" : "false"); }

static std::string List(const std::vector<std::string> &items)
{
    std::string json = "[";
    for (size_t i = 0; i < items.size(); i++)
        json += (i ? ",\n" : "\n") + items[i];
    return json + (items.empty() ? "]" : "\n]");
}

static std::string TextList(const std::vector<std::wstring> &texts)
{
    std::string json = "[";
    for (size_t i = 0; i < texts.size(); i++)
        json += (i ? "," : "") + JsonString(texts[i]);
    return json + "]";
}

std::string JsonTextList(const std::vector<std::wstring> &texts) { return TextList(texts); }

static std::string PlaceFields(const Entry &entry)
{
    std::string json = Field("kind", JsonString(WideOf(KindName(entry.Kind)))) + "," + Text("path", entry.Path);
    if (entry.Kind == EntryValue)
        json += "," + Text("name", entry.Name);
    return json + "," + Text("place", EntryPlace(entry));
}

// A name of rules left, in the fields of any leftover: its path is its name.
static std::string RuleLeftoverJson(const RuleLeftover &rule)
{
    std::string item = "{" + Text("state", rule.Broken ? L"broken" : L"left") + "," + Text("change", L"added") + ","
        + Text("kind", L"firewall rule") + "," + Text("path", rule.Name) + "," + Text("name", rule.Name) + ","
        + Text("place", rule.Place) + "," + Whole("items", 0) + "," + Whole("itemsLeft", 0) + ","
        + Whole("rules", rule.Rules);
    if (rule.Broken)
        item += "," + Text("breaks", rule.Breaks) + "," + Text("program", rule.Program) + ","
            + Text("when", L"while the rule is there");
    return item + "}";
}

std::string JsonLeftovers(const std::vector<Leftover> &leftovers, const std::vector<Change> &changes,
                          const std::vector<ChangeGroup> &groups, size_t left, size_t pending, int problems,
                          int exitCode, const std::vector<RuleLeftover> &rules)
{
    std::vector<std::string> items;
    for (size_t i = 0; i < leftovers.size(); i++) {
        const Leftover &leftover = leftovers[i];
        const Change &head = changes[groups[leftover.Group].Head];
        std::string item = "{" + Field("state", JsonString(WideOf(StateName(leftover.State)))) + ","
            + Field("change", JsonString(WideOf(ChangeName(head.Kind)))) + "," + PlaceFields(head.Place()) + ","
            + Whole("items", leftover.Inside) + "," + Whole("itemsLeft", leftover.InsideLeft);
        // What the installer put into a value that was there, as the finding says it.
        if (head.Kind == ChangeChanged && head.Place().Kind == EntryValue) {
            item += "," + Field("added", TextList(AddedListParts(head)));
            if (AddedListParts(head).empty() && !head.Before.Hashed && !head.After.Hashed)
                item += "," + Text("from", ValueText(head.Before.Type, head.Before.Data, true)) + ","
                    + Text("to", ValueText(head.After.Type, head.After.Data, true));
        }
        ChainedProduct product;
        if (ProductOfGroup(changes, groups[leftover.Group], &product))
            item += "," + Field("product", JsonString(product.Name)) + "," + Text("productCode", product.Code);
        if (leftover.Files > 0)
            item += "," + Text("pattern", leftover.Place) + "," + Whole("files", leftover.Files) + ","
                + Whole("filesLeft", leftover.FilesLeft);
        if (leftover.State == LeftoverBroken)
            item += "," + Text("breaks", leftover.Breaks) + "," + Text("program", leftover.Program) + ","
                + Text("when", leftover.When);
        items.push_back(item + "}");
    }
    for (const RuleLeftover &rule : rules)
        items.push_back(RuleLeftoverJson(rule));
    return "{" + Field("leftovers", List(items)) + ",\n"
        + Field("summary", "{" + Whole("left", left) + "," + Whole("pending", pending) + ","
                               + Field("problems", std::to_string(problems)) + "}")
        + ",\n" + Field("exitCode", std::to_string(exitCode)) + "}";
}

static std::string BoxJson(const BoxRecord &box)
{
    std::vector<std::wstring> buttons;
    if (box.HasOk)
        buttons.push_back(L"OK");
    if (box.HasCancel)
        buttons.push_back(L"Cancel");
    return "{" + Text("caption", box.Caption) + "," + Text("text", box.Text) + "," + Field("buttons", TextList(buttons))
        + "," + Text("answer", box.Answer == BoxAnswerOk ? L"OK" : L"Cancel") + "," + Whole("seenAtMs", box.SeenAtMs)
        + "}";
}

// What each step took for the machine's own changes, and why.
static std::string NoiseJson(const NoiseRecord &noise)
{
    std::string before = "{" + Text("step", L"before the install") + "," + Field("places", TextList(noise.TakenBefore))
        + "," + Whole("placesSeen", noise.SeenBefore.size()) + "," + Field("seen", TextList(noise.SeenBefore)) + ","
        + Whole("changes", noise.ChangesBefore) + ","
        + Text("why", L"changed between two looks before the install, around a stand-in started as the installer is")
        + "}";
    std::string windows = "{" + Text("step", L"during the install") + ","
        + Field("places", TextList(noise.TakenWindows.Places)) + "," + Field("reasons", TextList(noise.TakenWindows.Reasons))
        + "," + Whole("placesSeen", noise.TakenWindows.Places.size()) + "," + Whole("changes", noise.ChangesWindows) + ","
        + Text("why", L"written by Windows itself, on its own schedule or after what the installer did: each place with "
                      L"its reason") + "}";
    std::wstring why = noise.RunningWhileWatched.empty()
        ? L"read again after the uninstall (and after a restart of the prefix), changed again where neither Kestrane "
          L"nor the uninstall writes"
        : L"not taken: programs of the new installation were running, and any change may be theirs";
    std::string again = "{" + Text("step", L"after the uninstall") + "," + Field("places", TextList(noise.TakenWatched))
        + "," + Whole("placesSeen", noise.PlacesWatched) + "," + Whole("changes", noise.ChangesWatched) + ","
        + Whole("problemsWithdrawn", noise.ProblemsWithdrawn) + "," + Text("why", why) + ","
        + Field("running", TextList(noise.RunningWhileWatched)) + "," + Whole("watchedPlaces", noise.WatchedPlaces)
        + "," + Whole("watchedMs", noise.WatchedMs) + "}";
    return "{" + Whole("settleSeconds", noise.SettleSeconds) + "," + Whole("places", noise.SeenBefore.size()) + ","
        + Flag("standIn", noise.StandInRan) + "," + Whole("standInMs", noise.StandInMs) + ","
        + Whole("watchSeconds", noise.WatchSeconds) + ","
        + Field("discounted", "[" + before + "," + windows + "," + again + "]") + "}";
}

// The products the installer chained: how Windows removes each, and the group of what it owns.
static std::string ProductsJson(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups)
{
    std::vector<std::string> items;
    for (size_t g = 0; g < groups.size(); g++) {
        ChainedProduct product;
        if (ProductOfGroup(changes, groups[g], &product))
            items.push_back("{" + Text("name", product.Name) + "," + Text("code", product.Code) + ","
                            + Flag("windowsInstaller", product.WindowsInstaller) + "," + Text("packedCode", product.Packed)
                            + "," + Text("entry", product.EntryKey) + "," + Text("removedBy", RemovalOf(product)) + ","
                            + Whole("group", g) + "," + Whole("items", groups[g].Members.size()) + "}");
    }
    return List(items);
}

// Every change, each with its group.
static std::string ChangesJson(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups)
{
    std::vector<std::string> items;
    for (size_t g = 0; g < groups.size(); g++)
        for (size_t m = 0; m < groups[g].Members.size(); m++) {
            const Change &change = changes[groups[g].Members[m]];
            std::string item = "{" + Field("change", JsonString(WideOf(ChangeName(change.Kind)))) + ","
                + PlaceFields(change.Place()) + "," + Whole("group", g) + "," + Flag("head", m == 0);
            if (change.Kind == ChangeChanged && change.After.Kind == EntryFile)
                item += "," + Whole("sizeBefore", change.Before.Size) + "," + Whole("sizeAfter", change.After.Size);
            items.push_back(item + "}");
        }
    return List(items);
}

std::string JsonReport(const InstallRecord &install, const NoiseRecord &noise,
                       const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                       const std::vector<FindingRecord> &findings, const std::wstring &uninstallCommand,
                       const RunRecord *uninstall, const std::vector<std::wstring> &pendingPaths,
                       const std::string &leftovers, const std::string &reinstall, int exitCode)
{
    std::string json = "{" + Text("tool", L"CheckInstaller") + ",\n";
    json += Field("installer", "{" + Text("path", install.Setup) + "," + Text("machine", install.Machine) + "," + Text("kind", install.Kind) + ","
                                   + Field("arguments", TextList(install.Arguments)) + ","
                                   + Flag("timedOut", install.TimedOut) + "," + Whole("exitCode", install.ExitCode)
                                   + "," + Whole("ms", install.Ms) + "," + Field("running", TextList(install.Running))
                                   + "}") + ",\n";
    const LookCost &looks = install.Looks;
    json += Field("looks", "{" + Whole("firstMs", looks.FirstMs) + "," + Whole("places", looks.Places) + ","
                               + Whole("more", looks.MoreLooks) + "," + Whole("limitsAtMost", looks.LimitsAtMost) + ","
                               + Whole("worstCaseMs", looks.WorstMs) + "," + Whole("budgetSeconds", looks.BudgetSeconds)
                               + "}") + ",\n";
    json += Field("noise", NoiseJson(noise)) + ",\n";
    json += Field("changes", ChangesJson(changes, groups)) + ",\n";
    json += Field("products", ProductsJson(changes, groups)) + ",\n";
    std::vector<std::string> items;
    for (size_t i = 0; i < findings.size(); i++)
        items.push_back("{" + Text("verdict", VerdictWord(findings[i].Kind)) + "," + Text("text", findings[i].Text)
                        + "," + Text("section", findings[i].Section) + "," + Text("page", PageOfSection(findings[i].Section))
                        + ","
                        + Field("consequences", TextList(findings[i].Consequences)) + "}");
    json += Field("findings", List(items)) + ",\n";
    if (uninstall != NULL) {
        items.clear();
        for (size_t i = 0; i < uninstall->Boxes.size(); i++)
            items.push_back(BoxJson(uninstall->Boxes[i]));
        json += Field("uninstall", "{" + Text("commandLine", uninstallCommand) + "," + Flag("started", uninstall->Started)
                                       + "," + Flag("timedOut", uninstall->TimedOut) + ","
                                       + Field("exitCode", std::to_string((long)(LONG)uninstall->ExitCode)) + ","
                                       + Field("boxes", List(items)) + "}") + ",\n";
    } else {
        json += Field("uninstall", "null") + ",\n";
    }
    json += Field("pendingDeletions", TextList(pendingPaths)) + ",\n";
    json += Field("afterUninstall", leftovers.empty() ? "null" : leftovers) + ",\n";
    json += Field("reinstall", reinstall.empty() ? "null" : reinstall) + ",\n";
    json += Field("exitCode", std::to_string(exitCode)) + "}\n";
    return json;
}

std::string JsonReinstall(const ReinstallRecord &reinstall, size_t changes)
{
    return "{" + Flag("started", reinstall.Started) + "," + Flag("timedOut", reinstall.TimedOut) + ","
        + Whole("exitCode", reinstall.ExitCode) + "," + Whole("ms", reinstall.Ms) + ","
        + Flag("installedAgain", InstalledAgain(reinstall)) + "," + Whole("changes", changes) + ","
        + Whole("placesHeld", reinstall.Held.size()) + "," + Field("restartTakes", TextList(reinstall.Taken)) + "}";
}

std::string JsonNewInstallation(size_t held, const std::vector<std::wstring> &gone)
{
    return "{" + Whole("placesHeld", held) + "," + Flag("whole", gone.empty()) + "," + Field("gone", TextList(gone))
        + "}";
}

std::string JsonWithField(const std::string &object, const char *name, const std::string &json)
{
    size_t end = object.rfind('}');
    if (end == std::string::npos)
        return "{" + Field(name, json) + "}\n";
    bool empty = object.find_last_not_of(" \n", end - 1) == object.find('{');
    return object.substr(0, end) + (empty ? "" : ",\n") + Field(name, json) + "}"
        + (object.size() > end + 1 ? object.substr(end + 1) : "");
}

std::string JsonWithAfterRestart(const std::string &report, const std::string &afterRestart)
{
    return JsonWithField(report, "afterRestart", afterRestart);
}

std::string JsonOfLook(const LeftoverLook &look, const std::vector<Change> &changes,
                       const std::vector<ChangeGroup> &groups, int problems, int code, bool observed)
{
    std::string json = JsonLeftovers(look.Leftovers, changes, groups, look.Left, look.Pending, problems, code,
                                     look.Rules.Left);
    return JsonWithField(JsonWithField(json, "firewallRulesSeen", look.Rules.Seen ? "true" : "false"), "observed",
                         observed ? "true" : "false");
}
