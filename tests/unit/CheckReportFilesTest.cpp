#include "JsonReport.h"
#include "State.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include <windows.h>

namespace {

std::wstring TempFile(const wchar_t *name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

std::string Utf8Bytes(const std::wstring &path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, NULL) && read > 0)
        bytes.append(buffer, read);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return bytes;
}

Entry Listed(EntryKind kind, const std::wstring &path, unsigned long long size, unsigned long long time, DWORD attributes)
{
    Entry entry = MakeEntry(kind, path);
    entry.Size = size;
    entry.WriteTime = time;
    entry.Attributes = attributes;
    return entry;
}

void ExpectSameEntry(const Entry &loaded, const Entry &saved)
{
    EXPECT_EQ(loaded.Kind, saved.Kind);
    EXPECT_EQ(loaded.Path, saved.Path);
    EXPECT_EQ(loaded.Name, saved.Name);
    EXPECT_EQ(loaded.Type, saved.Type);
    EXPECT_EQ(loaded.Data, saved.Data);
    EXPECT_EQ(std::make_tuple(loaded.Size, loaded.WriteTime, loaded.Attributes, loaded.Hashed),
              std::make_tuple(saved.Size, saved.WriteTime, saved.Attributes, saved.Hashed));
}

}  // namespace

TEST(CheckJsonReport, JsonStringEscapesWhatJsonMust)
{
    struct Row { std::wstring Text; std::string Json; } rows[] = {
        {L"C:\\Program Files\\Orbel", "\"C:\\\\Program Files\\\\Orbel\""},
        {L"say \"hi\"", "\"say \\\"hi\\\"\""},
        {L"a\tb\nc\r\x01\x1f", "\"a\\u0009b\\u000ac\\u000d\\u0001\\u001f\""},
        {std::wstring(L"nul\0end", 7), "\"nul\\u0000end\""},
        {L"Café €/日本 \x7f", "\"Caf\xc3\xa9 \xe2\x82\xac/\xe6\x97\xa5\xe6\x9c\xac \x7f\""},
        {L"", "\"\""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(JsonString(row.Text), row.Json);
}

TEST(CheckJsonReport, AfterRestartJoinsTheFirstReport)
{
    const std::string report = "{\"tool\":\"CheckInstaller\",\n\"afterUninstall\":{\"leftovers\":[]},\n\"exitCode\":1}\n";
    EXPECT_EQ(JsonWithAfterRestart(report, "{\"leftovers\":[],\"exitCode\":0}"),
              "{\"tool\":\"CheckInstaller\",\n\"afterUninstall\":{\"leftovers\":[]},\n\"exitCode\":1,\n"
              "\"afterRestart\":{\"leftovers\":[],\"exitCode\":0}}\n");
}

TEST(CheckState, SavedStateLoadsBackWhole)
{
    CheckState saved;
    saved.AppName = L"Orbel\tÉdition\n2";
    saved.Problems = 3;
    saved.Report = std::string("{\"a\":\"x\\ty\"}\n\tline\r\n\\") + '\0' + "\xc3\xa9";
    Entry hashed = MakeValue(L"HKLM\\SOFTWARE\\Orbel", L"Blob", REG_BINARY, HashOf(std::string(4096, 'x')));
    hashed.Hashed = true;
    hashed.Size = 4096;
    std::string allBytes;
    for (int i = 0; i < 256; i++)
        allBytes += (char)i;
    saved.Changes = {
        {ChangeChanged, MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_SZ, TextData(L"été")),
         MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_BINARY, allBytes)},
        {ChangeAdded, Entry(), Listed(EntryFile, L"C:\\Program Files\\Orbel\\日本.dll", 1ull << 40, 0x01D9ABCDEF012345ull, 0x21)},
        {ChangeRemoved, MakeEntry(EntryKey, L"HKCU\\Software\\Café"), Entry()},
        {ChangeAdded, Entry(), hashed},
        {ChangeAdded, Entry(), MakeValue(L"HKCU\\Software\\Orbel", L"", REG_SZ, "")},
    };
    const std::wstring path = TempFile(L"CheckStateTest.txt");
    ASSERT_TRUE(SaveState(path, saved));
    CheckState loaded;
    ASSERT_TRUE(LoadState(path, &loaded));
    EXPECT_EQ(loaded.AppName, saved.AppName);
    EXPECT_EQ(loaded.Problems, saved.Problems);
    EXPECT_EQ(loaded.Report, saved.Report);
    ASSERT_EQ(loaded.Changes.size(), saved.Changes.size());
    for (size_t i = 0; i < saved.Changes.size(); i++) {
        SCOPED_TRACE(testing::Message() << "change " << i);
        EXPECT_EQ(loaded.Changes[i].Kind, saved.Changes[i].Kind);
        ExpectSameEntry(loaded.Changes[i].Before, saved.Changes[i].Before);
        ExpectSameEntry(loaded.Changes[i].After, saved.Changes[i].After);
    }
    DeleteFileW(path.c_str());
}

TEST(CheckState, RefusesAFileCutShortOrNotItsOwn)
{
    CheckState saved;
    saved.AppName = L"Orbel";
    saved.Problems = 1;
    saved.Report = "{}";
    saved.Changes = {{ChangeAdded, Entry(), MakeValue(L"HKCU\\Software\\Orbel", L"v", REG_SZ, TextData(L"1"))},
                     {ChangeAdded, Entry(), Listed(EntryFile, L"C:\\Orbel\\a.exe", 5, 6, 0x20)}};
    const std::wstring whole = TempFile(L"CheckStateWhole.txt"), cut = TempFile(L"CheckStateCut.txt");
    ASSERT_TRUE(SaveState(whole, saved));
    const std::string bytes = Utf8Bytes(whole);
    ASSERT_FALSE(bytes.empty());
    CheckState loaded;
    for (size_t length = 1; length < bytes.size(); length++) {
        if (bytes[length - 1] == '\n')
            continue;
        HANDLE file = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        WriteFile(file, bytes.data(), (DWORD)length, &written, NULL);
        CloseHandle(file);
        EXPECT_FALSE(LoadState(cut, &loaded)) << "cut after " << length << " bytes";
    }
    const std::string others[] = {"CheckInstaller state 1\napp\tOrbel\n", "CheckInstaller state 2\nextra\t1\n", ""};
    for (const std::string &text : others) {
        HANDLE file = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
        CloseHandle(file);
        EXPECT_FALSE(LoadState(cut, &loaded)) << text;
    }
    EXPECT_FALSE(LoadState(TempFile(L"CheckStateNoSuchFile.txt"), &loaded));
    DeleteFileW(whole.c_str());
    DeleteFileW(cut.c_str());
}
