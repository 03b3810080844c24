// The file half of a snapshot: every folder and file of a drive, with each file's size,
// last write and attributes as the listing gives them (no call per file).
#pragma once

#include "data/Snapshot.h"

// Adds the tree under root (a folder, "C:" for a drive) to the snapshot, under a record of
// its own. A folder reached through a link, or reached twice, is walked once: under the
// first of its preferred names when it has one.
void WalkFiles(const std::wstring &root, const std::vector<std::wstring> &preferred, Snapshot *snapshot);

// A reparse point's data, as FSCTL_GET_REPARSE_POINT gives it; false when it cannot be read.
typedef bool (*ReparseReader)(const std::wstring &path, std::string *bytes);
bool ReadReparsePoint(const std::wstring &path, std::string *bytes);
// A listed file or folder that is a symbolic link or a junction (by its attributes and the tag
// the listing gives) keeps its kind and target in its record; any other keeps nothing.
void KeepLink(const std::wstring &path, DWORD attributes, DWORD tag, ReparseReader read, Snapshot *snapshot,
              size_t record);

// The same listing of one file or folder now, as its folder lists it (its directory entry, as the
// walk reads it, not the file itself: NTFS brings a file's entry up to date only when its writer
// closes it, so a file held open reads as the walk saw it); false when it is gone.
bool ReadFileNow(const std::wstring &path, Entry *now);

// One entry's listing: its folder's (ListEntry: FindFirstFileExW on the path), or a table in the tests.
typedef bool (*EntryLister)(const std::wstring &path, WIN32_FIND_DATAW *found);
bool ListEntry(const std::wstring &path, WIN32_FIND_DATAW *found);
bool ReadListedNow(const std::wstring &path, Entry *now, EntryLister list);

// The first bytes of a file, at most limit; empty when it cannot be read.
std::string ReadFileStart(const std::wstring &path, size_t limit);
