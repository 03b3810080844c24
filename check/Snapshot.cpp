#include "Snapshot.h"

#include "Volatile.h"

#include <shlobj.h>

#include <algorithm>
#include <set>

typedef std::set<std::pair<unsigned long long, unsigned long long> > FolderSet;

std::wstring Folded(const std::wstring &text)
{
    std::wstring folded = text;
    if (!folded.empty())
        CharUpperBuffW(&folded[0], (DWORD)folded.size());
    return folded;
}

bool SameText(const std::wstring &left, const std::wstring &right)
{
    return left.size() == right.size() && Folded(left) == Folded(right);
}

bool IsInside(const std::wstring &path, const std::wstring &folder)
{
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\'
        && SameText(path.substr(0, folder.size()), folder);
}

std::wstring ParentOf(const std::wstring &path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring LeafOf(const std::wstring &path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

static void SetOrder(Entry *entry)
{
    entry->Order = Folded(entry->Path);
    if (entry->Kind == EntryValue)
        entry->Order += L'\x01' + Folded(entry->Name);  // after its key, before its subkeys
}

static bool ByOrder(const Entry &left, const Entry &right) { return left.Order < right.Order; }

// ---- Files

static void AddFileEntry(std::vector<Entry> *entries, const std::wstring &path, bool folder)
{
    Entry entry;
    entry.Kind = folder ? EntryFolder : EntryFile;
    entry.Path = path;
    entry.Type = 0;
    SetOrder(&entry);
    entries->push_back(entry);
}

static HANDLE FindFirst(const std::wstring &pattern, WIN32_FIND_DATAW *found)
{
    // The basic, large-fetch listing is Windows 7's; Vista takes the standard one.
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, found, FindExSearchNameMatch, NULL,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        search = FindFirstFileExW(pattern.c_str(), FindExInfoStandard, found, FindExSearchNameMatch, NULL, 0);
    return search;
}

// A folder's identity on its volume, or false when it cannot be opened.
static bool FolderIdentity(const std::wstring &path, unsigned long long identity[2])
{
    HANDLE folder = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool ok = GetFileInformationByHandle(folder, &information) != FALSE;
    CloseHandle(folder);
    identity[0] = information.dwVolumeSerialNumber;
    identity[1] = ((unsigned long long)information.nFileIndexHigh << 32) | information.nFileIndexLow;
    return ok;
}

// A folder reached twice is walked once, under the name it was first reached by: Wine
// links several of the profile's folders to one folder of the Unix home.
static bool FirstVisit(const std::wstring &path, FolderSet *visited)
{
    unsigned long long identity[2];
    return !FolderIdentity(path, identity) || visited->insert(std::make_pair(identity[0], identity[1])).second;
}

static void WalkFolder(const std::wstring &root, std::vector<Entry> *entries, FolderSet *visited)
{
    if (!FirstVisit(root, visited))
        return;
    std::vector<std::wstring> pending(1, root);
    while (!pending.empty()) {
        std::wstring folder = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirst(folder + L"\\*", &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
                continue;
            std::wstring path = folder + L"\\" + found.cFileName;
            if (IsVolatilePlace(path))
                continue;
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            AddFileEntry(entries, path, isFolder);
            // Windows' compatibility junctions (hidden and system) lead back into the
            // profile; Wine's links to the Unix home are plain.
            const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            bool junction = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                && (found.dwFileAttributes & hiddenSystem) != 0;
            if (isFolder && !junction && FirstVisit(path, visited))
                pending.push_back(path);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

static std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {0};
    return SUCCEEDED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

WatchedFolders FindWatchedFolders()
{
    WatchedFolders folders;
    folders.ProgramFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    folders.ProgramFilesX86 = ShellFolder(CSIDL_PROGRAM_FILESX86);
    folders.ProgramData = ShellFolder(CSIDL_COMMON_APPDATA);
    folders.Profile = ShellFolder(CSIDL_PROFILE);
    wchar_t path[MAX_PATH] = {0};
    DWORD length = GetEnvironmentVariableW(L"PUBLIC", path, MAX_PATH);
    folders.PublicProfile = length > 0 && length < MAX_PATH ? path : ParentOf(ShellFolder(CSIDL_COMMON_DOCUMENTS));
    UINT size = GetSystemDirectoryW(path, MAX_PATH);
    folders.System32 = size > 0 && size < MAX_PATH ? path : L"";
    size = GetSystemWow64DirectoryW(path, MAX_PATH);
    folders.SysWow64 = size > 0 && size < MAX_PATH ? path : L"";
    return folders;
}

// ---- Registry

// Every key is opened in the 64-bit view: the 32-bit view of HKLM\SOFTWARE is its
// subkey WOW6432Node, walked once as part of it.
static const REGSAM View = KEY_WOW64_64KEY;

HKEY SplitKeyPath(const std::wstring &keyPath, std::wstring *subkey)
{
    static const struct { const wchar_t *Name; HKEY Root; } roots[] = {
        {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKCU", HKEY_CURRENT_USER}};
    for (size_t i = 0; i < sizeof roots / sizeof roots[0]; i++) {
        std::wstring name = roots[i].Name;
        if (SameText(keyPath, name)) {
            subkey->clear();
            return roots[i].Root;
        }
        if (IsInside(keyPath, name)) {
            *subkey = keyPath.substr(name.size() + 1);
            return roots[i].Root;
        }
    }
    return NULL;
}

static void AddValues(HKEY key, const std::wstring &keyPath, DWORD valueCount, DWORD maxName, DWORD maxData,
                      std::vector<Entry> *entries)
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
        Entry entry;
        entry.Kind = EntryValue;
        entry.Path = keyPath;
        entry.Name.assign(&name[0], nameLength);
        entry.Type = type;
        entry.Data.assign((const char *)&data[0], dataSize);
        SetOrder(&entry);
        entries->push_back(entry);
    }
}

static void WalkKey(HKEY root, const std::wstring &subkey, const std::wstring &keyPath,
                    std::vector<Entry> *entries)
{
    if (IsVolatilePlace(keyPath))
        return;
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | View, &key) != ERROR_SUCCESS)
        return;
    Entry entry;
    entry.Kind = EntryKey;
    entry.Path = keyPath;
    entry.Type = 0;
    SetOrder(&entry);
    entries->push_back(entry);

    DWORD subkeyCount = 0, maxSubkey = 0, valueCount = 0, maxName = 0, maxData = 0;
    RegQueryInfoKeyW(key, NULL, NULL, NULL, &subkeyCount, &maxSubkey, NULL, &valueCount, &maxName, &maxData,
                     NULL, NULL);
    AddValues(key, keyPath, valueCount, maxName, maxData, entries);
    std::vector<std::wstring> names;
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
        names.push_back(std::wstring(&name[0], length));
    }
    RegCloseKey(key);
    for (size_t i = 0; i < names.size(); i++)
        WalkKey(root, subkey.empty() ? names[i] : subkey + L"\\" + names[i], keyPath + L"\\" + names[i], entries);
}

static void WalkKeyPath(const std::wstring &keyPath, std::vector<Entry> *entries)
{
    std::wstring subkey;
    HKEY root = SplitKeyPath(keyPath, &subkey);
    if (root != NULL)
        WalkKey(root, subkey, keyPath, entries);
}

// The keys installers write to: software of both views, services, and both
// environments.
static const wchar_t *const WatchedKeys[] = {
    L"HKLM\\SOFTWARE",
    L"HKCU\\Software",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
    L"HKCU\\Environment",
};

void TakeSnapshot(std::vector<Entry> *entries)
{
    entries->clear();
    WatchedFolders folders = FindWatchedFolders();
    // The desktop and the Programs folder first: Kestrane names its shortcuts by them.
    const std::wstring roots[] = {ShellFolder(CSIDL_DESKTOPDIRECTORY), ShellFolder(CSIDL_PROGRAMS), folders.ProgramFiles, folders.ProgramFilesX86, folders.ProgramData,
                                  folders.Profile, folders.PublicProfile, folders.System32, folders.SysWow64};
    std::vector<std::wstring> walked;
    FolderSet visited;
    for (size_t i = 0; i < sizeof roots / sizeof roots[0]; i++) {
        bool seen = roots[i].empty();
        for (size_t j = 0; j < walked.size() && !seen; j++)
            seen = SameText(roots[i], walked[j]) || IsInside(roots[i], walked[j]);
        if (seen)
            continue;
        walked.push_back(roots[i]);
        WalkFolder(roots[i], entries, &visited);
    }
    for (size_t i = 0; i < sizeof WatchedKeys / sizeof WatchedKeys[0]; i++)
        WalkKeyPath(WatchedKeys[i], entries);
    std::sort(entries->begin(), entries->end(), ByOrder);
}

bool ReadEntryNow(const Entry &entry, Entry *now)
{
    *now = entry;
    if (entry.Kind == EntryFile || entry.Kind == EntryFolder)
        return GetFileAttributesW(entry.Path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    }
    RegCloseKey(key);
    return present;
}

// ---- As people read them

std::wstring KeyPlace(const std::wstring &keyPath)
{
    static const wchar_t Software[] = L"HKLM\\SOFTWARE";
    static const wchar_t Wow[] = L"HKLM\\SOFTWARE\\WOW6432Node";
    if (SameText(keyPath, Wow) || IsInside(keyPath, Wow))
        return Software + keyPath.substr(wcslen(Wow)) + L" (32-bit view)";
    if (IsInside(keyPath, Software))
        return keyPath + L" (64-bit view)";
    return keyPath;
}

std::wstring EntryPlace(const Entry &entry)
{
    switch (entry.Kind) {
    case EntryKey: return KeyPlace(entry.Path);
    case EntryValue:
        return L"the value " + (entry.Name.empty() ? std::wstring(L"(default)") : L"`" + entry.Name + L"`")
             + L" of " + KeyPlace(entry.Path);
    default: return entry.Path;
    }
}

static std::wstring TextOfData(const std::string &data)
{
    std::wstring text((const wchar_t *)data.data(), data.size() / sizeof(wchar_t));
    while (!text.empty() && text[text.size() - 1] == L'\0')
        text.erase(text.size() - 1);
    return text;
}

std::wstring ValueString(const Entry &value)
{
    return value.Type == REG_SZ || value.Type == REG_EXPAND_SZ ? TextOfData(value.Data) : std::wstring();
}

std::wstring ValueText(DWORD type, const std::string &data, bool quoted)
{
    const wchar_t *quote = quoted ? L"\"" : L"";
    wchar_t number[64];
    switch (type) {
    case REG_SZ:
        return L"REG_SZ " + (quote + TextOfData(data)) + quote;
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ " + (quote + TextOfData(data)) + quote;
    case REG_MULTI_SZ: {
        std::wstring text = TextOfData(data), shown;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find(L'\0', at);
            if (end == std::wstring::npos)
                end = text.size();
            shown += (shown.empty() ? L"\"" : L", \"") + text.substr(at, end - at) + L"\"";
            at = end + 1;
        }
        return L"REG_MULTI_SZ " + shown;
    }
    case REG_DWORD:
        if (data.size() == 4) {
            DWORD value;
            memcpy(&value, data.data(), 4);
            _snwprintf(number, 64, L"REG_DWORD %lu", (unsigned long)value);
            return number;
        }
        break;
    case REG_QWORD:
        if (data.size() == 8) {
            unsigned long long value;
            memcpy(&value, data.data(), 8);
            _snwprintf(number, 64, L"REG_QWORD %I64u", value);
            return number;
        }
        break;
    }
    _snwprintf(number, 64, L"type %lu, %lu bytes:", (unsigned long)type, (unsigned long)data.size());
    std::wstring text = number;
    for (size_t i = 0; i < data.size() && i < 32; i++) {
        _snwprintf(number, 64, L" %02x", (unsigned)(unsigned char)data[i]);
        text += number;
    }
    return data.size() > 32 ? text + L" ..." : text;
}
