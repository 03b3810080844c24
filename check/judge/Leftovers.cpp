#include "judge/Leftovers.h"

#include "data/Links.h"

#include <algorithm>

static const size_t LongestReadLaunchFile = 1 << 20;
const wchar_t PathSearchWhen[] = L"whenever a program searches the Path";

LeftoverState GroupState(LeftState head, const std::vector<LeftState> &inside, size_t *insideLeft)
{
    size_t there = 0, waiting = 0;
    for (size_t i = 0; i < inside.size(); i++) {
        there += inside[i] == LeftThere;
        waiting += inside[i] == LeftPending;
    }
    *insideLeft = there + waiting;
    if (head == LeftThere || there > 0)
        return LeftoverLeft;
    if (head == LeftPending || waiting > 0)
        return LeftoverPending;
    return LeftoverRemoved;
}

std::wstring BreakOf(const Entry &place, const Launch &launch, int programThere)
{
    if (programThere == 2 || launch.Program.empty())
        return L"";
    std::wstring fails = L": " + launch.Who + L" tries and fails "
        + (launch.Loads ? L"to load it " : launch.Class.empty() ? L"" : L"to start it ") + launch.When;
    if (!launch.Class.empty()) {
        // A handler named by its key's default value is that key, to the vendor who removes it.
        Entry handler = place.Kind == EntryValue && place.Name.empty() ? MakeEntry(EntryKey, place.Path) : place;
        return EntryPlace(handler) + L" names the class " + launch.Class + L", whose server " + launch.Program
            + (programThere == 1 ? L" the next restart deletes" : L" is gone") + fails;
    }
    if (!launch.Host.empty()) {
        std::wstring verb = launch.Loads ? L"load" : L"run", what = launch.Loads ? L"DLL" : L"file";
        return EntryPlace(place) + L" starts " + launch.Host + L" to " + verb + L" " + launch.Program + L" " + launch.When
            + (programThere == 1 ? L", but the next restart deletes that " + what : L", but that " + what + L" is gone")
            + L": " + launch.Who + L" tries and fails to " + verb + L" it " + launch.When;
    }
    std::wstring what = launch.Loads ? L"DLL" : L"program";
    return EntryPlace(place) + (launch.Loads ? L" loads " : L" starts ") + launch.Program + L" " + launch.When
        + (programThere == 1 ? L", but the next restart deletes that " + what : L", but that " + what + L" is gone") + fails;
}

std::wstring BrokenPathParts(const Change &change, ProgramCheck there, const std::vector<std::wstring> &pendingPaths,
                             std::wstring *goneFolders)
{
    if (change.Kind == ChangeRemoved || !IsPathListValue(change.After))
        return L"";
    std::vector<std::wstring> added;
    if (change.Kind == ChangeChanged) {
        added = AddedListParts(change);
        if (added.empty())
            return L"";
    } else {
        added.push_back(ValueString(change.After));
    }
    std::wstring gone, listed;
    for (size_t i = 0; i < added.size(); i++) {
        std::vector<std::wstring> folders = FoldersOfPathList(added[i]);
        for (size_t f = 0; f < folders.size(); f++)
            if (there(folders[f], pendingPaths) != 2) {
                gone += (gone.empty() ? L"" : L", ") + folders[f];
                listed += (listed.empty() ? L"" : L";") + folders[f];
            }
    }
    if (goneFolders != NULL)
        *goneFolders = listed;
    return gone.empty() ? L"" : EntryPlace(change.After) + L" names " + gone
        + L", a folder that is gone: every program that searches the Path looks there in vain";
}

// Only values, shortcuts, scheduled tasks and keys named for a class (handlers) start programs:
// a data folder's thousands of files are never opened.
static bool MayStartAProgram(const Entry &place)
{
    return place.Kind == EntryValue || (place.Kind == EntryKey && LeafOf(place.Path).compare(0, 1, L"{") == 0)
        || (place.Kind == EntryFile && (EndsWith(place.Path, L".lnk") || Folded(place.Path).find(L"\\SYSTEM32\\TASKS\\") != std::wstring::npos));
}

// A link whose target is gone leads nowhere, whoever opens it.
static bool FindLinkBreak(const Entry &place, const std::vector<std::wstring> &pendingPaths,
                          const MachineReader &machine, Leftover *leftover)
{
    LinkRead link;
    if ((place.Kind != EntryFile && place.Kind != EntryFolder) || !LinkOfData(place.Data, &link))
        return false;
    int there = machine.There(link.Target, pendingPaths);
    if (there != 2) {
        leftover->Breaks = EntryPlace(place) + (there == 1 ? L", whose target the next restart deletes: opening it then fails"
                                                           : L", whose target is gone: opening it fails");
        leftover->Program = link.Target;
        leftover->When = L"whenever it is opened";
    }
    return true;
}

static void FindBreak(const Change &change, const std::vector<std::wstring> &pendingPaths, const MachineReader &machine,
                      Leftover *leftover)
{
    if (change.Kind == ChangeRemoved || !leftover->Breaks.empty()
        || FindLinkBreak(change.Place(), pendingPaths, machine, leftover) || !MayStartAProgram(change.Place()))
        return;
    Entry now;
    if (!machine.ReadEntry(change.Place(), &now))
        return;
    std::wstring folders, path = BrokenPathParts(change, machine.There, pendingPaths, &folders);
    if (!path.empty()) {
        leftover->Breaks = path;
        leftover->Program = folders;
        leftover->When = PathSearchWhen;
        return;
    }
    std::string content = now.Kind == EntryFile ? machine.ReadStart(now.Path, LongestReadLaunchFile) : std::string();
    Launch launch;
    if (now.Kind == EntryFolder || !LaunchOf(now, content, change.Kind == ChangeChanged ? &change.Before : NULL, machine.ReadEntry,
                                                  &launch))
        return;
    leftover->Breaks = BreakOf(now, launch, machine.There(launch.Program, pendingPaths));
    leftover->Program = launch.Program;
    leftover->When = launch.When;
}

static bool BrokenFirst(const Leftover &left, const Leftover &right)
{
    return (left.State == LeftoverBroken) > (right.State == LeftoverBroken);
}

void AssessLeftovers(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                     const std::vector<LeftState> &states, const std::vector<std::wstring> &pendingPaths,
                     const MachineReader &machine, std::vector<Leftover> *leftovers)
{
    leftovers->clear();
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        if (head.Kind == ChangeRemoved)
            continue;
        Leftover leftover;
        leftover.Group = g;
        leftover.Place = EntryPlace(head.Place());
        leftover.Inside = groups[g].Members.size() - 1;
        std::vector<LeftState> inside;
        for (size_t i = 1; i < groups[g].Members.size(); i++)
            inside.push_back(states[groups[g].Members[i]]);
        leftover.State = GroupState(states[groups[g].Head], inside, &leftover.InsideLeft);
        if (!groups[g].Product.empty()) {
            // One leftover however many places it owns: its entry counts as one of them.
            std::vector<LeftState> owned;
            for (size_t i = 0; i < groups[g].Members.size(); i++)
                owned.push_back(states[groups[g].Members[i]]);
            leftover.Product = true;
            leftover.Place = groups[g].Product;
            leftover.Inside = owned.size();
            leftover.State = GroupState(LeftGone, owned, &leftover.InsideLeft);
        }
        if (!groups[g].Pattern.empty()) {
            // No head above the files: each counts alike.
            leftover.Place = groups[g].Pattern;
            leftover.Files = groups[g].Members.size();
            std::vector<LeftState> files = inside;
            files.push_back(states[groups[g].Head]);
            leftover.State = GroupState(LeftGone, files, &leftover.FilesLeft);
            leftover.Inside = leftover.InsideLeft = 0;
        }
        if (leftover.State != LeftoverRemoved) {
            for (size_t i = 0; i < groups[g].Members.size(); i++)
                if (states[groups[g].Members[i]] != LeftGone)
                    FindBreak(changes[groups[g].Members[i]], pendingPaths, machine, &leftover);
            if (!leftover.Breaks.empty())
                leftover.State = LeftoverBroken;
        }
        leftovers->push_back(leftover);
    }
    std::stable_sort(leftovers->begin(), leftovers->end(), BrokenFirst);
}

size_t CountLeft(const std::vector<Leftover> &leftovers, size_t *pending)
{
    size_t left = 0;
    *pending = 0;
    for (size_t i = 0; i < leftovers.size(); i++) {
        left += leftovers[i].State == LeftoverLeft || leftovers[i].State == LeftoverBroken;
        *pending += leftovers[i].State == LeftoverPending;
    }
    return left;
}

LeftoverLook LookAtLeftovers(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                             const std::vector<LeftState> &states, const std::vector<std::wstring> &pendingPaths,
                             const MachineReader &machine)
{
    LeftoverLook look;
    AssessLeftovers(changes, groups, states, pendingPaths, machine, &look.Leftovers);
    look.Left = CountLeft(look.Leftovers, &look.Pending);
    return look;
}

void AddRulesLeft(LeftoverLook *look, const RulesLook &rules)
{
    look->Rules = rules;
    look->Left += rules.Left.size();
}
