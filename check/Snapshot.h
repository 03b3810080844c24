// What the machine holds in the places installers write to: files and folders,
// registry keys and their values, as sorted entries that can be compared.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum EntryKind { EntryFolder, EntryFile, EntryKey, EntryValue };

struct Entry {
    EntryKind Kind;
    std::wstring Path;   // a file's or folder's full path, or a key's, "HKLM\SOFTWARE\..."
    std::wstring Name;   // a value's name in the key Path; empty for the default value
    DWORD Type;          // a value's type and data
    std::string Data;
    std::wstring Order;  // Path and Name without regard to case, what entries sort by
};

// Every watched place, sorted by Order, less the places that change by themselves.
void TakeSnapshot(std::vector<Entry> *entries);

// What the entry's place holds now: false when it is gone. For a value, *now gets its
// type and data.
bool ReadEntryNow(const Entry &entry, Entry *now);

// The place as people read it: a key of the 32-bit view as "HKLM\SOFTWARE\X (32-bit view)".
std::wstring EntryPlace(const Entry &entry);
std::wstring KeyPlace(const std::wstring &keyPath);
// A value's type and data as a line of text; quoted puts a text between double quotes.
std::wstring ValueText(DWORD type, const std::string &data, bool quoted);
// A REG_SZ or REG_EXPAND_SZ value's text; empty for other types.
std::wstring ValueString(const Entry &value);

std::wstring Folded(const std::wstring &text);
bool SameText(const std::wstring &left, const std::wstring &right);
// Whether path is inside folder (a file path or a key path).
bool IsInside(const std::wstring &path, const std::wstring &folder);
std::wstring ParentOf(const std::wstring &path);
std::wstring LeafOf(const std::wstring &path);

// The folders installers write to, as this machine names them.
struct WatchedFolders {
    std::wstring ProgramFiles, ProgramFilesX86, ProgramData, Profile, PublicProfile, System32, SysWow64;
};
WatchedFolders FindWatchedFolders();

// The registry root of a key path ("HKLM", "HKCU") and the rest; NULL for another root.
HKEY SplitKeyPath(const std::wstring &keyPath, std::wstring *subkey);
