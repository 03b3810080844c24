#include "Files.h"

#include "../target/Target.h"
#include "../platform/Platform.h"

static bool ExistsAsFile(const wchar_t *path)
{
    DWORD attributes = OsGetFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

static bool ExistsAsFolder(const wchar_t *path)
{
    DWORD attributes = OsGetFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Even when the path vanished meanwhile and nothing was registered, a restart
// is still offered: the caller cannot tell which of the two happened.
static bool ScheduleAtRestart(const wchar_t *path, bool stillThere)
{
    if (stillThere && !OsMoveFileEx(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    RestartNeeded = 1;
    return true;
}

bool RemoveOrScheduleFile(const wchar_t *path)
{
    if (!ExistsAsFile(path))
        return true;
    // Read-only, hidden and system files refuse deletion until cleared.
    if (OsSetFileAttributes(path, FILE_ATTRIBUTE_NORMAL) && OsDeleteFile(path))
        return true;
    return ScheduleAtRestart(path, ExistsAsFile(path));
}

bool RemoveOrScheduleFolder(const wchar_t *path)
{
    if (!ExistsAsFolder(path))
        return true;
    if (OsRemoveDirectory(path))
        return true;
    return ScheduleAtRestart(path, ExistsAsFolder(path));
}

bool RemoveShortcuts()
{
    return RemoveOrScheduleFile(Target.StartMenuShortcutPath)
        && RemoveOrScheduleFile(Target.DesktopShortcutPath);
}

// The folder comes last so that, deferred, it is registered after its files.
bool RemoveProgramFiles()
{
    return RemoveOrScheduleFile(Target.AppExePath)
        && RemoveOrScheduleFile(Target.AppHelpPath)
        && RemoveOrScheduleFile(Target.UninstallerExePath)
        && RemoveOrScheduleFolder(Target.AppDir);
}
