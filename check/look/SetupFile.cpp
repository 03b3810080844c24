#include "look/SetupFile.h"

#include "judge/InstallerKind.h"

#include <windows.h>

static const size_t LongestRead = 16u << 20;

InstallerKind KindOfFile(const std::wstring &path, size_t chunk)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return KindUnknown;
    // Each chunk keeps the end of the one before: a marker may straddle two.
    const size_t overlap = KindMarkerOverlap();
    std::string window, buffer(chunk, '\0');
    InstallerKind kind = KindUnknown;
    DWORD read = 0;
    for (size_t total = 0; kind == KindUnknown && total < LongestRead; total += read) {
        if (!ReadFile(file, &buffer[0], (DWORD)chunk, &read, NULL) || read == 0)
            break;
        window = (window.size() > overlap ? window.substr(window.size() - overlap) : window) + buffer.substr(0, read);
        kind = KindOfBytes(window);
    }
    CloseHandle(file);
    return kind;
}
