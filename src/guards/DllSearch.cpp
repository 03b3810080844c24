#include "DllSearch.h"

#include "../platform/Platform.h"

// Loaded by bare name, on those versions, by the system DLLs that a run like
// ours brings in (themes, COM, security, the firewall). Naming one that is a
// KnownDLL there costs nothing.
static const wchar_t *const PlantedNames[] = {
    L"uxtheme.dll", L"dwmapi.dll",  L"version.dll", L"cryptbase.dll", L"sspicli.dll", L"userenv.dll",
    L"profapi.dll", L"propsys.dll", L"ntmarta.dll", L"apphelp.dll",   L"clbcatq.dll",
};

void RestrictDllSearch()
{
    if (OsRestrictDllSearchToSystem())
        return;
    // Once loaded, a DLL is found by its name before any folder is searched.
    for (const wchar_t *name : PlantedNames)
        OsLoadSystemLibrary(name);
}
