#include "look/Look.h"

#include "look/FileWalk.h"
#include "look/RegistryWalk.h"
#include "look/Skipped.h"

#include <shlobj.h>

#include <algorithm>

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

bool ReadEntryNow(const Entry &entry, Entry *now)
{
    *now = entry;
    if (entry.Kind == EntryFile || entry.Kind == EntryFolder)
        return ReadFileNow(entry.Path, now);
    return ReadKeyNow(entry, now);
}

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
