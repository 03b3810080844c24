/* The sample application the example installer ships: one box, so that its
   shortcuts open something. While the box is up, Kestrane sees "Orbel" in a
   window title and refuses to uninstall. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    MessageBoxW(NULL, L"Orbel 1.0\nApplication d'exemple désinstallée par Kestrane.", L"Orbel",
                MB_OK | MB_ICONINFORMATION);
    return 0;
}
