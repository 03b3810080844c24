/* One message box and nothing else: what the loader and a first box cost
   before any uninstaller's own work. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    (void)instance; (void)previous; (void)commandLine; (void)show;
    MessageBoxW(NULL, L"Désinstaller  Bench ?", L"Kestrane", MB_OKCANCEL | MB_ICONINFORMATION);
    return 0;
}
