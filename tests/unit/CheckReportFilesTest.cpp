#include "look/FileWalk.h"
#include "look/Skipped.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace {

void Write(const std::wstring &path, const std::string &bytes)
{
    FILE *file = _wfopen(path.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

}  // namespace

// The check's report and state, written while it looks, are not changes of the installer's.
TEST(CheckReportFiles, TheWalkLeavesOutAPlaceSkipped)
{
    // Under the current folder, not TEMP: that is skipped itself.
    wchar_t here[MAX_PATH];
    const std::wstring root = std::wstring(here, GetCurrentDirectoryW(MAX_PATH, here)) + L"\\CheckFileWalkTest";
    const std::wstring own = root + L"\\report", beside = root + L"\\kept";
    // Deeper than 260 characters, as installers write (a package's nested dependencies).
    std::vector<std::wstring> deep = {beside + L"\\" + std::wstring(60, L'd')};
    while (deep.back().size() < 300)
        deep.push_back(deep.back() + L"\\" + std::wstring(60, L'd'));
    for (const std::wstring &folder : {root, own, beside})
        CreateDirectoryW(folder.c_str(), NULL);
    for (const std::wstring &folder : deep)
        CreateDirectoryW(FileApiPath(folder).c_str(), NULL);
    Write(own + L"\\r.json", "{}");
    Write(beside + L"\\a.txt", "a");
    Write(FileApiPath(deep.back() + L"\\deep.txt"), "d");
    SkipPlace(own);
    Snapshot snapshot;
    WalkFiles(root, {}, &snapshot);
    std::set<std::wstring> walked;
    for (size_t i = 0; i < snapshot.Records.size(); i++)
        walked.insert(RecordPath(snapshot, i));
    std::set<std::wstring> expected = {root, beside, beside + L"\\a.txt", deep.back() + L"\\deep.txt"};
    expected.insert(deep.begin(), deep.end());
    EXPECT_EQ(walked, expected);
    Entry now;
    EXPECT_TRUE(ReadFileNow(deep.back() + L"\\deep.txt", &now));
    EXPECT_EQ(now.Size, 1u);
    DeleteFileW((own + L"\\r.json").c_str());
    DeleteFileW((beside + L"\\a.txt").c_str());
    DeleteFileW(FileApiPath(deep.back() + L"\\deep.txt").c_str());
    for (size_t i = deep.size(); i-- > 0;)
        RemoveDirectoryW(FileApiPath(deep[i]).c_str());
    for (const std::wstring &folder : {own, beside, root})
        RemoveDirectoryW(folder.c_str());
}

// Run from the Desktop, where a user saves a download, the check still sees the shortcut an
// installer puts there: only its own files are skipped, and the folder a recipe keeps the
// reports in, with a text report the check cannot name.
TEST(CheckReportFiles, OnlyTheChecksOwnPlacesAreSkipped)
{
    const std::wstring desktop = std::wstring(_wgetenv(L"USERPROFILE")) + L"\\Desktop", box = L"C:\\CheckInstaller";
    struct Row {
        const char *Where;
        std::wstring Self;
        std::vector<std::wstring> Reports, Outputs, Own;
    } rows[] = {
        {"the Desktop", desktop + L"\\CheckInstaller.exe", {desktop + L"\\check.state", desktop + L"\\report.json"},
         {desktop + L"\\report.txt", desktop + L"\\Report.txt"},
         {desktop + L"\\CheckInstaller.exe", desktop + L"\\check.state", desktop + L"\\report.json", desktop + L"\\report.txt"}},
        {"the Sandbox's folder", box + L"\\CheckInstaller.exe", {box + L"\\report\\check.state", box + L"\\report\\report.json"}, {},
         {box + L"\\CheckInstaller.exe", box + L"\\report\\check.state", box + L"\\report\\report.json", box + L"\\report"}},
        {"no report for machines", box + L"\\CheckInstaller.exe", {desktop + L"\\check.state", L""}, {},
         {box + L"\\CheckInstaller.exe", desktop + L"\\check.state"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(OwnPlaces(row.Self, row.Reports, row.Outputs), row.Own) << row.Where;
}
