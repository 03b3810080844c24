#include "Registry.h"

#include "../target/Target.h"
#include "../target/Text.h"
#include "../platform/Platform.h"

#include <wchar.h>

const RootKeyEntry RootKeyTable[5] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

HKEY SplitRegistryPath(const wchar_t *path, wchar_t *subkey)
{
    wchar_t working[MAX_PATH] = {0};
    if (!CopyText(working, MAX_PATH, path))
        return NULL;
    wchar_t *rest = NULL;
    const wchar_t *rootName = NextToken(working, L'\\', &rest);
    if (rootName == NULL)
        return NULL;
    CopyText(subkey, MAX_PATH, rest);
    for (const RootKeyEntry &entry : RootKeyTable)
        if (wcscmp(entry.Name, rootName) == 0)
            return entry.Key;
    return NULL;
}

KeyState RegistryKeyExists(const wchar_t *path)
{
    wchar_t subkey[MAX_PATH] = {0};
    HKEY root = SplitRegistryPath(path, subkey);
    if (root == NULL)
        return KeyAbsent;
    HKEY key = NULL;
    LONG opened = OsRegOpenKeyEx(root, subkey, 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return KeyAbsent;
    // Any other refusal, access denied above all, must not pass for absence:
    // the entry would stay behind while the run reports success.
    if (opened != ERROR_SUCCESS)
        return KeyUnreachable;
    return OsRegCloseKey(key) == ERROR_SUCCESS ? KeyPresent : KeyAbsent;
}

static bool RemoveKeyIfPresent(const wchar_t *path)
{
    switch (RegistryKeyExists(path)) {
    case KeyAbsent: return true;
    case KeyUnreachable: return false;
    case KeyPresent: break;
    }
    wchar_t subkey[MAX_PATH] = {0};
    HKEY root = SplitRegistryPath(path, subkey);
    return OsRegDeleteKey(root, subkey) == ERROR_SUCCESS;
}

bool RemoveRegistryKeys()
{
    return RemoveKeyIfPresent(Target.UninstallKeyPath) && RemoveKeyIfPresent(Target.UserKeyPath);
}
