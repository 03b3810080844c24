#include "judge/Reinstall.h"

#include "tell/JsonReport.h"
#include "tell/Report.h"

bool InstalledAgain(const ReinstallRecord &record)
{
    return record.Started && !record.TimedOut && record.ExitCode == 0;
}

std::vector<size_t> PlacesHeld(const std::vector<Change> &changes, const std::vector<bool> &present,
                               const std::vector<Entry> &now)
{
    std::vector<size_t> held;
    for (size_t i = 0; i < changes.size(); i++)
        // What the install removed, a second install cannot remove again.
        if (changes[i].Kind != ChangeRemoved && StateOf(changes[i], present[i], now[i], {}) == LeftThere)
            held.push_back(i);
    return held;
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

std::vector<std::wstring> TakenByRestart(const std::vector<std::wstring> &pendingPaths,
                                         const std::vector<Entry> &present)
{
    std::vector<bool> there(present.size(), true);
    std::vector<std::wstring> taken;
    for (size_t p = 0; p < pendingPaths.size(); p++)
        for (size_t i = 0; i < present.size(); i++) {
            if (!there[i] || !SameText(present[i].Path, pendingPaths[p]))
                continue;
            bool empty = true;
            for (size_t j = 0; present[i].Kind == EntryFolder && j < present.size() && empty; j++)
                empty = !there[j] || !IsInside(present[j].Path, present[i].Path);
            if (empty) {
                there[i] = false;
                taken.push_back(present[i].Path);
            }
        }
    return taken;
}

std::vector<Entry> HeldFilesAndFolders(const std::vector<Change> &changes, const std::vector<size_t> &held)
{
    std::vector<Entry> places;
    for (size_t i = 0; i < held.size(); i++) {
        const Entry &place = changes[held[i]].Place();
        if (place.Kind == EntryFile || place.Kind == EntryFolder)
            places.push_back(place);
    }
    return places;
}

static std::wstring PendingFix(InstallerKind kind)
{
    return kind == KindNsis ? L" (examples/nsis/PendingDeletions.nsh does it)"
         : kind == KindInno ? L" (in [Code], as examples/inno/Orbel.iss does)"
                            : L"";
}

std::wstring TakenProblem(const std::vector<std::wstring> &taken, InstallerKind kind, bool afterRestart)
{
    std::wstring list;
    bool uninstaller = false;
    for (size_t i = 0; i < taken.size(); i++) {
        list += (i == 0 ? L"" : i + 1 == taken.size() ? L" and " : L", ") + taken[i];
        uninstaller = uninstaller || SameText(LeafOf(taken[i]), L"Kestrane.exe");
    }
    return std::wstring(afterRestart ? L"the restart deleted " : L"installed again after the uninstall and before the "
                                                                 L"restart, as a user may do, the application loses ")
        + list + (afterRestart ? L" of the installation made again before it" : L" at the restart")
        + L": the deletions the uninstall registered still wait for the restart, and take the new installation's "
          L"files" + (uninstaller ? L", so its uninstall entry then starts a program that is gone" : L"")
        + L". Before installing, take the folder's entries out of PendingFileRenameOperations" + PendingFix(kind)
        + L", or ask for the restart first";
}

std::string JudgeNewInstallation(const ReinstallRecord &again, const std::vector<std::wstring> &gone,
                                 InstallerKind kind)
{
    if (gone.empty()) {
        Say(L"   The installation made again before the restart is whole: its " + Number(again.Held.size())
            + L" place(s) are all there.");
        if (!again.Taken.empty()) {
            Say(L"   The restart deleted none of the " + Number(again.Taken.size())
                + L" place(s) foreseen: that problem is not counted.");
            WithdrawProblem(TakenProblem(again.Taken, kind, false));
        }
    } else if (!again.Taken.empty()) {
        Say(L"   As foreseen, " + TakenProblem(gone, kind, true));
    } else {
        Finding(VerdictProblem, TakenProblem(gone, kind, true), L"A reinstall before the restart");
    }
    return JsonNewInstallation(again.Held.size(), gone);
}
