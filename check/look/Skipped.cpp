#include "look/Skipped.h"

#include "data/PathText.h"
#include "look/Environment.h"

#include <windows.h>

#include <set>

// Each entry covers everything under it. Environment variables are expanded; one this
// machine lacks leaves the entry unexpanded, matching nothing.
static const SkippedPlace Places[] = {
    // Temporary files: installers unpack there and clean up after themselves.
    {L"%TEMP%", L"temporary files"},
    {L"%LOCALAPPDATA%\\Temp", L"temporary files"},
    {L"%SystemRoot%\\Temp", L"temporary files"},
    // What Windows keeps for itself on the drive.
    {L"%SystemDrive%\\pagefile.sys", L"the paging file"},
    {L"%SystemDrive%\\swapfile.sys", L"the paging file of packaged applications"},
    {L"%SystemDrive%\\hiberfil.sys", L"the hibernation file"},
    {L"%SystemDrive%\\DumpStack.log.tmp", L"the crash dump's log"},
    {L"%SystemDrive%\\System Volume Information", L"the volume's restore points and indexes"},
    {L"%SystemDrive%\\$Recycle.Bin", L"the recycle bin"},
    {L"%SystemDrive%\\$WinREAgent", L"the recovery environment's updates"},
    {L"%SystemRoot%\\WinSxS", L"the component store: Windows' own servicing"},
    {L"%SystemRoot%\\servicing", L"Windows' servicing stack"},
    {L"%SystemRoot%\\SoftwareDistribution", L"Windows Update's downloads and database"},
    {L"%SystemRoot%\\Prefetch", L"start-up traces of every program run"},
    {L"%SystemRoot%\\appcompat", L"the compatibility inventory (Amcache) notes every program run"},
    {L"%SystemRoot%\\System32\\wdi", L"the diagnostics' traces"},
    {L"%SystemRoot%\\Logs", L"Windows' logs"},
    {L"%SystemRoot%\\ServiceProfiles", L"the caches of services' own profiles"},
    {L"%SystemRoot%\\System32\\LogFiles", L"Windows' logs"},
    {L"%SystemRoot%\\System32\\winevt", L"the event logs"},
    {L"%SystemRoot%\\System32\\sru", L"resource usage counters"},
    {L"%SystemRoot%\\System32\\config", L"the registry's own files: the registry is read as keys"},
    {L"%SystemRoot%\\System32\\wbem\\Repository", L"the management service's store"},
    {L"%SystemRoot%\\System32\\catroot2", L"the signature catalogs' database"},
    {L"%ProgramData%\\Microsoft\\Windows Defender", L"the virus scanner's state and signatures"},
    {L"%ProgramData%\\Microsoft\\Windows\\WER", L"error reports"},
    {L"%ProgramData%\\Microsoft\\Diagnosis", L"diagnostics"},
    {L"%ProgramData%\\USOShared", L"the update orchestrator's logs"},
    {L"%LOCALAPPDATA%\\Microsoft\\Windows\\Explorer", L"the shell's thumbnail and icon caches"},
    {L"%LOCALAPPDATA%\\Microsoft\\Windows\\INetCache", L"the web cache"},
    {L"%LOCALAPPDATA%\\Microsoft\\Windows\\WebCache", L"the web cache's database"},
    {L"%APPDATA%\\Microsoft\\Windows\\Recent", L"recently opened files"},
    // Wine makes the network cards' key anew whenever a program starts, and keeps its
    // font cache under its own key.
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", L"made anew at each start"},
    {L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", L"made anew at each start"},
    {L"HKCU\\Software\\Wine\\Fonts", L"Wine's font cache"},
    // Windows notes every program that runs.
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\bam\\State", L"activity moderation notes each program run"},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\dam\\State", L"activity moderation notes each program run"},
    {L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant",
     L"the compatibility assistant notes each installer run"},
    {L"HKCU\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell",
     L"the shell's names of programs run"},
    {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist", L"the shell counts programs run"},
    {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FeatureUsage", L"the shell counts programs run"},
    {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SessionInfo", L"the shell's session"},
    {L"HKCU\\Console", L"the console host's settings, written when a console program first starts"},
    {L"HKCU\\Volatile Environment", L"the logon session's variables, made anew at each logon"},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCompatCache",
     L"the compatibility cache of programs run"},
    // The service manager's count of the services it started, volatile: any service that starts
    // bumps it, and no installer owns it.
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ServiceCurrent", L"the service manager's count of services started"},
    // The firewall's own store and its change counters: the check asks the firewall itself.
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess", L"the firewall's store, asked through its interface"},
    // Windows' networking libraries make a tracing key for each program that loads them.
    {L"HKLM\\SOFTWARE\\Microsoft\\Tracing", L"a tracing key for each program that loads the network libraries"},
    {L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Tracing", L"a tracing key for each program that loads the network libraries"},
    // Network leases, the clock's and the shadow copies' timestamps and the virus scanner's
    // state change on their own schedule.
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces", L"network leases"},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces", L"network leases"},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32Time\\SecureTimeLimits", L"the clock's timestamps"},
    {L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\VSS\\Diag", L"the shadow copies' timestamps"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows Defender", L"the virus scanner's state"},
};

// Windows shares these keys between the two registry views (Windows 7 and later); each
// under HKLM\SOFTWARE.
static const wchar_t *const SharedKeys[] = {
    L"Microsoft\\Windows NT\\CurrentVersion\\Console",
    L"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    L"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    L"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    L"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    L"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    L"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    L"Microsoft\\Windows NT\\CurrentVersion\\Ports",
    L"Microsoft\\Windows NT\\CurrentVersion\\Print",
    L"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    L"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    L"Microsoft\\Windows\\CurrentVersion\\Policies",
    L"Microsoft\\Windows\\CurrentVersion\\Setup",
    L"Microsoft\\Windows\\CurrentVersion\\Telephony",
    L"Microsoft\\SystemCertificates",
    L"Microsoft\\EventSystem",
    L"Microsoft\\OLE",
    L"Microsoft\\RPC",
    L"Policies",
    L"RegisteredApplications",
};

// Places that Windows and many programs share. A change below one is named by the installer's
// own names under it, never by the shared place, whether or not it was there before; and a
// shared place that gains names by itself is not noise as a whole, since an installer's own
// names land there too. "{}" stands for any one name.
static const wchar_t *const SharedFolders[] = {
    L"%SystemDrive%", L"%SystemRoot%", L"%SystemRoot%\\System32", L"%SystemRoot%\\SysWOW64",
    L"%SystemRoot%\\System32\\drivers", L"%SystemRoot%\\System32\\Tasks", L"%SystemRoot%\\Fonts",
    L"%ProgramFiles%", L"%ProgramFiles(x86)%", L"%CommonProgramFiles%", L"%CommonProgramFiles(x86)%",
    L"%ProgramData%", L"%ProgramData%\\Microsoft", L"%ProgramData%\\Microsoft\\Windows",
    L"%ProgramData%\\Microsoft\\Windows\\Start Menu", L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs",
    L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    L"%PUBLIC%", L"%PUBLIC%\\Desktop", L"%PUBLIC%\\Documents",
    L"%USERPROFILE%", L"%USERPROFILE%\\Desktop", L"%USERPROFILE%\\Documents", L"%USERPROFILE%\\AppData",
    L"%APPDATA%", L"%APPDATA%\\Microsoft", L"%APPDATA%\\Microsoft\\Windows", L"%APPDATA%\\Microsoft\\Windows\\Start Menu",
    L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs", L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    L"%LOCALAPPDATA%", L"%LOCALAPPDATA%\\Programs", L"%LOCALAPPDATA%\\Microsoft", L"%LOCALAPPDATA%\\Microsoft\\Windows",
};
// Under each of HKLM\SOFTWARE, its 32-bit view and HKCU\Software.
static const wchar_t *const SharedSoftwareKeys[] = {
    L"", L"Classes", L"Policies", L"RegisteredApplications", L"Clients", L"Microsoft", L"Microsoft\\Windows",
    L"Microsoft\\Windows\\CurrentVersion", L"Microsoft\\Windows\\CurrentVersion\\Run",
    L"Microsoft\\Windows\\CurrentVersion\\RunOnce", L"Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall", L"Microsoft\\Windows\\CurrentVersion\\App Paths",
    L"Microsoft\\Windows\\CurrentVersion\\Explorer", L"Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers",
    L"Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
    L"Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
    L"Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", L"Microsoft\\Windows\\CurrentVersion\\Policies",
    L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    L"Microsoft\\Windows\\CurrentVersion\\Shell Extensions", L"Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    L"Microsoft\\Windows NT", L"Microsoft\\Windows NT\\CurrentVersion", L"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    L"Microsoft\\Windows NT\\CurrentVersion\\Windows", L"Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    L"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", L"Microsoft\\Active Setup",
    L"Microsoft\\Active Setup\\Installed Components", L"Microsoft\\SharedDLLs",
};
// Under each classes root: the keys of every file, folder and class.
static const wchar_t *const SharedClassKeys[] = {
    L"CLSID", L"Interface", L"TypeLib", L"AppID", L"*", L"Directory", L"Directory\\Background", L"Folder", L"Drive",
    L"AllFilesystemObjects", L"SystemFileAssociations", L"SystemFileAssociations\\{}", L"Applications", L"MIME",
    L"MIME\\Database", L"MIME\\Database\\Content Type", L"{}\\shell", L"{}\\shellex", L"{}\\shellex\\{}",
    L"{}\\OpenWithProgids", L"{}\\OpenWithList", L"Directory\\Background\\shell", L"Directory\\Background\\shellex",
    L"Directory\\Background\\shellex\\{}", L"SystemFileAssociations\\{}\\shell", L"SystemFileAssociations\\{}\\shellex",
    L"SystemFileAssociations\\{}\\shellex\\{}",
};
static const wchar_t *const SharedSystemKeys[] = {
    L"HKLM", L"HKCU", L"HKLM\\SYSTEM", L"HKLM\\SYSTEM\\CurrentControlSet", L"HKLM\\SYSTEM\\CurrentControlSet\\Services",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control", L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"HKCU\\Environment",
};

// Windows Installer's own places: every product it installs is registered, cached and rolled back
// there, under names of its own (its codes, packed). A product's places are those names, never
// these places whole; "{}" stands for any one name (a user's SID).
static const struct {
    const wchar_t *Place;
    const wchar_t *Why;
    const wchar_t *Source;
} WindowsInstallerPlaces[] = {
    {L"%SystemRoot%\\Installer", L"the cache of every product's package, kept for its repair and removal",
     L"https://learn.microsoft.com/windows/win32/msi/installer-productinfo (LocalPackage); Microsoft's SQL Server "
     L"support, \"Do NOT delete files from the Windows Installer folder\" (2013)"},
    {L"%SystemDrive%\\Config.Msi", L"the rollback files of an installation under way, deleted when it ends",
     L"https://learn.microsoft.com/windows/win32/msi/rollback-installation"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer", L"every per-machine product's published registration",
     L"Microsoft Windows Registry Guide (Microsoft Press), \"Removing Windows Installer Data\": HKCR\\Installer"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer\\Products", L"one key per product, named by its packed code",
     L"https://support.microsoft.com/kb/296067 (compressed GUIDs in the registry)"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer\\Features", L"one key per product, named by its packed code",
     L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer\\Components", L"one key per advertised component, packed",
     L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer\\Patches", L"one key per patch, packed", L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Classes\\Installer\\UpgradeCodes", L"one key per upgrade code, packed, naming its products",
     L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer",
     L"Windows Installer's data of per-machine and managed products",
     L"Microsoft Windows Registry Guide (Microsoft Press), \"Removing Windows Installer Data\""},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData",
     L"the installed products and components, per user SID (S-1-5-18: per machine)",
     L"https://learn.microsoft.com/windows/win32/api/msi/nf-msi-msigetcomponentpathw (the key paths it returns)"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\{}", L"one user's products",
     L"Microsoft Windows Registry Guide (Microsoft Press)"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\{}\\Products",
     L"one key per product, packed: its InstallProperties (LocalPackage, the cached package)",
     L"https://learn.microsoft.com/windows/win32/msi/installer-productinfo"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\{}\\Components",
     L"one key per component, packed, a value per product holding the component's key path",
     L"https://learn.microsoft.com/windows/win32/api/msi/nf-msi-msigetcomponentpathw"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\{}\\Patches",
     L"one key per patch, packed", L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes",
     L"one key per upgrade code, packed, naming its products", L"https://support.microsoft.com/kb/296067"},
    {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders",
     L"a value per folder Windows Installer made, for every product", L"Microsoft Windows Registry Guide (Microsoft Press)"},
    {L"HKCU\\Software\\Microsoft\\Installer", L"Windows Installer's data of per-user products",
     L"Microsoft Windows Registry Guide (Microsoft Press), \"Removing Windows Installer Data\""},
    {L"HKCU\\Software\\Microsoft\\Installer\\Products", L"one key per per-user product, packed",
     L"https://support.microsoft.com/kb/296067"},
    {L"HKCU\\Software\\Microsoft\\Installer\\Features", L"one key per per-user product, packed",
     L"https://support.microsoft.com/kb/296067"},
    {L"HKCU\\Software\\Microsoft\\Installer\\UpgradeCodes", L"one key per upgrade code, packed",
     L"https://support.microsoft.com/kb/296067"},
};

struct SharedSet {
    std::set<std::wstring> Exact;                        // folded
    std::vector<std::vector<std::wstring>> Patterns;     // folded names, "{}" for any one
};

static void AddShared(SharedSet *set, const std::wstring &place)
{
    std::wstring folded = Folded(place);
    if (folded.find(L"{}") == std::wstring::npos)
        set->Exact.insert(folded);
    else
        set->Patterns.push_back(PathParts(folded));
}

// The place with the environment's variables expanded; empty when one is missing.
static std::wstring Expanded(const wchar_t *place)
{
    wchar_t expanded[MAX_PATH * 2] = {0};
    DWORD length = ExpandEnvironmentStringsW(place, expanded, MAX_PATH * 2);
    return length > 0 && length <= MAX_PATH * 2 && !wcschr(expanded, L'%') ? expanded : L"";
}

static const SharedSet &Shared()
{
    static SharedSet places;
    static bool made = false;
    if (made)
        return places;
    made = true;
    for (const wchar_t *folder : SharedFolders) {
        std::wstring expanded = ExpandedPlace(folder);
        if (expanded.find(L'%') == std::wstring::npos)
            AddShared(&places, expanded);
    }
    static const wchar_t *const SoftwareRoots[] = {L"HKLM\\SOFTWARE", L"HKLM\\SOFTWARE\\WOW6432Node", L"HKCU\\Software"};
    for (const wchar_t *root : SoftwareRoots) {
        for (const wchar_t *key : SharedSoftwareKeys)
            AddShared(&places, *key ? std::wstring(root) + L"\\" + key : std::wstring(root));
        for (const wchar_t *key : SharedClassKeys)
            AddShared(&places, std::wstring(root) + L"\\Classes\\" + key);
    }
    for (const wchar_t *key : SharedSystemKeys)
        AddShared(&places, key);
    for (const auto &row : WindowsInstallerPlaces)
        if (!Expanded(row.Place).empty())
            AddShared(&places, Expanded(row.Place));
    return places;
}

bool IsSharedPlace(const std::wstring &path)
{
    const SharedSet &places = Shared();
    std::wstring folded = Folded(path);
    if (places.Exact.count(folded))
        return true;
    std::vector<std::wstring> names = PathParts(folded);
    for (const std::vector<std::wstring> &pattern : places.Patterns) {
        bool same = pattern.size() == names.size();
        for (size_t i = 0; same && i < names.size(); i++)
            same = pattern[i] == L"{}" || pattern[i] == names[i];
        if (same)
            return true;
    }
    return false;
}

bool IsInWindowsInstallerPlaces(const std::wstring &path)
{
    static std::vector<std::wstring> places;
    if (places.empty())
        for (const auto &row : WindowsInstallerPlaces)
            places.push_back(Expanded(row.Place));
    for (const std::wstring &place : places)
        if (!place.empty() && IsAtOrInside(path, place))
            return true;
    return false;
}

const SkippedPlace *SkippedPlaces(size_t *count)
{
    *count = sizeof Places / sizeof Places[0];
    return Places;
}

// Folded, for a look-up per place walked: a drive of millions of files asks millions of times.
struct SkipSet {
    std::set<std::wstring> Folded;
    std::vector<bool> Lengths;
};

static void Add(SkipSet *set, const std::wstring &place)
{
    set->Folded.insert(Folded(place));
    if (set->Lengths.size() <= place.size())
        set->Lengths.resize(place.size() + 1);
    set->Lengths[place.size()] = true;
}

static SkipSet &Expanded()
{
    static SkipSet places;
    static bool made = false;
    if (made)
        return places;
    made = true;
    for (size_t i = 0; i < sizeof Places / sizeof Places[0]; i++)
        Add(&places, ExpandedPlace(Places[i].Place));
    return places;
}

bool IsSkippedPlace(const std::wstring &path)
{
    const SkipSet &places = Expanded();
    return path.size() < places.Lengths.size() && places.Lengths[path.size()] && places.Folded.count(Folded(path)) > 0;
}

void SkipPlace(const std::wstring &path)
{
    if (!path.empty())
        Add(&Expanded(), LongPathOf(path));
}

std::wstring ExpandedPlace(const wchar_t *place)
{
    // A runner's TEMP is an 8.3 path (C:\Users\RUNNER~1\...); a listing gives long names.
    return LongPathOf(ExpandedText(place));
}

std::vector<std::wstring> OwnPlaces(const std::wstring &self, const std::vector<std::wstring> &reports,
                                    const std::vector<std::wstring> &outputs)
{
    std::vector<std::wstring> places(1, self);
    places.insert(places.end(), reports.begin(), reports.end());
    places.insert(places.end(), outputs.begin(), outputs.end());
    for (const std::wstring &report : reports) {
        std::wstring folder = report.empty() ? L"" : ParentOf(report);
        if (!folder.empty() && !IsSharedPlace(folder))
            places.push_back(folder);
    }
    std::vector<std::wstring> own;
    std::set<std::wstring> seen;
    for (const std::wstring &place : places)
        if (!place.empty() && seen.insert(Folded(place)).second)
            own.push_back(place);
    return own;
}

std::wstring SharedTwinOf(const std::wstring &keyPath)
{
    static const std::wstring Wow = L"HKLM\\SOFTWARE\\WOW6432Node\\";
    if (keyPath.size() <= Wow.size() || !SameText(keyPath.substr(0, Wow.size()), Wow))
        return L"";
    std::wstring rest = keyPath.substr(Wow.size());
    for (size_t i = 0; i < sizeof SharedKeys / sizeof SharedKeys[0]; i++)
        if (IsAtOrInside(rest, SharedKeys[i]))
            return L"HKLM\\SOFTWARE\\" + rest;
    return L"";
}
