// What a real Windows does by itself while the check runs, made on purpose: every 7 to 10 s
// (longer than the check's look before the install, so its writes may land in the install
// alone), and at once whenever a program is installed or uninstalled (an application entry
// comes or goes), as Windows' own services react to it, a log grows, a new file appears under
// a new name, and a counter changes; until it is stopped, at most 10 min. What it wrote during
// the install it writes again while the uninstall runs: the check's look after the uninstall
// sees it change again, and takes it for the machine's. A window program without a window, as
// Windows' own background work is: no console.
#include <windows.h>

#include <stdio.h>

static void WriteTo(const wchar_t *path, DWORD disposition, const char *text)
{
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, disposition,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
}

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
    HKEY entries = NULL;
    HANDLE changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_NOTIFY, &entries);
    ULONGLONG started = GetTickCount64();
    for (DWORD tick = 0; GetTickCount64() - started < 600000; tick++) {
        char line[32];
        snprintf(line, sizeof line, "%lu\r\n", (unsigned long)tick);
        WriteTo(log, OPEN_ALWAYS, line);
        wchar_t named[MAX_PATH];
        _snwprintf(named, MAX_PATH, L"%s\\trace-%llu.tmp", folder, (unsigned long long)GetTickCount64());
        WriteTo(named, CREATE_NEW, line);
        RegSetValueExW(key, L"Counter", 0, REG_DWORD, (const BYTE *)&tick, sizeof tick);
        DWORD period = 7000 + (GetTickCount() * 7919u + tick * 104729u) % 3001;
        if (entries == NULL || changed == NULL
            || RegNotifyChangeKeyValue(entries, FALSE, REG_NOTIFY_CHANGE_NAME, changed, TRUE) != ERROR_SUCCESS)
            Sleep(period);
        else
            WaitForSingleObject(changed, period);
    }
    if (entries != NULL)
        RegCloseKey(entries);
    RegCloseKey(key);
    return 0;
}
