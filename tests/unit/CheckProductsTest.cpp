#include "judge/Findings.h"
#include "judge/Leftovers.h"
#include "judge/Products.h"
#include "tell/JsonReport.h"

#include "CheckEntries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace {

const std::wstring Uninstall = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Uninstall32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring Classes = L"HKLM\\SOFTWARE\\Classes\\Installer";
const std::wstring Installer = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
const std::wstring UserData = Installer + L"\\UserData\\S-1-5-18";
const std::wstring AppDir = L"C:\\Program Files\\Orbel", Runtime = L"C:\\Program Files\\Orbel Runtime";
const std::wstring Code = L"{5E0B8C1A-7D2F-4A3B-9C4D-1E2F3A4B5C6D}", Packed = L"A1C8B0E5F2D7B3A4C9D4E1F2A3B4C5D6";
const std::wstring Upgrade = L"D6C7B8A9F4E5B3A4C8D2E1F0A9B8C7D6";
const std::wstring HelpComponent = L"7F6E5D4C9180B2A43B4C5D6E7F8091A2", KeyComponent = L"807F6E5DA291C3B4485D6E7F8091A2B3";
const std::wstring Cache = L"C:\\windows\\Installer";  // as %SystemRoot% expands under Wine
const std::wstring Package = Cache + L"\\ded0.msi";

Entry Text(const std::wstring &key, const std::wstring &name, const std::wstring &text)
{
    return MakeValue(key, name, REG_SZ, TextData(text));
}

Entry One(const std::wstring &key, const std::wstring &name)
{
    return MakeValue(key, name, REG_DWORD, std::string("\1\0\0\0", 4));
}

Entry File(const std::wstring &path) { return MakeEntry(EntryFile, path); }

// The application, as Kestrane's layout has it.
std::vector<Entry> Application(const std::wstring &entry = Uninstall + L"\\Orbel")
{
    return {File(AppDir + L"\\Orbel.exe"), File(AppDir + L"\\Kestrane.exe"), Text(entry, L"DisplayName", L"Orbel"),
            Text(entry, L"UninstallString", L"\"" + AppDir + L"\\Kestrane.exe\" Orbel/NULL"),
            Text(L"HKCU\\Software\\Orbel", L"Language", L"fr")};
}

// A Windows Installer product as msiexec registers it: its entry, one file and one registry value
// (keyPath: the second component's key path, as recorded), the cached package and its registration.
std::vector<Entry> RuntimeProduct(const std::wstring &keyPath, const std::wstring &file = Runtime + L"\\OrbelRuntime.chm")
{
    const std::wstring entry = Uninstall + L"\\" + Code;
    return {Text(entry, L"DisplayName", L"Orbel Runtime"), Text(entry, L"UninstallString", L"MsiExec.exe /I" + Code),
            One(entry, L"WindowsInstaller"), File(file), File(Package), Text(L"HKLM\\SOFTWARE\\Orbel Runtime", L"Version", L"1.0"),
            Text(Classes + L"\\Products\\" + Packed, L"ProductName", L"Orbel Runtime"),
            Text(Classes + L"\\Products\\" + Packed + L"\\SourceList", L"PackageName", L"runtime.msi"),
            Text(Classes + L"\\Features\\" + Packed, L"Runtime", L""),
            Text(Classes + L"\\UpgradeCodes\\" + Upgrade, Packed, L""),
            Text(Installer + L"\\UpgradeCodes\\" + Upgrade, Packed, L""),
            Text(UserData + L"\\Components\\" + HelpComponent, Packed, file),
            Text(UserData + L"\\Components\\" + KeyComponent, Packed, keyPath),
            Text(UserData + L"\\Products\\" + Packed + L"\\InstallProperties", L"LocalPackage", Package)};
}

// Before the install under Wine: none of Windows Installer's places.
const std::vector<Entry> WineBefore = {MakeEntry(EntryFolder, L"C:\\Program Files"), MakeEntry(EntryFolder, L"C:\\windows"),
                                       MakeEntry(EntryKey, Uninstall), MakeEntry(EntryKey, Uninstall32),
                                       Text(Installer, L"InstallerLocation", L"C:\\windows\\system32"),
                                       MakeEntry(EntryKey, L"HKCU\\Software"), MakeEntry(EntryKey, L"HKLM\\SOFTWARE\\WOW6432Node")};

// Before the install on Windows: its places are there, with another product's component.
std::vector<Entry> WindowsBefore()
{
    std::vector<Entry> before = WineBefore;
    for (const std::wstring &key : {Classes + L"\\Products", Classes + L"\\Features", Classes + L"\\UpgradeCodes",
                                    Installer + L"\\UpgradeCodes", UserData + L"\\Products", Installer + L"\\Folders"})
        before.push_back(MakeEntry(EntryKey, key));
    before.push_back(Text(UserData + L"\\Components\\" + HelpComponent, L"00000000000000000000000000000001", L"C:\\x"));
    before.push_back(File(Cache + L"\\other.msi"));
    return before;
}

template <typename T> std::vector<T> Plus(std::vector<T> items, const std::vector<T> &more)
{
    items.insert(items.end(), more.begin(), more.end());
    return items;
}

std::wstring Described(const Entry &place)
{
    return place.Kind == EntryValue ? place.Path + L"|" + place.Name : place.Path;
}

// The group's places that no other of its places holds.
std::vector<std::wstring> Outermost(const std::vector<Change> &changes, const ChangeGroup &group)
{
    std::vector<std::wstring> places;
    for (size_t m : group.Members) {
        bool inside = false;
        for (size_t o : group.Members)
            inside = inside || (o != m && changes[o].Place().Kind != EntryValue && changes[o].Place().Kind != EntryFile
                                && IsAtOrInside(ContainerOf(changes[m].Place()), changes[o].Place().Path));
        if (!inside)
            places.push_back(Described(changes[m].Place()));
    }
    return places;
}

struct Grouped {
    std::vector<Change> Changes;
    std::vector<ChangeGroup> Groups;
};

Grouped GroupAfter(const std::vector<Entry> &before, const std::vector<Entry> &after)
{
    Grouped grouped;
    CompareSnapshots(Snap(before), Snap(Plus(before, after)), &grouped.Changes);
    ForgetSharedPlaces(&grouped.Changes);
    GroupInstallChanges(grouped.Changes, &grouped.Groups);
    return grouped;
}

}  // namespace

// Knowledge Base article 296067 gives the pair; Wine's msiexec was seen to write the other.
TEST(CheckProducts, PackedCodeIsTheRegistrysFormOfTheCode)
{
    struct Row { std::wstring Code, Packed; } rows[] = {
        {L"{00000409-78E1-11D2-B60F-006097C998E7}", L"904000001E872D116BF00006799C897E"},
        {L"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", L"0E4052F398F43D11A9C030508EC23310"},
        {L"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}", L"0E4052F398F43D11A9C030508EC23310"},
        {Code, Packed},
        {L"3F2504E0-4F89-11D3-9A0C-0305E82C3301", L""},
        {L"{3F2504E0-4F89-11D3-9A0C-0305E82C330}", L""},
        {L"{3F2504E04-F89-11D3-9A0C-0305E82C3301}", L""},
        {L"{3F2504E004F89011D309A0C00305E82C3301}", L""},
        {L"{3F2504E0-4F89-11D3-9A0C-0305E82C33G1}", L""},
        {L"Orbel Runtime", L""},
        {L"", L""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(PackedCode(row.Code), row.Packed) << std::string(row.Code.begin(), row.Code.end());
}

// Everything a product owns is one group headed by its entry; the application's own groups, and
// Windows Installer's own places, are never in it.
TEST(CheckProducts, AProductsPlacesAreOneGroup)
{
    const std::wstring entry = Uninstall + L"\\" + Code, version = L"HKLM\\SOFTWARE\\Orbel Runtime";
    const std::wstring version32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Orbel Runtime";
    const std::vector<std::wstring> registration = {
        Classes + L"\\Products\\" + Packed, Classes + L"\\Features\\" + Packed, Classes + L"\\UpgradeCodes\\" + Upgrade,
        Installer + L"\\UpgradeCodes\\" + Upgrade, UserData + L"\\Components\\" + HelpComponent,
        UserData + L"\\Components\\" + KeyComponent, UserData + L"\\Products\\" + Packed};
    const std::vector<std::wstring> application = {AppDir, L"HKCU\\Software\\Orbel", Uninstall + L"\\Orbel"};
    struct Row {
        const char *Name;
        std::vector<Entry> Before, After;
        std::vector<std::wstring> Product;  // its places, outermost; empty: no product
        std::vector<std::wstring> Apart;    // the heads of the other groups, the application's not said
    } rows[] = {
        // Wine's msiexec makes Windows Installer's places whole, and writes a 64-bit component's
        // registry key path with the 32-bit root.
        {"AsWineWritesIt", WineBefore, Plus(Application(), RuntimeProduct(L"02:\\SOFTWARE\\Orbel Runtime\\Version")),
         Plus({entry, Runtime, Package}, Plus(registration, {version})), {}},
        {"AsWindowsWritesIt", WindowsBefore(),
         Plus(Application(), Plus(RuntimeProduct(L"22:\\SOFTWARE\\Orbel Runtime\\Version"),
                                  {Text(Installer + L"\\Folders", Runtime + L"\\", L"")})),
         {entry, Runtime, Package, Classes + L"\\Products\\" + Packed, Classes + L"\\Features\\" + Packed,
          Classes + L"\\UpgradeCodes\\" + Upgrade, Installer + L"\\UpgradeCodes\\" + Upgrade,
          Installer + L"\\Folders|" + Runtime + L"\\",
          // A component another product shares: the value named by this product's packed code only.
          UserData + L"\\Components\\" + HelpComponent + L"|" + Packed, UserData + L"\\Components\\" + KeyComponent,
          UserData + L"\\Products\\" + Packed, version},
         {}},
        // Without 20 added to its root, a key path names the 32-bit view on a 64-bit Windows: that
        // is the product's, not the same name in the 64-bit view, which stays apart.
        {"ThirtyTwoBitComponent", WineBefore,
         Plus(Application(), Plus(RuntimeProduct(L"02:\\SOFTWARE\\Orbel Runtime\\Version"),
                                  {Text(version32, L"Version", L"1.0")})),
         Plus({entry, Runtime, Package}, Plus(registration, {version32})), {version}},
        // The runtime's file in the application's own folder: that folder stays the application's.
        {"KeyPathInTheApplicationsFolder", WineBefore,
         Plus(Application(), RuntimeProduct(L"22:\\SOFTWARE\\Orbel Runtime\\Version", AppDir + L"\\runtime\\rt.chm")),
         Plus({entry, Package}, Plus(registration, {version})), {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        Grouped grouped = GroupAfter(row.Before, row.After);
        std::vector<std::wstring> product, apart;
        for (const ChangeGroup &group : grouped.Groups) {
            const std::wstring head = Described(grouped.Changes[group.Head].Place());
            if (!group.Product.empty()) {
                EXPECT_EQ(group.Product, L"the product \"Orbel Runtime\" " + Code);
                EXPECT_EQ(head, entry);
                product = Outermost(grouped.Changes, group);
            } else if (std::find(application.begin(), application.end(), head) == application.end()) {
                apart.push_back(head);
            }
        }
        std::sort(product.begin(), product.end());
        std::vector<std::wstring> expected = row.Product;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(product, expected);
        EXPECT_EQ(apart, row.Apart);
    }
}

// A product is any entry the install added but the application's own, in either view; how
// Windows removes it depends on whether Windows Installer installed it.
TEST(CheckProducts, EachEntryButTheApplicationsIsAProduct)
{
    const std::wstring other = Uninstall + L"\\OrbelRuntime", guid = Uninstall + L"\\" + Code;
    const std::wstring uninstaller = L"\"" + Runtime + L"\\uninst.exe\" /S";
    struct Row {
        const char *Name;
        std::vector<Entry> After;
        std::vector<std::wstring> Products;  // name, removal, and its places, outermost, sorted
    } rows[] = {
        {"TheApplicationOnly", Application(), {}},
        {"TheApplicationInBothViews", Plus(Application(), Application(Uninstall32 + L"\\Orbel")), {}},
        {"NoApplicationEntry", {Text(guid, L"DisplayName", L"Orbel Runtime"), One(guid, L"WindowsInstaller")}, {}},
        // Not Windows Installer's: its UninstallString removes it, and its InstallLocation is its.
        {"AnotherInstaller",
         Plus(Application(), {Text(other, L"DisplayName", L"Orbel Runtime"), Text(other, L"UninstallString", uninstaller),
                              Text(other, L"InstallLocation", Runtime + L"\\"), File(Runtime + L"\\uninst.exe")}),
         {L"Orbel Runtime", uninstaller, Runtime, other}},
        // Named by a code, but without WindowsInstaller = 1: its UninstallString, as Windows uses it.
        {"CodeWithoutWindowsInstaller",
         Plus(Application(), {Text(guid, L"DisplayName", L"Orbel Runtime"), Text(guid, L"UninstallString", uninstaller)}),
         {L"Orbel Runtime", uninstaller, guid}},
        {"NoDisplayName", Plus(Application(), {One(guid, L"WindowsInstaller"), Text(guid, L"UninstallString", L"x")}),
         {Code, L"msiexec /x " + Code, guid}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.Name);
        Grouped grouped = GroupAfter(WineBefore, row.After);
        std::vector<std::wstring> products;
        for (const ChangeGroup &group : grouped.Groups) {
            ChainedProduct product;
            if (!ProductOfGroup(grouped.Changes, group, &product))
                continue;
            std::vector<std::wstring> places = Outermost(grouped.Changes, group);
            std::sort(places.begin(), places.end());
            products.push_back(product.Name);
            products.push_back(RemovalOf(product));
            products.insert(products.end(), places.begin(), places.end());
        }
        EXPECT_EQ(products, row.Products);
    }
}

// One finding, and after the uninstall one leftover, however many places the product owns.
TEST(CheckProducts, OneFindingAndOneLeftoverPerProduct)
{
    Grouped grouped = GroupAfter(WineBefore, Plus(Application(), RuntimeProduct(L"02:\\SOFTWARE\\Orbel Runtime\\Version")));
    Said said;
    std::set<size_t> explained;
    JudgeChainedProducts(grouped.Changes, grouped.Groups, &explained, &said);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0].Kind, SaidFinding);
    EXPECT_EQ(said[0].Of, VerdictProblem);
    EXPECT_EQ(said[0].Text, L"the product \"Orbel Runtime\" " + Code + L", which the installer chained (a Windows "
              L"Installer package), survives the uninstall: Windows removes it with `msiexec /x " + Code
              + L"`, and Kestrane never does");
    EXPECT_EQ(std::wstring(said[0].Section), L"A product the installer chained");
    EXPECT_EQ(said[1].Kind, SaidConsequence);
    EXPECT_NE(said[1].Text.find(L"its package in Windows Installer's cache, " + Package + L", and its registration"),
              std::wstring::npos) << std::string(said[1].Text.begin(), said[1].Text.end());
    ASSERT_EQ(explained.size(), 1u);
    const ChangeGroup &group = grouped.Groups[*explained.begin()];

    const MachineReader machine = {[](const Entry &, Entry *) { return false; }};
    struct Row { size_t Gone; LeftoverState State; size_t Left; } rows[] = {
        {0, LeftoverLeft, group.Members.size()},
        {3, LeftoverLeft, group.Members.size() - 3},
        {group.Members.size(), LeftoverRemoved, 0},
    };
    for (const Row &row : rows) {
        std::vector<LeftState> states(grouped.Changes.size(), LeftThere);
        for (size_t i = 0; i < row.Gone; i++)
            states[group.Members[group.Members.size() - 1 - i]] = LeftGone;
        std::vector<Leftover> leftovers;
        AssessLeftovers(grouped.Changes, {group}, states, {}, machine, &leftovers);
        ASSERT_EQ(leftovers.size(), 1u);
        EXPECT_TRUE(leftovers[0].Product);
        EXPECT_EQ(leftovers[0].State, row.State);
        EXPECT_EQ(leftovers[0].Place, group.Product);
        EXPECT_EQ(leftovers[0].Inside, group.Members.size());
        EXPECT_EQ(leftovers[0].InsideLeft, row.Left);
    }
    const std::string json = JsonReport(InstallRecord(), NoiseRecord(), grouped.Changes, grouped.Groups, {}, L"", NULL,
                                        {}, "", "", 1);
    EXPECT_NE(json.find("\"products\":[\n{\"name\":\"Orbel Runtime\",\"code\":\"" + std::string(Code.begin(), Code.end())
                        + "\",\"windowsInstaller\":true,\"packedCode\":\"" + std::string(Packed.begin(), Packed.end())),
              std::string::npos) << json.substr(json.find("\"products\""), 400);
    EXPECT_NE(json.find("\"removedBy\":\"msiexec /x " + std::string(Code.begin(), Code.end()) + "\""), std::string::npos);
}
