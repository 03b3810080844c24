// Keeps DLLs planted beside the program from being loaded into it: it runs
// with administrator rights, often from a folder others could write to.
#pragma once

// Called first of all. Where the search is not restricted (Vista, and 7
// without the update that brings the restriction), loads from the system
// folder the DLLs that Windows' own DLLs would otherwise look for beside the
// program. Also tells the platform how to load shell32 later.
void RestrictDllSearch();
