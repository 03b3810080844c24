#include "Restart.h"

#include "../platform/Platform.h"

// Planned | major: application | minor: installation.
static const DWORD ShutdownReason =
    SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION;

static bool EnableShutdownPrivilege()
{
    HANDLE token = NULL;
    if (!OsOpenProcessToken(OsGetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!OsLookupPrivilegeValue(NULL, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        OsCloseHandle(token);
        return false;
    }
    // Its result says only that the call ran; ERROR_NOT_ALL_ASSIGNED in the
    // last error says the privilege was not granted.
    OsAdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    if (OsGetLastError() != ERROR_SUCCESS) {
        OsCloseHandle(token);
        return false;
    }
    return OsCloseHandle(token) != FALSE;
}

bool RestartSystem()
{
    return EnableShutdownPrivilege()
        && OsInitiateSystemShutdownEx(NULL, NULL, 0, FALSE, TRUE, ShutdownReason) != FALSE;
}
