// The deletions and renames Windows carries out at the next restart, as
// PendingFileRenameOperations holds them: read by the end-to-end tests and the
// installer check alike.
#pragma once

#include <string>
#include <vector>

// PendingFileRenameOperations' strings, two per entry (source, then target), up to the
// list's terminator.
std::vector<std::wstring> SplitPending(const std::wstring &value);
// The value's strings; none when it is absent or cannot be read.
std::vector<std::wstring> ReadPendingStrings();
// Writes the strings back as the whole value, or deletes it when there are none; false when
// it cannot.
bool WritePendingStrings(const std::vector<std::wstring> &strings);
// Windows 10 and later write "*1" or "*2" before the "\??\" of a source that Wine writes
// bare: the string without it.
std::wstring WithoutPendingMarker(const std::wstring &source);
// The path of a source or target: without the marker and the "\??\" or "!\??\" before it.
std::wstring PendingPath(const std::wstring &text);
