// The installer's file: which tool made it, from its first bytes.
#pragma once
#include "judge/InstallerKind.h"

#include <string>

// The file's first bytes (16 MB at most), read a chunk at a time; chunk is for the tests.
InstallerKind KindOfFile(const std::wstring &path, size_t chunk);
