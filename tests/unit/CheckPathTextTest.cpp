#include "data/PathText.h"

#include <gtest/gtest.h>

#include <string>

TEST(CheckPathText, InsideParentAndSameTextWhateverTheCase)
{
    struct Row { const wchar_t *Path, *Folder; bool Inside, AtOrInside; } rows[] = {
        {L"C:\\Program Files\\Orbel", L"C:\\Program Files", true, true},
        {L"c:\\program files\\orbel\\a.exe", L"C:\\Program Files", true, true},
        {L"C:\\Program Files (x86)\\Orbel", L"C:\\Program Files", false, false},
        {L"C:\\Program Files (x86)", L"C:\\Program Files", false, false},
        {L"C:\\PROGRAM FILES", L"C:\\Program Files", false, true},
        {L"C:\\Program Files\\", L"C:\\Program Files", false, false},  // no name after the backslash
        {L"HKLM\\SOFTWARE\\Orbel", L"hklm\\software", true, true},
        {L"C:\\Orbel", L"", false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Path << " in " << row.Folder);
        EXPECT_EQ(IsInside(row.Path, row.Folder), row.Inside);
        EXPECT_EQ(IsAtOrInside(row.Path, row.Folder), row.AtOrInside);
    }
    EXPECT_EQ(ParentOf(L"C:\\Program Files\\Orbel\\a.exe"), L"C:\\Program Files\\Orbel");
    EXPECT_EQ(ParentOf(L"HKLM"), L"");
    EXPECT_TRUE(SameText(L"Désinstaller", L"DÉSINSTALLER"));
    EXPECT_FALSE(SameText(L"Orbel", L"Orbel "));
}

TEST(CheckPathText, PlacesSortComponentByComponentValuesBetweenKeyAndSubkeys)
{
    struct Place { const wchar_t *Path, *Name; bool Value; };
    // Each row: a place that sorts strictly before the next one.
    struct Row { Place Before, After; } rows[] = {
        {{L"HKLM\\A", L"", false}, {L"HKLM\\A", L"", true}},           // the key before its values
        {{L"HKLM\\A", L"Zeta", true}, {L"HKLM\\A\\B", L"", false}},    // its values before its subkeys
        {{L"HKLM\\A", L"alpha", true}, {L"HKLM\\A", L"Beta", true}},   // names without regard to case
        {{L"C:\\A\\B", L"", false}, {L"C:\\A B", L"", false}},         // a folder's subtree before its next sibling
        {{L"C:\\Program Files", L"", false}, {L"C:\\Program Files (x86)", L"", false}},
        {{L"C:\\a", L"", false}, {L"C:\\_", L"", false}},              // folded to upper case, as the file system does
    };
    auto order = [](const Place &l, const Place &r) {
        return ComparePlaces(l.Path, l.Name, l.Value, r.Path, r.Name, r.Value);
    };
    for (const Row &row : rows) {
        EXPECT_LT(order(row.Before, row.After), 0) << row.Before.Path << "|" << row.Before.Name << " < " << row.After.Path;
        EXPECT_GT(order(row.After, row.Before), 0) << row.After.Path << " > " << row.Before.Path << "|" << row.Before.Name;
    }
    EXPECT_EQ(ComparePlaces(L"hklm\\a", L"NAME", true, L"HKLM\\A", L"name", true), 0);
}
