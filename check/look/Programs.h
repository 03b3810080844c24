// What the check asks of the machine about programs: an installer's processor, Wine, elevation,
// the programs running, and which file an unquoted command line starts.
#pragma once

#include "data/Snapshot.h"

#include <windows.h>

#include <string>
#include <vector>

// "x86-64", "x86", "arm64" or "another processor"; empty when path is no Windows program.
std::wstring MachineOf(const std::wstring &path);
bool IsWine();
// An administrator's token with its rights in force (elevated, where Windows asks).
bool IsElevated();

// The program of a running process, as a full path in its long form; empty when it cannot be read.
std::wstring ProgramOfProcess(DWORD id);
// Of the programs given (full paths), those running now, each once, in the order given.
std::vector<std::wstring> RunningAmong(const std::vector<std::wstring> &programs);

// The program path Windows starts for a command line with no program named: for an
// unquoted one, each blank in turn ends the path tried (tried: every path it tries, in order).
std::wstring ProgramStartedBy(const std::wstring &commandLine, std::vector<std::wstring> *tried);

// Whether this Windows (or Wine) can run 32-bit programs: its 32-bit system folder holds kernel32.
bool HasWow64Side(const WatchedFolders &folders);
