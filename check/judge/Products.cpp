#include "judge/Products.h"

#include "judge/CommandLine.h"
#include "look/Skipped.h"

#include <map>

static const wchar_t *const UninstallKeys[] = {
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

static bool IsUninstallEntry(const std::wstring &keyPath)
{
    for (const wchar_t *key : UninstallKeys)
        if (SameText(ParentOf(keyPath), key))
            return true;
    return false;
}

// Microsoft's Knowledge Base article 296067 gives pairs: {00000409-78E1-11D2-B60F-006097C998E7}
// is stored in the registry as 904000001E872D116BF00006799C897E.
std::wstring PackedCode(const std::wstring &code)
{
    if (code.size() != 38 || code[0] != L'{' || code[37] != L'}')
        return L"";
    std::wstring hex;
    for (size_t i = 1; i < 37; i++) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        wchar_t c = code[i];
        bool digit = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
        if (dash ? c != L'-' : !digit)
            return L"";
        if (!dash)
            hex += c >= L'a' ? (wchar_t)(c - L'a' + L'A') : c;
    }
    std::wstring packed(hex.rend() - 8, hex.rend());
    packed.append(hex.rend() - 12, hex.rend() - 8);
    packed.append(hex.rend() - 16, hex.rend() - 12);
    for (size_t i = 16; i < 32; i += 2) {
        packed += hex[i + 1];
        packed += hex[i];
    }
    return packed;
}

static void ReadEntryValue(const Entry &value, ChainedProduct *product, bool *windowsInstaller)
{
    if (value.Kind != EntryValue || !SameText(value.Path, product->EntryKey))
        return;
    if (SameText(value.Name, L"DisplayName") && !ValueString(value).empty())
        product->Name = ValueString(value);
    else if (SameText(value.Name, L"UninstallString"))
        product->UninstallString = ValueString(value);
    else if (SameText(value.Name, L"WindowsInstaller"))
        *windowsInstaller = value.Type == REG_DWORD && value.Data == std::string("\1\0\0\0", 4);
}

// The product of an entry, from the values the install added to it (indices in changes).
static ChainedProduct ProductOfEntry(const std::vector<Change> &changes, const std::wstring &entryKey,
                                     const std::vector<size_t> &values)
{
    ChainedProduct product;
    product.EntryKey = entryKey;
    product.Code = LeafOf(entryKey);
    product.Name = product.Code;
    bool windowsInstaller = false;
    for (size_t i : values)
        if (changes[i].Kind == ChangeAdded)
            ReadEntryValue(changes[i].After, &product, &windowsInstaller);
    // The ProductCode names the entry Windows Installer writes (learn.microsoft.com/windows/win32/msi/productcode).
    std::wstring packed = PackedCode(product.Code);
    product.WindowsInstaller = windowsInstaller && !packed.empty();
    product.Packed = product.WindowsInstaller ? packed : L"";
    return product;
}

std::vector<ChainedProduct> ChainedProducts(const std::vector<Change> &changes, const std::wstring &ownEntryKey)
{
    std::vector<ChainedProduct> products;
    std::vector<size_t> all(changes.size());
    for (size_t i = 0; i < changes.size(); i++)
        all[i] = i;
    for (size_t i = 0; i < changes.size() && !ownEntryKey.empty(); i++) {
        const Entry &key = changes[i].After;
        if (changes[i].Kind == ChangeAdded && key.Kind == EntryKey && IsUninstallEntry(key.Path)
            && !SameText(LeafOf(key.Path), LeafOf(ownEntryKey)))
            products.push_back(ProductOfEntry(changes, key.Path, all));
    }
    return products;
}

bool ProductOfGroup(const std::vector<Change> &changes, const ChangeGroup &group, ChainedProduct *product)
{
    if (group.Product.empty())
        return false;
    *product = ProductOfEntry(changes, changes[group.Head].Place().Path, group.Members);
    return true;
}

std::wstring RemovalOf(const ChainedProduct &product)
{
    // learn.microsoft.com/windows/win32/msi/command-line-options: /x uninstalls the product.
    return product.WindowsInstaller ? L"msiexec /x " + product.Code : product.UninstallString;
}

std::wstring ProductPlace(const ChainedProduct &product)
{
    if (product.WindowsInstaller)
        return L"the product \"" + product.Name + L"\" " + product.Code;
    return L"the product \"" + product.Name + L"\" (its uninstall entry " + KeyPlace(product.EntryKey) + L")";
}

// A key path without the 64-bit view's root on a 64-bit Windows: the 32-bit view's place.
static std::wstring Wow32Of(const std::wstring &keyPath)
{
    static const wchar_t *const Redirected[] = {L"HKLM\\SOFTWARE\\Classes", L"HKCU\\Software\\Classes", L"HKLM\\SOFTWARE"};
    for (const wchar_t *root : Redirected)
        if (IsInside(keyPath, root))
            return std::wstring(root) + L"\\WOW6432Node" + keyPath.substr(wcslen(root));
    return keyPath;
}

// A component's key path as Windows Installer records it (MsiGetComponentPath,
// learn.microsoft.com/windows/win32/api/msi/nf-msi-msigetcomponentpathw): a file, a folder
// ("C:\dir\"), or a registry value or key ("02:\SOFTWARE\Key\Value", "02:\SOFTWARE\Key\") whose
// root is 00 HKCR, 01 HKCU, 02 HKLM or 03 HKU, with 20 added on a 64-bit Windows for the 64-bit
// view. Without it that is the 32-bit view; Wine writes it for 64-bit components too, so the
// 64-bit place comes second. The places it may be, in that order.
static std::vector<Entry> KeyPathPlaces(std::wstring keyPath)
{
    bool container = !keyPath.empty() && keyPath.back() == L'\\';
    if (container)
        keyPath.pop_back();
    if (keyPath.size() > 3 && keyPath[1] == L':' && keyPath[2] == L'\\')
        return {MakeEntry(container ? EntryFolder : EntryFile, keyPath)};
    static const wchar_t *const Roots[] = {L"HKLM\\SOFTWARE\\Classes", L"HKCU", L"HKLM"};
    bool digits = keyPath.size() > 4 && iswdigit(keyPath[0]) && iswdigit(keyPath[1]);
    int root = digits ? (keyPath[0] - L'0') * 10 + keyPath[1] - L'0' : -1;
    if (!digits || keyPath.compare(2, 2, L":\\") != 0 || (root % 20) > 2 || root > 22)
        return {};  // HKU and the rest are never looked at
    std::wstring path = std::wstring(Roots[root % 20]) + L"\\" + keyPath.substr(4);
    std::vector<std::wstring> paths;
    if (root < 20 && Wow32Of(path) != path)
        paths.push_back(Wow32Of(path));
    paths.push_back(path);
    std::vector<Entry> places;
    for (const std::wstring &place : paths)
        places.push_back(container ? MakeEntry(EntryKey, place) : MakeValue(ParentOf(place), LeafOf(place), REG_NONE, ""));
    return places;
}

// The places Windows Installer's records of the product name (each a list of candidates): each
// component's key path (a value named by the packed code in the key of the packed component
// code under UserData\<SID>\Components), its cached package (LocalPackage in the key
// InstallProperties of UserData\<SID>\Products\<packed>), and for any product the folder its
// entry's InstallLocation names.
static std::vector<std::vector<Entry>> RecordedPlaces(const std::vector<Change> &changes, const ChainedProduct &product)
{
    std::vector<std::vector<Entry>> places;
    for (const Change &change : changes) {
        const Entry &value = change.After;
        if (change.Kind != ChangeAdded || value.Kind != EntryValue || ValueString(value).empty())
            continue;
        std::wstring text = ValueString(value);
        bool records = product.WindowsInstaller && IsInWindowsInstallerPlaces(value.Path);
        if (records && SameText(value.Name, product.Packed) && SameText(LeafOf(ParentOf(value.Path)), L"Components"))
            places.push_back(KeyPathPlaces(text));
        else if (records && SameText(value.Name, L"LocalPackage") && SameText(LeafOf(ParentOf(value.Path)), product.Packed))
            places.push_back({MakeEntry(EntryFile, text)});
        else if (SameText(value.Path, product.EntryKey) && SameText(value.Name, L"InstallLocation"))
            places.push_back({MakeEntry(EntryFolder, text.back() == L'\\' ? text.substr(0, text.size() - 1) : text)});
    }
    return places;
}

// Whether the group is the place, or a folder or key the install added that holds it.
static bool Holds(const Change &head, const Entry &place)
{
    const Entry &at = head.Place();
    if (at.Kind == EntryValue)
        return place.Kind == EntryValue && SameText(at.Path, place.Path) && SameText(at.Name, place.Name);
    if (place.Kind == EntryValue)
        return head.Kind == ChangeAdded && IsAtOrInside(place.Path, at.Path);
    return SameText(at.Path, place.Path) || (head.Kind == ChangeAdded && IsInside(place.Path, at.Path));
}

// The application's own places, which no product's group may hold: its entry, its folder (where
// its entry's program is) and its settings key.
static std::vector<std::wstring> ApplicationPlaces(const std::vector<Change> &changes, const std::wstring &ownEntryKey)
{
    std::vector<std::wstring> places = {ownEntryKey, L"HKCU\\Software\\" + LeafOf(ownEntryKey)};
    for (const Change &change : changes)
        if (change.Kind == ChangeAdded && change.After.Kind == EntryValue && SameText(change.After.Path, ownEntryKey)
            && SameText(change.After.Name, L"UninstallString")) {
            std::wstring program = ProgramOfCommandLine(ValueString(change.After));
            if (program.find(L'\\') != std::wstring::npos)
                places.push_back(ParentOf(program));
        }
    return places;
}

static bool HoldsApplication(const Entry &head, const std::vector<std::wstring> &application)
{
    for (const std::wstring &place : application)
        if (!place.empty() && IsAtOrInside(place, head.Path))
            return true;
    return false;
}

// A key or value of Windows Installer's own places that the product's packed code (or its code)
// names, or a key holding a value so named: its registration, or its files kept there.
static bool IsRegistration(const std::vector<Change> &changes, const ChangeGroup &group, const ChainedProduct &product)
{
    const Entry &head = changes[group.Head].Place();
    if (!product.WindowsInstaller || changes[group.Head].Kind != ChangeAdded || !IsInWindowsInstallerPlaces(head.Path))
        return false;
    for (const std::wstring &part : PathParts(head.Path))
        if (SameText(part, product.Packed) || SameText(part, product.Code))
            return true;
    for (size_t m : group.Members)
        if (changes[m].After.Kind == EntryValue && SameText(changes[m].After.Name, product.Packed))
            return true;
    return false;
}

// A value of Installer\Folders, named by a folder Windows Installer made for a product.
static std::wstring NotedFolder(const Change &head)
{
    const Entry &value = head.Place();
    if (head.Kind != ChangeAdded || value.Kind != EntryValue || !SameText(LeafOf(value.Path), L"Folders")
        || !IsInWindowsInstallerPlaces(value.Path))
        return L"";
    return !value.Name.empty() && value.Name.back() == L'\\' ? value.Name.substr(0, value.Name.size() - 1) : value.Name;
}

struct Ownership {
    const std::vector<Change> &Changes;
    const std::vector<ChangeGroup> &Groups;
    std::vector<std::wstring> Application;
    std::vector<int> Owner;  // per group: the product's index, or -1
};

// The group that holds the first of the candidate places a group holds (none of the application's,
// nor another product's) is the product's.
static void TakeFirstHolder(const std::vector<Entry> &candidates, int product, Ownership *owned)
{
    for (const Entry &place : candidates)
        for (size_t g = 0; g < owned->Groups.size(); g++) {
            const Change &head = owned->Changes[owned->Groups[g].Head];
            if ((owned->Owner[g] >= 0 && owned->Owner[g] != product) || !Holds(head, place)
                || HoldsApplication(head.Place(), owned->Application))
                continue;
            owned->Owner[g] = product;
            return;
        }
}

static void MarkOwned(const ChainedProduct &product, int index, Ownership *owned)
{
    const std::vector<Change> &changes = owned->Changes;
    for (size_t g = 0; g < owned->Groups.size(); g++) {
        const Change &head = changes[owned->Groups[g].Head];
        if (owned->Owner[g] < 0
            && ((head.Kind == ChangeAdded && head.After.Kind == EntryKey && SameText(head.After.Path, product.EntryKey))
                || IsRegistration(changes, owned->Groups[g], product)))
            owned->Owner[g] = index;
    }
    for (const std::vector<Entry> &candidates : RecordedPlaces(changes, product))
        TakeFirstHolder(candidates, index, owned);
    for (size_t g = 0; g < owned->Groups.size(); g++) {
        std::wstring folder = NotedFolder(changes[owned->Groups[g].Head]);
        for (size_t o = 0; o < owned->Groups.size() && !folder.empty() && owned->Owner[g] < 0; o++)
            if (owned->Owner[o] == index && IsAtOrInside(folder, changes[owned->Groups[o].Head].Place().Path))
                owned->Owner[g] = index;
    }
}

// Each product's groups as one, in the place of its entry's group, the entry's members first.
static void MergeOwned(const std::vector<ChainedProduct> &products, const Ownership &owned,
                       std::vector<ChangeGroup> *groups)
{
    std::vector<ChangeGroup> merged(products.size());
    std::vector<size_t> entryGroup(products.size(), groups->size());
    for (size_t g = 0; g < groups->size(); g++) {
        int p = owned.Owner[g];
        if (p >= 0 && SameText(owned.Changes[(*groups)[g].Head].Place().Path, products[p].EntryKey)) {
            entryGroup[p] = g;
            merged[p].Head = (*groups)[g].Head;
            merged[p].Product = ProductPlace(products[p]);
        }
    }
    for (size_t pass = 0; pass < 2; pass++)
        for (size_t g = 0; g < groups->size(); g++)
            if (owned.Owner[g] >= 0 && (entryGroup[owned.Owner[g]] == g) == (pass == 0))
                merged[owned.Owner[g]].Members.insert(merged[owned.Owner[g]].Members.end(), (*groups)[g].Members.begin(),
                                                      (*groups)[g].Members.end());
    std::vector<ChangeGroup> kept;
    for (size_t g = 0; g < groups->size(); g++) {
        if (owned.Owner[g] < 0)
            kept.push_back((*groups)[g]);
        else if (entryGroup[owned.Owner[g]] == g)
            kept.push_back(merged[owned.Owner[g]]);
    }
    groups->swap(kept);
}

void GroupChainedProducts(const std::vector<Change> &changes, const std::wstring &ownEntryKey,
                          std::vector<ChangeGroup> *groups)
{
    std::vector<ChainedProduct> products = ChainedProducts(changes, ownEntryKey);
    if (products.empty())
        return;
    Ownership owned = {changes, *groups, ApplicationPlaces(changes, ownEntryKey), std::vector<int>(groups->size(), -1)};
    for (size_t p = 0; p < products.size(); p++)
        MarkOwned(products[p], (int)p, &owned);
    MergeOwned(products, owned, groups);
}

static std::wstring Items(size_t count) { return Number(count) + (count == 1 ? L" item" : L" items"); }

// What the product owns, outermost first: its entry, its files and keys, what Windows Installer
// keeps of it (its package, its registration).
static std::wstring OwnedText(const std::vector<Change> &changes, const ChangeGroup &group, const ChainedProduct &product)
{
    std::set<std::wstring> containers;  // folded: the folders and keys among its places
    for (size_t m : group.Members)
        if (changes[m].Place().Kind == EntryFolder || changes[m].Place().Kind == EntryKey)
            containers.insert(Folded(changes[m].Place().Path));
    // Each place counted in the outermost of its places that holds it.
    std::map<std::wstring, size_t> inside;
    std::vector<const Entry *> outermost;
    size_t registration = 0;
    for (size_t m : group.Members) {
        const Entry &place = changes[m].Place();
        std::wstring holder;
        for (std::wstring up = ContainerOf(place); !up.empty(); up = ParentOf(up))
            if (containers.count(Folded(up)))
                holder = Folded(up);
        if (holder.empty())
            outermost.push_back(&place);
        else
            inside[holder]++;
        registration += (place.Kind == EntryKey || place.Kind == EntryValue) && IsInWindowsInstallerPlaces(place.Path);
    }
    std::wstring places, kept;
    for (const Entry *place : outermost) {
        bool registry = place->Kind == EntryKey || place->Kind == EntryValue;
        if (registry && IsInWindowsInstallerPlaces(place->Path))
            continue;
        size_t in = inside[Folded(place->Path)];
        std::wstring named = (SameText(place->Path, product.EntryKey) ? L"uninstall entry " : L"") + EntryPlace(*place)
            + (in > 0 && place->Kind != EntryValue ? L" (with " + Items(in) + L" in it)" : L"");
        std::wstring &list = !registry && IsInWindowsInstallerPlaces(place->Path) ? kept : places;
        list += (list.empty() ? L"" : L", ") + named;
    }
    std::wstring text = L"all it owns stays until Windows removes it, " + Items(group.Members.size()) + L": its "
        + places;
    if (!kept.empty())
        text += L", its package in Windows Installer's cache, " + kept;
    if (registration > 0)
        text += L", and its registration with Windows Installer, " + Number(registration) + L" keys and values named "
            L"by its packed code " + product.Packed;
    return text;
}

void JudgeChainedProducts(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                          std::set<size_t> *explained, Said *said)
{
    for (size_t g = 0; g < groups.size(); g++) {
        ChainedProduct product;
        if (!ProductOfGroup(changes, groups[g], &product))
            continue;
        explained->insert(g);
        std::wstring removal = RemovalOf(product);
        Find(said, VerdictProblem, ProductPlace(product) + L", which the installer chained"
                + (product.WindowsInstaller ? L" (a Windows Installer package)" : L"") + L", survives the uninstall: "
                + (removal.empty() ? std::wstring(L"its entry has no UninstallString for Windows to remove it with")
                                   : L"Windows removes it with `" + removal + L"`")
                + L", and Kestrane never does", SectionChainedProduct);
        Also(said, OwnedText(changes, groups[g], product));
    }
}
