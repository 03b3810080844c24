#include "judge/InstallerKind.h"
#include "look/SetupFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

struct KindRow {
    const char *Name;
    std::string Bytes;
    InstallerKind Kind;
};

const std::string Stub = std::string("MZ\x90\x00", 4) + std::string(300, '\0') + "This program cannot be run in DOS mode.";

const KindRow KindRows[] = {
    {"Nsis", Stub + std::string("\xEF\xBE\xAD\xDE", 4) + "NullsoftInst" + std::string(64, '\x01'), KindNsis},
    {"Inno", Stub + "Inno Setup Setup Data (6.4.1)" + std::string(64, '\x02'), KindInno},
    // A program that only mentions the tools is none of them.
    {"MentionsOnly", Stub + "Made without NSIS; see Inno Setup's site.", KindUnknown},
    {"Nothing", Stub, KindUnknown},
};

TEST(CheckInstallerKind, ReadsTheToolsOwnMarkers)
{
    for (const KindRow &row : KindRows)
        EXPECT_EQ(KindOfBytes(row.Bytes), row.Kind) << row.Name;
}

// A marker that straddles two chunks of the file is still found.
TEST(CheckInstallerKind, FindsAMarkerAcrossChunks)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"CheckInstallerKind.exe";
    for (const KindRow &row : KindRows) {
        for (size_t chunk : {7u, 64u, 4096u}) {
            HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            DWORD written = 0;
            WriteFile(file, row.Bytes.data(), (DWORD)row.Bytes.size(), &written, NULL);
            CloseHandle(file);
            EXPECT_EQ(KindOfFile(path, chunk), row.Kind) << row.Name << ", chunks of " << chunk;
        }
    }
    DeleteFileW(path.c_str());
    EXPECT_EQ(KindOfFile(path, 64), KindUnknown) << "no such file";
}

TEST(CheckInstallerKind, StartsEachKindWithItsSilentArguments)
{
    const struct {
        InstallerKind Kind;
        std::vector<std::wstring> Arguments;
    } rows[] = {
        {KindNsis, {L"/S"}},
        {KindInno, {L"/VERYSILENT", L"/SUPPRESSMSGBOXES", L"/NORESTART", L"/SP-"}},
        {KindUnknown, {L"/S"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SilentArguments(row.Kind), row.Arguments) << (int)row.Kind;
}

}  // namespace
