// Symbolic links and junctions: what a reparse point's data says of its target, and the target
// kept with the link's file or folder in a snapshot.
#pragma once
#include <windows.h>

#include <string>

// The two reparse tags of links (Microsoft, "Reparse Point Tags"), which MinGW's headers may lack.
static const DWORD TagSymbolicLink = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK
static const DWORD TagJunction = 0xA0000003;      // IO_REPARSE_TAG_MOUNT_POINT

struct LinkRead {
    DWORD Tag = 0;        // TagSymbolicLink or TagJunction
    std::wstring Target;  // a full path; a relative link's resolved against its folder
};

// The target in a reparse point's data as FSCTL_GET_REPARSE_POINT gives it (REPARSE_DATA_BUFFER,
// ntifs.h) for the link at linkPath; false for another tag, or for data that does not hold together.
bool ParseReparseData(const std::string &bytes, const std::wstring &linkPath, LinkRead *link);

// A link as its record's data keeps it, and back: false for data that is not a link's.
std::string LinkData(const LinkRead &link);
bool LinkOfData(const std::string &data, LinkRead *link);

// A path with its "." and ".." parts taken out, as Windows takes them out of a full path.
std::wstring WithoutDotParts(const std::wstring &path);
