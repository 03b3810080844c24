#include "judge/ShortcutFile.h"

#include "data/PathText.h"
#include "look/Environment.h"

#include <string.h>

// The link flags of the shell link header, as [MS-SHLLINK] lays them out.
enum LinkFlag {
    HasLinkTargetIDList = 0x1, HasLinkInfo = 0x2, HasName = 0x4, HasArguments = 0x20, HasIconLocation = 0x40, IsUnicode = 0x80,
    ForceNoLinkInfo = 0x100, HasExpString = 0x200
};

// Little-endian, only when the bytes are all there.
static bool NumberAt(const std::string &bytes, size_t at, size_t width, DWORD *number)
{
    if (at > bytes.size() || bytes.size() - at < width)
        return false;
    *number = 0;
    for (size_t i = 0; i < width; i++)
        *number |= (DWORD)(unsigned char)bytes[at + i] << (8 * i);
    return true;
}

// The target a shell link names: its expandable target, else the local path of its LinkInfo.
// The LinkInfo block at *at: the local path it holds, when it holds one. False when damaged.
static bool LocalPathOfLinkInfo(const std::string &bytes, DWORD flags, size_t *at, std::wstring *local)
{
    DWORD size = 0, infoHeaderSize = 0, infoFlags = 0, baseAt = 0, suffixAt = 0;
    if (!NumberAt(bytes, *at, 4, &size) || size < 0x1C || size > bytes.size() - *at)
        return false;
    size_t start = *at, end = start + size;
    NumberAt(bytes, start + 4, 4, &infoHeaderSize);
    NumberAt(bytes, start + 8, 4, &infoFlags);
    bool wide = infoHeaderSize >= 0x24 && size >= 0x24;
    NumberAt(bytes, start + (wide ? 0x1C : 0x10), 4, &baseAt);
    NumberAt(bytes, start + (wide ? 0x20 : 0x18), 4, &suffixAt);
    std::wstring suffix;
    if ((infoFlags & 1) && !(flags & ForceNoLinkInfo)) {
        if (!TextAt(bytes, start + baseAt, end, wide, local) || !TextAt(bytes, start + suffixAt, end, wide, &suffix))
            return false;
        if (!suffix.empty() && !local->empty() && local->back() != L'\\')
            *local += L'\\';
        *local += suffix;
    }
    *at = end;
    return true;
}

// The extra data blocks from at: the expandable target's, when the flags promise one. False when damaged.
static bool ExpandableTarget(const std::string &bytes, DWORD flags, size_t at, std::wstring *expandable)
{
    // Extra data blocks until the terminal block, smaller than any block.
    while (at < bytes.size()) {
        DWORD size = 0, signature = 0;
        if (!NumberAt(bytes, at, 4, &size))
            return false;
        if (size < 4)
            break;
        if (size < 8 || size > bytes.size() - at)
            return false;
        NumberAt(bytes, at + 4, 4, &signature);
        if ((flags & HasExpString) && signature == 0xA0000001 && size >= 0x314) {
            TextAt(bytes, at + 0x10C, at + 0x314, true, expandable);
            if (expandable->empty())
                TextAt(bytes, at + 8, at + 0x10C, false, expandable);
            break;
        }
        at += size;
    }
    // An empty one: the block the flag promises is cut off.
    return !(flags & HasExpString) || !expandable->empty();
}

bool ShortcutTarget(const std::string &bytes, std::wstring *target, std::wstring *arguments)
{
    static const unsigned char LinkClsid[16] = {1, 0x14, 2, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    DWORD headerSize = 0, flags = 0, size = 0;
    if (!NumberAt(bytes, 0, 4, &headerSize) || headerSize != 0x4C || bytes.size() < 0x4C
        || memcmp(bytes.data() + 4, LinkClsid, sizeof LinkClsid) != 0 || !NumberAt(bytes, 20, 4, &flags))
        return false;
    size_t at = 0x4C;
    if (flags & HasLinkTargetIDList) {
        if (!NumberAt(bytes, at, 2, &size))
            return false;
        at += 2 + size;
    }
    std::wstring local, expandable;
    if ((flags & HasLinkInfo) && !LocalPathOfLinkInfo(bytes, flags, &at, &local))
        return false;
    size_t unit = (flags & IsUnicode) ? 2 : 1;
    // The strings only lie between LinkInfo and the extra data.
    for (DWORD flag = HasName; flag <= HasIconLocation; flag <<= 1) {
        if (!(flags & flag))
            continue;
        if (!NumberAt(bytes, at, 2, &size) || size * unit > bytes.size() - at - 2)
            return false;
        if (flag == HasArguments)
            *arguments = unit == 2 ? WideOfUnits(bytes.data() + at + 2, size) : WideOfCodePage(CP_ACP, bytes.data() + at + 2, size);
        at += 2 + size * unit;
    }
    if (!ExpandableTarget(bytes, flags, at, &expandable))
        return false;
    *target = expandable.empty() ? local : ExpandedText(expandable);
    return !target->empty();
}
