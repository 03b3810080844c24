#include "judge/InstallerKind.h"

#include <string.h>

// NSIS's first header follows its stub; Inno Setup names its setup data with its version.
static const char NsisMarker[] = "NullsoftInst";
static const char InnoMarker[] = "Inno Setup Setup Data (";

size_t KindMarkerOverlap() { return sizeof InnoMarker; }

InstallerKind KindOfBytes(const std::string &bytes)
{
    if (bytes.find(NsisMarker) != std::string::npos)
        return KindNsis;
    if (bytes.find(InnoMarker) != std::string::npos)
        return KindInno;
    return KindUnknown;
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
