#include "target/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

TEST(FormatText, ComposesWideTextsAndRefusesWhatDoesNotFit)
{
    struct Row {
        size_t Size;
        const wchar_t *Format, *First, *Second;
        int Result;
        const wchar_t *Text;
    } rows[] = {
        {260, L"%s\\%s.exe", L"C:\\Program Files\\Orbel", L"Orbel", 32, L"C:\\Program Files\\Orbel\\Orbel.exe"},
        {260, L"Désinstaller  %s ?", L"Café", L"", 20, L"Désinstaller  Café ?"},
        {260, L"100%% %s", L"sûr", L"", 8, L"100% sûr"},
        {6, L"%s%s", L"ab", L"cde", 5, L"abcde"},       // exactly fills the buffer
        {5, L"%s%s", L"ab", L"cde", -1, L""},           // one code unit short
        {3, L"abc", L"", L"", -1, L""},                 // fixed text too long
        {260, L"%d", L"", L"", -1, L""},                // only %s is understood
        {260, L"trailing %", L"", L"", -1, L""},
        {1, L"", L"", L"", 0, L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "format " << row.Format << " size " << row.Size);
        wchar_t buffer[262];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(FormatText(buffer, row.Size, row.Format, row.First, row.Second), row.Result);
        EXPECT_EQ(std::wstring(buffer), row.Text);
        EXPECT_EQ(buffer[row.Size], L'#') << "wrote past the end";
    }
}

TEST(FormatText, ReadsPercentSAsWideEvenUnderTheC99Runtime)
{
    // The narrow reading of %s would stop after the first letter.
    wchar_t buffer[MAX_PATH] = {};
    FormatText(buffer, MAX_PATH, L"%s\\%s.exe", L"Orbel", L"Orbel");
    EXPECT_STREQ(buffer, L"Orbel\\Orbel.exe");
}

TEST(CopyText, CopiesWhatFitsAndEmptiesOtherwise)
{
    wchar_t buffer[4 + 1];
    buffer[4] = L'#';
    EXPECT_TRUE(CopyText(buffer, 4, L"abc"));
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_FALSE(CopyText(buffer, 4, L"abcd"));
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(buffer[4], L'#');
}

TEST(NextToken, BehavesLikeWcstokWithOneDelimiter)
{
    struct Row {
        const wchar_t *Text;
        std::vector<std::wstring> Tokens;
    } rows[] = {
        {L"App/Rule", {L"App", L"Rule"}},
        {L"/App//Rule/", {L"App", L"Rule"}},
        {L"My App/Rule 1", {L"My App", L"Rule 1"}},
        {L"A/B/C", {L"A", L"B", L"C"}},
        {L"///", {}},
        {L"", {}},
        {L"\"Q/R\"", {L"\"Q", L"R\""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "text " << row.Text);
        std::wstring copy = row.Text;
        wchar_t *rest = copy.data();
        std::vector<std::wstring> tokens;
        while (wchar_t *token = NextToken(rest, L'/', &rest))
            tokens.push_back(token);
        EXPECT_EQ(tokens, row.Tokens);
    }
}

TEST(EqualIgnoringAsciiCase, FoldsOnlyTheLettersAToZ)
{
    EXPECT_TRUE(EqualIgnoringAsciiCase(L"NULL", L"null"));
    EXPECT_TRUE(EqualIgnoringAsciiCase(L"nUlL", L"NULL"));
    EXPECT_FALSE(EqualIgnoringAsciiCase(L"NULLX", L"NULL"));
    EXPECT_FALSE(EqualIgnoringAsciiCase(L"NUL", L"NULL"));
    EXPECT_FALSE(EqualIgnoringAsciiCase(L"é", L"É"));
    EXPECT_FALSE(EqualIgnoringAsciiCase(L"[", L"{")); // 0x5B and 0x7B differ by the case bit only
}
