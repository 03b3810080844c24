#include "look/LookAgain.h"

#include "look/Look.h"

#include <windows.h>

#include <algorithm>

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
    return ContentText(now);
}

std::wstring TargetNow(const AgainTarget &target)
{
    if (target.Names)
        return target.Place.Kind == EntryKey ? NamesInKey(target.Place.Path) : NamesInFolder(target.Place.Path);
    return ContentNow(target.Place, ReadEntryNow);
}

std::vector<std::wstring> ReadTargets(const std::vector<AgainTarget> &targets, TargetReader read,
                                      unsigned long long *ms)
{
    ULONGLONG started = GetTickCount64();
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < targets.size(); i++)
        texts.push_back(read(targets[i]));
    *ms = GetTickCount64() - started;
    return texts;
}
