#include "Volatile.h"

#include "Snapshot.h"

#include <windows.h>

#include <vector>

// Environment variables are expanded; each entry covers everything under it.
static const wchar_t *const VolatilePlaces[] = {
    // Temporary files: installers unpack there and clean up after themselves.
    L"%TEMP%",
    L"%LOCALAPPDATA%\\Temp",
    // Wine makes the network cards' key anew whenever a program starts, and
    // keeps its font cache under its own key.
    L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    L"HKCU\\Software\\Wine\\Fonts",
};

static std::vector<std::wstring> ExpandedPlaces()
{
    std::vector<std::wstring> places;
    for (size_t i = 0; i < sizeof VolatilePlaces / sizeof VolatilePlaces[0]; i++) {
        wchar_t expanded[MAX_PATH * 2] = {0};
        DWORD length = ExpandEnvironmentStringsW(VolatilePlaces[i], expanded, MAX_PATH * 2);
        // A variable this machine lacks stays unexpanded and matches nothing.
        if (length == 0 || length > MAX_PATH * 2)
            continue;
        // A runner's TEMP may be an 8.3 path; a listing gives long names.
        wchar_t longPath[MAX_PATH * 2] = {0};
        DWORD longLength = GetLongPathNameW(expanded, longPath, MAX_PATH * 2);
        places.push_back(longLength > 0 && longLength < MAX_PATH * 2 ? longPath : expanded);
    }
    return places;
}

bool IsVolatilePlace(const std::wstring &path)
{
    static const std::vector<std::wstring> places = ExpandedPlaces();
    for (size_t i = 0; i < places.size(); i++)
        if (SameText(path, places[i]) || IsInside(path, places[i]))
            return true;
    return false;
}
