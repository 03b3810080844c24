#include "data/Links.h"

#include "data/PathText.h"

#include <vector>

static unsigned Little(const std::string &bytes, size_t at, size_t size)
{
    unsigned value = 0;
    for (size_t i = size; i-- > 0;)
        value = (value << 8) | (unsigned char)bytes[at + i];
    return value;
}

static std::wstring WideAt(const std::string &bytes, size_t at, size_t size)
{
    std::wstring text(size / 2, L'\0');
    for (size_t i = 0; i < text.size(); i++)
        text[i] = (wchar_t)Little(bytes, at + 2 * i, 2);
    return text;
}

std::wstring WithoutDotParts(const std::wstring &path)
{
    // ".." never climbs above the drive, or above a share's server and share name.
    bool share = path.compare(0, 2, L"\\\\") == 0;
    std::wstring rest = share ? path.substr(2) : path;
    size_t root = share ? 2 : 1;
    std::vector<std::wstring> parts;
    for (size_t at = 0; at <= rest.size();) {
        size_t end = rest.find(L'\\', at);
        if (end == std::wstring::npos)
            end = rest.size();
        std::wstring part = rest.substr(at, end - at);
        if (part == L".." && parts.size() > root)
            parts.pop_back();
        else if (!part.empty() && part != L"." && part != L"..")
            parts.push_back(part);
        at = end + 1;
    }
    std::wstring joined = share ? L"\\\\" : L"";
    for (size_t i = 0; i < parts.size(); i++)
        joined += (i ? L"\\" : L"") + parts[i];
    return joined;
}

// "\??\C:\x" is the object manager's name of C:\x; "\??\UNC\server\share" of \\server\share.
static std::wstring FromObjectName(const std::wstring &name)
{
    if (name.compare(0, 8, L"\\??\\UNC\\") == 0)
        return L"\\\\" + name.substr(8);
    return name.compare(0, 4, L"\\??\\") == 0 ? name.substr(4) : name;
}

bool ParseReparseData(const std::string &bytes, const std::wstring &linkPath, LinkRead *link)
{
    // The tag, the data's length and a reserved word, then the names' offsets and lengths, a
    // symbolic link's flags, and the names themselves.
    if (bytes.size() < 16)
        return false;
    DWORD tag = Little(bytes, 0, 4);
    size_t length = Little(bytes, 4, 2), names = tag == TagSymbolicLink ? 20 : 16;
    if ((tag != TagSymbolicLink && tag != TagJunction) || bytes.size() < names || 8 + length > bytes.size()
        || 8 + length < names)
        return false;
    size_t substituteAt = Little(bytes, 8, 2), substituteSize = Little(bytes, 10, 2);
    size_t printAt = Little(bytes, 12, 2), printSize = Little(bytes, 14, 2);
    size_t end = 8 + length;
    if (substituteAt % 2 || substituteSize % 2 || printAt % 2 || printSize % 2
        || names + substituteAt + substituteSize > end || names + printAt + printSize > end)
        return false;
    // The print name is the target as people read it; some tools leave it empty.
    std::wstring target = printSize > 0 ? WideAt(bytes, names + printAt, printSize)
                                        : FromObjectName(WideAt(bytes, names + substituteAt, substituteSize));
    if (target.empty() || target.find(L'\0') != std::wstring::npos)
        return false;
    bool relative = tag == TagSymbolicLink && (Little(bytes, 16, 4) & 1) != 0;  // SYMLINK_FLAG_RELATIVE
    link->Tag = tag;
    // Relative to the link's folder, or with a leading "\\" to the root of its drive.
    std::wstring base = target[0] == L'\\' ? linkPath.substr(0, 2) : ParentOf(linkPath) + L"\\";
    link->Target = relative ? WithoutDotParts(base + target) : FromObjectName(target);
    return true;
}

std::string LinkData(const LinkRead &link)
{
    std::string data((const char *)&link.Tag, 4);
    return data + std::string((const char *)link.Target.data(), link.Target.size() * sizeof(wchar_t));
}

bool LinkOfData(const std::string &data, LinkRead *link)
{
    if (data.size() < 6 || data.size() % 2 != 0)
        return false;
    DWORD tag = Little(data, 0, 4);
    if (tag != TagSymbolicLink && tag != TagJunction)
        return false;
    link->Tag = tag;
    link->Target = WideAt(data, 4, data.size() - 4);
    return true;
}
