#include "look/RunningWindows.h"

#include "guards/RunningCheck.h"
#include "platform/Platform.h"
#include "target/Target.h"

#include <wchar.h>

const wchar_t *OwnConsoleTitle(const std::wstring &appName)
{
    static const wchar_t *const Titles[] = {L"CheckInstaller", L"Installer check", L"-"};
    for (const wchar_t *title : Titles)
        if (appName.empty() || wcsstr(title, appName.c_str()) == NULL)
            return title;
    return L"";
}

static BOOL CALLBACK CollectAppWindow(HWND window, LPARAM titles)
{
    // Kestrane's own rule, one window at a time, so that each match is named.
    if (window != NULL && !FindAppWindowProc(window, 0)) {
        wchar_t title[256] = {0};
        OsGetWindowText(window, title, 255);
        ((std::vector<std::wstring> *)titles)->push_back(title);
    }
    return TRUE;
}

std::vector<std::wstring> WindowsNamingApp(const std::wstring &appName)
{
    std::vector<std::wstring> titles;
    if (appName.empty() || appName.size() >= MAX_PATH)
        return titles;
    // Started from cmd.exe, the check's own console is titled with its command line, which names
    // the installer, and so often the application: titled for this application first.
    OsSetConsoleTitle(OwnConsoleTitle(appName));
    UninstallTarget kept = Target;
    wcscpy(Target.AppName, appName.c_str());
    OsEnumWindows(CollectAppWindow, (LPARAM)&titles);
    Target = kept;
    return titles;
}
