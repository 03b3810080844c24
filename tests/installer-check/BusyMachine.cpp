// What a real Windows does by itself while the check runs, made on purpose: a log that
// keeps growing and a counter that keeps changing, until it is stopped (at most 10 min).
// A window program without a window, as Windows' own background work is: no console.
#include <windows.h>

#include <stdio.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH))
        return 2;
    wcscat(folder, L"\\BusyMachine");
    CreateDirectoryW(folder, NULL);
    wchar_t log[MAX_PATH];
    _snwprintf(log, MAX_PATH, L"%s\\busy.log", folder);
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\BusyMachine", 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL)
        != ERROR_SUCCESS)
        return 2;
    for (DWORD tick = 0; tick < 6000; tick++) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            char line[32];
            int length = snprintf(line, sizeof line, "%lu\r\n", (unsigned long)tick);
            DWORD written = 0;
            WriteFile(file, line, (DWORD)length, &written, NULL);
            CloseHandle(file);
        }
        RegSetValueExW(key, L"Counter", 0, REG_DWORD, (const BYTE *)&tick, sizeof tick);
        Sleep(100);
    }
    RegCloseKey(key);
    return 0;
}
