/* The removal calls alone, for the same installation: the cost under which no
   uninstaller can go. No boxes, no COM, no window enumeration, no runtime
   library: the entry is ours and the paths come from the command line, so
   only kernel32 and advapi32 are loaded.
   Floor.exe "<lnk>" "<lnk>" "<exe>" "<chm>" "<uninstaller>" "<folder>" */
#include <windows.h>

static void RemoveOrSchedule(const wchar_t *path)
{
    if (!DeleteFileW(path) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

/* Cuts the next double-quoted argument out of the command line in place. */
static wchar_t *NextQuoted(wchar_t **cursor)
{
    wchar_t *start = *cursor;
    while (*start && *start != L'"')
        start++;
    if (!*start)
        return NULL;
    wchar_t *end = ++start;
    while (*end && *end != L'"')
        end++;
    if (*end)
        *end++ = 0;
    *cursor = end;
    return start;
}

void FloorMain(void)
{
    wchar_t *cursor = GetCommandLineW();
    wchar_t *paths[7];
    int count = 0;
    while (count < 7 && (paths[count] = NextQuoted(&cursor)) != NULL)
        count++;
    /* The first quoted text is our own path. */
    if (count != 7)
        ExitProcess(1);

    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Bench");
    for (int i = 1; i <= 5; i++)
        RemoveOrSchedule(paths[i]);
    if (!RemoveDirectoryW(paths[6]))
        MoveFileExW(paths[6], NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    ExitProcess(0);
}
