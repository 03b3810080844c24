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

static std::wstring WholeLongPath(const std::wstring &path)
{
    DWORD length = GetLongPathNameW(path.c_str(), NULL, 0);
    std::wstring whole(length, L'\0');
    length = length == 0 ? 0 : GetLongPathNameW(path.c_str(), &whole[0], length);
    if (length == 0 || length >= whole.size())
        return L"";
    whole.resize(length);
    return whole;
}

std::wstring LongPathOf(const std::wstring &path)
{
    // A program that has ended may be gone, its folder not: the part that is there is made long.
    for (size_t end = path.size(); end != std::wstring::npos && end > 0; end = path.rfind(L'\\', end - 1)) {
        std::wstring whole = WholeLongPath(path.substr(0, end));
        if (!whole.empty())
            return whole + path.substr(end);
    }
    return path;
}
