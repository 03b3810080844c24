// What the machine holds: files and folders of the system drive, registry keys and their
// values, kept compact enough for a drive of millions of files, in one order that two
// snapshots can be compared in.
#pragma once

#include "data/PathText.h"

#include <windows.h>

#include <string>
#include <vector>

enum EntryKind { EntryFolder, EntryFile, EntryKey, EntryValue };

// One place, whole: what a change names.
struct Entry {
    EntryKind Kind = EntryFolder;
    std::wstring Path;   // a file's or folder's full path, or a key's, "HKLM\SOFTWARE\..."
    std::wstring Name;   // a value's name in the key Path; empty for the default value
    DWORD Type = 0;      // a value's type and data
    std::string Data;    // for a file or folder that is a link: its kind and target (data/Links.h)
    // A file's listing: what tells a changed file from the same one.
    unsigned long long Size = 0;
    unsigned long long WriteTime = 0;
    DWORD Attributes = 0;
    // A long binary value is kept as a hash of its data (Size bytes), not the data.
    bool Hashed = false;
};
Entry MakeEntry(EntryKind kind, const std::wstring &path);
Entry MakeValue(const std::wstring &keyPath, const std::wstring &name, DWORD type, const std::string &data);
std::string TextData(const std::wstring &text);  // a REG_SZ's data, with its terminating null

// Each place once, as its parent and its own name, in pre-order with the children of
// each folder or key in ComparePlaces order (a key's values before its subkeys).
struct Record {
    unsigned Parent;       // NoParent for a root
    unsigned End;          // the record after this one's subtree
    unsigned NameAt;       // in Names; a root's name is its whole path
    unsigned DataAt;       // in Data, a value's data
    unsigned DataSize;
    unsigned short NameLength;
    unsigned char Kind;    // EntryKind
    bool Hashed;
    DWORD Type;            // a value's type, a file's attributes
    unsigned long long Size, WriteTime;  // a value's Size when Hashed
};
static const unsigned NoParent = 0xFFFFFFFFu;

struct Snapshot {
    std::vector<Record> Records;
    std::vector<wchar_t> Names;
    std::vector<char> Data;
};

// A new record of a place, its name kept; its index.
size_t AddRecord(Snapshot *snapshot, unsigned parent, const std::wstring &name, EntryKind kind);
size_t AddRecord(Snapshot *snapshot, unsigned parent, const wchar_t *name, size_t length, EntryKind kind);
// The same from entries made by hand (tests): every folder and key an entry is in must be
// an entry too, or be a root.
void SnapshotOfEntries(const std::vector<Entry> &entries, Snapshot *snapshot);
// A record as a whole entry.
Entry EntryAt(const Snapshot &snapshot, size_t record);
std::wstring RecordName(const Snapshot &snapshot, size_t record);
std::wstring RecordPath(const Snapshot &snapshot, size_t record);
// Bytes the snapshot holds.
size_t SnapshotBytes(const Snapshot &snapshot);

// Data longer than this, of a type that is not text, is kept as its hash.
static const size_t LongestKeptBinary = 256;
std::string HashOf(const std::string &data);
// Whether the place is the same as the entry says: a value's type and data, a file's size,
// last write and attributes (a folder: only that it is one).
bool SameContent(const Entry &was, const Entry &now);

// The place as people read it: a key of the 32-bit view as "HKLM\SOFTWARE\X (32-bit view)", a
// link as "the link C:\X -> C:\Target".
std::wstring EntryPlace(const Entry &entry);
// A value's type and data as a line of text; quoted puts a text between double quotes.
std::wstring ValueText(DWORD type, const std::string &data, bool quoted);
// A REG_SZ or REG_EXPAND_SZ value's text; empty for other types.
std::wstring ValueString(const Entry &value);

// The folders installers write to, as this machine names them.
struct WatchedFolders {
    std::wstring SystemDrive, Windows, ProgramFiles, ProgramFilesX86, ProgramData, Profile, PublicProfile,
        System32, SysWow64;
};

// Whether the snapshot holds the file or folder at path.
bool SnapshotHolds(const Snapshot &snapshot, const std::wstring &path);
