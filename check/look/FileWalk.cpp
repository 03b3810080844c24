#include "look/FileWalk.h"

#include "data/Links.h"
#include "look/Skipped.h"

#include <winioctl.h>

#include <algorithm>
#include <map>
#include <set>

typedef std::pair<unsigned long long, unsigned long long> FolderIdentity;
struct FolderSet {
    std::set<FolderIdentity> Visited;
    std::map<FolderIdentity, std::wstring> Preferred;  // the name a folder is walked under
};

// A folder's listing: the names in one buffer, not one allocation each (a drive has millions).
struct Listed {
    size_t NameAt, NameLength;
    DWORD Attributes;
    DWORD Tag;  // a reparse point's, as the listing gives it
    unsigned long long Size, WriteTime;
};
struct Listing {
    std::vector<wchar_t> Names;
    std::vector<Listed> Children;
};

static unsigned long long Join(DWORD high, DWORD low) { return ((unsigned long long)high << 32) | low; }

struct ByFoldedName {
    const wchar_t *Names;
    bool operator()(const Listed &left, const Listed &right) const
    {
        return CompareStringOrdinal(Names + left.NameAt, (int)left.NameLength, Names + right.NameAt,
                                    (int)right.NameLength, TRUE) == CSTR_LESS_THAN;
    }
};

static HANDLE FindFirst(const std::wstring &pattern, WIN32_FIND_DATAW *found)
{
    // The basic, large-fetch listing is Windows 7's: Vista refuses it as an invalid parameter,
    // and is asked the standard way from then on.
    static volatile LONG standardOnly = 0;
    std::wstring whole = FileApiPath(pattern);
    HANDLE search = INVALID_HANDLE_VALUE;
    if (!standardOnly) {
        search = FindFirstFileExW(whole.c_str(), FindExInfoBasic, found, FindExSearchNameMatch, NULL,
                                  FIND_FIRST_EX_LARGE_FETCH);
        if (search != INVALID_HANDLE_VALUE || GetLastError() != ERROR_INVALID_PARAMETER)
            return search;
        standardOnly = 1;
    }
    return FindFirstFileExW(whole.c_str(), FindExInfoStandard, found, FindExSearchNameMatch, NULL, 0);
}

static bool IdentityOf(const std::wstring &path, FolderIdentity *identity)
{
    HANDLE folder = CreateFileW(FileApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = GetFileInformationByHandle(folder, &information) != FALSE;
    CloseHandle(folder);
    *identity = std::make_pair((unsigned long long)information.dwVolumeSerialNumber,
                               Join(information.nFileIndexHigh, information.nFileIndexLow));
    return known;
}

// A folder reached by several names is walked once: under its preferred name when it has
// one, else the first it was reached by. Wine links several profile folders (the desktop,
// the templates, the documents) to one folder of the Unix home without saying they are links.
static bool FirstVisit(const std::wstring &path, FolderSet *folders)
{
    FolderIdentity identity;
    if (!IdentityOf(path, &identity))
        return true;
    std::map<FolderIdentity, std::wstring>::const_iterator preferred = folders->Preferred.find(identity);
    if (preferred != folders->Preferred.end() && !SameText(preferred->second, path))
        return false;
    return folders->Visited.insert(identity).second;
}

// Where a link leads: the final path of what it opens, without the "\\?\" prefix; empty
// when it cannot be opened.
static std::wstring LinkTarget(const std::wstring &path)
{
    HANDLE folder = CreateFileW(FileApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return L"";
    wchar_t target[MAX_PATH * 2] = {0};
    DWORD length = GetFinalPathNameByHandleW(folder, target, MAX_PATH * 2, 0);
    CloseHandle(folder);
    if (length == 0 || length >= MAX_PATH * 2)
        return L"";
    return wcsncmp(target, L"\\\\?\\UNC\\", 8) == 0 ? L"\\" + std::wstring(target + 7)
         : wcsncmp(target, L"\\\\?\\", 4) == 0 ? std::wstring(target + 4) : std::wstring(target);
}

// A link that leads elsewhere on the drive is walked under the target's own name; one that
// leads off it (Wine's profile folders lead into the Unix home) is walked here.
static bool WalkLink(const std::wstring &path, const std::wstring &root)
{
    std::wstring target = LinkTarget(path);
    return !target.empty() && (SameText(target, path) || !IsAtOrInside(target, root));
}

static void ListFolder(const std::wstring &path, Listing *listing)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirst(path + L"\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
            continue;
        Listed child;
        child.NameAt = listing->Names.size();
        child.NameLength = wcslen(found.cFileName);
        listing->Names.insert(listing->Names.end(), found.cFileName, found.cFileName + child.NameLength);
        child.Attributes = found.dwFileAttributes;
        child.Tag = found.dwReserved0;
        child.Size = Join(found.nFileSizeHigh, found.nFileSizeLow);
        child.WriteTime = Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
        listing->Children.push_back(child);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    if (!listing->Names.empty())
        std::sort(listing->Children.begin(), listing->Children.end(), ByFoldedName{&listing->Names[0]});
}

static void WalkFolder(const std::wstring &root, const std::wstring &path, size_t self, Snapshot *snapshot,
                       FolderSet *visited)
{
    Listing listing;
    ListFolder(path, &listing);
    std::wstring childPath = path + L"\\";
    const size_t parentLength = childPath.size();
    for (size_t i = 0; i < listing.Children.size(); i++) {
        const Listed &child = listing.Children[i];
        const wchar_t *name = &listing.Names[0] + child.NameAt;
        childPath.replace(parentLength, std::wstring::npos, name, child.NameLength);
        if (IsSkippedPlace(childPath))
            continue;
        bool folder = (child.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t at = AddRecord(snapshot, (unsigned)self, name, child.NameLength, folder ? EntryFolder : EntryFile);
        Record &record = snapshot->Records[at];
        record.Type = child.Attributes;
        if (!folder) {
            record.Size = child.Size;
            record.WriteTime = child.WriteTime;
        }
        KeepLink(childPath, child.Attributes, child.Tag, ReadReparsePoint, snapshot, at);
        bool link = (child.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (folder && (!link || WalkLink(childPath, root)) && FirstVisit(childPath, visited))
            WalkFolder(root, childPath, at, snapshot, visited);
        snapshot->Records[at].End = (unsigned)snapshot->Records.size();
    }
}

void WalkFiles(const std::wstring &root, const std::vector<std::wstring> &preferred, Snapshot *snapshot)
{
    FolderSet visited;
    for (size_t i = 0; i < preferred.size(); i++) {
        FolderIdentity identity;
        if (!preferred[i].empty() && IdentityOf(preferred[i], &identity) && !visited.Preferred.count(identity))
            visited.Preferred[identity] = preferred[i];
    }
    size_t at = AddRecord(snapshot, NoParent, root, EntryFolder);
    if (FirstVisit(root + L"\\", &visited))
        WalkFolder(root, root, at, snapshot, &visited);
    snapshot->Records[at].End = (unsigned)snapshot->Records.size();
}

bool ReadReparsePoint(const std::wstring &path, std::string *bytes)
{
    HANDLE link = CreateFileW(FileApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (link == INVALID_HANDLE_VALUE)
        return false;
    bytes->assign(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
    DWORD returned = 0;
    bool read = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, NULL, 0, &(*bytes)[0], (DWORD)bytes->size(), &returned,
                                NULL) != FALSE;
    CloseHandle(link);
    bytes->resize(read ? returned : 0);
    return read;
}

void KeepLink(const std::wstring &path, DWORD attributes, DWORD tag, ReparseReader read, Snapshot *snapshot,
              size_t record)
{
    // The listing gives a reparse point's tag: only links are read, and links are few. Wine
    // marks the folders it links into the Unix home with no tag.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) || (tag != TagSymbolicLink && tag != TagJunction))
        return;
    std::string bytes;
    LinkRead link;
    if (!read(path, &bytes) || !ParseReparseData(bytes, path, &link))
        return;
    std::string data = LinkData(link);
    Record &kept = snapshot->Records[record];
    kept.DataAt = (unsigned)snapshot->Data.size();
    kept.DataSize = (unsigned)data.size();
    snapshot->Data.insert(snapshot->Data.end(), data.begin(), data.end());
}

bool ListEntry(const std::wstring &path, WIN32_FIND_DATAW *found)
{
    // A drive's root has no entry in a folder: its own attributes are all there is.
    if (path.size() <= 3 && path.size() >= 2 && path[1] == L':') {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW((path.substr(0, 2) + L"\\").c_str(), GetFileExInfoStandard, &data))
            return false;
        ZeroMemory(found, sizeof *found);
        found->dwFileAttributes = data.dwFileAttributes;
        return true;
    }
    HANDLE search = FindFirst(path, found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool ReadListedNow(const std::wstring &path, Entry *now, EntryLister list)
{
    WIN32_FIND_DATAW found;
    if (!list(path, &found))
        return false;
    now->Attributes = found.dwFileAttributes;
    bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    now->Size = folder ? 0 : Join(found.nFileSizeHigh, found.nFileSizeLow);
    now->WriteTime = folder ? 0 : Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool ReadFileNow(const std::wstring &path, Entry *now)
{
    return ReadListedNow(path, now, ListEntry);
}

std::string ReadFileStart(const std::wstring &path, size_t limit)
{
    HANDLE file = CreateFileW(FileApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes(limit, '\0');
    DWORD read = 0;
    if (!ReadFile(file, &bytes[0], (DWORD)limit, &read, NULL))
        read = 0;
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}
