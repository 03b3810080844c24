// A product the installer chained, as installers chain a runtime: an uninstall entry the install
// added besides the application's own. Kestrane never removes it; Windows does, through its entry.
// Everything it owns is one group and one finding, never named apart: its entry, its files and
// keys, and for a Windows Installer product its cached package and its registration, found from
// Windows Installer's own records of the product.
#pragma once
#include "judge/Compare.h"
#include "judge/Verdicts.h"

#include <set>
#include <string>
#include <vector>

struct ChainedProduct {
    std::wstring EntryKey;         // its uninstall entry
    std::wstring Code;             // the entry's key name: a Windows Installer product's code, "{GUID}"
    std::wstring Name;             // its DisplayName, else Code
    std::wstring UninstallString;
    bool WindowsInstaller = false; // its entry is named by a product code and has WindowsInstaller = 1
    std::wstring Packed;           // then its code as Windows Installer's registry names it
};

// A GUID "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" packed as Windows Installer names keys and
// values: each of the first three groups reversed, then each later pair of digits swapped;
// upper case. Empty for anything but a GUID.
std::wstring PackedCode(const std::wstring &code);

// The uninstall entries the install added besides the application's own (ownEntryKey), and
// besides the application's entry in the other registry view (the same name): none without one.
std::vector<ChainedProduct> ChainedProducts(const std::vector<Change> &changes, const std::wstring &ownEntryKey);
// The product a group stands for, read from the values of the entry that heads it; false for a
// group that is no product's.
bool ProductOfGroup(const std::vector<Change> &changes, const ChangeGroup &group, ChainedProduct *product);
// How Windows removes it: "msiexec /x {code}" for a Windows Installer product, else its UninstallString.
std::wstring RemovalOf(const ChainedProduct &product);
// The product as the lines name it: the product "Name" {code}.
std::wstring ProductPlace(const ChainedProduct &product);

// Each product's groups made one, headed by its entry, in its entry's place: the entry; the groups
// a component's key path, its cached package (LocalPackage) or its InstallLocation is in; keys
// and values of Windows Installer's own places named by its packed code, or holding a value so
// named; the folders Windows Installer noted it made (Installer\Folders) for them. A group that
// holds the application's own folder, entry or settings key is never a product's.
void GroupChainedProducts(const std::vector<Change> &changes, const std::wstring &ownEntryKey,
                          std::vector<ChangeGroup> *groups);

// One problem per product group, which it explains (explained gets its index), with what it owns.
void JudgeChainedProducts(const std::vector<Change> &changes, const std::vector<ChangeGroup> &groups,
                          std::set<size_t> *explained, Said *said);
