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

// "By default, a 32-bit application running on WOW64 accesses the 32-bit registry view and a
// 64-bit application accesses the 64-bit registry view" (Microsoft, "Accessing an Alternate
// Registry View"): a 64-bit installer lands there only by KEY_WOW64_32KEY or a path through
// WOW6432Node, which is what NSIS's SetRegView 32 and Inno Setup's HKLM32 do.
std::wstring RegistryViewFix(InstallerKind kind, const std::wstring &machine)
{
    if (machine == L"x86-64")
        return L"a 64-bit installer writes the 64-bit view unless told otherwise: this one chose the 32-bit view, so "
            + std::wstring(kind == KindNsis ? L"take out its SetRegView 32"
                           : kind == KindInno ? L"write the entry under HKLM, not HKLM32"
                                              : L"open the key without KEY_WOW64_32KEY")
            + L", and WOW6432Node from the key's path if it names it";
    return L"a 32-bit installer needs " + std::wstring(kind == KindNsis ? L"SetRegView 64"
                                                       : kind == KindInno ? L"the registry root HKLM64"
                                                                          : L"writing it in the 64-bit view");
}

std::wstring ProgramFilesFix(InstallerKind kind)
{
    return kind == KindNsis ? L"$PROGRAMFILES64" : kind == KindInno ? L"{commonpf64}" : L"";
}
