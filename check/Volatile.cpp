#include "Volatile.h"

#include "Snapshot.h"

#include <windows.h>

#include <vector>

// Environment variables are expanded; each entry covers everything under it. Under Wine
// the sample installer's check finds nothing here even with the list empty; Windows'
// entries are the places it writes to by itself whenever a program runs or a service
// keeps its state, none of them an installer's to clean up.
static const wchar_t *const VolatilePlaces[] = {
    // Temporary files: installers unpack there and clean up after themselves.
    L"%TEMP%",
    L"%LOCALAPPDATA%\\Temp",
    // Wine makes the network cards' key anew whenever a program starts, and keeps its
    // font cache under its own key.
    L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    L"HKCU\\Software\\Wine\\Fonts",
    // Windows notes every program that runs: activity moderation, the compatibility
    // assistant (installers above all), the shell's names of programs.
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\bam\\State",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\dam\\State",
    L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant",
    L"HKCU\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell",
    // The firewall's own store and its change counters: the check asks the firewall itself.
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess",
    // Windows' networking libraries make a tracing key for each program that loads them.
    L"HKLM\\SOFTWARE\\Microsoft\\Tracing",
    L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Tracing",
    // Network leases, the clock's and the shadow copies' timestamps and the virus scanner's
    // state change on their own schedule.
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32Time\\SecureTimeLimits",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\VSS\\Diag",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces",
    L"HKLM\\SOFTWARE\\Microsoft\\Windows Defender",
    L"%ProgramData%\\Microsoft\\Windows Defender",
    // Error reports, diagnostics, logs and caches of Windows itself.
    L"%ProgramData%\\Microsoft\\Windows\\WER",
    L"%ProgramData%\\Microsoft\\Diagnosis",
    L"%ProgramData%\\USOShared",
    L"%LOCALAPPDATA%\\Microsoft\\Windows\\Explorer",
    L"%LOCALAPPDATA%\\Microsoft\\Windows\\INetCache",
    L"%LOCALAPPDATA%\\Microsoft\\Windows\\WebCache",
    L"%APPDATA%\\Microsoft\\Windows\\Recent",
    L"%SystemRoot%\\System32\\LogFiles",
    L"%SystemRoot%\\System32\\sru",
    L"%SystemRoot%\\System32\\winevt",
    L"%SystemRoot%\\System32\\config",
    L"%SystemRoot%\\System32\\wbem\\Repository",
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
