#include "judge/Findings.h"

#include "judge/ArgumentText.h"
#include "judge/Products.h"
#include "app/Run.h"
#include "target/Target.h"

#include <set>


static const wchar_t UninstallKey[] = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const wchar_t UninstallKey32[] = L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

static bool IsKestraneCommand(const std::wstring &commandLine)
{
    std::wstring program = Folded(commandLine);
    if (!program.empty() && program[0] == L'"')
        program = program.substr(1, program.find(L'"', 1) - 1);
    static const std::wstring exe = L"\\KESTRANE.EXE";
    size_t at = program.find(exe);
    return at != std::wstring::npos
        && (at + exe.size() == program.size() || program[at + exe.size()] == L' ');
}

static const Change *AddedValue(const std::vector<Change> &changes, const std::wstring &keyPath, const wchar_t *name)
{
    for (size_t i = 0; i < changes.size(); i++) {
        const Entry &entry = changes[i].After;
        if (changes[i].Kind == ChangeAdded && entry.Kind == EntryValue && SameText(entry.Path, keyPath)
            && SameText(entry.Name, name))
            return &changes[i];
    }
    return NULL;
}

static const Change *AddedValue(const Inspection &in, const std::wstring &keyPath, const wchar_t *name)
{
    return AddedValue(in.Changes, keyPath, name);
}

static std::wstring EntryString(const std::vector<Change> &changes, const std::wstring &keyPath, const wchar_t *name,
                                DWORD *type)
{
    const Change *value = AddedValue(changes, keyPath, name);
    *type = value != NULL ? value->After.Type : REG_NONE;
    return value != NULL ? ValueString(value->After) : L"";
}

static std::wstring EntryString(const Inspection &in, const std::wstring &keyPath, const wchar_t *name, DWORD *type)
{
    return EntryString(in.Changes, keyPath, name, type);
}

// The entry Kestrane is started from: the new key under Uninstall whose UninstallString
// starts a Kestrane.exe, from the 64-bit view when both have one. A product the installer
// chained is its own group, never another entry.
static size_t FindEntry(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                        std::vector<size_t> *others)
{
    size_t chosen = (size_t)-1;
    for (size_t g = 0; g < groups.size(); g++) {
        const Change &head = changes[groups[g].Head];
        if (head.Kind != ChangeAdded || head.After.Kind != EntryKey || !groups[g].Product.empty())
            continue;
        std::wstring parent = ParentOf(head.After.Path);
        if (!SameText(parent, UninstallKey) && !SameText(parent, UninstallKey32))
            continue;
        DWORD type;
        std::wstring command = EntryString(changes, head.After.Path, L"UninstallString", &type);
        bool in64 = SameText(parent, UninstallKey);
        bool better = type == REG_SZ && IsKestraneCommand(command)
            && (chosen == (size_t)-1
                || (in64 && SameText(ParentOf(changes[groups[chosen].Head].After.Path), UninstallKey32)));
        if (better && chosen != (size_t)-1)
            others->push_back(chosen);
        if (better)
            chosen = g;
        else
            others->push_back(g);
    }
    return chosen;
}

void GroupInstallChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups)
{
    GroupChanges(changes, groups);
    std::vector<size_t> others;
    size_t own = FindEntry(changes, *groups, &others);
    if (own != (size_t)-1)
        GroupChainedProducts(changes, changes[(*groups)[own].Head].After.Path, groups);
}

static bool WasAdded(const Inspection &in, const std::wstring &path)
{
    for (size_t i = 0; i < in.Changes.size(); i++)
        if (in.Changes[i].Kind == ChangeAdded && in.Changes[i].After.Kind != EntryValue
            && SameText(in.Changes[i].After.Path, path))
            return true;
    return false;
}

static std::wstring Items(size_t count) { return Number(count) + (count == 1 ? L" item" : L" items"); }

// The names of the added subkeys of keyPath, one level down.
static std::wstring SubkeysOf(const Inspection &in, const std::wstring &keyPath, size_t *count)
{
    std::wstring names;
    *count = 0;
    for (size_t i = 0; i < in.Changes.size(); i++) {
        const Entry &entry = in.Changes[i].After;
        if (in.Changes[i].Kind == ChangeAdded && entry.Kind == EntryKey && SameText(ParentOf(entry.Path), keyPath)) {
            names += (names.empty() ? L"`" : L", `") + LeafOf(entry.Path) + L"`";
            ++*count;
        }
    }
    return names;
}

// What Kestrane composes for the application the entry names, and what the install made of it.
struct Layout {
    bool Composed;
    UninstallTarget Target;
    std::wstring EntryKey, AppDir, ExpectedExe, SettingsKey, ProgramsLink, DesktopLink;
    bool FolderIn32;
    std::set<size_t> Explained;  // groups a finding already stands for
};

static void SayEntry(const Inspection &in, const ChangeGroup &entry, const std::wstring &entryKey, Said *said)
{
    Show(said, L"   the uninstall entry " + KeyPlace(entryKey) + L":");
    for (size_t i = 0; i < entry.Members.size(); i++) {
        const Entry &value = in.Changes[entry.Members[i]].After;
        if (value.Kind == EntryValue && SameText(value.Path, entryKey))
            Show(said, L"     " + (value.Name.empty() ? std::wstring(L"(default)") : value.Name) + L"  "
                + ValueText(value.Type, value.Data, false));
    }
}

static void CheckEntryView(const Inspection &in, const Layout &layout, const std::vector<size_t> &others, Said *said)
{
    if (SameText(ParentOf(layout.EntryKey), UninstallKey32))
        Find(said, VerdictProblem, L"the uninstall entry `" + in.AppName + L"` is in the 32-bit registry view, where "
                L"Kestrane never looks (" + RegistryViewFix(in.Kind, in.Machine) + L")", SectionThirtyTwoBit);
    else
        Find(said, VerdictOk, L"the uninstall entry `" + in.AppName + L"` is in the 64-bit registry view", SectionLayout);
    for (size_t i = 0; i < others.size(); i++)
        Find(said, VerdictProblem, L"the uninstall entry " + EntryPlace(in.Changes[in.Groups[others[i]].Head].After)
                + L" survives the uninstall: Kestrane removes only the entry of its own application", SectionLayout);
}

static void ComposeLayout(const Inspection &in, const std::wstring &entryKey, Layout *layout)
{
    layout->EntryKey = entryKey;
    std::wstring entryArguments = in.AppName + L"/NULL";
    wchar_t running[RunningTextSize], confirm[MAX_PATH];
    ZeroMemory(&Target, sizeof Target);
    layout->Composed = AcceptArgumentText(entryArguments.c_str(), running, confirm) == ArgumentsOk
        && ResolveTargetPaths() == ResolveOk;
    layout->Target = Target;
    layout->AppDir = layout->Composed ? layout->Target.AppDir : in.Folders.ProgramFiles + L"\\" + in.AppName;
    layout->ExpectedExe = layout->Composed ? layout->Target.UninstallerExePath : layout->AppDir + L"\\Kestrane.exe";
    layout->SettingsKey = L"HKCU\\Software\\" + in.AppName;
    layout->ProgramsLink = layout->Composed ? layout->Target.StartMenuShortcutPath : L"";
    layout->DesktopLink = layout->Composed ? layout->Target.DesktopShortcutPath : L"";
}

// An application folder in the 32-bit Program Files folder is one mistake, whatever follows from it.
static void CheckFolderView(const Inspection &in, Layout *layout, Said *said)
{
    std::wstring folder32 = in.Folders.ProgramFilesX86 + L"\\" + in.AppName;
    layout->FolderIn32 = !WasAdded(in, layout->AppDir) && !in.Folders.ProgramFilesX86.empty()
        && !SameText(in.Folders.ProgramFilesX86, in.Folders.ProgramFiles) && WasAdded(in, folder32);
    if (!layout->FolderIn32)
        return;
    Find(said, VerdictProblem, L"the application folder is " + folder32 + L", in the 32-bit Program Files folder: "
            L"Kestrane removes " + layout->AppDir + L", so install into the 64-bit Program Files folder, "
            + in.Folders.ProgramFiles
            + (ProgramFilesFix(in.Kind).empty() ? std::wstring() : L" (" + ProgramFilesFix(in.Kind) + L")"),
            SectionThirtyTwoBit);
    for (size_t g = 0; g < in.Groups.size(); g++)
        if (SameText(in.Changes[in.Groups[g].Head].Place().Path, folder32)) {
            Also(said, folder32 + L" and its " + Items(in.Groups[g].Members.size() - 1) + L" survive the uninstall");
            layout->Explained.insert(g);
        }
}

static void CheckFolderContents(const Inspection &in, const Layout &layout, Said *said)
{
    if (!WasAdded(in, layout.AppDir)) {
        if (!layout.FolderIn32)
            Find(said, VerdictProblem, L"the application folder " + layout.AppDir + L" was not made", SectionLayout);
        return;
    }
    std::wstring kept[] = {layout.Composed ? layout.Target.AppExePath : layout.AppDir + L"\\" + in.AppName + L".exe",
                           layout.Composed ? layout.Target.AppHelpPath : layout.AppDir + L"\\" + in.AppName + L".chm",
                           layout.ExpectedExe};
    for (size_t i = 0; i < 3; i++) {
        if (WasAdded(in, kept[i]))
            Find(said, VerdictOk, kept[i] + L" is installed", SectionLayout);
        else if (i == 2)
            Find(said, VerdictProblem, kept[i] + L" is not installed: the uninstall entry starts nothing", SectionLayout);
        else
            Find(said, VerdictOk, kept[i] + L" is not installed: nothing of that name to remove", SectionLayout);
    }
    for (size_t i = 0; i < in.Changes.size(); i++) {
        const Entry &file = in.Changes[i].After;
        if (in.Changes[i].Kind != ChangeAdded || file.Kind == EntryValue || file.Kind == EntryKey
            || !SameText(ParentOf(file.Path), layout.AppDir))
            continue;
        bool removed = false;
        for (size_t k = 0; k < 3; k++)
            removed = removed || SameText(file.Path, kept[k]);
        if (!removed)
            Find(said, VerdictProblem, file.Path + L" survives the uninstall: Kestrane removes only " + in.AppName
                    + L".exe, " + in.AppName + L".chm and Kestrane.exe from the folder, which then stays too",
                    SectionNeverTouched);
    }
}

static void CheckShortcuts(const Inspection &in, const Layout &layout, Said *said)
{
    std::wstring links[] = {layout.ProgramsLink, layout.DesktopLink};
    for (size_t i = 0; i < 2 && layout.Composed; i++)
        Find(said, VerdictOk, L"the shortcut " + links[i]
                + (WasAdded(in, links[i]) ? L" is installed" : L" is not installed: nothing of that name to remove"),
                SectionLayout);
}

// The two keys Kestrane deletes must be flat.
static void CheckFlatKeys(const Inspection &in, const Layout &layout, Said *said)
{
    size_t count = 0;
    bool flat = true;
    std::wstring names = SubkeysOf(in, layout.EntryKey, &count);
    if (count > 0) {
        flat = false;
        Find(said, VerdictProblem, L"the uninstall entry has the subkey(s) " + names + L": Kestrane cannot delete it ("
                + Quoted(MsgRegistry) + L"), so put them elsewhere", SectionNeverTouched);
    }
    names = SubkeysOf(in, layout.SettingsKey, &count);
    if (count > 0) {
        flat = false;
        Find(said, VerdictProblem, layout.SettingsKey + L" has the subkey(s) " + names + L": Kestrane cannot delete it ("
                + Quoted(MsgRegistry) + L") after the uninstall entry is already gone, so keep the settings flat",
                SectionNeverTouched);
    }
    if (flat)
        Find(said, VerdictOk, L"the uninstall entry and " + layout.SettingsKey + L" have no subkeys", SectionNeverTouched);
}

static void CheckEntryValues(const Inspection &in, const Layout &layout, Said *said)
{
    bool valuesOk = true;
    const wchar_t *named[] = {L"DisplayName", L"DisplayIcon"};
    for (size_t i = 0; i < 2; i++)
        if (AddedValue(in, layout.EntryKey, named[i]) == NULL) {
            valuesOk = false;
            Find(said, VerdictProblem, std::wstring(L"the uninstall entry has no ") + named[i], SectionEntry);
        }
    const wchar_t *flags[] = {L"NoModify", L"NoRepair"};
    for (size_t i = 0; i < 2; i++) {
        const Change *value = AddedValue(in, layout.EntryKey, flags[i]);
        DWORD one = 1;
        if (value == NULL || value->After.Type != REG_DWORD || value->After.Data != std::string((const char *)&one, 4)) {
            valuesOk = false;
            Find(said, VerdictProblem, std::wstring(L"the uninstall entry has no ") + flags[i] + L" of REG_DWORD 1: "
                    L"Windows' list offers a button Kestrane does not answer", SectionEntry);
        }
    }
    if (AddedValue(in, layout.EntryKey, L"QuietUninstallString") != NULL) {
        valuesOk = false;
        Find(said, VerdictProblem, L"the uninstall entry has a QuietUninstallString: Kestrane has no silent mode",
                SectionEntry);
    }
    if (valuesOk)
        Find(said, VerdictOk, L"the uninstall entry has DisplayName, DisplayIcon, NoModify and NoRepair, and no "
                L"QuietUninstallString", SectionEntry);
}

// What Kestrane removes by itself: the folder, its two shortcuts and its settings key.
static bool KestraneRemoves(const Change &head, const Layout &layout)
{
    const Entry &place = head.Place();
    bool isFile = place.Kind == EntryFile || place.Kind == EntryFolder;
    return (head.Kind == ChangeAdded && isFile
            && (SameText(place.Path, layout.AppDir) || SameText(place.Path, layout.ProgramsLink)
                || SameText(place.Path, layout.DesktopLink)))
        || (place.Kind != EntryFile && place.Kind != EntryFolder && SameText(place.Path, layout.SettingsKey));
}

static void SayRemovedByInstaller(const Change &head, const ChangeGroup &group, Said *said)
{
    const Entry &place = head.Place();
    size_t inside = group.Members.size() - 1;
    Find(said, VerdictProblem, EntryPlace(place) + (inside > 0 ? L" (with " + Items(inside) + L" in it)" : L"")
            + L" was there before the install, and the installer deleted it: no uninstall brings it back",
            SectionNeverTouched);
}

static bool Emptied(const Change &head)
{
    const Entry &was = head.Before, &now = head.After;
    if (was.Kind == EntryFile)
        return was.Size > 0 && now.Size == 0;
    return was.Kind == EntryValue && !ValueString(was).empty() && ValueString(now).empty();
}

static void SayChangedByInstaller(const Change &head, Said *said)
{
    const Entry &place = head.Place();
    if (place.Kind == EntryFile) {
        Find(said, VerdictProblem, place.Path + L", which was there before the install, was "
                + (Emptied(head) ? std::wstring(L"emptied") : L"changed") + L" by the installer (its size was "
                + Number(head.Before.Size) + L" bytes, now " + Number(head.After.Size) + L"), and stays changed after "
                L"the uninstall: Kestrane restores no file", SectionNeverTouched);
        return;
    }
    std::vector<std::wstring> parts = AddedListParts(head);
    // An installer that overwrites a list takes out what was there: the user loses it.
    std::vector<std::wstring> taken = AddedListParts(Change{ChangeChanged, head.After, head.Before});
    std::wstring what, out;
    for (size_t i = 0; i < parts.size(); i++)
        what += (what.empty() ? L"`" : L", `") + parts[i] + L"`";
    for (size_t i = 0; i < taken.size(); i++)
        out += (out.empty() ? L", and took out `" : L", `") + taken[i] + L"`";
    std::wstring how = !what.empty() ? L" (it added " + what + out + L")"
        : head.Before.Hashed || head.After.Hashed ? std::wstring(L"")
        : L" from " + ValueText(head.Before.Type, head.Before.Data, true) + L" to "
              + ValueText(head.After.Type, head.After.Data, true);
    Find(said, VerdictProblem, EntryPlace(place) + L", " + (Emptied(head) ? L"emptied" : L"changed") + L" by the installer"
            + how + L", stays changed after the uninstall: Kestrane restores no value", SectionNeverTouched);
}

static void SayAddedFiles(const Inspection &in, const ChangeGroup &group, Said *said)
{
    const Entry &place = in.Changes[group.Head].Place();
    std::wstring links, inside;
    for (size_t i = 0; i < group.Members.size(); i++) {
        const std::wstring &path = in.Changes[group.Members[i]].After.Path;
        if (EndsWith(path, L".lnk"))
            links += (links.empty() ? L"" : L", ") + LeafOf(path);
    }
    if (place.Kind == EntryFolder)
        inside = L" (a folder with " + Items(group.Members.size() - 1) + L" in it)";
    if (!group.Pattern.empty()) {
        Find(said, VerdictProblem, group.Pattern + L" (" + Number(group.Members.size()) + L" files named so) survive the uninstall: Kestrane removes nothing outside the application folder "
                L"but its two shortcuts", SectionNeverTouched);
        return;
    }
    if (!links.empty())
        Find(said, VerdictProblem, (place.Kind == EntryFolder ? L"the folder " + place.Path + L" with "
                                                             + (group.Members.size() == 2 ? L"the shortcut " + links
                                                                : Items(group.Members.size() - 1) + L" in it, "
                                                                  L"shortcuts among them,")
                                                           : L"the shortcut " + place.Path)
                + L" survives the uninstall: Kestrane removes " + in.AppName + L".lnk only directly in the "
                  L"per-user Programs folder and on the per-user desktop", SectionNeverTouched);
    else
        Find(said, VerdictProblem, place.Path + inside + L" survives the uninstall: Kestrane removes nothing "
                L"outside the application folder but its two shortcuts", SectionNeverTouched);
}

// Everything else the install added, changed or deleted stays after the uninstall.
static void CheckEverythingElse(const Inspection &in, const Layout &layout, Said *said)
{
    for (size_t g = 0; g < in.Groups.size(); g++) {
        const ChangeGroup &group = in.Groups[g];
        const Change &head = in.Changes[group.Head];
        const Entry &place = head.Place();
        if (layout.Explained.count(g) || KestraneRemoves(head, layout))
            continue;
        if (head.Kind == ChangeRemoved)
            SayRemovedByInstaller(head, group, said);
        else if (head.Kind == ChangeChanged)
            SayChangedByInstaller(head, said);
        else if (place.Kind == EntryValue)
            Find(said, VerdictProblem, EntryPlace(place) + L", added by the installer, survives the uninstall: Kestrane "
                    L"removes no value but those of the two keys it deletes", SectionNeverTouched);
        else if (place.Kind == EntryKey)
            Find(said, VerdictProblem, KeyPlace(place.Path) + L" survives the uninstall: Kestrane removes no key but the "
                    L"uninstall entry and " + layout.SettingsKey, SectionNeverTouched);
        else
            SayAddedFiles(in, group, said);
    }
}

void InspectInstallation(Inspection *in, const MachineReader &machine, Said *said)
{
    std::vector<size_t> others;
    size_t entryGroup = FindEntry(in->Changes, in->Groups, &others);
    in->HasEntry = entryGroup != (size_t)-1;
    if (!in->HasEntry) {
        Find(said, VerdictProblem, L"the installer added no uninstall entry whose UninstallString, a REG_SZ, starts a "
                L"Kestrane.exe", SectionEntry);
        return;
    }
    const ChangeGroup &entry = in->Groups[entryGroup];
    const std::wstring entryKey = in->Changes[entry.Head].After.Path;
    in->AppName = LeafOf(entryKey);
    DWORD type;
    in->UninstallString = EntryString(*in, entryKey, L"UninstallString", &type);
    SayEntry(*in, entry, entryKey, said);

    Layout layout;
    ComposeLayout(*in, entryKey, &layout);
    layout.Explained.insert(others.begin(), others.end());
    layout.Explained.insert(entryGroup);
    CheckEntryView(*in, layout, others, said);
    JudgeChainedProducts(in->Changes, in->Groups, &layout.Explained, said);
    CheckFolderView(*in, &layout, said);
    bool consequenceOnly = false;
    if (type != REG_SZ)
        Find(said, VerdictProblem, L"UninstallString is not REG_SZ", SectionEntry);
    else
        CheckUninstallString(*in, layout.ExpectedExe, layout.FolderIn32, machine, &consequenceOnly, said);
    CheckArgumentText(in, consequenceOnly, said);
    CheckFolderContents(*in, layout, said);
    CheckShortcuts(*in, layout, said);
    CheckFlatKeys(*in, layout, said);
    CheckEntryValues(*in, layout, said);
    CheckEverythingElse(*in, layout, said);
}
