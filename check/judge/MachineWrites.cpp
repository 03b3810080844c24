#include "judge/MachineWrites.h"

#include "judge/Findings.h"
#include "look/Skipped.h"
#include "look/WindowsWriters.h"

#include <string.h>

#include <map>
#include <set>

static bool IsContainer(const Entry &place) { return place.Kind == EntryFolder || place.Kind == EntryKey; }

// The folder or key a place is named under: a value's key, or the place's parent.
static std::wstring FirstUp(const Entry &place) { return place.Kind == EntryValue ? place.Path : ParentOf(place.Path); }

static bool InsideAny(const Entry &place, const std::set<std::wstring> &folded)
{
    for (std::wstring up = FirstUp(place); !up.empty(); up = ParentOf(up))
        if (folded.count(Folded(up)))
            return true;
    return false;
}

static std::wstring WriterReason(const WindowsWriter &writer)
{
    return std::wstring(writer.Why) + (writer.Follows != NULL ? L" (written " + std::wstring(writer.Follows) + L")" : L"");
}

size_t ForgetWindowsWrites(std::vector<Change> *changes, TakenPlaces *taken)
{
    std::vector<const WindowsWriter *> writers(changes->size());
    std::set<std::wstring> owned;  // made or removed whole by the install, and no writer's
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        writers[i] = WindowsWriterOf(change.Place());
        if (change.Kind != ChangeChanged && IsContainer(change.Place()) && writers[i] == NULL)
            owned.insert(Folded(change.Place().Path));
    }
    std::vector<Change> kept, took;
    std::vector<const WindowsWriter *> whose;
    std::set<std::wstring> tookWhole;
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        if (writers[i] == NULL || InsideAny(change.Place(), owned)) {
            kept.push_back(change);
            continue;
        }
        took.push_back(change);
        whose.push_back(writers[i]);
        if (change.Kind != ChangeChanged && IsContainer(change.Place()))
            tookWhole.insert(Folded(change.Place().Path));
    }
    std::set<std::wstring> said;
    for (size_t i = 0; i < took.size(); i++)
        if (!InsideAny(took[i].Place(), tookWhole) && said.insert(PlaceKey(took[i].Place())).second) {
            taken->Places.push_back(EntryPlace(took[i].Place()));
            taken->Reasons.push_back(WriterReason(*whose[i]));
        }
    changes->swap(kept);
    return took.size();
}

// Kestrane registers its deletions for the restart in Session Manager's list: its own write.
static bool IsKestranesToWrite(const Entry &place)
{
    static const wchar_t SessionManager[] = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    return place.Kind == EntryValue && SameText(place.Path, SessionManager)
        && (SameText(place.Name, L"PendingFileRenameOperations") || SameText(place.Name, L"PendingFileRenameOperations2"));
}

std::vector<AgainTarget> AgainTargets(const std::vector<Change> &changes)
{
    std::set<std::wstring> made, read;
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind != ChangeChanged && IsContainer(changes[i].Place()))
            made.insert(Folded(changes[i].Place().Path));
    std::vector<AgainTarget> targets;
    for (size_t i = 0; i < changes.size(); i++) {
        const Change &change = changes[i];
        if (change.Kind == ChangeChanged) {
            if (!IsKestranesToWrite(change.After) && AddedListParts(change).empty())
                targets.push_back({change.After, false});
            continue;
        }
        std::wstring container = ContainerOf(change.Place());
        if (change.Place().Kind == EntryValue || container.empty() || made.count(Folded(container))
            || IsSharedPlace(container) || !read.insert(Folded(container)).second)
            continue;
        targets.push_back({MakeEntry(container.compare(0, 2, L"HK") == 0 ? EntryKey : EntryFolder, container), true});
    }
    return targets;
}

std::wstring ContentText(const Entry &place)
{
    if (place.Kind != EntryValue)
        return std::to_wstring(place.Size) + L" " + std::to_wstring(place.WriteTime) + L" "
            + std::to_wstring(place.Attributes);
    // By the hash of all its data, as a snapshot keeps a long one: the same text however it was read.
    std::string hash = place.Hashed ? place.Data : HashOf(place.Data);
    unsigned long long bits = 0;
    memcpy(&bits, hash.data(), hash.size() < sizeof bits ? hash.size() : sizeof bits);
    return std::to_wstring(place.Type) + L" " + std::to_wstring(place.Hashed ? place.Size : place.Data.size()) + L" "
        + std::to_wstring(bits);
}

static std::set<std::wstring> FoldedLines(const std::wstring &text)
{
    std::set<std::wstring> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > at)
            lines.insert(Folded(text.substr(at, end - at)));
        at = end + 1;
    }
    return lines;
}

// The names of the install's own additions and removals in a folder or key: the uninstall may
// have deleted them.
static std::set<std::wstring> InstallsNames(const std::wstring &container, const std::vector<Change> &changes)
{
    std::set<std::wstring> names;
    for (size_t i = 0; i < changes.size(); i++) {
        const Entry &place = changes[i].Place();
        if (changes[i].Kind != ChangeChanged && place.Kind != EntryValue && SameText(ParentOf(place.Path), container))
            names.insert(Folded(LeafOf(place.Path)));
    }
    return names;
}

// Names that came or went in a folder or key other than the install's own: it is busy by
// itself, and the names' patterns are the writer's.
static void AddNamesOfOthers(const AgainTarget &target, const std::wstring &was, const std::wstring &now,
                             const std::vector<Change> &changes, Noise *noise)
{
    const std::set<std::wstring> before = FoldedLines(was), after = FoldedLines(now);
    const std::set<std::wstring> own = InstallsNames(target.Place.Path, changes);
    bool busy = false;
    for (const std::set<std::wstring> *one : {&before, &after})
        for (const std::wstring &name : *one) {
            const std::set<std::wstring> &other = one == &before ? after : before;
            if (other.count(name) || own.count(name))
                continue;
            busy = true;
            std::wstring pattern = BusyPatternOf(target.Place.Path, name);
            if (!pattern.empty())
                noise->BusyPatterns.insert(pattern);
        }
    if (busy)
        noise->Busy.insert(Folded(target.Place.Path));
}

Noise ChangedAgain(const std::vector<AgainTarget> &targets, const std::vector<std::wstring> &was,
                   const std::vector<std::wstring> &now, const std::vector<Change> &changes)
{
    std::map<std::wstring, const Change *> changed;
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind == ChangeChanged)
            changed[PlaceKey(changes[i].After)] = &changes[i];
    Noise noise;
    for (size_t i = 0; i < targets.size() && i < was.size() && i < now.size(); i++) {
        // Gone: deleted, by Kestrane or the uninstall, or never read.
        if (was[i] == now[i] || now[i].empty() || was[i].empty())
            continue;
        if (targets[i].Names) {
            AddNamesOfOthers(targets[i], was[i], now[i], changes, &noise);
            continue;
        }
        const std::wstring key = PlaceKey(targets[i].Place);
        auto change = changed.find(key);
        // Back as it was before the install: the uninstall put it back.
        if (change == changed.end() || now[i] != ContentText(change->second->Before))
            noise.Places.insert(key);
    }
    return noise;
}

void WithdrawProblemsOfTaken(const Inspection &was, const Inspection &now, const MachineReader &machine, Said *said)
{
    Inspection before = was, after = now;
    Said saidBefore, saidAfter;
    InspectInstallation(&before, machine, &saidBefore);
    InspectInstallation(&after, machine, &saidAfter);
    std::multiset<std::wstring> still;
    for (const SaidItem &item : saidAfter)
        if (item.Kind == SaidFinding && item.Of == VerdictProblem)
            still.insert(item.Text);
    for (const SaidItem &item : saidBefore) {
        if (item.Kind != SaidFinding || item.Of != VerdictProblem)
            continue;
        auto same = still.find(item.Text);
        if (same != still.end())
            still.erase(same);
        else
            Withdraw(said, item.Text);
    }
}
