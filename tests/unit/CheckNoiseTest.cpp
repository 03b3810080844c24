#include "judge/Noise.h"

#include "CheckEntries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text)
{
    return MakeValue(key, name, REG_SZ, TextData(text));
}

const std::wstring Key = L"HKLM\\SOFTWARE\\Orbel";
const std::wstring Fonts = L"Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const std::wstring View = L" (64-bit view)";

}  // namespace

// The step from the three looks to the installer's changes: what changed between the two looks
// before the install, around the stand-in, is taken out of what the install seems to have changed,
// and named; so are shared places and twins.
TEST(CheckNoise, TheInstallersChangesAreWhatNothingElseChanged)
{
    struct Row {
        const char *Name;
        std::vector<Entry> First, Before, Installed;
        std::vector<std::wstring> Kept, Seen, Taken;
    } rows[] = {
        {"ChangedBetweenTheLooksBefore", {Text(Key, L"Seen", L"1")}, {Text(Key, L"Seen", L"2")},
         {Text(Key, L"Seen", L"3"), Text(Key, L"Mine", L"1")},
         {L"the value `Mine` of " + Key + View}, {L"the value `Seen` of " + Key + View},
         {L"the value `Seen` of " + Key + View}},
        {"QuietBefore", {Text(Key, L"Seen", L"1")}, {Text(Key, L"Seen", L"1")},
         {Text(Key, L"Seen", L"2"), Text(Key, L"Mine", L"1")},
         {L"the value `Mine` of " + Key + View, L"the value `Seen` of " + Key + View}, {}, {}},
        {"SharedTwinsOnce", {MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\" + Fonts), MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\WOW6432Node\\" + Fonts)},
         {MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\" + Fonts), MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\WOW6432Node\\" + Fonts)},
         {Text(L"HKLM\\SOFTWARE\\" + Fonts, L"Orbel", L"orbel.ttf"), Text(L"HKLM\\SOFTWARE\\WOW6432Node\\" + Fonts, L"Orbel", L"orbel.ttf")},
         {L"the value `Orbel` of HKLM\\SOFTWARE\\" + Fonts + View}, {}, {}},
    };
    for (const Row &row : rows) {
        NoiseRecord noise;
        LooksBefore looks;
        looks.Before = Snap(row.Before);
        SeeWhatChangesByItself(Snap(row.First), &looks, &noise);
        std::vector<Change> changes = InstallersChanges(looks, Snap(row.Installed), &noise);
        std::vector<std::wstring> kept;
        for (const Change &change : changes)
            kept.push_back(EntryPlace(change.Place()));
        EXPECT_EQ(kept, row.Kept) << row.Name;
        EXPECT_EQ(noise.SeenBefore, row.Seen) << row.Name;
        EXPECT_EQ(noise.TakenBefore, row.Taken) << row.Name;
        EXPECT_EQ(noise.ChangesBefore, row.Taken.size()) << row.Name;
    }
}
