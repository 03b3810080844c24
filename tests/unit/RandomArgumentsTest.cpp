// Seeded random argument texts through parsing, path composition and the run.
#include "FakePlatform.h"

#include "app/Run.h"
#include "target/Target.h"
#include "target/Text.h"
#include "stages/Registry.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t *const Pieces[] = {L"/", L"/", L"/", L"\\", L" ", L"  ", L"\"", L".", L"..", L"NULL", L"null",
                                 L"NuLl", L"a", L"Orbel", L"R", L"é", L"\u4E2D", L"\U0001F600", L"\xD800",
                                 L"\t", L"%s", L"%", L"x"};

std::wstring RandomText(std::mt19937 &random, size_t length)
{
    std::wstring text;
    std::uniform_int_distribution<size_t> pick(0, std::size(Pieces) - 1);
    while (text.size() < length)
        text += Pieces[pick(random)];
    text.resize(length);
    return text;
}

// What the program documents, composed independently of it.
struct Expected {
    bool Accepted = false, PathsFit = false;
    std::wstring AppName, RuleName;
};

Expected Model(const std::wstring &argument, const std::wstring &programFiles, const std::wstring &desktop,
               const std::wstring &programs)
{
    Expected expected;
    if (argument.size() >= MAX_PATH)
        return expected;
    std::vector<std::wstring> tokens;
    std::wstring current;
    for (wchar_t c : argument + L"/") {
        if (c != L'/') {
            current += c;
        } else if (!current.empty()) {
            tokens.push_back(current);
            current.clear();
        }
    }
    if (tokens.size() < 2)
        return expected;
    const std::wstring &name = tokens[0];
    std::wstring upper = tokens[1];
    for (wchar_t &c : upper)
        if (c >= L'a' && c <= L'z')
            c = (wchar_t)(c - 32);
    expected.AppName = name;
    expected.RuleName = upper == L"NULL" ? L"" : tokens[1];
    bool fileName = name.find_first_of(L"\\\"*:<>?|") == std::wstring::npos
                    && std::none_of(name.begin(), name.end(), [](wchar_t c) { return c < L' '; });
    expected.Accepted = fileName && name.find_first_not_of(L". ") != std::wstring::npos
                        && 71 + name.size() < MAX_PATH;
    size_t n = name.size();
    expected.PathsFit = programFiles.size() + 2 * n + 6 < MAX_PATH && programFiles.size() + n + 14 < MAX_PATH
                        && desktop.size() + n + 5 < MAX_PATH && programs.size() + n + 5 < MAX_PATH;
    return expected;
}

std::wstring RandomFolder(std::mt19937 &random)
{
    static const size_t lengths[] = {3, 16, 40, 120, 200, 240, 250, 259};
    size_t length = lengths[std::uniform_int_distribution<size_t>(0, std::size(lengths) - 1)(random)];
    return L"C:\\" + std::wstring(length - 3, L'f');
}

TEST(RandomArguments, AreComposedExactlyOrRefusedWithNothingRemoved)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> lengthOf(0, 600);
    int accepted = 0, refused = 0, refusedAfterConfirmation = 0;
    for (int round = 0; round < 20000; ++round) {
        // Short texts matter most: lengths are drawn from a skewed distribution.
        size_t length = std::min(lengthOf(random), lengthOf(random));
        std::wstring argument = RandomText(random, length);
        ResetFake();
        Fake.Files[L"C:\\keep.txt"] = FILE_ATTRIBUTE_ARCHIVE;
        Fake.Folders[CSIDL_PROGRAM_FILES].second = RandomFolder(random);
        Fake.Folders[CSIDL_DESKTOPDIRECTORY].second = RandomFolder(random);
        Fake.Folders[CSIDL_PROGRAMS].second = RandomFolder(random);
        Expected expected = Model(argument, Fake.Folders[CSIDL_PROGRAM_FILES].second,
                                  Fake.Folders[CSIDL_DESKTOPDIRECTORY].second, Fake.Folders[CSIDL_PROGRAMS].second);
        SCOPED_TRACE(testing::Message() << "round " << round << " argument " << testing::PrintToString(argument));

        int exitCode = RunUninstall(argument.c_str());

        ASSERT_FALSE(Fake.Boxes.empty());
        if (!expected.Accepted || !expected.PathsFit) {
            ASSERT_EQ(exitCode, 1);
            ASSERT_EQ(Fake.Boxes.back().Text, L"Erreur.\nArguments.");
            ASSERT_EQ(Fake.Boxes.size(), expected.Accepted ? 2u : 1u);
            ASSERT_TRUE(CallsStartingWith(L"CoCreateInstance").empty());
            ASSERT_TRUE(CallsStartingWith(L"RegOpenKeyEx").empty());
            ASSERT_TRUE(CallsStartingWith(L"SetFileAttributes").empty());
            ASSERT_TRUE(CallsStartingWith(L"MoveFileEx").empty());
            (expected.Accepted ? refusedAfterConfirmation : refused)++;
            continue;
        }
        ++accepted;
        ASSERT_EQ(exitCode, 0);
        ASSERT_EQ(Fake.Boxes.front().Text, L"Désinstaller  " + expected.AppName + L" ?");
        ASSERT_EQ(Fake.Boxes.back().Text, L"Désinstallation terminée avec succès.");
        const std::wstring &pf = Fake.Folders[CSIDL_PROGRAM_FILES].second;
        const std::wstring &name = expected.AppName;
        const std::wstring dir = pf + L"\\" + name;
        const std::pair<const wchar_t *, std::wstring> fields[] = {
            {Target.AppName, name},
            {Target.FirewallRuleName, expected.RuleName},
            {Target.ProgramFilesDir, pf},
            {Target.AppDir, dir},
            {Target.AppExePath, dir + L"\\" + name + L".exe"},
            {Target.AppHelpPath, dir + L"\\" + name + L".chm"},
            {Target.UninstallerExePath, dir + L"\\Kestrane.exe"},
            {Target.DesktopShortcutPath, Fake.Folders[CSIDL_DESKTOPDIRECTORY].second + L"\\" + name + L".lnk"},
            {Target.StartMenuShortcutPath, Fake.Folders[CSIDL_PROGRAMS].second + L"\\" + name + L".lnk"},
            {Target.UserKeyPath, L"HKEY_CURRENT_USER\\Software\\" + name},
            {Target.UninstallKeyPath,
             L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name},
        };
        for (const auto &[field, text] : fields) {
            ASSERT_LT(text.size(), (size_t)MAX_PATH);
            ASSERT_EQ(std::wstring(field), text);
            // Nothing but zeros past the terminator: no stray write inside the buffer.
            ASSERT_TRUE(std::all_of(field + text.size(), field + MAX_PATH, [](wchar_t c) { return c == 0; }));
        }
        ASSERT_EQ(Fake.Files.size(), 1u) << "touched a file it does not own";
        std::vector<std::wstring> removedRules;
        if (!expected.RuleName.empty())
            removedRules.push_back(expected.RuleName);
        ASSERT_EQ(Fake.RemovedRules, removedRules);
    }
    // The generator must reach every branch, or the run above proves little.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 1000);
    EXPECT_GT(refusedAfterConfirmation, 100);
}

// The writers of fixed buffers, fed random texts, with guard zones on both sides.
TEST(RandomArguments, NeverWriteOutsideTheirBuffers)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> lengthOf(0, 600);
    const wchar_t *formats[] = {L"%s\\%s", L"%s\\%s.exe", L"%s\\%s.lnk", L"HKEY_CURRENT_USER\\Software\\%s",
                                L"%s est en cour d'exécution.\nFermez le programme et recommencez.",
                                L"Désinstaller  %s ?"};
    const size_t Guard = 16;
    for (int round = 0; round < 20000; ++round) {
        std::wstring first = RandomText(random, lengthOf(random) / 2);
        std::wstring second = RandomText(random, lengthOf(random) / 2);
        std::vector<wchar_t> memory(Guard + MAX_PATH + Guard, L'\xA5A5');
        wchar_t *buffer = memory.data() + Guard;
        size_t size = round % 2 ? MAX_PATH : 256;
        const wchar_t *format = formats[round % std::size(formats)];
        int written = FormatText(buffer, size, format, first.c_str(), second.c_str());
        if (round % 3 == 0) {
            written = -2;
            std::wstring path = L"HKEY_CURRENT_USER\\" + first;
            if (path.size() < MAX_PATH)
                SplitRegistryPath(path.c_str(), buffer);
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_TRUE(std::all_of(memory.begin(), memory.begin() + Guard, [](wchar_t c) { return c == L'\xA5A5'; }));
        ASSERT_TRUE(std::all_of(memory.begin() + Guard + size, memory.end(),
                                [](wchar_t c) { return c == L'\xA5A5'; }));
        if (written >= 0)
            ASSERT_EQ(buffer[written], L'\0');
        else if (written == -1)
            ASSERT_EQ(buffer[0], L'\0');
    }
}

} // namespace
