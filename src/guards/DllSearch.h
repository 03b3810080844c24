// Keeps DLLs planted beside the program from being loaded into it: it runs
// with administrator rights, often from a folder others could write to.
#pragma once

// Called first of all. Where Windows cannot restrict the search (Vista and 7
// without the update that brings it), loads from the system folder the DLLs
// that Windows' own DLLs would otherwise look for beside the program.
void RestrictDllSearch();
