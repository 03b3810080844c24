#include "data/Snapshot.h"

#include "data/Links.h"

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

// ---- Keeping

size_t AddRecord(Snapshot *snapshot, unsigned parent, const std::wstring &name, EntryKind kind)
{
    return AddRecord(snapshot, parent, name.data(), name.size(), kind);
}

size_t AddRecord(Snapshot *snapshot, unsigned parent, const wchar_t *name, size_t length, EntryKind kind)
{
    Record record;
    ZeroMemory(&record, sizeof record);
    record.Parent = parent;
    record.NameAt = (unsigned)snapshot->Names.size();
    snapshot->Names.insert(snapshot->Names.end(), name, name + length);
    record.NameLength = (unsigned short)length;
    record.Kind = (unsigned char)kind;
    snapshot->Records.push_back(record);
    return snapshot->Records.size() - 1;
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
        // A link's kind and target (data/Links.h), for the few files and folders that are links.
        if (record.DataSize > 0)
            entry.Data.assign(&snapshot.Data[0] + record.DataAt, record.DataSize);
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
    default: {
        LinkRead link;
        return LinkOfData(entry.Data, &link) ? L"the link " + entry.Path + L" -> " + link.Target : entry.Path;
    }
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


// Whether the snapshot holds the file or folder at path: each part of the path in turn among
// the children of the part before (siblings are few at each level).
bool SnapshotHolds(const Snapshot &snapshot, const std::wstring &path)
{
    for (size_t root = 0; root < snapshot.Records.size(); root = snapshot.Records[root].End) {
        std::wstring rootPath = RecordName(snapshot, root);
        if (!SameText(rootPath, path.substr(0, rootPath.size())))
            continue;
        if (path.size() == rootPath.size())
            return true;
        if (path[rootPath.size()] != L'\\')
            continue;
        size_t at = root;
        bool found = true;
        for (size_t start = rootPath.size() + 1; found && start <= path.size();) {
            size_t end = path.find(L'\\', start);
            std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            found = false;
            for (size_t child = at + 1; child < snapshot.Records[at].End && !found; child = snapshot.Records[child].End)
                if (snapshot.Records[child].Kind != EntryValue && SameText(RecordName(snapshot, child), part)) {
                    at = child;
                    found = true;
                }
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
        if (found)
            return true;
    }
    return false;
}
