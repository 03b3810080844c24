#include "look/Environment.h"

#include <windows.h>

std::wstring ExpandedText(const std::wstring &text)
{
    DWORD length = ExpandEnvironmentStringsW(text.c_str(), NULL, 0);
    std::wstring expanded(length, L'\0');
    length = length == 0 ? 0 : ExpandEnvironmentStringsW(text.c_str(), &expanded[0], length);
    if (length == 0 || length > expanded.size())
        return text;
    expanded.resize(length - 1);
    return expanded;
}
