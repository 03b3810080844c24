#include "Run.h"
#include "../guards/DllSearch.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    RestrictDllSearch();
    return RunUninstall(commandLine);
}
