#include "look/RunningWindows.h"

#include "guards/RunningCheck.h"
#include "platform/Platform.h"
#include "target/Target.h"

#include <wchar.h>

#include <algorithm>

// Windows titles an elevated console so (in English; localised elsewhere): the console host
// puts it before whatever title the program sets (Microsoft's console repository, issue 984).
static const wchar_t ElevatedPrefix[] = L"Administrator: ";

// Hidden top-level windows that every Windows desktop holds, which EnumWindows lists.
static const struct {
    const wchar_t *Title, *Why;
} EveryDesktop[] = {
    // GetShellWindow: the shell's desktop window, Explorer's, titled so since Windows 3.
    {L"Program Manager", L"the shell's desktop window, on every desktop Explorer runs"},
    // ImmGetDefaultIMEWnd: "The operating system creates a default IME window for every thread"
    // that has windows, the check's console among them.
    {L"Default IME", L"the input method's window, which Windows makes for every program with a window"},
    // The text services' (TSF) window beside it, for every thread with a window where text
    // services run: every Windows since XP's language bar.
    {L"MSCTFIME UI", L"the text services' window, which Windows makes beside the input method's"},
};

static bool Names(const std::wstring &appName, const std::wstring &title)
{
    return !appName.empty() && wcsstr(title.c_str(), appName.c_str()) != NULL;
}

const wchar_t *OwnConsoleTitle(const std::wstring &appName)
{
    // Elevated on Windows, as the check must run, its console carries the prefix too.
    static const wchar_t *const Titles[] = {L"CheckInstaller", L"Installer check", L"-"};
    for (const wchar_t *title : Titles)
        if (!Names(appName, title) && !Names(appName, ElevatedPrefix + std::wstring(title)))
            return title;
    for (const wchar_t *title : Titles)
        if (!Names(appName, title))
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

// Kestrane's own rule on a title that is not open here.
static bool KestraneTakes(const std::wstring &appName, const std::wstring &title)
{
    UninstallTarget kept = Target;
    wcscpy(Target.AppName, appName.c_str());
    bool takes = TitleNamesApp(title.c_str());
    Target = kept;
    return takes;
}

std::vector<ForeseenTitle> WindowsForeseenNamingApp(const std::wstring &appName, const std::vector<std::wstring> &open)
{
    std::vector<ForeseenTitle> foreseen;
    if (appName.empty() || appName.size() >= MAX_PATH)
        return foreseen;
    for (const auto &window : EveryDesktop)
        foreseen.push_back({window.Title, window.Why});
    foreseen.push_back({ElevatedPrefix + std::wstring(OwnConsoleTitle(appName)),
                        L"the title Windows gives an elevated console, the check's own among them"});
    std::vector<ForeseenTitle> taken;
    for (const ForeseenTitle &window : foreseen)
        if (KestraneTakes(appName, window.Title) && std::find(open.begin(), open.end(), window.Title) == open.end())
            taken.push_back(window);
    return taken;
}
