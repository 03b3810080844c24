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

void RestrictDllSearch()
{
    if (OsRestrictDllSearchToSystem())
        return;
    // Once loaded, a DLL is found by its name before any folder is searched.
    for (const wchar_t *name : PlantedNames)
        OsLoadSystemLibrary(name);
}
