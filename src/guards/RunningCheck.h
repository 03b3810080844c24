// Tells whether the application is open, by the titles of the top-level windows.
#pragma once

#include <windows.h>

// True when a top-level window title contains AppName (case-sensitive), and
// also when the windows cannot be enumerated.
bool IsAppRunning();

BOOL CALLBACK FindAppWindowProc(HWND window, LPARAM parameter);

// Whether a window of this title is taken for the application: AppName inside it.
bool TitleNamesApp(const wchar_t *title);
