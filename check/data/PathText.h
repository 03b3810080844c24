// Paths as text: files ("C:\Program Files\App") and registry keys ("HKLM\SOFTWARE\App"),
// compared without regard to case, as Windows compares them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::wstring Folded(const std::wstring &text);
bool SameText(const std::wstring &left, const std::wstring &right);
// Whether path is inside folder (a file path or a key path); a folder is not inside itself.
bool IsInside(const std::wstring &path, const std::wstring &folder);
bool IsAtOrInside(const std::wstring &path, const std::wstring &folder);
std::wstring ParentOf(const std::wstring &path);
// The names a path is made of, between its backslashes.
std::vector<std::wstring> PathParts(const std::wstring &path);
std::wstring LeafOf(const std::wstring &path);
bool EndsWith(const std::wstring &text, const std::wstring &end);
// A full path as the file functions take it: one near or past 260 characters in its "\\?\"
// form, which every Windows honours whether or not long paths are enabled.
std::wstring FileApiPath(const std::wstring &path);

// The registry root of a key path ("HKLM", "HKCU") and the rest; NULL for another root.
HKEY SplitKeyPath(const std::wstring &keyPath, std::wstring *subkey);
// A key as people read it: one of the 32-bit view as "HKLM\SOFTWARE\X (32-bit view)".
std::wstring KeyPlace(const std::wstring &keyPath);

// The order snapshots are kept in: path by path, each compared without regard to case;
// a key's values after the key and before its subkeys. Negative, zero or positive.
int ComparePlaces(const std::wstring &leftPath, const std::wstring &leftName, bool leftIsValue,
                  const std::wstring &rightPath, const std::wstring &rightName, bool rightIsValue);

// Text from UTF-16 units, up to the first null.
std::wstring WideOfUnits(const char *bytes, size_t units);
// Text from bytes in a code page, up to the first null.
std::wstring WideOfCodePage(UINT codePage, const char *bytes, size_t count);

// A number as text, in digits.
std::wstring Number(unsigned long long value);
// Milliseconds as seconds with two decimals.
std::wstring Seconds(unsigned long long ms);
// A null-terminated text in bytes that starts at `at` and ends before `end`, UTF-16 when wide,
// else in the ANSI code page; false when no null ends it there.
bool TextAt(const std::string &bytes, size_t at, size_t end, bool wide, std::wstring *text);
