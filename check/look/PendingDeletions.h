// The deletions and renames Windows keeps for the next restart (PendingFileRenameOperations).
#pragma once
#include <string>
#include <vector>

// The paths registered for deletion, as file paths.
std::vector<std::wstring> PendingDeletions();
