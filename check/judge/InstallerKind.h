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
// What a 32-bit installer of the kind writes the 64-bit registry view with, and names the
// 64-bit Program Files folder by.
std::wstring RegistryViewFix(InstallerKind kind);
std::wstring ProgramFilesFix(InstallerKind kind);
