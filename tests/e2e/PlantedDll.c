/* Planted beside Kestrane.exe under the names of system DLLs: if it is ever
   loaded, it leaves its own path in a marker file. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t line[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(self, line, MAX_PATH);
    line[length++] = L'\n';
    HANDLE marker = CreateFileW(L"C:\\kestrane-planted-loaded.txt", FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(marker, line, length * sizeof(wchar_t), &written, NULL);
        CloseHandle(marker);
    }
    return TRUE;
}
