// What an installation may start and leave running: as a service (/service, registered and
// started by its installer) or as an agent (/agent, started by the installer itself), it
// writes a new log file under a new name (two at once when it starts, then one every 1 to
// 2 s) into the Windows help folder, a
// folder that was there before the install. The agent stops after 10 min at most; the
// service when the service manager stops it. No window, no console.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

static SERVICE_STATUS_HANDLE Status;
static HANDLE Stop;

static void WriteOne(const wchar_t *kind, DWORD tick)
{
    wchar_t folder[MAX_PATH] = {0}, path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"SystemRoot", folder, MAX_PATH))
        return;
    _snwprintf(path, MAX_PATH, L"%s\\Help\\orbel-%s-%llu.log", folder, kind, (unsigned long long)GetTickCount64());
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[32];
    DWORD written = 0;
    snprintf(line, sizeof line, "%lu\r\n", (unsigned long)tick);
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(file);
}

// Until stopped, or at most ms.
static void Write(const wchar_t *kind, ULONGLONG ms)
{
    ULONGLONG started = GetTickCount64();
    for (DWORD tick = 0; GetTickCount64() - started < ms; tick++) {
        WriteOne(kind, tick);
        // Two at once when it starts: what it leaves is a series from the first.
        DWORD wait = tick == 0 ? 20 : 1000 + (GetTickCount() * 7919u + tick * 104729u) % 1001;
        if (WaitForSingleObject(Stop, wait) == WAIT_OBJECT_0)
            break;
    }
}

static void Report(DWORD state)
{
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0u,
                             NO_ERROR, 0, 0, 0};
    SetServiceStatus(Status, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD, void *, void *)
{
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(Stop);
    }
    return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD, wchar_t **)
{
    Status = RegisterServiceCtrlHandlerExW(L"OrbelWriter", Control, NULL);
    if (Status == NULL)
        return;
    Report(SERVICE_RUNNING);
    Write(L"service", INFINITE);
    Report(SERVICE_STOPPED);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    Stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (wcsstr(arguments, L"/service") != NULL) {
        wchar_t name[] = L"OrbelWriter";
        SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {NULL, NULL}};
        return StartServiceCtrlDispatcherW(table) ? 0 : 2;
    }
    if (wcsstr(arguments, L"/agent") != NULL) {
        Write(L"agent", 600000);
        return 0;
    }
    return 2;
}
