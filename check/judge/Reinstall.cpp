#include "judge/Reinstall.h"

#include "judge/Verdicts.h"

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

void JudgeNewInstallation(const ReinstallRecord &again, const std::vector<std::wstring> &gone, InstallerKind kind, Said *said)
{
    if (gone.empty()) {
        Show(said, L"   The installation made again before the restart is whole: its " + Number(again.Held.size())
            + L" place(s) are all there.");
        if (!again.Taken.empty()) {
            Show(said, L"   The restart deleted none of the " + Number(again.Taken.size())
                + L" place(s) foreseen: that problem is not counted.");
            Withdraw(said, TakenProblem(again.Taken, kind, false));
        }
    } else if (!again.Taken.empty()) {
        Show(said, L"   As foreseen, " + TakenProblem(gone, kind, true));
    } else {
        Find(said, VerdictProblem, TakenProblem(gone, kind, true), SectionReinstall);
    }
}

void JudgeReinstall(const ReinstallRecord &again, DWORD limitSeconds, InstallerKind kind, Said *said)
{
    if (again.TimedOut)
        Find(said, VerdictProblem, L"the installer, started again after the uninstall, did not end within "
             + Number(limitSeconds) + L" s (--limit)", SectionReinstall);
    else if (InstalledAgain(again) && !again.Taken.empty())
        Find(said, VerdictProblem, TakenProblem(again.Taken, kind, false), SectionReinstall);
}

std::vector<std::wstring> GoneOfNewInstallation(const std::vector<Change> &changes, const ReinstallRecord &again,
                                                const std::vector<size_t> &heldNow)
{
    std::vector<bool> held(changes.size(), false);
    for (size_t i : heldNow)
        held[i] = true;
    std::vector<std::wstring> gone;
    for (size_t i : again.Held)
        if (!held[i])
            gone.push_back(EntryPlace(changes[i].Place()));
    return gone;
}
