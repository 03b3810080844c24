#include "FakePlatform.h"

#include "judge/Findings.h"
#include "tell/Report.h"
#include "look/Now.h"
#include "look/RunningWindows.h"
#include "target/Target.h"

#include "CheckEntries.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace {

const std::wstring ProgramFilesX86 = L"C:\\Program Files (x86)";
const std::wstring AppDir = ProgramFiles + L"\\Orbel", AppDir32 = ProgramFilesX86 + L"\\Orbel";
const std::wstring Uninstall = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Uninstall32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Entry64 = Uninstall + L"\\Orbel", Entry32 = Uninstall32 + L"\\Orbel";
const std::wstring Settings = L"HKCU\\Software\\Orbel";

Entry File(const std::wstring &path, unsigned long long size = 1)
{
    Entry file = MakeEntry(EntryFile, path);
    file.Size = size;
    return file;
}

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text)
{
    return MakeValue(key, name, REG_SZ, TextData(text));
}

Entry One(const std::wstring &key, const std::wstring &name)
{
    return MakeValue(key, name, REG_DWORD, std::string("\1\0\0\0", 4));
}

const std::vector<Entry> Before = {
    MakeEntry(EntryFolder, ProgramFiles), MakeEntry(EntryFolder, ProgramFilesX86),
    MakeEntry(EntryFolder, L"C:\\ProgramData"), MakeEntry(EntryFolder, Desktop), MakeEntry(EntryFolder, Programs),
    File(L"C:\\Windows\\win.ini", 10),
    File(L"C:\\Windows\\old.dll", 7), MakeEntry(EntryKey, Uninstall), MakeEntry(EntryKey, Uninstall32),
    MakeEntry(EntryKey, L"HKCU\\Software"),
};

// What a right installer adds: the folder and entry may be placed elsewhere.
std::vector<Entry> Installed(const std::wstring &dir = AppDir, const std::wstring &entry = Entry64,
                             std::vector<Entry> more = {})
{
    std::vector<Entry> entries = {
        File(dir + L"\\Orbel.exe"), File(dir + L"\\Kestrane.exe"), Text(entry, L"DisplayName", L"Orbel"),
        Text(entry, L"DisplayIcon", dir + L"\\Orbel.exe"),
        Text(entry, L"UninstallString", L"\"" + dir + L"\\Kestrane.exe\" Orbel/NULL"), One(entry, L"NoModify"),
        One(entry, L"NoRepair"), Text(Settings, L"Language", L"fr"), File(Programs + L"\\Orbel.lnk"),
        File(Desktop + L"\\Orbel.lnk")};
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}


struct Row {
    const char *Name;
    std::vector<Entry> After;  // each replacing what its place held before
    Entry Gone;                // a place the installer deleted, or one it did not make
    int Problems;
    std::wstring Text;         // in one of the findings
    InstallerKind Kind = KindUnknown;  // the fix is said in its words
    std::wstring Machine = L"";        // and by what the installer is: "x86-64" or "x86"
};

const Row Rows[] = {
    {"RightInstaller", Installed(), {}, 0, L"the uninstall entry `Orbel` is in the 64-bit registry view"},
    {"EntryInBothViews", Installed(AppDir, Entry64, Installed(AppDir, Entry32)), {}, 1,
     L"the uninstall entry " + Uninstall + L"\\Orbel (32-bit view) survives the uninstall"},
    {"EntryIn32BitView", Installed(AppDir, Entry32), {}, 1, L"the uninstall entry `Orbel` is in the 32-bit registry"},
    {"SettingsKeyNotFlat", Installed(AppDir, Entry64, {Text(Settings + L"\\Window", L"Left", L"10")}), {}, 1,
     Settings + L" has the subkey(s) `Window`"},
    // One mistake with its consequences: the entry's path and the folder left behind are not counted again.
    {"FolderIn32BitProgramFiles", Installed(AppDir32), {}, 1,
     L"the application folder is " + AppDir32 + L", in the 32-bit Program Files folder"},
    {"UnquotedPathWithBlanks",
     Installed(AppDir, Entry64, {Text(Entry64, L"UninstallString", AppDir + L"\\Kestrane.exe Orbel/NULL")}), {}, 1,
     L"UninstallString holds the path of Kestrane.exe without quotes"},
    // Kestrane itself skips the second blank; the rule asks for one.
    {"TwoBlanksAfterTheQuotedPath",
     Installed(AppDir, Entry64, {Text(Entry64, L"UninstallString", L"\"" + AppDir + L"\\Kestrane.exe\"  Orbel/NULL")}),
     {}, 1, L"UninstallString does not hold exactly one blank between the quoted path and the argument text"},
    {"NoRepairMissing", Installed(), One(Entry64, L"NoRepair"), 1, L"the uninstall entry has no NoRepair of REG_DWORD 1"},
    {"NameHoldsAColonAfterItsStart",
     Installed(AppDir, Entry64, {Text(Entry64, L"UninstallString", L"\"" + AppDir + L"\\Kestrane.exe\" Orbel:2/NULL")}),
     {}, 1, L"the application name `Orbel:2` holds `:`, which no folder name can hold"},
    {"FileOutsideTheFolder", Installed(AppDir, Entry64, {File(L"C:\\ProgramData\\Orbel\\cache.db")}), {}, 1,
     L"C:\\ProgramData\\Orbel (a folder with 1 item in it) survives the uninstall: Kestrane removes nothing outside"},
    {"ChangedFile", Installed(AppDir, Entry64, {File(L"C:\\Windows\\win.ini", 20)}), {}, 1,
     L"C:\\Windows\\win.ini, which was there before the install, was changed by the installer (its size was 10 bytes, "
     L"now 20), and stays changed after the uninstall: Kestrane restores no file"},
    {"DeletedFile", Installed(), File(L"C:\\Windows\\old.dll"), 1,
     L"C:\\Windows\\old.dll was there before the install, and the installer deleted it"},
    {"EntryIn32BitViewByNsis", Installed(AppDir, Entry32), {}, 1, L"(a 32-bit installer needs SetRegView 64)", KindNsis},
    {"EntryIn32BitViewBy32BitNsis", Installed(AppDir, Entry32), {}, 1, L"(a 32-bit installer needs SetRegView 64)",
     KindNsis, L"x86"},
    // A 64-bit installer is not redirected: it chose the 32-bit view itself.
    {"EntryIn32BitViewBy64BitNsis", Installed(AppDir, Entry32), {}, 1,
     L"(a 64-bit installer writes the 64-bit view unless told otherwise: this one chose the 32-bit view, so take out "
     L"its SetRegView 32, and WOW6432Node from the key's path if it names it)", KindNsis, L"x86-64"},
    {"EntryIn32BitViewBy64BitInstaller", Installed(AppDir, Entry32), {}, 1,
     L"this one chose the 32-bit view, so open the key without KEY_WOW64_32KEY, and WOW6432Node from the key's path",
     KindUnknown, L"x86-64"},
    {"EntryIn32BitViewByInno", Installed(AppDir, Entry32), {}, 1, L"(a 32-bit installer needs the registry root HKLM64)",
     KindInno},
    {"FolderIn32BitProgramFilesByInno", Installed(AppDir32), {}, 1,
     L"so install into the 64-bit Program Files folder, " + ProgramFiles + L" ({commonpf64})", KindInno},
    {"FolderIn32BitProgramFilesByNsis", Installed(AppDir32), {}, 1,
     L"so install into the 64-bit Program Files folder, " + ProgramFiles + L" ($PROGRAMFILES64)", KindNsis},
    // A product the installer chained: one finding for its entry, its files and its keys, in place
    // of a line each.
    {"ChainedProduct",
     Installed(AppDir, Entry64, {Text(Uninstall + L"\\OrbelRuntime", L"DisplayName", L"Orbel Runtime"),
                                 Text(Uninstall + L"\\OrbelRuntime", L"UninstallString", L"C:\\OrbelRuntime\\uninst.exe"),
                                 Text(Uninstall + L"\\OrbelRuntime", L"InstallLocation", L"C:\\OrbelRuntime"),
                                 File(L"C:\\OrbelRuntime\\uninst.exe"), File(L"C:\\OrbelRuntime\\rt.dll")}),
     {}, 1, L"the product \"Orbel Runtime\" (its uninstall entry " + Uninstall + L"\\OrbelRuntime (64-bit view)), which "
     L"the installer chained, survives the uninstall: Windows removes it with `C:\\OrbelRuntime\\uninst.exe`, and "
     L"Kestrane never does"},
};

}  // namespace

TEST(CheckFindings, NamesEachMistakeOnce)
{
    for (const Row &row : Rows) {
        std::map<std::wstring, Entry> places;
        for (const std::vector<Entry> *entries : {&Before, &row.After})
            for (const Entry &entry : *entries)
                places[PlaceKey(entry)] = entry;
        places.erase(PlaceKey(row.Gone));
        std::vector<Entry> after;
        for (const auto &place : places)
            after.push_back(place.second);

        Inspection in = {};
        CompareSnapshots(Snap(Before), Snap(after), &in.Changes);
        ForgetSharedPlaces(&in.Changes);
        GroupInstallChanges(in.Changes, &in.Groups);
        in.Folders.ProgramFiles = ProgramFiles;
        in.Folders.ProgramFilesX86 = ProgramFilesX86;
        in.Kind = row.Kind;
        in.Machine = row.Machine;
        ResetFake();
        StartQuietReport();
        Said said;
        InspectInstallation(&in, RealMachine(), &said);
        Tell(said);

        std::wstring shown;
        for (const FindingRecord &finding : RecordedFindings())
            shown += std::wstring(VerdictWord(finding.Kind)) + L": " + finding.Text + L"\n";
        EXPECT_TRUE(in.HasEntry) << row.Name;
        EXPECT_EQ(ProblemCount(), row.Problems) << row.Name << "\n" << shown;
        EXPECT_NE(shown.find(row.Text), std::wstring::npos) << row.Name << "\n" << shown;
    }
}

// Kestrane refuses while a window's title holds the application's name; started from cmd.exe the
// check's own console is titled with its command line, until the check titles it itself. What
// Windows shows and Wine does not is foreseen: the hidden windows of every desktop, and the
// prefix of an elevated console, the check's own.
TEST(CheckFindings, WindowsThatKestraneTakesForTheApplicationAreNamed)
{
    const std::wstring cmd = L"C:\\Windows\\system32\\cmd.exe - CheckInstaller.exe OrbelSetup.exe";
    struct Row {
        const char *Name;
        std::wstring App;
        std::vector<std::wstring> Titles, Named, Foreseen;
        size_t Console = 0;  // which of them is the check's own console
    } rows[] = {
        {"console titled by cmd.exe", L"Orbel", {L"Default IME", cmd}, {cmd}},
        // The check's console, titled as the check starts, is titled again for the application.
        {"own console titled by cmd.exe", L"Orbel", {L"Default IME", cmd}, {}, {}, 2},
        {"own console titled as the check starts", L"Check", {L"Default IME", OwnConsoleTitle(L"")}, {}, {}, 2},
        {"own console, an application named as the check's title", L"Installer", {OwnConsoleTitle(L"")}, {}, {}, 1},
        {"the check's own title", L"Orbel", {OwnConsoleTitle(L"Orbel")}, {}},
        {"an application named as the check", L"Check", {OwnConsoleTitle(L"Check")}, {}},
        {"an application named as two titles", L"Installer", {OwnConsoleTitle(L"Installer")}, {}},
        {"letter case differs", L"Orbel", {L"orbel - notes"}, {}},
        {"each window named", L"Orbel", {L"Orbel", L"Notes", L"Orbel - Help"}, {L"Orbel", L"Orbel - Help"}},
        {"named as the desktop's shell window", L"Manager", {L"Default IME"}, {}, {L"Program Manager"}},
        {"the shell window's name in another case", L"manager", {}, {}, {}},
        {"named as the input method's window, open here", L"IME", {L"Default IME"}, {L"Default IME"}, {L"MSCTFIME UI"}},
        {"named as an elevated console", L"Admin", {}, {}, {L"Administrator: CheckInstaller"}},
        {"named across an elevated console's prefix: another title", L"rator: Check", {}, {}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        ResetFake();
        wcscpy(Target.AppName, L"Kept");
        Fake.WindowTitles = row.Titles;
        Fake.ConsoleWindow = row.Console;
        EXPECT_EQ(WindowsNamingApp(row.App), row.Named);
        std::vector<std::wstring> foreseen;
        for (const ForeseenTitle &window : WindowsForeseenNamingApp(row.App, WindowsNamingApp(row.App)))
            foreseen.push_back(window.Title);
        EXPECT_EQ(foreseen, row.Foreseen);
        EXPECT_STREQ(Target.AppName, L"Kept");
    }
}
