#include "tell/State.h"

#include <gtest/gtest.h>

#include <cstdio>
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

std::string Bytes(const std::wstring &path)
{
    std::string bytes(1 << 16, '\0');
    FILE *file = _wfopen(path.c_str(), L"rb");
    bytes.resize(file != NULL ? fread(&bytes[0], 1, bytes.size(), file) : 0);
    if (file != NULL)
        fclose(file);
    return bytes;
}

void Write(const std::wstring &path, const std::string &bytes)
{
    FILE *file = _wfopen(path.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

auto Fields(const Entry &e)
{
    return std::make_tuple(e.Kind, e.Path, e.Name, e.Type, e.Data, e.Size, e.WriteTime, e.Attributes, e.Hashed);
}

}  // namespace

TEST(CheckState, SavedStateLoadsBackWhole)
{
    CheckState saved;
    saved.AppName = L"Orbel\tÉdition\n2";
    saved.Problems = 3;
    saved.Report = std::string("{\"a\":\"x\\ty\"}\n\tline\r\n\\") + '\0' + "\xc3\xa9";
    std::string allBytes;
    for (int i = 0; i < 256; i++)
        allBytes += (char)i;
    saved.Changes = {
        {ChangeChanged, MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_SZ, TextData(L"été")),
         MakeValue(L"HKCU\\Software\\Orbel", L"Tab\tName\nLF\\", REG_BINARY, allBytes)},
        {ChangeAdded, Entry(), {EntryFile, L"C:\\日本.dll", L"", 0, "", 1ull << 40, 0x01D9ABCDEF0123ull, 0x21, false}},
        {ChangeRemoved, MakeEntry(EntryKey, L"HKCU\\Software\\Café"), Entry()},
        {ChangeAdded, Entry(), {EntryValue, L"HKCU\\O", L"", REG_BINARY, HashOf(std::string(999, 'x')), 999, 0, 0, true}},
        {ChangeAdded, Entry(), MakeValue(L"HKCU\\Software\\Orbel", L"", REG_SZ, "")},
    };
    saved.Kind = KindInno;
    saved.Reinstalled = true;
    saved.Reinstall.Started = true;
    saved.Reinstall.ExitCode = 3221225786u;
    saved.Reinstall.Ms = 1234;
    saved.Reinstall.Held = {1, 4};
    saved.Reinstall.Taken = {L"C:\\日本.dll", L"C:\\Tab\tand\nline"};
    saved.AfterUninstall = {LeftGone, LeftPending, LeftThere, LeftThere, LeftGone};
    const std::wstring path = TempFile(L"CheckStateTest.txt");
    ASSERT_TRUE(SaveState(path, saved));
    CheckState loaded;
    ASSERT_TRUE(LoadState(path, &loaded));
    EXPECT_EQ(loaded.AppName, saved.AppName);
    EXPECT_EQ(loaded.Problems, saved.Problems);
    EXPECT_EQ(loaded.Report, saved.Report);
    EXPECT_EQ(loaded.Kind, KindInno);
    EXPECT_TRUE(loaded.Reinstalled);
    EXPECT_EQ(loaded.AfterUninstall, saved.AfterUninstall);
    EXPECT_EQ(std::make_tuple(loaded.Reinstall.Started, loaded.Reinstall.TimedOut, loaded.Reinstall.ExitCode,
                              loaded.Reinstall.Ms, loaded.Reinstall.Held, loaded.Reinstall.Taken),
              std::make_tuple(true, false, 3221225786u, 1234ull, std::vector<size_t>{1, 4}, saved.Reinstall.Taken));
    ASSERT_EQ(loaded.Changes.size(), saved.Changes.size());
    for (size_t i = 0; i < saved.Changes.size(); i++) {
        SCOPED_TRACE(testing::Message() << "change " << i);
        EXPECT_EQ(loaded.Changes[i].Kind, saved.Changes[i].Kind);
        EXPECT_EQ(Fields(loaded.Changes[i].Before), Fields(saved.Changes[i].Before));
        EXPECT_EQ(Fields(loaded.Changes[i].After), Fields(saved.Changes[i].After));
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
                     {ChangeAdded, Entry(), {EntryFile, L"C:\\Orbel\\a.exe", L"", 0, "", 5, 6, 0x20, false}}};
    const std::wstring whole = TempFile(L"CheckStateWhole.txt"), cut = TempFile(L"CheckStateCut.txt");
    ASSERT_TRUE(SaveState(whole, saved));
    const std::string bytes = Bytes(whole);
    ASSERT_FALSE(bytes.empty());
    CheckState loaded;
    // At a line end too: a file that lost its last lines is not whole.
    for (size_t length = 1; length < bytes.size(); length++) {
        Write(cut, bytes.substr(0, length));
        EXPECT_FALSE(LoadState(cut, &loaded)) << "cut after " << length << " bytes";
    }
    const std::string changes = bytes.substr(0, bytes.rfind("end\t"));
    const std::string header = bytes.substr(0, bytes.find('\n') + 1);
    // A place of the new installation must be a change of the first: held indices below the count.
    const struct { const char *Why; std::string Bytes; } refused[] = {
        {"another version", "CheckInstaller state 1\napp\tOrbel\n"},
        {"held place out of range", header + "app\tOrbel\nproblems\t0\nreinstall\t1\t0\t0\t5\t0,2\nend\t0\n"},
        // Whole as that version wrote it, but without what the look after the uninstall saw.
        {"the version before", "CheckInstaller state 4\n" + changes.substr(header.size()) + "reinstall\t1\t0\t0\t5\t0,1\nend\t2\n"},
        {"held place one past the last change", changes + "reinstall\t1\t0\t0\t5\t1,2\nend\t2\n"},
        // What the look after the uninstall saw: one state a change, each a state there is.
        {"a state for each change but one", changes + "afterUninstall\t2\nend\t2\n"},
        {"a state there is not", changes + "afterUninstall\t23\nend\t2\n"},
    };
    for (const auto &row : refused) {
        Write(cut, row.Bytes);
        EXPECT_FALSE(LoadState(cut, &loaded)) << row.Why;
    }
    EXPECT_FALSE(LoadState(TempFile(L"CheckStateNoSuchFile.txt"), &loaded));
    DeleteFileW(whole.c_str());
    DeleteFileW(cut.c_str());
}
