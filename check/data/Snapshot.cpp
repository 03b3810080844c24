#include "data/Snapshot.h"

#include "look/FileWalk.h"
#include "look/RegistryWalk.h"
#include "look/Skipped.h"

#include <shlobj.h>

#include <algorithm>
#include <map>

Entry MakeEntry(EntryKind kind, const std::wstring &path)
{
    Entry entry;
    entry.Kind = kind;
    entry.Path = path;
    entry.Type = 0;
    entry.Size = entry.WriteTime = 0;
    entry.Attributes = kind == EntryFolder ? FILE_ATTRIBUTE_DIRECTORY : 0;
    entry.Hashed = false;
    return entry;
}

Entry MakeValue(const std::wstring &keyPath, const std::wstring &name, DWORD type, const std::string &data)
{
    Entry entry = MakeEntry(EntryValue, keyPath);
    entry.Name = name;
    entry.Type = type;
    entry.Data = data;
    return entry;
}

std::string TextData(const std::wstring &text)
{
    return std::string((const char *)text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::string HashOf(const std::string &data)
{
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a
    for (size_t i = 0; i < data.size(); i++)
        hash = (hash ^ (unsigned char)data[i]) * 1099511628211ull;
    return std::string((const char *)&hash, sizeof hash);
}

// ---- Taking and keeping

static std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {0};
    return SUCCEEDED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

static std::wstring SystemDrive()
{
    wchar_t windows[MAX_PATH] = {0};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return length >= 2 && length < MAX_PATH && windows[1] == L':' ? std::wstring(windows, 2) : L"C:";
}

struct Root {
    std::wstring Path;
    bool Files;
    const std::vector<std::wstring> *Preferred;
    Snapshot Part;  // what a root walked in a thread of its own found
};
static bool RootLess(const Root &left, const Root &right)
{
    return ComparePlaces(left.Path, L"", false, right.Path, L"", false) < 0;
}

static void WalkRoot(Root *root, Snapshot *into)
{
    if (root->Files)
        WalkFiles(root->Path, *root->Preferred, into);
    else
        WalkKeys(root->Path, into);
}

static DWORD WINAPI WalkRootThread(void *root)
{
    WalkRoot((Root *)root, &((Root *)root)->Part);
    return 0;
}

size_t AddRecord(Snapshot *snapshot, unsigned parent, const std::wstring &name, EntryKind kind)
{
    Record record;
    ZeroMemory(&record, sizeof record);
    record.Parent = parent;
    record.NameAt = (unsigned)snapshot->Names.size();
    snapshot->Names.insert(snapshot->Names.end(), name.begin(), name.end());
    record.NameLength = (unsigned short)name.size();
    record.Kind = (unsigned char)kind;
    snapshot->Records.push_back(record);
    return snapshot->Records.size() - 1;
}

// A part's records after what the snapshot already holds.
static void Append(Snapshot *snapshot, const Snapshot &part)
{
    unsigned records = (unsigned)snapshot->Records.size(), names = (unsigned)snapshot->Names.size(),
             data = (unsigned)snapshot->Data.size();
    for (size_t i = 0; i < part.Records.size(); i++) {
        Record record = part.Records[i];
        if (record.Parent != NoParent)
            record.Parent += records;
        record.End += records;
        record.NameAt += names;
        record.DataAt += data;
        snapshot->Records.push_back(record);
    }
    snapshot->Names.insert(snapshot->Names.end(), part.Names.begin(), part.Names.end());
    snapshot->Data.insert(snapshot->Data.end(), part.Data.begin(), part.Data.end());
}

void TakeSnapshot(Snapshot *snapshot, const Snapshot *like)
{
    *snapshot = Snapshot();
    if (like != NULL) {
        snapshot->Records.reserve(like->Records.size() + like->Records.size() / 16);
        snapshot->Names.reserve(like->Names.size() + like->Names.size() / 16);
        snapshot->Data.reserve(like->Data.size() + like->Data.size() / 16);
    }
    // Kestrane names its shortcuts by these folders: seen under those names, whatever else leads there.
    static const int shellFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY,
                                       CSIDL_COMMON_PROGRAMS, CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA};
    std::vector<std::wstring> preferred;
    for (size_t i = 0; i < sizeof shellFolders / sizeof shellFolders[0]; i++)
        preferred.push_back(ShellFolder(shellFolders[i]));
    Root roots[] = {{SystemDrive(), true, &preferred, Snapshot()}, {L"HKCU", false, &preferred, Snapshot()},
                    {L"HKLM\\SOFTWARE", false, &preferred, Snapshot()},
                    {L"HKLM\\SYSTEM\\CurrentControlSet", false, &preferred, Snapshot()}};
    const size_t count = sizeof roots / sizeof roots[0];
    std::sort(roots, roots + count, RootLess);
    // The roots are walked at once: each waits mostly on Windows (under Wine, on its server),
    // not on the processor. The first is walked into the snapshot itself, the others beside it.
    IsSkippedPlace(L"");
    HANDLE threads[count] = {NULL};
    for (size_t i = 1; i < count; i++)
        threads[i] = CreateThread(NULL, 0, WalkRootThread, &roots[i], 0, NULL);
    WalkRoot(&roots[0], snapshot);
    for (size_t i = 1; i < count; i++) {
        if (threads[i] != NULL) {
            WaitForSingleObject(threads[i], INFINITE);
            CloseHandle(threads[i]);
        } else {
            WalkRoot(&roots[i], &roots[i].Part);
        }
        Append(snapshot, roots[i].Part);
        roots[i].Part = Snapshot();
    }
}

static bool EntryLess(const Entry &left, const Entry &right)
{
    return ComparePlaces(left.Path, left.Name, left.Kind == EntryValue, right.Path, right.Name,
                         right.Kind == EntryValue) < 0;
}

void SnapshotOfEntries(const std::vector<Entry> &unsorted, Snapshot *snapshot)
{
    std::vector<Entry> entries = unsorted;
    std::stable_sort(entries.begin(), entries.end(), EntryLess);
    *snapshot = Snapshot();
    std::map<std::wstring, unsigned> containers;
    for (size_t i = 0; i < entries.size(); i++) {
        const Entry &entry = entries[i];
        bool value = entry.Kind == EntryValue;
        std::wstring parentPath = value ? entry.Path : ParentOf(entry.Path);
        std::map<std::wstring, unsigned>::const_iterator parent = containers.find(Folded(parentPath));
        std::wstring name = value ? entry.Name : parent == containers.end() ? entry.Path : LeafOf(entry.Path);
        Record record;
        ZeroMemory(&record, sizeof record);
        record.Parent = parent == containers.end() ? NoParent : parent->second;
        record.End = (unsigned)i + 1;
        record.NameAt = (unsigned)snapshot->Names.size();
        record.NameLength = (unsigned short)name.size();
        snapshot->Names.insert(snapshot->Names.end(), name.begin(), name.end());
        record.Kind = (unsigned char)entry.Kind;
        record.Type = value ? entry.Type : entry.Attributes;
        record.Size = entry.Size;
        record.WriteTime = entry.WriteTime;
        record.Hashed = entry.Hashed;
        record.DataAt = (unsigned)snapshot->Data.size();
        record.DataSize = (unsigned)entry.Data.size();
        snapshot->Data.insert(snapshot->Data.end(), entry.Data.begin(), entry.Data.end());
        snapshot->Records.push_back(record);
        if (!value)
            containers[Folded(entry.Path)] = (unsigned)i;
        for (unsigned up = record.Parent; up != NoParent; up = snapshot->Records[up].Parent)
            snapshot->Records[up].End = (unsigned)i + 1;
    }
}

std::wstring RecordName(const Snapshot &snapshot, size_t record)
{
    const Record &r = snapshot.Records[record];
    return std::wstring(&snapshot.Names[0] + r.NameAt, r.NameLength);
}

std::wstring RecordPath(const Snapshot &snapshot, size_t record)
{
    // A value's path is its key's.
    if (snapshot.Records[record].Kind == EntryValue)
        record = snapshot.Records[record].Parent;
    std::vector<size_t> chain;
    for (size_t at = record; at != NoParent; at = snapshot.Records[at].Parent)
        chain.push_back(at);
    std::wstring path;
    for (size_t i = chain.size(); i-- > 0;)
        path += (path.empty() ? L"" : L"\\") + RecordName(snapshot, chain[i]);
    return path;
}

Entry EntryAt(const Snapshot &snapshot, size_t at)
{
    const Record &record = snapshot.Records[at];
    Entry entry = MakeEntry((EntryKind)record.Kind, RecordPath(snapshot, at));
    if (record.Kind == EntryValue) {
        entry.Name = RecordName(snapshot, at);
        entry.Type = record.Type;
        if (record.DataSize > 0)
            entry.Data.assign(&snapshot.Data[0] + record.DataAt, record.DataSize);
        entry.Hashed = record.Hashed;
        entry.Size = record.Hashed ? record.Size : entry.Data.size();
    } else if (record.Kind == EntryFile || record.Kind == EntryFolder) {
        entry.Attributes = record.Type;
        entry.Size = record.Size;
        entry.WriteTime = record.WriteTime;
    }
    return entry;
}

size_t SnapshotBytes(const Snapshot &snapshot)
{
    return snapshot.Records.capacity() * sizeof(Record) + snapshot.Names.capacity() * sizeof(wchar_t)
        + snapshot.Data.capacity();
}

static_assert(sizeof(Record) == 48, "a record is kept for every file of the drive, twice");

// ---- Now

bool ReadEntryNow(const Entry &entry, Entry *now)
{
    *now = entry;
    if (entry.Kind == EntryFile || entry.Kind == EntryFolder)
        return ReadFileNow(entry.Path, now);
    return ReadKeyNow(entry, now);
}

bool SameContent(const Entry &was, const Entry &now)
{
    switch (was.Kind) {
    case EntryValue:
        if (was.Type != now.Type)
            return false;
        if (was.Hashed != now.Hashed)
            return was.Hashed ? was.Size == now.Data.size() && was.Data == HashOf(now.Data)
                              : now.Size == was.Data.size() && now.Data == HashOf(was.Data);
        return was.Data == now.Data;
    case EntryFile:
        return now.Kind == EntryFile && was.Size == now.Size && was.WriteTime == now.WriteTime
            && was.Attributes == now.Attributes;
    default:
        return was.Kind == now.Kind;
    }
}

// ---- As people read them

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

// ---- The machine's folders


WatchedFolders FindWatchedFolders()
{
    WatchedFolders folders;
    folders.SystemDrive = SystemDrive();
    folders.Windows = ShellFolder(CSIDL_WINDOWS);
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
