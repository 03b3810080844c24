#include "Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring FullPath(const std::wstring &path) { return L"C:\\Work\\" + path; }

struct Row {
    const char *Name;
    std::vector<std::wstring> Args;
    OptionsResult Result;
    std::wstring Bad;
    DWORD Limit;
    std::wstring Setup;
    std::vector<std::wstring> InstallerArguments;
};

const std::vector<std::wstring> Silent = {L"/S"};

const Row Rows[] = {
    {"SetupAlone", {L"setup.exe"}, OptionsOk, L"", 300, L"C:\\Work\\setup.exe", Silent},
    {"SetupWithItsArguments", {L"setup.exe", L"/quiet", L"/D=C:\\X"}, OptionsOk, L"", 300, L"C:\\Work\\setup.exe",
     {L"/quiet", L"/D=C:\\X"}},
    {"OptionsAfterSetupAreTheInstallers", {L"setup.exe", L"--limit", L"5"}, OptionsOk, L"", 300,
     L"C:\\Work\\setup.exe", {L"--limit", L"5"}},
    {"Limit", {L"--limit", L"86400", L"setup.exe"}, OptionsOk, L"", 86400, L"C:\\Work\\setup.exe", Silent},
    {"LimitWithUnit", {L"--limit", L"5m", L"setup.exe"}, OptionsBad, L"--limit", 0, L"", {}},
    {"LimitZero", {L"--limit", L"0", L"setup.exe"}, OptionsBad, L"--limit", 0, L"", {}},
    {"LimitPastADay", {L"--limit", L"86401", L"setup.exe"}, OptionsBad, L"--limit", 0, L"", {}},
    {"LimitNegative", {L"--limit", L"-5", L"setup.exe"}, OptionsBad, L"--limit", 0, L"", {}},
    {"LimitMissing", {L"--limit"}, OptionsBad, L"--limit", 0, L"", {}},
    {"SettleZero", {L"--settle", L"0", L"setup.exe"}, OptionsOk, L"", 300, L"C:\\Work\\setup.exe", Silent},
    {"UnknownOption", {L"--quiet", L"setup.exe"}, OptionsBad, L"--quiet", 0, L"", {}},
    {"DashesEndOptions", {L"--", L"--setup.exe"}, OptionsOk, L"", 300, L"C:\\Work\\--setup.exe", Silent},
    {"NoSetup", {L"--interactive"}, OptionsNoSetup, L"", 300, L"", {}},
    {"Nothing", {}, OptionsNoSetup, L"", 300, L"", {}},
    {"AfterRestartNeedsNoSetup", {L"--after-restart", L"state.txt"}, OptionsOk, L"", 300, L"", {}},
};

void PrintTo(const Row &row, std::ostream *out) { *out << row.Name; }

class CheckOptions : public testing::TestWithParam<Row> {};

}  // namespace

TEST_P(CheckOptions, ReadsTheCommandLine)
{
    const Row &row = GetParam();
    Options options;
    std::wstring bad = L"unset";
    ASSERT_EQ(ReadOptions(row.Args, FullPath, &options, &bad), row.Result);
    if (row.Result == OptionsBad) {
        EXPECT_EQ(bad, row.Bad);
        return;
    }
    EXPECT_EQ(bad, L"");
    EXPECT_EQ(options.LimitSeconds, row.Limit);
    EXPECT_EQ(options.Setup, row.Setup);
    EXPECT_EQ(options.InstallerArguments, row.InstallerArguments);
}

INSTANTIATE_TEST_SUITE_P(Check, CheckOptions, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &info) { return info.param.Name; });

TEST(CheckOptionsPaths, FilesNamedOnTheCommandLineAreMadeWhole)
{
    Options options;
    std::wstring bad;
    ASSERT_EQ(ReadOptions({L"--json", L"r.json", L"--state", L"s.txt", L"--settle", L"7", L"--interactive", L"setup.exe"},
                          FullPath, &options, &bad), OptionsOk);
    EXPECT_EQ(options.JsonPath, L"C:\\Work\\r.json");
    EXPECT_EQ(options.StatePath, L"C:\\Work\\s.txt");
    EXPECT_EQ(options.SettleSeconds, 7u);
    EXPECT_TRUE(options.Interactive);
    ASSERT_EQ(ReadOptions({L"--after-restart", L"s.txt"}, FullPath, &options, &bad), OptionsOk);
    EXPECT_EQ(options.AfterRestart, L"C:\\Work\\s.txt");
}

TEST(CheckOptionsPaths, LimitMillisecondsIsSecondsTimesAThousand)
{
    struct { DWORD Seconds, Ms; } rows[] = {{1, 1000}, {300, 300000}, {LongestLimitSeconds, 86400000}};
    for (const auto &row : rows)
        EXPECT_EQ(LimitMilliseconds(row.Seconds), row.Ms) << row.Seconds;
}
