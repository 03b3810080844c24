#include "judge/InstallerKind.h"

#include <windows.h>

#include <string.h>

// NSIS's first header follows its stub; Inno Setup names its setup data with its version.
static const char NsisMarker[] = "NullsoftInst";
static const char InnoMarker[] = "Inno Setup Setup Data (";
static const size_t LongestRead = 16u << 20;

InstallerKind KindOfBytes(const std::string &bytes)
{
    if (bytes.find(NsisMarker) != std::string::npos)
        return KindNsis;
    if (bytes.find(InnoMarker) != std::string::npos)
        return KindInno;
    return KindUnknown;
}

InstallerKind KindOfFile(const std::wstring &path, size_t chunk)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return KindUnknown;
    // Each chunk keeps the end of the one before: a marker may straddle two.
    const size_t overlap = sizeof InnoMarker;
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

std::wstring KindName(InstallerKind kind)
{
    return kind == KindNsis ? L"NSIS" : kind == KindInno ? L"Inno Setup" : L"";
}

std::vector<std::wstring> SilentArguments(InstallerKind kind)
{
    if (kind == KindInno)
        return {L"/VERYSILENT", L"/SUPPRESSMSGBOXES", L"/NORESTART", L"/SP-"};
    return {L"/S"};
}

std::wstring RegistryViewFix(InstallerKind kind)
{
    return kind == KindNsis ? L"SetRegView 64" : kind == KindInno ? L"the registry root HKLM64"
                                                                   : L"writing it in the 64-bit view";
}

std::wstring ProgramFilesFix(InstallerKind kind)
{
    return kind == KindNsis ? L"$PROGRAMFILES64" : kind == KindInno ? L"{commonpf64}" : L"";
}
