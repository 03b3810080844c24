// A shortcut file (.lnk), read as Windows' shell link format lays it out.
#pragma once
#include <string>

// The target a shortcut's bytes name (its local path, or its expandable one expanded), and
// its arguments; false when the bytes hold none.
bool ShortcutTarget(const std::string &bytes, std::wstring *target, std::wstring *arguments);
