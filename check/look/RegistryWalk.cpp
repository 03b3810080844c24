#include "look/RegistryWalk.h"

#include "look/Skipped.h"

#include <algorithm>

// Every key is opened in the 64-bit view: the 32-bit view of HKLM\SOFTWARE is its
// subkey WOW6432Node, walked as part of it.
static const REGSAM View = KEY_WOW64_64KEY;

struct ListedValue {
    std::wstring Name;
    DWORD Type;
    std::string Data;
};

static bool FoldedLess(const std::wstring &left, const std::wstring &right)
{
    return CompareStringOrdinal(left.data(), (int)left.size(), right.data(), (int)right.size(), TRUE)
        == CSTR_LESS_THAN;
}
static bool ValueLess(const ListedValue &left, const ListedValue &right) { return FoldedLess(left.Name, right.Name); }

// The key's own name in the registry, after any link: "\REGISTRY\MACHINE\SOFTWARE\...".
static std::wstring RealKeyName(HKEY key)
{
    typedef LONG(NTAPI * QueryKey)(HANDLE, int, void *, ULONG, ULONG *);
    static QueryKey query = (QueryKey)(void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    const int KeyNameInformation = 3;
    std::vector<BYTE> buffer(1024);
    ULONG size = 0;
    if (query == NULL)
        return L"";
    LONG status = query(key, KeyNameInformation, &buffer[0], (ULONG)buffer.size(), &size);
    if (status != 0 && size > buffer.size()) {
        buffer.resize(size);
        status = query(key, KeyNameInformation, &buffer[0], (ULONG)buffer.size(), &size);
    }
    if (status != 0 || size < sizeof(ULONG))
        return L"";
    ULONG length = *(const ULONG *)&buffer[0];
    return std::wstring((const wchar_t *)(&buffer[0] + sizeof(ULONG)), length / sizeof(wchar_t));
}

struct KeySizes {
    DWORD Subkeys, LongestSubkey, Values, LongestValueName, LongestData;
};

static void ListValues(HKEY key, DWORD valueCount, DWORD maxName, DWORD maxData, std::vector<ListedValue> *values)
{
    std::vector<wchar_t> name(maxName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0; i < valueCount; i++) {
        DWORD nameLength = (DWORD)name.size(), dataSize = (DWORD)data.size(), type = 0;
        LONG result = RegEnumValueW(key, i, &name[0], &nameLength, NULL, &type, &data[0], &dataSize);
        if (result == ERROR_MORE_DATA) {
            // Grown since the key was asked: ask again at its size now.
            RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &maxName, &maxData, NULL, NULL);
            name.resize(maxName + 2);
            data.resize(maxData + 2);
            nameLength = (DWORD)name.size(), dataSize = (DWORD)data.size();
            result = RegEnumValueW(key, i, &name[0], &nameLength, NULL, &type, &data[0], &dataSize);
        }
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            continue;
        ListedValue value;
        value.Name.assign(&name[0], nameLength);
        value.Type = type;
        value.Data.assign((const char *)&data[0], dataSize);
        values->push_back(value);
    }
    std::sort(values->begin(), values->end(), ValueLess);
}

static void ListSubkeys(HKEY key, DWORD maxSubkey, std::vector<std::wstring> *names)
{
    std::vector<wchar_t> name(maxSubkey + 2 > 256 ? maxSubkey + 2 : 256);
    for (DWORD i = 0;; i++) {
        DWORD length = (DWORD)name.size();
        LONG result = RegEnumKeyExW(key, i, &name[0], &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA) {
            name.resize(name.size() * 2);
            i--;
            continue;
        }
        if (result != ERROR_SUCCESS)
            break;
        names->push_back(std::wstring(&name[0], length));
    }
    std::sort(names->begin(), names->end(), FoldedLess);
}

static void AddValue(Snapshot *snapshot, unsigned key, const ListedValue &value)
{
    size_t at = AddRecord(snapshot, key, value.Name, EntryValue);
    Record &record = snapshot->Records[at];
    record.Type = value.Type;
    record.End = (unsigned)at + 1;
    bool text = value.Type == REG_SZ || value.Type == REG_EXPAND_SZ || value.Type == REG_MULTI_SZ;
    std::string kept = value.Data;
    if (!text && value.Data.size() > LongestKeptBinary) {
        record.Hashed = true;
        record.Size = value.Data.size();
        kept = HashOf(value.Data);
    }
    record.DataAt = (unsigned)snapshot->Data.size();
    record.DataSize = (unsigned)kept.size();
    snapshot->Data.insert(snapshot->Data.end(), kept.begin(), kept.end());
}

// Windows links the user's classes (HKCU\Software\Classes) to a hive of their own,
// HKEY_USERS\<SID>_Classes, which no root walks: followed, and named as the user sees them.
static bool FollowsLink(const std::wstring &keyPath)
{
    return SameText(keyPath, L"HKCU\\Software\\Classes");
}

static void WalkKey(HKEY key, const std::wstring &keyPath, const std::wstring &realName, size_t self,
                    Snapshot *snapshot)
{
    // One question per key: the registry is a server away under Wine.
    KeySizes sizes;
    ZeroMemory(&sizes, sizeof sizes);
    RegQueryInfoKeyW(key, NULL, NULL, NULL, &sizes.Subkeys, &sizes.LongestSubkey, NULL, &sizes.Values,
                     &sizes.LongestValueName, &sizes.LongestData, NULL, NULL);
    std::vector<ListedValue> values;
    if (sizes.Values > 0)
        ListValues(key, sizes.Values, sizes.LongestValueName, sizes.LongestData, &values);
    for (size_t i = 0; i < values.size(); i++)
        AddValue(snapshot, (unsigned)self, values[i]);
    std::vector<std::wstring> names;
    if (sizes.Subkeys > 0)
        ListSubkeys(key, sizes.LongestSubkey, &names);
    for (size_t i = 0; i < names.size(); i++) {
        std::wstring childPath = keyPath + L"\\" + names[i];
        if (IsSkippedPlace(childPath))
            continue;
        size_t at = AddRecord(snapshot, (unsigned)self, names[i], EntryKey);
        HKEY child;
        if (RegOpenKeyExW(key, names[i].c_str(), 0, KEY_READ | View, &child) == ERROR_SUCCESS) {
            // A link (Wine's shared keys, Windows' own) leads to a key walked under its own name.
            std::wstring real = RealKeyName(child);
            if (real.empty() || realName.empty() || SameText(real, realName + L"\\" + names[i])
                || FollowsLink(childPath))
                WalkKey(child, childPath, real, at, snapshot);
            RegCloseKey(child);
        }
        snapshot->Records[at].End = (unsigned)snapshot->Records.size();
    }
}

void WalkKeys(const std::wstring &keyPath, Snapshot *snapshot)
{
    std::wstring subkey;
    HKEY root = SplitKeyPath(keyPath, &subkey), key;
    if (root == NULL || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | View, &key) != ERROR_SUCCESS)
        return;
    size_t at = AddRecord(snapshot, NoParent, keyPath, EntryKey);
    // A root may itself be a link (the current control set is one): walked as it is named.
    WalkKey(key, keyPath, RealKeyName(key), at, snapshot);
    RegCloseKey(key);
    snapshot->Records[at].End = (unsigned)snapshot->Records.size();
}

bool ReadKeyNow(const Entry &entry, Entry *now)
{
    std::wstring subkey;
    HKEY root = SplitKeyPath(entry.Path, &subkey), key;
    if (root == NULL || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | View, &key) != ERROR_SUCCESS)
        return false;
    bool present = true;
    if (entry.Kind == EntryValue) {
        DWORD type = 0, size = 0;
        LONG result = RegQueryValueExW(key, entry.Name.c_str(), NULL, &type, NULL, &size);
        std::vector<BYTE> data(size + 2);
        if (result == ERROR_SUCCESS)
            result = RegQueryValueExW(key, entry.Name.c_str(), NULL, &type, &data[0], &size);
        present = result == ERROR_SUCCESS;
        now->Type = type;
        now->Data.assign((const char *)&data[0], present ? size : 0);
        now->Size = now->Data.size();
        now->Hashed = false;
    }
    RegCloseKey(key);
    return present;
}
