// Which tool made an installer, read from that tool's own markers in the file: what silent
// arguments it takes, and in which of its words a fix is said.
#pragma once

#include <string>
#include <vector>

enum InstallerKind { KindUnknown, KindNsis, KindInno };

InstallerKind KindOfBytes(const std::string &bytes);
// How many bytes a marker may straddle between two chunks of a file read in turn.
size_t KindMarkerOverlap();
// "NSIS", "Inno Setup", or empty.
std::wstring KindName(InstallerKind kind);
// The arguments that install without asking anything; a guess (/S) for an unknown kind.
std::vector<std::wstring> SilentArguments(InstallerKind kind);
// Why an uninstall entry of an installer of the kind and processor ("x86-64", "x86") landed in
// the 32-bit registry view, and its fix: a 32-bit installer is redirected there unless it asks
// for the 64-bit view; a 64-bit one writes the 64-bit view unless it chose the 32-bit one itself.
std::wstring RegistryViewFix(InstallerKind kind, const std::wstring &machine);
// What a 32-bit installer of the kind names the 64-bit Program Files folder by.
std::wstring ProgramFilesFix(InstallerKind kind);
