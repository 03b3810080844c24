#include "Target.h"

#include "Text.h"
#include "../platform/Platform.h"

#include <shlobj.h>
#include <wchar.h>

UninstallTarget Target;
DWORD RestartNeeded;

static const wchar_t UninstallerName[] = L"Kestrane";

static bool ComposeKeyPaths(const wchar_t *appName, wchar_t *userKeyPath, wchar_t *uninstallKeyPath)
{
    return FormatText(userKeyPath, MAX_PATH, L"HKEY_CURRENT_USER\\Software\\%s", appName) >= 0
        && FormatText(uninstallKeyPath, MAX_PATH,
                      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
                      appName) >= 0;
}

// A name with a backslash would reach outside the application's own folder
// and keys. So would one made only of dots and blanks: Windows drops them from
// the end of a path, which leaves the Program Files folder itself. A character
// no file name may hold means the name can never be the application's folder:
// typically a quoted argument text, whose uninstall would find nothing and
// report success.
const wchar_t *FindCharacterNoFolderNameHolds(const wchar_t *name)
{
    for (const wchar_t *at = name; *at != L'\0'; ++at)
        if (*at == L'\\' || *at < L' ' || wcschr(L"\"*:<>?|", *at) != NULL)
            return at;
    return NULL;
}

static bool IsOnlyDotsAndBlanks(const wchar_t *name)
{
    return name[wcsspn(name, L". ")] == L'\0';
}

ArgumentsResult ParseArguments(const wchar_t *argumentText)
{
    wchar_t working[MAX_PATH] = {0};
    if (argumentText == NULL)
        return ArgumentsIncomplete;
    if (!CopyText(working, MAX_PATH, argumentText))
        return ArgumentsTooLong;

    // Tokens of a text that fits always fit their fields.
    wchar_t *rest = NULL;
    wchar_t *appName = NextToken(working, L'/', &rest);
    if (appName == NULL || !CopyText(Target.AppName, MAX_PATH, appName))
        return ArgumentsIncomplete;

    wchar_t *ruleName = NextToken(rest, L'/', &rest);
    if (ruleName == NULL)
        return ArgumentsIncomplete;
    if (EqualIgnoringAsciiCase(ruleName, L"NULL"))
        Target.FirewallRuleName[0] = L'\0';
    else if (!CopyText(Target.FirewallRuleName, MAX_PATH, ruleName))
        return ArgumentsTooLong;

    if (FindCharacterNoFolderNameHolds(Target.AppName) != NULL)
        return ArgumentsNotAFolderName;
    if (IsOnlyDotsAndBlanks(Target.AppName))
        return ArgumentsOnlyDotsAndBlanks;
    wchar_t userKeyPath[MAX_PATH] = {0};
    wchar_t uninstallKeyPath[MAX_PATH] = {0};
    return ComposeKeyPaths(Target.AppName, userKeyPath, uninstallKeyPath) ? ArgumentsOk : ArgumentsNameTooLong;
}

static bool ResolveFolder(int folder, wchar_t *path)
{
    return OsGetFolderPath(folder, path) >= 0;
}

ResolveResult ResolveTargetPaths()
{
    UninstallTarget &t = Target;
    if (!ResolveFolder(CSIDL_PROGRAM_FILES, t.ProgramFilesDir))
        return ResolveFolderFailed;
    if (FormatText(t.AppDir, MAX_PATH, L"%s\\%s", t.ProgramFilesDir, t.AppName) < 0
        || FormatText(t.AppExePath, MAX_PATH, L"%s\\%s.exe", t.AppDir, t.AppName) < 0
        || FormatText(t.AppHelpPath, MAX_PATH, L"%s\\%s.chm", t.AppDir, t.AppName) < 0
        || FormatText(t.UninstallerExePath, MAX_PATH, L"%s\\%s.exe", t.AppDir, UninstallerName) < 0)
        return ResolveTooLong;

    if (!ResolveFolder(CSIDL_DESKTOPDIRECTORY, t.DesktopDir))
        return ResolveFolderFailed;
    if (FormatText(t.DesktopShortcutPath, MAX_PATH, L"%s\\%s.lnk", t.DesktopDir, t.AppName) < 0)
        return ResolveTooLong;

    if (!ResolveFolder(CSIDL_PROGRAMS, t.ProgramsDir))
        return ResolveFolderFailed;
    if (FormatText(t.StartMenuShortcutPath, MAX_PATH, L"%s\\%s.lnk", t.ProgramsDir, t.AppName) < 0)
        return ResolveTooLong;

    return ComposeKeyPaths(t.AppName, t.UserKeyPath, t.UninstallKeyPath) ? ResolveOk : ResolveTooLong;
}
