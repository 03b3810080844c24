#include "DllSearch.h"

#include "../platform/Platform.h"

// Loaded by bare name, on those versions, by the system DLLs that a run like
// ours brings in. Naming one that is a KnownDLL there costs nothing; each
// other name costs a load on every run.
static const wchar_t *const PlantedNames[] = {
    L"uxtheme.dll",     // user32 and comctl32 6, to theme the boxes (Vista, 7)
    L"dwmapi.dll",      // imported by uxtheme (Vista, 7)
    L"version.dll",     // shell32, delay-loaded once the folders are resolved (Vista, 7)
    L"userenv.dll",     // shell32, delay-loaded for the profile folders (Vista, 7)
    L"profapi.dll",     // imported by userenv (7)
    L"clbcatq.dll",     // ole32, when CoCreateInstance looks up the firewall class (Vista, 7)
    L"rpcrtremote.dll", // rpcrt4, when the firewall object first calls its service (7)
    L"sspicli.dll",     // rpcrt4 and secur32, to authenticate that call (7)
    L"cryptbase.dll",   // advapi32 forwards its random-number calls to it (7)
    L"cryptsp.dll",     // advapi32 forwards CryptoAPI to it, which the firewall object uses (7)
};

// Not on Vista even with the update: shell objects were seen failing in
// CoCreateInstance after the restriction there, and the firewall stage creates
// its object that way. The manifest lists Vista, so Vista reports 6.0.
static bool MayRestrict()
{
    OSVERSIONINFOW version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!OsHasSetDefaultDllDirectories() || !OsGetVersionEx(&version))
        return false;
    return version.dwMajorVersion != 6 || version.dwMinorVersion != 0;
}

void RestrictDllSearch()
{
    if (MayRestrict() && OsSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Once default directories are set, a full path loaded with the
        // altered search path may have its dependencies searched for in the
        // current folder; this flag keeps them to the system folder.
        OsSetShellLoadFlags(LOAD_LIBRARY_SEARCH_SYSTEM32);
        return;
    }
    // The DLL's own folder, the system folder, is then searched first for
    // the DLLs it needs in turn.
    OsSetShellLoadFlags(LOAD_WITH_ALTERED_SEARCH_PATH);
    // Once loaded, a DLL is found by its name before any folder is searched.
    for (const wchar_t *name : PlantedNames)
        OsLoadSystemLibrary(name, LOAD_WITH_ALTERED_SEARCH_PATH);
}
