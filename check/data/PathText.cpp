#include "data/PathText.h"

std::wstring Folded(const std::wstring &text)
{
    std::wstring folded = text;
    if (!folded.empty())
        CharUpperBuffW(&folded[0], (DWORD)folded.size());
    return folded;
}

// Ordinal, without regard to case: as the file system and the registry match names.
static int CompareFolded(const wchar_t *left, size_t leftLength, const wchar_t *right, size_t rightLength)
{
    int result = CompareStringOrdinal(left, (int)leftLength, right, (int)rightLength, TRUE);
    return result == CSTR_LESS_THAN ? -1 : result == CSTR_GREATER_THAN ? 1 : 0;
}

bool SameText(const std::wstring &left, const std::wstring &right)
{
    return left.size() == right.size() && CompareFolded(left.data(), left.size(), right.data(), right.size()) == 0;
}

bool IsInside(const std::wstring &path, const std::wstring &folder)
{
    return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == L'\\'
        && CompareFolded(path.data(), folder.size(), folder.data(), folder.size()) == 0;
}

bool IsAtOrInside(const std::wstring &path, const std::wstring &folder)
{
    return SameText(path, folder) || IsInside(path, folder);
}

std::wstring ParentOf(const std::wstring &path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::vector<std::wstring> PathParts(const std::wstring &path)
{
    std::vector<std::wstring> parts;
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos)
            end = path.size();
        parts.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

std::wstring LeafOf(const std::wstring &path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::wstring &text, const std::wstring &end)
{
    return text.size() >= end.size()
        && CompareFolded(text.data() + text.size() - end.size(), end.size(), end.data(), end.size()) == 0;
}

std::wstring FileApiPath(const std::wstring &path)
{
    // Room for the "\\*" a listing adds and a name of 8.3.
    if (path.size() < MAX_PATH - 14 || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

HKEY SplitKeyPath(const std::wstring &keyPath, std::wstring *subkey)
{
    static const struct { const wchar_t *Name; HKEY Root; } roots[] = {
        {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKCU", HKEY_CURRENT_USER}};
    for (size_t i = 0; i < sizeof roots / sizeof roots[0]; i++) {
        std::wstring name = roots[i].Name;
        if (SameText(keyPath, name)) {
            subkey->clear();
            return roots[i].Root;
        }
        if (IsInside(keyPath, name)) {
            *subkey = keyPath.substr(name.size() + 1);
            return roots[i].Root;
        }
    }
    return NULL;
}

std::wstring KeyPlace(const std::wstring &keyPath)
{
    static const std::wstring Software = L"HKLM\\SOFTWARE", Wow = L"HKLM\\SOFTWARE\\WOW6432Node";
    // Where 64-bit Windows keeps the 32-bit view of the classes, the machine's and the user's.
    static const std::wstring Classes[] = {L"HKLM\\SOFTWARE\\Classes", L"HKCU\\Software\\Classes"};
    for (const std::wstring &classes : Classes)
        if (IsAtOrInside(keyPath, classes + L"\\WOW6432Node"))
            return classes + keyPath.substr(classes.size() + 12) + L" (32-bit view)";
    if (IsAtOrInside(keyPath, Wow))
        return Software + keyPath.substr(Wow.size()) + L" (32-bit view)";
    if (IsInside(keyPath, Software))
        return keyPath + L" (64-bit view)";
    return keyPath;
}

int ComparePlaces(const std::wstring &leftPath, const std::wstring &leftName, bool leftIsValue,
                  const std::wstring &rightPath, const std::wstring &rightName, bool rightIsValue)
{
    // Component by component: a folder's whole subtree comes before its next sibling.
    size_t l = 0, r = 0;
    for (;;) {
        bool leftDone = l > leftPath.size(), rightDone = r > rightPath.size();
        if (leftDone || rightDone) {
            if (!leftDone || !rightDone)
                return leftDone ? -1 : 1;
            break;
        }
        size_t leftEnd = leftPath.find(L'\\', l), rightEnd = rightPath.find(L'\\', r);
        if (leftEnd == std::wstring::npos)
            leftEnd = leftPath.size();
        if (rightEnd == std::wstring::npos)
            rightEnd = rightPath.size();
        int result = CompareFolded(leftPath.data() + l, leftEnd - l, rightPath.data() + r, rightEnd - r);
        if (result != 0)
            return result;
        l = leftEnd + 1;
        r = rightEnd + 1;
    }
    if (leftIsValue != rightIsValue)
        return leftIsValue ? 1 : -1;  // the key before its values
    return leftIsValue ? CompareFolded(leftName.data(), leftName.size(), rightName.data(), rightName.size()) : 0;
}

std::wstring WideOfUnits(const char *bytes, size_t units)
{
    std::wstring text(units, L'\0');
    if (units > 0)
        memcpy(&text[0], bytes, units * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::wstring WideOfCodePage(UINT codePage, const char *bytes, size_t count)
{
    int length = count == 0 ? 0 : MultiByteToWideChar(codePage, 0, bytes, (int)count, NULL, 0);
    if (length <= 0)
        return L"";
    std::wstring text(length, L'\0');
    MultiByteToWideChar(codePage, 0, bytes, (int)count, &text[0], length);
    return text.substr(0, text.find(L'\0'));
}

std::wstring Number(unsigned long long value)
{
    wchar_t text[32];
    _snwprintf(text, 32, L"%I64u", value);
    return text;
}

std::wstring Seconds(unsigned long long ms)
{
    wchar_t text[40];
    _snwprintf(text, 40, L"%I64u.%02I64u", ms / 1000, (ms % 1000) / 10);
    return text;
}

// A null-terminated text that starts at `at` and ends before `end`.
bool TextAt(const std::string &bytes, size_t at, size_t end, bool wide, std::wstring *text)
{
    size_t unit = wide ? 2 : 1;
    for (size_t i = at; i + unit <= end; i += unit)
        if (bytes[i] == 0 && (!wide || bytes[i + 1] == 0)) {
            *text = wide ? WideOfUnits(bytes.data() + at, (i - at) / 2) : WideOfCodePage(CP_ACP, bytes.data() + at, i - at);
            return true;
        }
    return false;
}
