// Two snapshots held against each other: what was added, changed and removed, and
// what of it is still there later.
#pragma once

#include "data/Snapshot.h"

#include <set>
#include <string>
#include <vector>

enum ChangeKind { ChangeAdded, ChangeChanged, ChangeRemoved };

struct Change {
    ChangeKind Kind;
    Entry Before;  // for a change or a removal
    Entry After;   // for an addition or a change
    const Entry &Place() const { return Kind == ChangeRemoved ? Before : After; }
};

void CompareSnapshots(const Snapshot &before, const Snapshot &after, std::vector<Change> *changes);

// What the machine changes by itself, from every look that saw it: each place that changed,
// each folder or key that appeared or vanished whole, and each folder or key that gained or
// lost a file, folder or subkey by itself (a log rotated, a file named by the time): noise as
// a whole, unless it is a shared place, where the installer's own names land too.
// A file, though, is taken in a busy folder only when names of its pattern (NamePattern)
// came there by themselves: what the install put there under a name of its own stays its own.
struct Noise {
    std::set<std::wstring> Places;     // PlaceKey
    std::vector<std::wstring> Whole;
    std::set<std::wstring> Busy;       // folded paths
    std::set<std::wstring> BusyPatterns;  // folded folder\pattern of the names that came and went by themselves
};
// The folded folder\pattern of a file's name; empty when its name holds no digit.
std::wstring BusyPatternOf(const std::wstring &folder, const std::wstring &name);
std::wstring PlaceKey(const Entry &entry);
// The folder or key a place is in: a value's key, a file's or folder's or key's parent.
std::wstring ContainerOf(const Entry &place);
void AddNoise(const std::vector<Change> &changed, Noise *noise);
// Each changed place once, as people read it, but none inside another: a noisy folder stands for its files.
std::vector<std::wstring> OutermostPlaces(const std::vector<Change> &changes);
// Takes out of changes every change that noise accounts for, and everything inside a folder
// or key it took. Returns how many changes it took.
// places, when given, gets the outermost of the places taken, as people read them.
size_t ForgetNoise(std::vector<Change> *changes, const Noise &noise, std::vector<std::wstring> *places = NULL);
size_t ForgetNoise(std::vector<Change> *changes, const std::vector<Change> &noise,
                   std::vector<std::wstring> *places = NULL);
// Folders and keys that Windows and other programs share, made or removed by the install
// (Wine lacks some that Windows always has): never the installer's, so never a change of its.
void ForgetSharedPlaces(std::vector<Change> *changes);
// A change under the WOW6432Node twin of a key Windows shares between the views, seen
// also in the 64-bit view, is one change: the 64-bit one is kept.
void ForgetSharedTwins(std::vector<Change> *changes);
// The install's changes less what is not the installer's: what changed by itself between the
// two looks before the install (changedBefore), then shared places and twins. How many of
// them changed by themselves; places, when given, gets the outermost of the places taken.
size_t ForgetWhatIsNotTheInstallers(std::vector<Change> *changes, const std::vector<Change> &changedBefore,
                                    std::vector<std::wstring> *places = NULL);

// The outermost change and the changes inside it: a new folder or key stands for
// everything new in it, a removed one for everything removed with it, a key for its values.
struct ChangeGroup {
    size_t Head;                  // index in the changes
    std::vector<size_t> Members;  // the head and every change inside it
    // Files a writer made under new names in a folder that was there before ("C:\X\log-*.txt"):
    // one group, named by the pattern, its members the files. Empty for any other group.
    std::wstring Pattern;
    // A product the installer chained, everything it owns in one group headed by its uninstall
    // entry (judge/Products.h): the product as the lines name it. Empty for any other group.
    std::wstring Product;
};
// Files added in a folder that was there before, each a group of its own, whose names differ
// only in their digits (at least MinFilesOfPattern of them), become one group named by their
// pattern: a writer's logs are one leftover, not one each.
static const size_t MinFilesOfPattern = 2;
void GroupChanges(const std::vector<Change> &changes, std::vector<ChangeGroup> *groups);
// The name with each run of digits as "*"; empty when it holds no digit.
std::wstring NamePattern(const std::wstring &name);

// A list value's parts: the texts between any of the separators (";" in a Path, "," in
// Winlogon's programs), or a REG_MULTI_SZ's strings; empty parts left out.
std::vector<std::wstring> ListParts(const Entry &value, const wchar_t *separators = L";");
// The parts a list value gained: those the installer added. Empty when the value is no list.
std::vector<std::wstring> AddedListParts(const Change &change, const wchar_t *separators = L";");

enum LeftState { LeftGone, LeftPending, LeftThere };
// Whether what the change made is still there, from what its place holds now (present,
// now): an addition present, a changed place not back to what it was before, a removed
// one still missing. Pending: an added file or folder the next restart deletes.
LeftState StateOf(const Change &change, bool present, const Entry &now, const std::vector<std::wstring> &pendingPaths);
