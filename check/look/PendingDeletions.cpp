#include "look/PendingDeletions.h"

#include "Pending.h"

std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> strings = ReadPendingStrings(), pending;
    for (size_t i = 0; i < strings.size(); i += 2)
        if (i + 1 < strings.size() && strings[i + 1].empty())
            pending.push_back(PendingPath(strings[i]));
    return pending;
}
