#include "RunningCheck.h"

#include "../target/Target.h"
#include "../platform/Platform.h"

#include <wchar.h>

BOOL CALLBACK FindAppWindowProc(HWND window, LPARAM)
{
    if (window == NULL)
        return TRUE;
    wchar_t title[256] = {0};
    OsGetWindowText(window, title, 255);
    return !TitleNamesApp(title);
}

bool TitleNamesApp(const wchar_t *title)
{
    return wcsstr(title, Target.AppName) != NULL;
}

bool IsAppRunning()
{
    // A failed enumeration cannot prove the application closed.
    return OsEnumWindows(FindAppWindowProc, 0) == FALSE;
}
