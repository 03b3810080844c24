// The places Windows writes by itself while a check runs: on its own schedule (logs, caches,
// service state), or because the installer did something Windows reacts to (the shell to a new
// shortcut, Windows Installer to a package). Unlike the skipped places (Skipped.h), they are
// looked at: a change there is taken out of the install's and named with its reason. One table,
// each row with its reason and its source (WindowsWriters.cpp).
#pragma once

#include "data/Snapshot.h"

#include <string>

struct WindowsWriter {
    // A folder or key; environment variables expanded; in each of its names "*" stands for any text.
    const wchar_t *Place;
    // The files or values directly in it that Windows writes, "*" any text; NULL: all it holds.
    const wchar_t *Names;
    const wchar_t *Why;
    // When the installer's deeds make Windows write it; NULL when Windows writes it on its own schedule.
    const wchar_t *Follows;
    const wchar_t *Source;
};
const WindowsWriter *WindowsWriters(size_t *count);

// The row whose place holds this one, or NULL. A folder or key is a row's only when the row
// takes all its place holds.
const WindowsWriter *WindowsWriterOf(const Entry &place);
// Whether the text matches the pattern, "*" standing for any text, without regard to case.
bool NameMatches(const std::wstring &name, const std::wstring &pattern);
