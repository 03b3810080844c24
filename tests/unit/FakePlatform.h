// A scripted stand-in for the platform layer: a small model of the files,
// keys, windows and COM state the program touches, with switches for the
// failures Windows will not produce on demand, and a log of every call.
#pragma once

#include "platform/Platform.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeBox {
    std::wstring Text;
    std::wstring Caption;
    UINT Style;
    HWND Owner;
};

struct FakeShutdown {
    bool Requested = false;
    const wchar_t *Machine = nullptr;
    const wchar_t *Message = nullptr;
    DWORD Timeout = 0xFFFFFFFF, Reason = 0;
    BOOL Force = -1, Restart = -1;
};

struct FakePlatform {
    std::vector<std::wstring> Calls;

    // DLL search, on Windows 10 unless scripted (version 0: it cannot be read).
    bool HasSetDefaultDllDirectories = true;
    BOOL SetDefaultDllDirectoriesResult = TRUE;
    WORD WindowsVersion = 0x0A00;
    std::vector<std::wstring> SystemLibrariesLoaded; // "name flags"
    DWORD ShellLoadFlags = 0;

    // COM: results computed like Windows unless scripted.
    std::deque<HRESULT> CoInitResults;
    int ComDepth = 0, CoUninitializeCount = 0;
    HRESULT CreateResult = S_OK, GetRulesResult = S_OK, RemoveResult = S_OK;
    bool GetRulesLeavesObject = false; // a failing get_Rules that still hands out a collection
    bool AllocStringFails = false;
    int LiveObjects = 0, LiveStrings = 0;
    CLSID CreatedClass = {};
    IID CreatedInterface = {};
    DWORD CreateContext = 0;
    IUnknown *CreateOuter = reinterpret_cast<IUnknown *>(1);
    std::vector<std::wstring> RemovedRules;
    // The firewall's rules by name, duplicates allowed, as Windows keeps them:
    // Remove takes away one per call, Item finds one by name, get_Count counts all.
    std::vector<std::wstring> Rules;
    bool RemoveDeletesNothing = false;
    HRESULT ItemResult = S_OK, CountResult = S_OK; // E_NOTIMPL from Item stands for Wine's

    // Shell folders by CSIDL.
    std::map<int, std::pair<HRESULT, std::wstring>> Folders;

    // Message boxes: answers in order, IDOK once they run out.
    std::deque<int> Answers;
    std::vector<FakeBox> Boxes;

    // Top-level windows by title.
    std::vector<std::wstring> WindowTitles;
    bool EnumFails = false;
    // Which of them is the calling program's console (1-based; 0: it has none): its title is set there.
    size_t ConsoleWindow = 0;

    // Files and folders by path, with their attributes.
    std::map<std::wstring, DWORD> Files;
    std::set<std::wstring> SetAttributesFails, DeleteFails, RemoveDirectoryFails, MoveFails;
    std::set<std::wstring> VanishOnFailure; // gone by the time the failure is looked at
    std::vector<std::wstring> Pending;

    // Registry keys as "HKEY_...\subkey".
    std::set<std::wstring> Keys;
    std::map<std::wstring, LONG> OpenErrors, DeleteErrors;
    std::set<std::wstring> CloseFails;
    int OpenKeys = 0;

    // Token and shutdown.
    BOOL OpenTokenResult = TRUE, LookupResult = TRUE, CloseResult = TRUE, ShutdownResult = TRUE;
    DWORD AdjustLastError = ERROR_SUCCESS;
    DWORD LastError = 0;
    int OpenTokens = 0;
    DWORD TokenAccess = 0;
    std::wstring LookedUpPrivilege;
    TOKEN_PRIVILEGES Adjusted = {};
    bool AdjustDisableAll = true;
    DWORD AdjustLength = 1;
    bool AdjustAskedPrevious = true;
    FakeShutdown Shutdown;
};

extern FakePlatform Fake;

// Fresh fake with three resolvable shell folders and nothing on disk.
void ResetFake();

inline const std::wstring ProgramFiles = L"C:\\Program Files";
inline const std::wstring Desktop = L"C:\\users\\ana\\Desktop";
inline const std::wstring Programs =
    L"C:\\users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

// Calls whose log line starts with prefix, in order.
std::vector<std::wstring> CallsStartingWith(const std::wstring &prefix);
