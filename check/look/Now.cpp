#include "look/Now.h"

#include "data/PathText.h"
#include "look/Environment.h"
#include "look/FileWalk.h"
#include "look/Firewall.h"
#include "look/Look.h"
#include "look/Programs.h"

int ProgramThere(const std::wstring &program, const std::vector<std::wstring> &pendingPaths)
{
    // A bare name is found along the Path: no telling here, so never called broken.
    if (program.find(L'\\') == std::wstring::npos)
        return 2;
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        return 0;
    for (size_t i = 0; i < pendingPaths.size(); i++)
        if (SameText(pendingPaths[i], program))
            return 1;
    return 2;
}

const MachineReader &RealMachine()
{
    static const MachineReader machine = {ReadEntryNow, ReadFileStart, ProgramThere, ProgramStartedBy, FirewallHasRule,
                                            ReadFirewallRules, LongPathOf};
    return machine;
}

std::vector<LeftState> StatesNow(const std::vector<Change> &changes, const std::vector<std::wstring> &pendingPaths)
{
    std::vector<LeftState> states;
    for (size_t i = 0; i < changes.size(); i++)
        states.push_back(StateNow(changes[i], pendingPaths));
    return states;
}

LeftState StateNow(const Change &change, const std::vector<std::wstring> &pendingPaths)
{
    Entry now;
    bool present = ReadEntryNow(change.Place(), &now);
    return StateOf(change, present, now, pendingPaths);
}

std::vector<size_t> PlacesHeldNow(const std::vector<Change> &changes)
{
    std::vector<bool> present(changes.size());
    std::vector<Entry> now(changes.size());
    for (size_t i = 0; i < changes.size(); i++)
        if (changes[i].Kind != ChangeRemoved)
            present[i] = ReadEntryNow(changes[i].Place(), &now[i]);
    return PlacesHeld(changes, present, now);
}
