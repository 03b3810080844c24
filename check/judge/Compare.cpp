#include "judge/Compare.h"

#include "look/Skipped.h"

#include <map>
#include <set>

static bool IsContainerKind(unsigned kind) { return kind == EntryFolder || kind == EntryKey; }

// Siblings' order: a key's values before its subkeys, then by name without regard to case.
static int CompareSiblings(const Snapshot &left, size_t l, const Snapshot &right, size_t r)
{
    bool leftValue = left.Records[l].Kind == EntryValue, rightValue = right.Records[r].Kind == EntryValue;
    if (leftValue != rightValue)
        return leftValue ? -1 : 1;
    const Record &a = left.Records[l], &b = right.Records[r];
    int result = CompareStringOrdinal(&left.Names[0] + a.NameAt, a.NameLength, &right.Names[0] + b.NameAt,
                                      b.NameLength, TRUE);
    return result == CSTR_LESS_THAN ? -1 : result == CSTR_GREATER_THAN ? 1 : 0;
}

static void AddSubtree(const Snapshot &snapshot, size_t at, ChangeKind kind, std::vector<Change> *changes)
{
    for (size_t i = at; i < snapshot.Records[at].End; i++) {
        Change change;
        change.Kind = kind;
        (kind == ChangeAdded ? change.After : change.Before) = EntryAt(snapshot, i);
        changes->push_back(change);
    }
}

static void CompareChildren(const Snapshot &before, size_t b, size_t bEnd, const Snapshot &after, size_t a,
                            size_t aEnd, std::vector<Change> *changes)
{
    while (b < bEnd || a < aEnd) {
        int order = b == bEnd ? 1 : a == aEnd ? -1 : CompareSiblings(before, b, after, a);
        if (order < 0) {
            AddSubtree(before, b, ChangeRemoved, changes);
            b = before.Records[b].End;
            continue;
        }
        if (order > 0) {
            AddSubtree(after, a, ChangeAdded, changes);
            a = after.Records[a].End;
            continue;
        }
        const Record &was = before.Records[b], &now = after.Records[a];
        if (was.Kind != now.Kind) {
            // A file become a folder, or the other way: one gone, the other new.
            AddSubtree(before, b, ChangeRemoved, changes);
            AddSubtree(after, a, ChangeAdded, changes);
        } else {
            bool same = true;
            if (was.Kind == EntryValue)
                same = was.Type == now.Type && was.Hashed == now.Hashed && was.Size == now.Size
                    && was.DataSize == now.DataSize
                    && (was.DataSize == 0
                        || memcmp(&before.Data[0] + was.DataAt, &after.Data[0] + now.DataAt, was.DataSize) == 0);
            else if (was.Kind == EntryFile)
                same = was.Size == now.Size && was.WriteTime == now.WriteTime && was.Type == now.Type;
            if (!same) {
                Change change;
                change.Kind = ChangeChanged;
                change.Before = EntryAt(before, b);
                change.After = EntryAt(after, a);
                changes->push_back(change);
            }
            if (IsContainerKind(was.Kind))
                CompareChildren(before, b + 1, was.End, after, a + 1, now.End, changes);
        }
        b = was.End;
        a = now.End;
    }
}

void CompareSnapshots(const Snapshot &before, const Snapshot &after, std::vector<Change> *changes)
{
    changes->clear();
    CompareChildren(before, 0, before.Records.size(), after, 0, after.Records.size(), changes);
}

// A place's identity across snapshots: kind class, path and value name, without regard to case.
std::wstring PlaceKey(const Entry &entry)
{
    return Folded(entry.Path) + (entry.Kind == EntryValue ? L"\x01" + Folded(entry.Name) : L"");
}

std::wstring ContainerOf(const Entry &place)
{
    return place.Kind == EntryValue ? place.Path : ParentOf(place.Path);
}

void AddNoise(const std::vector<Change> &changed, Noise *noise)
{
    for (size_t i = 0; i < changed.size(); i++) {
        const Entry &place = changed[i].Place();
        noise->Places.insert(PlaceKey(place));
        if (changed[i].Kind == ChangeChanged)
            continue;
        if (IsContainerKind(place.Kind))
            noise->Whole.push_back(place.Path);
        // New names of values are rarer and closer to what an installer writes: only the place.
        std::wstring container = ContainerOf(place);
        if (place.Kind != EntryValue && !container.empty() && !IsSharedPlace(container)) {
            noise->Busy.insert(Folded(container));
            std::wstring pattern = BusyPatternOf(container, LeafOf(place.Path));
            if (!pattern.empty())
                noise->BusyPatterns.insert(pattern);
        }
    }
}

std::wstring BusyPatternOf(const std::wstring &folder, const std::wstring &name)
{
    std::wstring pattern = NamePattern(name);
    return pattern.empty() ? pattern : Folded(folder + L"\\" + pattern);
}

std::vector<std::wstring> OutermostPlaces(const std::vector<Change> &taken)
{
    std::set<std::wstring> paths;
    for (size_t i = 0; i < taken.size(); i++)
        if (taken[i].Place().Kind != EntryValue)
            paths.insert(Folded(taken[i].Place().Path));
    std::vector<std::wstring> places;
    std::set<std::wstring> said;
    for (size_t i = 0; i < taken.size(); i++) {
        const Entry &place = taken[i].Place();
        bool inside = false;
        for (std::wstring up = place.Kind == EntryValue ? place.Path : ParentOf(place.Path); !up.empty() && !inside;
             up = ParentOf(up))
            inside = paths.count(Folded(up)) > 0;
        if (!inside && said.insert(PlaceKey(place)).second)
            places.push_back(EntryPlace(place));
    }
    return places;
}

size_t ForgetNoise(std::vector<Change> *changes, const Noise &noise, std::vector<std::wstring> *places)
{
    // A folder or key new in a busy one is noise with everything in it.
    std::vector<std::wstring> whole = noise.Whole;
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        if (change.Kind != ChangeChanged && IsContainerKind(change.Place().Kind)
            && noise.Busy.count(Folded(ContainerOf(change.Place()))))
            whole.push_back(change.Place().Path);
    }
    std::vector<Change> kept, taken;
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        const Entry &place = change.Place();
        bool inBusy = change.Kind != ChangeChanged && place.Kind != EntryValue
            && noise.Busy.count(Folded(ContainerOf(place))) > 0;
        if (inBusy && place.Kind == EntryFile)
            inBusy = noise.BusyPatterns.count(BusyPatternOf(ContainerOf(place), LeafOf(place.Path))) > 0;
        bool noisy = noise.Places.count(PlaceKey(place)) > 0 || inBusy;
        for (size_t c = 0; c < whole.size() && !noisy; c++)
            noisy = IsInside(place.Path, whole[c]) || (place.Kind == EntryValue && SameText(place.Path, whole[c]));
        if (!noisy)
            kept.push_back(change);
        else if (places != NULL)
            taken.push_back(change);
    }
    if (places != NULL)
        *places = OutermostPlaces(taken);
    size_t forgotten = changes->size() - kept.size();
    changes->swap(kept);
    return forgotten;
}

size_t ForgetNoise(std::vector<Change> *changes, const std::vector<Change> &noise, std::vector<std::wstring> *places)
{
    Noise all;
    AddNoise(noise, &all);
    return ForgetNoise(changes, all, places);
}

void ForgetSharedPlaces(std::vector<Change> *changes)
{
    std::vector<bool> shared(changes->size(), false);
    std::set<std::wstring> owned;  // folders and keys made or removed whole that are the installer's own
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        if (change.Kind == ChangeChanged || !IsContainerKind(change.Place().Kind))
            continue;
        shared[i] = IsSharedPlace(change.Place().Path);
        if (!shared[i])
            owned.insert(Folded(change.Place().Path));
    }
    std::vector<Change> kept;
    for (size_t i = 0; i < changes->size(); i++) {
        // The shell key of the installer's own file type is its own.
        bool inOwned = false;
        for (std::wstring path = ParentOf((*changes)[i].Place().Path); shared[i] && !inOwned && !path.empty();
             path = ParentOf(path))
            inOwned = owned.count(Folded(path)) > 0;
        if (!shared[i] || inOwned)
            kept.push_back((*changes)[i]);
    }
    changes->swap(kept);
}

void ForgetSharedTwins(std::vector<Change> *changes)
{
    std::set<std::wstring> places;
    for (size_t i = 0; i < changes->size(); i++)
        places.insert(std::to_wstring((*changes)[i].Kind) + PlaceKey((*changes)[i].Place()));
    std::vector<Change> kept;
    for (size_t i = 0; i < changes->size(); i++) {
        const Change &change = (*changes)[i];
        Entry twin = change.Place();
        twin.Path = SharedTwinOf(twin.Path);
        if (twin.Path.empty() || twin.Kind == EntryFile || twin.Kind == EntryFolder
            || !places.count(std::to_wstring(change.Kind) + PlaceKey(twin)))
            kept.push_back(change);
    }
    changes->swap(kept);
}

std::wstring NamePattern(const std::wstring &name)
{
    std::wstring pattern;
    bool digits = false;
    for (size_t i = 0; i < name.size(); i++) {
        bool digit = name[i] >= L'0' && name[i] <= L'9';
        if (digit && (i == 0 || !(name[i - 1] >= L'0' && name[i - 1] <= L'9')))
            pattern += L'*';
        else if (!digit)
            pattern += name[i];
        digits = digits || digit;
    }
    return digits ? pattern : L"";
}

static void GroupNamePatterns(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups)
{
    std::map<std::wstring, std::vector<size_t>> byPattern;  // folded folder\pattern: groups
    std::map<std::wstring, std::wstring> shown;
    for (size_t g = 0; g < groups->size(); g++) {
        const Change &head = changes[(*groups)[g].Head];
        if (head.Kind != ChangeAdded || head.After.Kind != EntryFile || (*groups)[g].Members.size() != 1)
            continue;
        std::wstring pattern = NamePattern(LeafOf(head.After.Path));
        if (pattern.empty())
            continue;
        std::wstring path = ParentOf(head.After.Path) + L"\\" + pattern;
        byPattern[Folded(path)].push_back(g);
        shown.emplace(Folded(path), path);
    }
    std::vector<bool> merged(groups->size(), false);
    std::vector<ChangeGroup> patterned;
    for (const auto &named : byPattern) {
        if (named.second.size() < MinFilesOfPattern)
            continue;
        ChangeGroup group;
        group.Head = (*groups)[named.second[0]].Head;
        group.Pattern = shown[named.first];
        for (size_t g : named.second) {
            group.Members.push_back((*groups)[g].Head);
            merged[g] = true;
        }
        patterned.push_back(group);
    }
    if (patterned.empty())
        return;
    std::vector<ChangeGroup> kept;
    for (size_t g = 0; g < groups->size(); g++) {
        if (!merged[g])
            kept.push_back((*groups)[g]);
        // In the place of its first file.
        for (size_t p = 0; p < patterned.size(); p++)
            if (merged[g] && patterned[p].Head == (*groups)[g].Head)
                kept.push_back(patterned[p]);
    }
    groups->swap(kept);
}

void GroupChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups)
{
    groups->clear();
    // A container added or removed whole heads everything added or removed inside it.
    std::set<std::wstring> containers[2];
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind != ChangeChanged && IsContainerKind(changes[i].Place().Kind))
            containers[changes[i].Kind == ChangeAdded].insert(Folded(changes[i].Place().Path));

    std::vector<std::wstring> outermost(changes.size());
    for (size_t i = 0; i < changes.size(); i++) {
        if (changes[i].Kind == ChangeChanged)
            continue;
        const std::set<std::wstring> &same = containers[changes[i].Kind == ChangeAdded];
        const Entry &entry = changes[i].Place();
        std::wstring path = Folded(entry.Kind == EntryValue ? entry.Path : ParentOf(entry.Path));
        for (; !path.empty(); path = ParentOf(path))
            if (same.count(path))
                outermost[i] = path;
    }
    std::map<std::wstring, size_t> groupOf[2];
    for (size_t i = 0; i < changes.size(); i++) {
        if (!outermost[i].empty())
            continue;
        ChangeGroup group;
        group.Head = i;
        group.Members.push_back(i);
        if (changes[i].Kind != ChangeChanged && IsContainerKind(changes[i].Place().Kind))
            groupOf[changes[i].Kind == ChangeAdded][Folded(changes[i].Place().Path)] = groups->size();
        groups->push_back(group);
    }
    for (size_t i = 0; i < changes.size(); i++)
        if (!outermost[i].empty())
            (*groups)[groupOf[changes[i].Kind == ChangeAdded][outermost[i]]].Members.push_back(i);
    GroupNamePatterns(changes, groups);
}

std::vector<std::wstring> ListParts(const Entry &value, const wchar_t *separators)
{
    std::vector<std::wstring> parts;
    std::wstring text;
    bool multi = value.Type == REG_MULTI_SZ;
    if (multi)
        text.assign((const wchar_t *)value.Data.data(), value.Data.size() / sizeof(wchar_t));
    else
        text = ValueString(value);
    for (size_t at = 0; at <= text.size();) {
        size_t end = multi ? text.find(L'\0', at) : text.find_first_of(separators, at);
        if (end == std::wstring::npos)
            end = text.size();
        // Blanks around a part are no part of it: "a, b" is the same list as "a,b".
        size_t first = at, last = end;
        while (!multi && first < last && (text[first] == L' ' || text[first] == L'\t'))
            first++;
        while (!multi && last > first && (text[last - 1] == L' ' || text[last - 1] == L'\t'))
            last--;
        if (last > first)
            parts.push_back(text.substr(first, last - first));
        at = end + 1;
    }
    return parts;
}

// Windows' own lists by name, lists even of one part: every account's Path starts as one folder.
static bool IsListByName(const Entry &value)
{
    return value.Kind == EntryValue && (SameText(value.Name, L"Path") || SameText(value.Name, L"PATHEXT"))
        && (SameText(value.Path, L"HKCU\\Environment")
            || SameText(value.Path, L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"));
}

std::vector<std::wstring> AddedListParts(const Change &change, const wchar_t *separators)
{
    std::vector<std::wstring> added;
    // A Path rewritten from REG_SZ to REG_EXPAND_SZ is still the same list.
    bool text = (change.Before.Type == REG_SZ || change.Before.Type == REG_EXPAND_SZ)
        && (change.After.Type == REG_SZ || change.After.Type == REG_EXPAND_SZ);
    if (change.Kind != ChangeChanged || change.Before.Kind != EntryValue
        || (change.Before.Type != change.After.Type && !text))
        return added;
    std::vector<std::wstring> was = ListParts(change.Before, separators), now = ListParts(change.After, separators);
    if (change.After.Type != REG_MULTI_SZ && was.size() < 2 && now.size() < 2 && !IsListByName(change.After))
        return added;  // a plain text, no list
    std::set<std::wstring> known;
    for (size_t i = 0; i < was.size(); i++)
        known.insert(Folded(was[i]));
    for (size_t i = 0; i < now.size(); i++)
        if (!known.count(Folded(now[i])))
            added.push_back(now[i]);
    return added;
}

LeftState StateOf(const Change &change, bool present, const Entry &now, const std::vector<std::wstring> &pendingPaths)
{
    const Entry &place = change.Place();
    bool there;
    switch (change.Kind) {
    case ChangeAdded: there = present; break;
    // Back as it was is gone; deleted altogether is a change that stays.
    case ChangeChanged: there = !present || !SameContent(change.Before, now); break;
    default: there = !present; break;  // what the installer removed, still missing
    }
    if (!there)
        return LeftGone;
    // Only what the installer added goes with the restart; a changed file deleted then is worse.
    if (change.Kind == ChangeAdded && (place.Kind == EntryFile || place.Kind == EntryFolder))
        for (size_t i = 0; i < pendingPaths.size(); i++)
            if (SameText(pendingPaths[i], place.Path))
                return LeftPending;
    return LeftThere;
}

size_t ForgetWhatIsNotTheInstallers(std::vector<Change> *changes, const std::vector<Change> &changedBefore,
                                    std::vector<std::wstring> *places)
{
    size_t forgotten = ForgetNoise(changes, changedBefore, places);
    ForgetSharedTwins(changes);
    ForgetSharedPlaces(changes);
    return forgotten;
}
