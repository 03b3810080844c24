#include "Compare.h"

#include <map>
#include <set>

void CompareSnapshots(const std::vector<Entry> &before, const std::vector<Entry> &after,
                      std::vector<Change> *changes)
{
    changes->clear();
    size_t b = 0, a = 0;
    while (b < before.size() || a < after.size()) {
        Change change;
        if (a == after.size() || (b < before.size() && before[b].Order < after[a].Order)) {
            change.Kind = ChangeRemoved;
            change.Before = before[b++];
        } else if (b == before.size() || after[a].Order < before[b].Order) {
            change.Kind = ChangeAdded;
            change.After = after[a++];
        } else {
            const Entry &was = before[b++], &now = after[a++];
            if (was.Kind == now.Kind && (was.Kind != EntryValue || (was.Type == now.Type && was.Data == now.Data)))
                continue;
            change.Kind = ChangeChanged;
            change.Before = was;
            change.After = now;
        }
        changes->push_back(change);
    }
}

static bool IsContainer(const Entry &entry) { return entry.Kind == EntryFolder || entry.Kind == EntryKey; }

void GroupChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups)
{
    groups->clear();
    std::set<std::wstring> addedContainers;
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind == ChangeAdded && IsContainer(changes[i].After))
            addedContainers.insert(Folded(changes[i].After.Path));

    // The outermost added container of each change, or none.
    std::vector<std::wstring> outermost(changes.size());
    for (size_t i = 0; i < changes.size(); i++) {
        if (changes[i].Kind != ChangeAdded)
            continue;
        const Entry &entry = changes[i].After;
        std::wstring path = Folded(entry.Kind == EntryValue ? entry.Path : ParentOf(entry.Path));
        for (; !path.empty(); path = ParentOf(path))
            if (addedContainers.count(path))
                outermost[i] = path;
    }
    std::map<std::wstring, size_t> groupOf;
    for (size_t i = 0; i < changes.size(); i++) {
        if (!outermost[i].empty())
            continue;
        ChangeGroup group;
        group.Head = i;
        group.Members.push_back(i);
        if (changes[i].Kind == ChangeAdded && IsContainer(changes[i].After))
            groupOf[Folded(changes[i].After.Path)] = groups->size();
        groups->push_back(group);
    }
    for (size_t i = 0; i < changes.size(); i++)
        if (!outermost[i].empty())
            (*groups)[groupOf[outermost[i]]].Members.push_back(i);
}

static std::vector<std::wstring> ListParts(const Entry &value)
{
    std::vector<std::wstring> parts;
    std::wstring text;
    wchar_t separator = L';';
    if (value.Type == REG_MULTI_SZ) {
        text.assign((const wchar_t *)value.Data.data(), value.Data.size() / sizeof(wchar_t));
        separator = L'\0';
    } else {
        text = ValueString(value);
    }
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find(separator, at);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > at)
            parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

std::vector<std::wstring> AddedListParts(const Change &change)
{
    std::vector<std::wstring> added;
    if (change.Kind != ChangeChanged || change.Before.Type != change.After.Type)
        return added;
    std::vector<std::wstring> was = ListParts(change.Before), now = ListParts(change.After);
    if (change.After.Type != REG_MULTI_SZ && was.size() < 2 && now.size() < 2)
        return added;  // a plain text, no list
    std::set<std::wstring> known;
    for (size_t i = 0; i < was.size(); i++)
        known.insert(Folded(was[i]));
    for (size_t i = 0; i < now.size(); i++)
        if (!known.count(Folded(now[i])))
            added.push_back(now[i]);
    return added;
}

LeftState StateNow(const Change &change, const std::vector<std::wstring> &pendingPaths)
{
    const Entry &place = change.Place();
    Entry now;
    bool present = ReadEntryNow(place, &now);
    bool there;
    switch (change.Kind) {
    case ChangeAdded: there = present; break;
    // Back as it was is gone; deleted altogether is a change that stays.
    case ChangeChanged: there = !present || now.Type != change.Before.Type || now.Data != change.Before.Data; break;
    default: there = false; break;  // what the installer removed is no one's to put back
    }
    if (!there)
        return LeftGone;
    if (place.Kind == EntryFile || place.Kind == EntryFolder)
        for (size_t i = 0; i < pendingPaths.size(); i++)
            if (SameText(pendingPaths[i], place.Path))
                return LeftPending;
    return LeftThere;
}
