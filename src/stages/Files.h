// Deletes the shortcuts, the program files and the application folder; what
// cannot go at once is registered for deletion at the next restart.
#pragma once

// Each returns false only when the path can be neither deleted nor scheduled.
// A deferral sets RestartNeeded.
bool RemoveOrScheduleFile(const wchar_t *path);
bool RemoveOrScheduleFolder(const wchar_t *path);

bool RemoveShortcuts();
bool RemoveProgramFiles();
