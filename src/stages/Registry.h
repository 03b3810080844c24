// Deletes the application's uninstall entry and settings key.
#pragma once

#include <windows.h>

struct RootKeyEntry {
    const wchar_t *Name;
    HKEY Key;
};
extern const RootKeyEntry RootKeyTable[5];

// Splits "ROOT\sub\key" into its predefined root (NULL for an unknown root
// name, compared case-sensitively) and the subkey, written into a buffer of
// MAX_PATH code units.
HKEY SplitRegistryPath(const wchar_t *path, wchar_t *subkey);

enum KeyState {
    KeyAbsent,
    KeyPresent,
    KeyUnreachable // exists, or may, but cannot be opened
};

KeyState RegistryKeyExists(const wchar_t *path);

// Deletes the uninstall key, then the settings key, each only if present.
// Not recursive: a key with subkeys fails the stage.
bool RemoveRegistryKeys();
