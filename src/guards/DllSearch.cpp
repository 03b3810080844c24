#include "DllSearch.h"

#include "../platform/Platform.h"

// Loaded by bare name, on those versions, by the system DLLs that a run like
// ours brings in (themes and the box, COM, security). Naming one that is a
// KnownDLL there costs nothing; each other name costs a load on every run.
static const wchar_t *const PlantedNames[] = {
    L"uxtheme.dll", L"dwmapi.dll", L"version.dll", L"cryptbase.dll",
    L"sspicli.dll", L"userenv.dll", L"profapi.dll", L"clbcatq.dll",
};

void RestrictDllSearch()
{
    if (OsRestrictDllSearchToSystem())
        return;
    // Once loaded, a DLL is found by its name before any folder is searched.
    for (const wchar_t *name : PlantedNames)
        OsLoadSystemLibrary(name);
}
