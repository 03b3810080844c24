// The places the check never looks at: those Windows and Wine change by themselves, and
// those no installer writes to. One table, each place with its reason (Skipped.cpp).
#pragma once

#include <string>
#include <vector>

// Whether a file or folder path, or a key path ("HKLM\...", "HKCU\..."), is such a place. The
// walks ask at every level, so a place is met by its own name before anything under it.
bool IsSkippedPlace(const std::wstring &path);
// Also skipped from now on: the check's own files (its report, its state), named as a listing
// names them.
void SkipPlace(const std::wstring &path);
// A place of the tables as this machine names it, as a listing would: its variables expanded,
// and short 8.3 names made long. A variable this machine lacks stays as %NAME%, matching nothing.
std::wstring ExpandedPlace(const wchar_t *place);
// The check's own places, to skip: the program itself, its state and reports, its output where
// it goes to files; and the folder of each report but a shared one, where a recipe keeps its
// text report beside them. Never the program's own folder: it may be the Desktop, where the
// installer puts a shortcut.
std::vector<std::wstring> OwnPlaces(const std::wstring &self, const std::vector<std::wstring> &reports,
                                    const std::vector<std::wstring> &outputs);

// Keys Windows shares between the two registry views: one change seen in both is one
// change. For a key path under such a key's WOW6432Node twin, the 64-bit path; else empty.
std::wstring SharedTwinOf(const std::wstring &keyPath);

// Whether a folder or key is one that Windows and other programs share (Program Files, the
// classes roots, the Run keys, Services...): never what an installer owns, so never named as
// its leftover, and never noise as a whole.
bool IsSharedPlace(const std::wstring &path);

// Whether a file, folder or key is at or inside one of Windows Installer's own places (its
// package cache, its rollback folder, its registration), which every product it installs shares.
bool IsInWindowsInstallerPlaces(const std::wstring &path);

struct SkippedPlace {
    const wchar_t *Place;  // environment variables expanded at run time
    const wchar_t *Why;
};
const SkippedPlace *SkippedPlaces(size_t *count);
