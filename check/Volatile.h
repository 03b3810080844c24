// The places Windows and Wine change by themselves while a program runs: never
// an installer's doing, so never looked at.
#pragma once

#include <string>

// A file or folder path, or a key path ("HKLM\...", "HKCU\..."), at or under such a place.
bool IsVolatilePlace(const std::wstring &path);
