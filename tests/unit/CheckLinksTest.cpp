#include "data/Links.h"
#include "data/Snapshot.h"
#include "look/FileWalk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void Put(std::string *bytes, unsigned value, size_t size)
{
    for (size_t i = 0; i < size; i++)
        *bytes += (char)((value >> (8 * i)) & 0xFF);
}

std::string Wide(const std::wstring &text)
{
    std::string bytes;
    for (wchar_t c : text)
        Put(&bytes, c, 2);
    return bytes;
}

// A reparse point's data as Windows gives it (REPARSE_DATA_BUFFER): the substitute name, then the
// print name, in one buffer; a symbolic link's flags between the lengths and the names.
std::string Reparse(DWORD tag, const std::wstring &substitute, const std::wstring &print, unsigned flags = 0)
{
    std::string names = Wide(substitute) + Wide(print), body;
    Put(&body, 0, 2);
    Put(&body, (unsigned)substitute.size() * 2, 2);
    Put(&body, (unsigned)substitute.size() * 2, 2);
    Put(&body, (unsigned)print.size() * 2, 2);
    if (tag == TagSymbolicLink)
        Put(&body, flags, 4);
    body += names;
    std::string bytes;
    Put(&bytes, tag, 4);
    Put(&bytes, (unsigned)body.size(), 2);
    Put(&bytes, 0, 2);
    return bytes + body;
}

const std::wstring Data = L"C:\\Program Files\\Orbel\\data", Link = L"C:\\Users\\Public\\Desktop\\Orbel Data";

}  // namespace

// Windows gives a link's target as the object manager's name, and as people read it; a relative
// symbolic link's is relative to its folder. Data that does not hold together names no target.
TEST(CheckLinks, ReparseDataGivesTheTarget)
{
    std::string longer = Reparse(TagJunction, L"\\??\\" + Data, Data), lying = longer, odd = longer;
    lying[4] = (char)0xF0;       // a data length past the buffer's end
    odd[12] = 1;                 // a print name at an odd offset
    std::string past = Reparse(TagSymbolicLink, L"\\??\\" + Data, Data);
    past[14] = (char)0xFE;       // a print name running past the data
    struct Row {
        const char *Name;
        std::string Bytes;
        std::wstring LinkPath;
        bool Read;
        DWORD Tag;
        std::wstring Target;
    } rows[] = {
        {"SymbolicLink", Reparse(TagSymbolicLink, L"\\??\\" + Data, Data), Link, true, TagSymbolicLink, Data},
        {"SymbolicLinkWithoutPrintName", Reparse(TagSymbolicLink, L"\\??\\" + Data, L""), Link, true, TagSymbolicLink, Data},
        {"RelativeSymbolicLink", Reparse(TagSymbolicLink, L"..\\..\\Orbel\\data", L"..\\..\\Orbel\\data", 1), Link, true,
         TagSymbolicLink, L"C:\\Users\\Orbel\\data"},
        {"RelativeToTheDrive", Reparse(TagSymbolicLink, L"\\Orbel\\data", L"\\Orbel\\data", 1), Link, true,
         TagSymbolicLink, L"C:\\Orbel\\data"},
        {"RelativeNeverAboveTheDrive", Reparse(TagSymbolicLink, L"..\\..\\..\\..\\..\\x", L"", 1), Link, true,
         TagSymbolicLink, L"C:\\x"},
        {"ToAShare", Reparse(TagSymbolicLink, L"\\??\\UNC\\server\\share\\orbel", L""), Link, true, TagSymbolicLink,
         L"\\\\server\\share\\orbel"},
        {"Junction", Reparse(TagJunction, L"\\??\\" + Data + L"\\", Data + L"\\"), Link, true, TagJunction, Data + L"\\"},
        {"JunctionWithoutPrintName", Reparse(TagJunction, L"\\??\\" + Data, L""), Link, true, TagJunction, Data},
        {"AnotherTag", Reparse(0x8000001B, L"\\??\\" + Data, Data), Link, false, 0, L""},
        {"CutShort", longer.substr(0, 12), Link, false, 0, L""},
        {"CutInItsNames", longer.substr(0, longer.size() - 2), Link, false, 0, L""},
        {"LengthPastTheEnd", lying, Link, false, 0, L""},
        {"OddOffset", odd, Link, false, 0, L""},
        {"NamePastTheData", past, Link, false, 0, L""},
        {"NoTarget", Reparse(TagJunction, L"", L""), Link, false, 0, L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        LinkRead link;
        EXPECT_EQ(ParseReparseData(row.Bytes, row.LinkPath, &link), row.Read);
        EXPECT_EQ(link.Tag, row.Tag);
        EXPECT_EQ(link.Target, row.Target);
    }
}

namespace {

// The machine's reparse points, as a row gives them; how often the walk asked.
std::string ReparseBytes;
bool ReaderAnswers;
int ReaderCalls;
bool FakeReader(const std::wstring &, std::string *bytes)
{
    ReaderCalls++;
    *bytes = ReparseBytes;
    return ReaderAnswers;
}

}  // namespace

// On Windows the walk reads a link's target as it lists it; only links are read, and only a
// link's record holds data. Wine 8 makes no link (CreateSymbolicLinkW answers TRUE and makes
// nothing, a junction fails) and lists its own profile folders with the reparse attribute and no
// tag: the reading is proven here, on the reader's bytes.
TEST(CheckLinks, TheWalkKeepsALinksTargetAndNothingElse)
{
    const DWORD folder = FILE_ATTRIBUTE_DIRECTORY, reparse = FILE_ATTRIBUTE_REPARSE_POINT;
    const std::string junction = Reparse(TagJunction, L"\\??\\" + Data, Data);
    struct Row {
        const char *Name;
        DWORD Attributes, Tag;
        std::string Bytes;
        bool Answers;
        int Calls;
        std::wstring Place;  // as the report names it
    } rows[] = {
        {"Junction", folder | reparse, TagJunction, junction, true, 1, L"the link " + Link + L" -> " + Data},
        {"FileSymbolicLink", reparse, TagSymbolicLink, Reparse(TagSymbolicLink, L"..\\a.txt", L"..\\a.txt", 1), true, 1,
         L"the link " + Link + L" -> C:\\Users\\Public\\a.txt"},
        {"WinesProfileFolder", folder | reparse, 0, junction, true, 0, Link},
        {"AnotherReparsePoint", reparse, 0x80000013, junction, true, 0, Link},
        {"NoReparsePoint", folder, TagJunction, junction, true, 0, Link},
        {"CannotBeRead", folder | reparse, TagJunction, junction, false, 1, Link},
        {"Damaged", folder | reparse, TagJunction, junction.substr(0, 20), true, 1, Link},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        Snapshot snapshot;
        size_t root = AddRecord(&snapshot, NoParent, L"C:\\Users\\Public\\Desktop", EntryFolder);
        size_t at = AddRecord(&snapshot, (unsigned)root, L"Orbel Data", row.Attributes & folder ? EntryFolder : EntryFile);
        snapshot.Records[at].Type = row.Attributes;
        snapshot.Records[at].End = snapshot.Records[root].End = (unsigned)snapshot.Records.size();
        ReparseBytes = row.Bytes;
        ReaderAnswers = row.Answers;
        ReaderCalls = 0;
        KeepLink(Link, row.Attributes, row.Tag, FakeReader, &snapshot, at);
        EXPECT_EQ(ReaderCalls, row.Calls);
        Entry entry = EntryAt(snapshot, at);
        EXPECT_EQ(EntryPlace(entry), row.Place);
        EXPECT_EQ(entry.Data.empty(), row.Place == Link);
        EXPECT_TRUE(EntryAt(snapshot, root).Data.empty());
    }
}
