#include "look/Watch.h"

#include "look/Look.h"
#include "look/Skipped.h"

#include <algorithm>
#include <set>

std::vector<WatchTarget> WatchTargets(const std::vector<Change> &changes)
{
    std::set<std::wstring> made, watched;
    for (size_t i = 0; i < changes.size(); i++) {
        const Entry &place = changes[i].Place();
        if (changes[i].Kind != ChangeChanged && (place.Kind == EntryFolder || place.Kind == EntryKey))
            made.insert(Folded(place.Path));
    }
    std::vector<WatchTarget> targets;
    for (size_t i = 0; i < changes.size(); i++) {
        const Change &change = changes[i];
        if (change.Kind == ChangeChanged) {
            targets.push_back({change.After, false});
            continue;
        }
        std::wstring container = ContainerOf(change.Place());
        if (change.Place().Kind == EntryValue || container.empty() || made.count(Folded(container)) || IsSharedPlace(container)
            || !watched.insert(Folded(container)).second)
            continue;
        targets.push_back({MakeEntry(container.compare(0, 2, L"HK") == 0 ? EntryKey : EntryFolder, container), true});
    }
    return targets;
}

static std::wstring NamesInFolder(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(FileApiPath(folder + L"\\*").c_str(), FindExInfoStandard, &found, FindExSearchNameMatch, NULL, 0);
    if (search == INVALID_HANDLE_VALUE)
        return L"";
    std::vector<std::wstring> names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    std::wstring text;
    for (size_t i = 0; i < names.size(); i++)
        text += names[i] + L"\n";
    return text;
}

static std::wstring NamesInKey(const std::wstring &keyPath)
{
    std::wstring subkey;
    HKEY root = SplitKeyPath(keyPath, &subkey), key;
    if (root == NULL || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return L"";
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; i++) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.push_back(std::wstring(name, length));
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    std::wstring text = L"\n";  // an empty key is still there
    for (size_t i = 0; i < names.size(); i++)
        text += names[i] + L"\n";
    return text;
}

std::wstring ContentNow(const Entry &place, bool (*read)(const Entry &place, Entry *now))
{
    Entry now;
    if (!read(place, &now))
        return L"";
    if (place.Kind == EntryValue)
        return std::to_wstring(now.Type) + L" " + ValueText(now.Type, now.Data, false);
    return std::to_wstring(now.Size) + L" " + std::to_wstring(now.WriteTime) + L" " + std::to_wstring(now.Attributes);
}

std::wstring TargetNow(const WatchTarget &target)
{
    if (target.Names)
        return target.Place.Kind == EntryKey ? NamesInKey(target.Place.Path) : NamesInFolder(target.Place.Path);
    return ContentNow(target.Place, ReadEntryNow);
}

// The patterns of the names that came or went between two looks at a folder's names.
static void AddNamesThatCameOrWent(const std::wstring &folder, const std::wstring &was, const std::wstring &now,
                                   Noise *noise)
{
    std::set<std::wstring> before, after;
    for (const std::wstring *text : {&was, &now}) {
        std::set<std::wstring> &names = text == &was ? before : after;
        for (size_t at = 0; at < text->size();) {
            size_t end = text->find(L'\n', at);
            if (end == std::wstring::npos)
                end = text->size();
            if (end > at)
                names.insert(text->substr(at, end - at));
            at = end + 1;
        }
    }
    for (const std::set<std::wstring> *one : {&before, &after})
        for (const std::wstring &name : *one) {
            const std::set<std::wstring> &other = one == &before ? after : before;
            std::wstring pattern = other.count(name) ? L"" : BusyPatternOf(folder, name);
            if (!pattern.empty())
                noise->BusyPatterns.insert(pattern);
        }
}

Noise WatchForNoise(const std::vector<WatchTarget> &targets, DWORD ms, DWORD stepMs, TargetReader read,
                    unsigned long long *watchedMs)
{
    Noise noise;
    *watchedMs = 0;
    if (targets.empty() || ms == 0)
        return noise;
    std::vector<std::wstring> was;
    for (size_t i = 0; i < targets.size(); i++)
        was.push_back(read(targets[i]));
    std::vector<bool> changed(targets.size(), false);
    size_t left = targets.size();
    ULONGLONG started = GetTickCount64();
    while (left > 0 && GetTickCount64() - started < ms) {
        Sleep(stepMs);
        for (size_t i = 0; i < targets.size(); i++) {
            if (changed[i])
                continue;
            std::wstring now = read(targets[i]);
            if (now == was[i])
                continue;
            changed[i] = true;
            left--;
            if (targets[i].Names) {
                noise.Busy.insert(Folded(targets[i].Place.Path));
                AddNamesThatCameOrWent(targets[i].Place.Path, was[i], now, &noise);
            }
            else
                noise.Places.insert(PlaceKey(targets[i].Place));
        }
    }
    *watchedMs = GetTickCount64() - started;
    return noise;
}
