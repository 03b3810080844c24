#include "Pending.h"

#include <windows.h>

static const wchar_t SessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
static const wchar_t PendingValue[] = L"PendingFileRenameOperations";

std::vector<std::wstring> SplitPending(const std::wstring &value)
{
    std::vector<std::wstring> strings;
    for (size_t at = 0; at < value.size();)
    {
        size_t end = value.find(L'\0', at);
        if (end == std::wstring::npos)
            end = value.size();
        std::wstring text = value.substr(at, end - at);
        if (text.empty() && strings.size() % 2 == 0)
            break;  // the list's terminator
        strings.push_back(text);
        at = end + 1;
    }
    return strings;
}

std::vector<std::wstring> ReadPendingStrings()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::vector<std::wstring>();
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExW(key, PendingValue, NULL, &type, NULL, &size);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (result == ERROR_SUCCESS)
        result = RegQueryValueExW(key, PendingValue, NULL, &type, (BYTE *)&data[0], &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return std::vector<std::wstring>();
    return SplitPending(std::wstring(&data[0], size / sizeof(wchar_t)));
}

bool WritePendingStrings(const std::vector<std::wstring> &strings)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG result;
    if (strings.empty()) {
        result = RegDeleteValueW(key, PendingValue);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    } else {
        std::wstring value;
        for (size_t i = 0; i < strings.size(); i++)
            value.append(strings[i]).push_back(L'\0');
        value.push_back(L'\0');
        result = RegSetValueExW(key, PendingValue, 0, REG_MULTI_SZ, (const BYTE *)value.data(),
                                (DWORD)(value.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring WithoutPendingMarker(const std::wstring &source)
{
    size_t digits = source.find_first_not_of(L"0123456789", 1);
    if (source.size() > 1 && source[0] == L'*' && digits > 1 && digits != std::wstring::npos &&
        source.compare(digits, 4, L"\\??\\") == 0)
        return source.substr(digits);
    return source;
}

std::wstring PendingPath(const std::wstring &text)
{
    std::wstring path = WithoutPendingMarker(text);
    if (path.compare(0, 1, L"!") == 0)
        path.erase(0, 1);  // a rename that may replace its target
    if (path.compare(0, 4, L"\\??\\") == 0)
        path.erase(0, 4);
    return path;
}
