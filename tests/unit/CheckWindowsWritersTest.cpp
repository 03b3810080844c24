#include "look/WindowsWriters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

std::wstring Expanded(const wchar_t *text)
{
    wchar_t expanded[MAX_PATH * 2] = {0};
    ExpandEnvironmentStringsW(text, expanded, MAX_PATH * 2);
    return expanded;
}

Entry File(const wchar_t *path) { return MakeEntry(EntryFile, Expanded(path)); }
Entry Folder(const wchar_t *path) { return MakeEntry(EntryFolder, Expanded(path)); }
Entry Key(const wchar_t *path) { return MakeEntry(EntryKey, path); }
Entry Value(const wchar_t *key, const wchar_t *name) { return MakeValue(key, name, REG_BINARY, std::string(4, '\1')); }

const wchar_t TaskKey[] =
    L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{0C3B5B35-5B4C-4A9E-9F6A-6D8E1F2A3B4C}";
const wchar_t Guid[] = L"{016888bd-6c6f-11de-8d1d-001e0bcde3ec}";

}  // namespace

// Each row of Windows' own writers takes what Windows writes there, and no neighbour an
// installer may own: a place of its own, a file of its own beside Windows' files, its own key.
TEST(CheckWindowsWriters, EachRowTakesWindowsWritesAndNoNeighbour)
{
    const std::wstring ntuser = std::wstring(L"%USERPROFILE%\\ntuser.dat") + Guid;
    struct Row { Entry Windows, Neighbour; } rows[] = {
        {File(L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\StateRepository-Machine.srd-wal"),
         File(L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\Orbel.srd")},
        {File(L"%ProgramData%\\Microsoft\\Windows\\AppRepository\\Packages\\Microsoft.Paint_1\\a.xml"),
         File(L"%ProgramData%\\Microsoft\\Windows\\Orbel\\Packages\\a.xml")},
        {File(L"%ProgramData%\\Microsoft\\DiagnosticLogCSP\\Collectors\\DiagnosticLogCSP_Collector_Autopilot.etl"),
         File(L"%ProgramData%\\Microsoft\\DiagnosticLogCSP.log")},
        {File(L"%ProgramData%\\Microsoft\\SmsRouter\\MessageStore\\edb.log"),
         File(L"%ProgramData%\\Microsoft\\SmsRouter\\Orbel.dat")},
        {File(L"%LOCALAPPDATA%\\ConnectedDevicesPlatform\\L.ana\\ActivitiesCache.db"),
         File(L"%LOCALAPPDATA%\\Orbel\\ConnectedDevicesPlatform\\a.db")},
        {File(L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.Search_cw5n1h2txyewy\\LocalState\\AppCache1.txt"),
         File(L"%LOCALAPPDATA%\\Packages\\Orbel.Windows.Search_1\\LocalState\\a.txt")},
        {Folder(L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.Cortana_cw5n1h2txyewy\\LocalState"),
         Folder(L"%LOCALAPPDATA%\\Packages\\Microsoft.Windows.CortanaOrbel")},
        {File(L"%USERPROFILE%\\NTUSER.DAT"), File(L"%USERPROFILE%\\ntuser.dat.orbel")},
        {File(L"%USERPROFILE%\\ntuser.dat.LOG1"), File(L"%USERPROFILE%\\Orbel\\ntuser.dat.LOG1")},
        {File((ntuser + L".TM.blf").c_str()), File(L"%USERPROFILE%\\orbel{1}.TM.blf")},
        {File((ntuser + L".TMContainer00000000000000000001.regtrans-ms").c_str()),
         File(L"%USERPROFILE%\\Orbel.regtrans-ms")},
        {File(L"%LOCALAPPDATA%\\Microsoft\\Windows\\UsrClass.dat.LOG2"), File(L"%LOCALAPPDATA%\\Microsoft\\Windows\\Orbel.dat")},
        // The task's key is the installer's, and its other values.
        {Value(TaskKey, L"DynamicInfo"), Key(TaskKey)},
        {Value(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SoftwareProtectionPlatform", L"ServiceSessionId"),
         Key(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Orbel")},
        {File(L"%SystemRoot%\\System32\\spp\\store\\2.0\\data.dat"), File(L"%SystemRoot%\\System32\\spp\\Orbel.dll")},
        {File(L"%SystemRoot%\\ServiceState\\EventLog\\Data\\lastalive0.dat"),
         File(L"%SystemRoot%\\ServiceState\\EventLog\\Data\\Orbel.dat")},
        {File(L"%ProgramData%\\Microsoft\\Network\\Downloader\\qmgr.db"), File(L"%ProgramData%\\Microsoft\\Network\\Orbel.cfg")},
        {File(L"%ProgramData%\\USOPrivate\\UpdateStore\\store.db"), File(L"%ProgramData%\\Orbel\\USOPrivate\\store.db")},
        // A driver's own INF beside Windows' setup logs.
        {File(L"%SystemRoot%\\INF\\setupapi.dev.log"), File(L"%SystemRoot%\\INF\\orbel.inf")},
        {File(L"%ProgramData%\\Microsoft\\Search\\Data\\Applications\\Windows\\Windows.edb"),
         File(L"%ProgramData%\\Microsoft\\Search\\Orbel.cfg")},
        {File(L"%LOCALAPPDATA%\\Microsoft\\Windows\\Caches\\cversions.2.db"),
         File(L"%LOCALAPPDATA%\\Microsoft\\Windows\\Orbel\\cversions.2.db")},
        {File(L"%LOCALAPPDATA%\\IconCache.db"), File(L"%LOCALAPPDATA%\\Orbel\\IconCache.db")},
        {Value(L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\CloudStore\\Store\\Cache\\DefaultAccount\\Current", L"Data"),
         Value(L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"CloudStore")},
        {Value(L"HKCU\\Software\\Microsoft\\Windows\\Shell\\Bags\\1\\Desktop", L"IconLayouts"),
         Key(L"HKCU\\Software\\Orbel\\Shell\\Bags")},
        {Value(L"HKCU\\Software\\Microsoft\\Windows\\Shell\\BagMRU", L"MRUListEx"), Key(L"HKCU\\Software\\Orbel\\Shell\\BagMRU")},
        // A product's own registration stays the product's.
        {Value(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", L"C:\\Program Files\\Orbel\\"),
         Key(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\1A2B")},
        {File(L"%SystemDrive%\\Config.Msi\\5c2b.rbf"), File(L"%SystemDrive%\\Orbel\\Config.Msi\\5c2b.rbf")},
    };
    size_t count = 0;
    const WindowsWriter *writers = WindowsWriters(&count);
    ASSERT_EQ(sizeof rows / sizeof rows[0], count) << "a row here for each row of the table";
    for (size_t i = 0; i < count; i++) {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << std::string(writers[i].Place, writers[i].Place + wcslen(writers[i].Place)));
        EXPECT_EQ(WindowsWriterOf(rows[i].Windows), &writers[i]);
        EXPECT_EQ(WindowsWriterOf(rows[i].Neighbour), nullptr);
        // Each with its reason and where it comes from.
        EXPECT_GT(wcslen(writers[i].Why), 10u);
        std::wstring source = writers[i].Source;
        EXPECT_TRUE(source.compare(0, 27, L"https://learn.microsoft.com") == 0 || source.compare(0, 11, L"observed on") == 0);
    }
}

TEST(CheckWindowsWriters, NamesMatchTheirPattern)
{
    struct Row { const wchar_t *Name, *Pattern; bool Matches; } rows[] = {
        {L"setupapi.dev.log", L"setupapi.*.log", true},
        {L"SETUPAPI.APP.LOG", L"setupapi.*.log", true},
        {L"setupapi.dev.20240101_120000.log", L"setupapi.*.log", true},
        {L"setupapi.log", L"setupapi.*.log", false},
        {L"setupapi.dev.log.old", L"setupapi.*.log", false},
        {L"ntuser.dat", L"ntuser.dat", true},
        {L"ntuser.dat.LOG1", L"ntuser.dat", false},
        {L"lastalive1.dat", L"lastalive*.dat", true},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NameMatches(row.Name, row.Pattern), row.Matches) << std::string(row.Name, row.Name + wcslen(row.Name));
}
