#include "run/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

static std::wstring FullPath(const std::wstring &path) { return L"C:\\Work\\" + path; }

TEST(CheckOptions, ReadsTheCommandLine)
{
    const std::vector<std::wstring> silent = {L"/S"};
    const std::wstring setup = L"C:\\Work\\setup.exe";
    struct Row {
        std::vector<std::wstring> Args;
        OptionsResult Result;
        std::wstring Bad;  // for OptionsBad; else the limit, setup and its arguments
        DWORD Limit;
        std::wstring Setup;
        std::vector<std::wstring> InstallerArguments;
    } rows[] = {
        {{L"setup.exe"}, OptionsOk, L"", 300, setup, silent},
        {{L"setup.exe", L"/quiet", L"/D=C:\\X"}, OptionsOk, L"", 300, setup, {L"/quiet", L"/D=C:\\X"}},
        {{L"setup.exe", L"--limit", L"5"}, OptionsOk, L"", 300, setup, {L"--limit", L"5"}},  // the installer's
        {{L"--limit", L"86400", L"setup.exe"}, OptionsOk, L"", 86400, setup, silent},
        {{L"--limit", L"5m", L"setup.exe"}, OptionsBad, L"--limit"},
        {{L"--limit", L"0", L"setup.exe"}, OptionsBad, L"--limit"},
        {{L"--limit", L"86401", L"setup.exe"}, OptionsBad, L"--limit"},
        {{L"--limit", L"-5", L"setup.exe"}, OptionsBad, L"--limit"},
        {{L"--limit"}, OptionsBad, L"--limit"},
        {{L"--settle", L"0", L"setup.exe"}, OptionsOk, L"", 300, setup, silent},
        {{L"--quiet", L"setup.exe"}, OptionsBad, L"--quiet"},
        {{L"--", L"--setup.exe"}, OptionsOk, L"", 300, L"C:\\Work\\--setup.exe", silent},
        {{L"--interactive"}, OptionsNoSetup, L"", 300, L"", {}},
        {{}, OptionsNoSetup, L"", 300, L"", {}},
        {{L"--after-restart", L"state.txt"}, OptionsOk, L"", 300, L"", {}},
        {{L"--as-on-windows", L"--after-restart", L"state.txt"}, OptionsOk, L"", 300, L"", {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(row.Args));
        Options options;
        std::wstring bad = L"unset";
        EXPECT_EQ(ReadOptions(row.Args, FullPath, &options, &bad), row.Result);
        EXPECT_EQ(bad, row.Bad);
        if (row.Result != OptionsBad)
            EXPECT_EQ(std::make_tuple(options.LimitSeconds, options.Setup, options.InstallerArguments),
                      std::make_tuple(row.Limit, row.Setup, row.InstallerArguments));
    }
}

TEST(CheckOptions, FilesNamedOnTheCommandLineAreMadeWhole)
{
    Options options;
    std::wstring bad;
    ASSERT_EQ(ReadOptions({L"--json", L"r.json", L"--state", L"s.txt", L"--settle", L"7", L"--interactive", L"--as-on-windows",
                           L"setup.exe"},
                          FullPath, &options, &bad), OptionsOk);
    EXPECT_EQ(options.JsonPath, L"C:\\Work\\r.json");
    EXPECT_EQ(options.StatePath, L"C:\\Work\\s.txt");
    EXPECT_EQ(options.SettleSeconds, 7u);
    EXPECT_TRUE(options.Interactive);
    EXPECT_TRUE(options.AsOnWindows);
    ASSERT_EQ(ReadOptions({L"--after-restart", L"s.txt"}, FullPath, &options, &bad), OptionsOk);
    EXPECT_EQ(options.AfterRestart, L"C:\\Work\\s.txt");
}

// A refused command line names the option, what it takes and what was given.
TEST(CheckOptions, SaysWhatARefusedOptionTakes)
{
    const struct {
        std::vector<std::wstring> Args;
        std::wstring Text;
    } rows[] = {
        {{L"--limit", L"0", L"setup.exe"}, L"--limit takes a whole number of seconds from 1 to 86400, not `0`"},
        {{L"--limit", L"5", L"--limit", L"86401", L"setup.exe"},
         L"--limit takes a whole number of seconds from 1 to 86400, not `86401`"},
        {{L"--watch", L"601", L"setup.exe"}, L"--watch takes a whole number of seconds from 0 to 600, not `601`"},
        {{L"--settle", L"2s", L"setup.exe"}, L"--settle takes a whole number of seconds from 0 to 600, not `2s`"},
        {{L"--watch"}, L"--watch needs a whole number of seconds from 0 to 600, and nothing follows it"},
        {{L"--json"}, L"--json needs a file name, and nothing follows it"},
        {{L"--quiet", L"setup.exe"}, L"Unknown option --quiet"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.Args));
        Options options;
        std::wstring bad;
        ASSERT_EQ(ReadOptions(row.Args, FullPath, &options, &bad), OptionsBad);
        EXPECT_EQ(BadOptionText(row.Args, bad), row.Text);
    }
}

TEST(CheckOptions, LimitMillisecondsIsSecondsTimesAThousand)
{
    struct { DWORD Seconds, Ms; } rows[] = {{1, 1000}, {300, 300000}, {LongestLimitSeconds, 86400000}};
    for (const auto &row : rows)
        EXPECT_EQ(LimitMilliseconds(row.Seconds), row.Ms) << row.Seconds;
}

// Only arguments given after the installer's name are kept; none lets its kind choose.
TEST(CheckOptions, LeavesTheArgumentsToTheInstallersKindOnlyWhenNoneAreGiven)
{
    const struct {
        std::vector<std::wstring> Args;
        bool Given;
    } rows[] = {
        {{L"setup.exe"}, false},
        {{L"--limit", L"60", L"setup.exe"}, false},
        {{L"setup.exe", L"/S"}, true},
        {{L"setup.exe", L"/VERYSILENT"}, true},
    };
    for (const auto &row : rows) {
        Options options;
        std::wstring bad;
        ASSERT_EQ(ReadOptions(row.Args, FullPath, &options, &bad), OptionsOk);
        EXPECT_EQ(options.ArgumentsGiven, row.Given) << testing::PrintToString(row.Args);
    }
}
