#include "judge/LaunchPoints.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <windows.h>

static const DWORD KeyItself = 0xFFFFFFFF;  // a row's type for the key, not one of its values

// A binary value holds the text in ANSI at its start, as a Winsock catalog item holds its provider's path.
static Entry ValueEntry(const std::wstring &key, const std::wstring &name, DWORD type, const std::wstring &text)
{
    if (type == KeyItself)
        return MakeEntry(EntryKey, key);
    std::string data((const char *)text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    if (type == REG_BINARY)
        data = std::string(text.begin(), text.end()) + std::string(MAX_PATH - text.size() + 40, '\0');
    return Entry{EntryValue, key, name, type, data, 0, 0, 0};
}

static Entry Number(const std::wstring &key, const std::wstring &name, DWORD number)
{
    return MakeValue(key, name, REG_DWORD, std::string((const char *)&number, sizeof number));
}

// Classes: Menu the machine's; Both the user's, the machine's and the 32-bit view's, each its own
// DLL; Server only the user's, a program; Nowhere none.
static const std::wstring Menu = L"{4F1C6A2E-8B3D-4E5F-9A0B-1C2D3E4F5A6B}", Both = L"{5A2B7C3D-9E4F-4A1B-8C2D-3E4F5A6B7C8D}",
                          Server = L"{6B3C8D4E-0F5A-4B2C-9D3E-4F5A6B7C8D9E}", Nowhere = L"{7C4D9E5F-1A6B-4C3D-8E4F-5A6B7C8D9E0F}";
static const std::wstring Services = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
static const std::wstring WindowsNT = L"\\Microsoft\\Windows NT\\CurrentVersion";

// What else of the registry the launch points read.
static const std::vector<Entry> &Registry()
{
    static const std::vector<Entry> registry = {
        ValueEntry(L"HKLM\\SOFTWARE\\Classes\\CLSID\\" + Menu + L"\\InprocServer32", L"", REG_SZ, L"C:\\Program Files\\Orbel\\OrbelShell.dll"),
        ValueEntry(L"HKCU\\Software\\Classes\\CLSID\\" + Both + L"\\InprocServer32", L"", REG_SZ, L"C:\\Orbel\\user.dll"),
        ValueEntry(L"HKLM\\SOFTWARE\\Classes\\CLSID\\" + Both + L"\\InprocServer32", L"", REG_SZ, L"C:\\Orbel\\machine.dll"),
        ValueEntry(L"HKLM\\SOFTWARE\\WOW6432Node\\Classes\\CLSID\\" + Both + L"\\InprocServer32", L"", REG_SZ, L"C:\\Orbel\\x86.dll"),
        // The same 32-bit classes as Windows also names them, under the 64-bit classes root.
        ValueEntry(L"HKLM\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\" + Both + L"\\InprocServer32", L"", REG_SZ, L"C:\\Orbel\\x86 classes.dll"),
        ValueEntry(L"HKCU\\Software\\Classes\\CLSID\\" + Server + L"\\LocalServer32", L"", REG_SZ, L"\"C:\\Orbel\\server.exe\" -Embedding"),
        ValueEntry(L"HKCU\\Software\\Classes\\orbel", L"URL Protocol", REG_SZ, L""),
        ValueEntry(L"HKLM\\SOFTWARE\\Classes\\Folder\\shellex\\ContextMenuHandlers\\" + Nowhere, L"", REG_SZ, Menu),
        ValueEntry(L"HKCU\\Software\\Classes\\Directory\\shellex\\ContextMenuHandlers\\" + Server, L"", REG_SZ, Menu),
        Number(Services + L"OrbelSvc", L"Start", SERVICE_AUTO_START),
        Number(Services + L"OrbelOff", L"Start", SERVICE_DISABLED),
        Number(L"HKLM\\SOFTWARE" + WindowsNT + L"\\Windows", L"LoadAppInit_DLLs", 1),
        Number(L"HKLM\\SOFTWARE\\WOW6432Node" + WindowsNT + L"\\Windows", L"LoadAppInit_DLLs", 0),
        Number(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", L"EnableShellExecuteHooks", 1),
    };
    return registry;
}

static bool ReadRegistry(const Entry &place, Entry *now)
{
    for (const Entry &value : Registry())
        if (place.Kind == EntryKey ? IsAtOrInside(value.Path, place.Path)
                                   : SameText(value.Path, place.Path) && SameText(value.Name, place.Name)) {
            *now = place.Kind == EntryKey ? place : value;
            return true;
        }
    return false;
}

// The same, where the machine leaves shell-execute hooks off, as Windows does unless the policy turns them on.
static bool ReadRegistryHooksOff(const Entry &place, Entry *now)
{
    return !SameText(place.Name, L"EnableShellExecuteHooks") && ReadRegistry(place, now);
}

static Entry FileEntry(const std::wstring &path)
{
    return Entry{EntryFile, path, L"", 0, "", 0, 0, 0};
}

class CheckLaunches : public testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableW(L"ORBELHOME", L"C:\\Orbel Home"); }
};

TEST_F(CheckLaunches, ProgramOfCommandLineFindsWhatWindowsStarts)
{
    struct Row { const wchar_t *Line, *Program; } rows[] = {
        {L"\"C:\\Program Files\\Orbel\\orbel.exe\" /background", L"C:\\Program Files\\Orbel\\orbel.exe"},
        {L"C:\\Program Files\\Orbel\\orbel.exe /background", L"C:\\Program Files\\Orbel\\orbel.exe"},
        {L"C:\\Tools\\run.exe C:\\Tools\\other.exe", L"C:\\Tools\\run.exe"},
        {L"%ORBELHOME%\\tray.exe -min", L"C:\\Orbel Home\\tray.exe"},
        {L"C:\\Tools\\agent\t-quiet", L"C:\\Tools\\agent.exe"},  // CreateProcess adds .exe
        {L"   \"C:\\Orbel\\a.exe\"", L"C:\\Orbel\\a.exe"},
        {L"\"C:\\Unclosed\\a.exe", L"C:\\Unclosed\\a.exe"},
        // A host named bare is found in System32, whatever its arguments end with.
        {L"cmd /c C:\\Orbel\\start.cmd", L"cmd.exe"},
        {L"CMD /k C:\\Orbel\\env.bat", L"CMD.exe"},
        {L"  ", L""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ProgramOfCommandLine(row.Line), row.Program) << row.Line;
}

TEST_F(CheckLaunches, RegistryValuesThatStartAProgram)
{
    const std::wstring run = L"\\Microsoft\\Windows\\CurrentVersion\\Run", services = Services;
    const std::wstring appPaths = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\orbel.exe";
    const std::wstring windows = _wgetenv(L"SystemRoot"), cv = L"\\Microsoft\\Windows\\CurrentVersion";
    const std::wstring explorer = L"HKLM\\SOFTWARE" + cv + L"\\Explorer", control = L"HKLM\\SYSTEM\\CurrentControlSet\\Control";
    const std::wstring winlogon = L"\\SOFTWARE" + WindowsNT + L"\\Winlogon", winsock = services + L"WinSock2\\Parameters\\";
    const std::wstring shell = L"C:\\Program Files\\Orbel\\OrbelShell.dll", creates = L"when a program creates the class ";
    const std::wstring creates32 = L"when a 32-bit program creates the class ", hook = L"C:\\Program Files\\Orbel\\OrbelHook.dll";
    struct Row {
        std::wstring Key, Name;
        DWORD Type;
        std::wstring Text, Program, When;  // no When: starts nothing
        bool Loads = false;
        std::wstring Class, Who = L"Windows";
        const wchar_t *Before = nullptr;  // what a changed value held
        std::wstring Host = L"";
        EntryReader Read = ReadRegistry;
    } rows[] = {
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"\"C:\\Orbel\\tray.exe\" -min", L"C:\\Orbel\\tray.exe", L"at every logon"},
        {L"HKLM\\SOFTWARE\\WOW6432Node" + run, L"Orbel", REG_EXPAND_SZ, L"%ORBELHOME%\\tray.exe", L"C:\\Orbel Home\\tray.exe", L"at every logon"},
        {L"hkcu\\software\\microsoft\\windows\\currentversion\\runonce", L"", REG_SZ, L"C:\\Orbel\\finish.exe", L"C:\\Orbel\\finish.exe", L"at the next logon"},
        {L"HKLM\\SOFTWARE" + run + L"\\Orbel", L"Orbel", REG_SZ, L"C:\\Orbel\\tray.exe", L"", L""},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_BINARY, L"C:\\Orbel\\tray.exe", L"", L""},
        {services + L"Orbel", L"ImagePath", REG_EXPAND_SZ, L"\"C:\\Program Files\\Orbel\\svc.exe\" -service", L"C:\\Program Files\\Orbel\\svc.exe", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"\\SystemRoot\\System32\\drivers\\orbelkx.sys", windows + L"\\System32\\drivers\\orbelkx.sys", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"System32\\drivers\\orbelkx.sys", windows + L"\\System32\\drivers\\orbelkx.sys", L"when the service starts"},
        {services + L"orbelkx", L"ImagePath", REG_EXPAND_SZ, L"\\??\\C:\\Orbel\\orbelkx.sys", L"C:\\Orbel\\orbelkx.sys", L"when the service starts"},
        {services + L"Orbel\\Parameters", L"ImagePath", REG_SZ, L"C:\\Orbel\\svc.exe", L"", L""},
        {services + L"Orbel", L"DisplayName", REG_SZ, L"C:\\Orbel\\svc.exe", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\shell\\open\\command", L"", REG_SZ, L"\"C:\\Orbel\\orbel.exe\" \"%1\"", L"C:\\Orbel\\orbel.exe", L"on opening a file of type Orbel.Document"},
        {L"HKLM\\SOFTWARE\\WOW6432Node\\Classes\\.orb\\shell\\edit\\command", L"", REG_SZ, L"C:\\Orbel\\edit.exe %1", L"C:\\Orbel\\edit.exe", L"on opening a file of type .orb"},
        {L"HKCU\\Software\\Classes\\Orbel.Document\\shell\\open\\command", L"", REG_EXPAND_SZ, L"%ORBELHOME%\\orbel.exe", L"C:\\Orbel Home\\orbel.exe", L"on opening a file of type Orbel.Document"},
        {L"HKCU\\Software\\Classes\\exefile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" %*", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\shell\\open\\command", L"DelegateExecute", REG_SZ, L"C:\\Orbel\\orbel.exe", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Orbel.Document\\Orbel\\open\\command", L"", REG_SZ, L"C:\\Orbel\\orbel.exe", L"", L""},
        {appPaths, L"", REG_SZ, L"\"C:\\Orbel\\orbel.exe\"", L"C:\\Orbel\\orbel.exe", L"when started by name"},
        {appPaths, L"Path", REG_SZ, L"C:\\Orbel", L"", L""},
        {L"HKLM\\SOFTWARE" + cv + L"\\RunOnceEx\\0001", L"Orbel", REG_SZ, L"||\"C:\\Orbel\\setup.exe\" /finish", L"C:\\Orbel\\setup.exe", L"at the next logon"},
        {L"HKCU\\Software" + cv + L"\\RunOnceEx\\0001", L"Register", REG_SZ, L"C:\\Program Files\\Orbel\\orbel.ocx|DllRegisterServer", L"C:\\Program Files\\Orbel\\orbel.ocx", L"at the next logon", true},
        {L"HKLM\\SOFTWARE" + cv + L"\\RunOnceEx\\0001", L"", REG_SZ, L"Orbel setup", L"", L""},  // the section's title
        {L"HKLM\\SOFTWARE" + cv + L"\\RunOnceEx", L"Orbel", REG_SZ, L"||C:\\Orbel\\setup.exe", L"", L""},
        {L"HKLM" + winlogon, L"Userinit", REG_SZ, L"C:\\Windows\\system32\\userinit.exe,C:\\Orbel\\init.exe,", L"C:\\Orbel\\init.exe", L"at every logon", false, L"", L"Windows", L"C:\\Windows\\system32\\userinit.exe,"},
        {L"HKLM" + winlogon, L"Userinit", REG_SZ, L"C:\\Windows\\system32\\userinit.exe,C:\\Orbel\\init.exe,", L"", L"", false, L"", L"Windows", L"C:\\Orbel\\init.exe, C:\\Windows\\system32\\userinit.exe"},
        {L"HKLM" + winlogon, L"Shell", REG_SZ, L"explorer.exe, C:\\Orbel\\Orbel Desk.exe -x", L"C:\\Orbel\\Orbel Desk.exe", L"at every logon, as the desktop", false, L"", L"Windows", L"explorer.exe"},
        {L"HKCU\\Software" + WindowsNT + L"\\Winlogon", L"Shell", REG_SZ, L"C:\\Orbel\\desk.exe", L"C:\\Orbel\\desk.exe", L"at every logon, as the desktop", false, L"", L"Windows", L"explorer.exe"},
        {L"HKCU\\Software" + WindowsNT + L"\\Winlogon", L"Userinit", REG_SZ, L"C:\\Orbel\\init.exe", L"", L""},
        {L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Active Setup\\Installed Components\\" + Menu, L"StubPath", REG_EXPAND_SZ, L"\"%ORBELHOME%\\peruser.exe\" /user", L"C:\\Orbel Home\\peruser.exe", L"at the next logon of each user"},
        {L"HKCU\\Software\\Microsoft\\Active Setup\\Installed Components\\" + Menu, L"StubPath", REG_SZ, L"C:\\Orbel\\peruser.exe", L"", L""},
        {L"HKLM\\SOFTWARE" + WindowsNT + L"\\Winlogon\\GPExtensions\\" + Menu, L"DllName", REG_EXPAND_SZ, L"%ORBELHOME%\\gp ext.dll", L"C:\\Orbel Home\\gp ext.dll", L"each time group policy is applied, at startup and at every logon", true},
        {L"HKCU\\Software\\Microsoft\\Command Processor", L"AutoRun", REG_SZ, L"C:\\Orbel\\aliases.cmd /q", L"C:\\Orbel\\aliases.cmd", L"each time a command prompt starts"},
        {services + L"OrbelSvc", L"ImagePath", REG_EXPAND_SZ, L"C:\\Orbel\\svc.exe", L"C:\\Orbel\\svc.exe", L"at every startup"},
        {services + L"OrbelSvc\\Parameters", L"ServiceDll", REG_EXPAND_SZ, L"%ORBELHOME%\\orbel svc.dll", L"C:\\Orbel Home\\orbel svc.dll", L"at every startup", true},
        {services + L"Orbel\\Parameters", L"ServiceDll", REG_EXPAND_SZ, L"C:\\Orbel\\svc", L"C:\\Orbel\\svc", L"when the service starts", true},
        {services + L"OrbelOff\\Parameters", L"ServiceDll", REG_EXPAND_SZ, L"C:\\Orbel\\svc.dll", L"", L""},  // disabled
        {services + L"OrbelSvc", L"ServiceDll", REG_EXPAND_SZ, L"C:\\Orbel\\svc.dll", L"", L""},
        {L"HKLM\\SOFTWARE" + WindowsNT + L"\\Image File Execution Options\\notepad.exe", L"Debugger", REG_SZ, L"\"C:\\Orbel\\pad.exe\" -z", L"C:\\Orbel\\pad.exe", L"in place of notepad.exe, each time it is started"},
        {L"HKLM\\SOFTWARE" + WindowsNT + L"\\Image File Execution Options", L"Debugger", REG_SZ, L"C:\\Orbel\\pad.exe", L"", L""},
        // Windows reads these options only from the machine's keys.
        {L"HKCU\\Software" + WindowsNT + L"\\Image File Execution Options\\notepad.exe", L"Debugger", REG_SZ, L"C:\\Orbel\\pad.exe", L"", L""},
        {L"HKLM\\SOFTWARE" + WindowsNT + L"\\Windows", L"AppInit_DLLs", REG_SZ, L"C:\\Tools\\old.dll,C:\\Orbel\\hook.dll C:\\Orbel\\more.dll", L"C:\\Orbel\\hook.dll", L"in every program that loads user32.dll", true, L"", L"Windows", L"C:\\Tools\\old.dll"},
        {L"HKLM\\SOFTWARE\\WOW6432Node" + WindowsNT + L"\\Windows", L"AppInit_DLLs", REG_SZ, L"C:\\Orbel\\hook.dll", L"", L""},  // turned off
        {control + L"\\Session Manager\\AppCertDlls", L"Orbel", REG_EXPAND_SZ, L"%ORBELHOME%\\cert.dll", L"C:\\Orbel Home\\cert.dll", L"in every program that starts another", true},
        {control + L"\\Print\\Monitors\\Orbel Port", L"Driver", REG_SZ, L"orbelmon.dll", windows + L"\\System32\\orbelmon.dll", L"each time the print spooler starts", true},
        {control + L"\\Print\\Monitors\\Orbel Port", L"Description", REG_SZ, L"orbelmon.dll", L"", L""},
        {control + L"\\Print\\Providers\\Orbel Print", L"Name", REG_SZ, L"C:\\Orbel\\print provider.dll", L"C:\\Orbel\\print provider.dll", L"each time the print spooler starts", true},
        {winsock + L"NameSpace_Catalog5\\Catalog_Entries64\\000000000007", L"LibraryPath", REG_EXPAND_SZ, L"%ORBELHOME%\\names.dll", L"C:\\Orbel Home\\names.dll", L"each time a program looks up a name on the network", true},
        {winsock + L"NameSpace_Catalog5\\Catalog_Entries", L"LibraryPath", REG_EXPAND_SZ, L"C:\\Orbel\\names.dll", L"", L""},
        {winsock + L"Protocol_Catalog9\\Catalog_Entries\\000000000012", L"PackedCatalogItem", REG_BINARY, L"%ORBELHOME%\\layer.dll", L"C:\\Orbel Home\\layer.dll", L"each time a program opens a network connection", true},
        {winsock + L"Protocol_Catalog9\\Catalog_Entries\\000000000012", L"PackedCatalogItem", REG_SZ, L"C:\\Orbel\\layer.dll", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\CLSID\\" + Menu + L"\\InprocServer32", L"", REG_SZ, shell, shell, creates + Menu, true},
        {L"HKLM\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\" + Both + L"\\InprocServer32", L"", REG_EXPAND_SZ, L"\"%ORBELHOME%\\x86 shell\"", L"C:\\Orbel Home\\x86 shell", creates32 + Both, true},
        {L"HKLM\\SOFTWARE\\WOW6432Node\\Classes\\CLSID\\" + Server + L"\\LocalServer32", L"", REG_SZ, L"C:\\Orbel\\server.exe", L"C:\\Orbel\\server.exe", creates32 + Server + L", or a 64-bit one that finds no 64-bit server"},
        {L"HKCU\\Software\\Classes\\WOW6432Node\\CLSID\\" + Menu + L"\\InprocServer32", L"", REG_SZ, shell, shell, creates32 + Menu, true},
        {L"HKLM\\SOFTWARE\\Classes\\CLSID\\" + Menu + L"\\InprocServer32", L"ThreadingModel", REG_SZ, L"Apartment", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\CLSID\\" + Menu, L"", REG_SZ, shell, L"", L""},
        {L"HKCU\\Software\\Classes\\CLSID\\" + Server + L"\\LocalServer32", L"", REG_SZ, L"C:\\Orbel\\server.exe -Embedding", L"C:\\Orbel\\server.exe", creates + Server},
        {L"HKCU\\Software\\Classes\\orbel\\shell\\open\\command", L"", REG_SZ, L"\"C:\\Orbel\\orbel.exe\" \"%1\"", L"C:\\Orbel\\orbel.exe", L"on opening a link orbel:"},
        // Handlers: the class's server, from the handler's own classes first, then the user's over the machine's.
        {L"HKLM\\SOFTWARE\\Classes\\PROTOCOLS\\Handler\\orbel", L"CLSID", REG_SZ, Menu, shell, L"on opening a link orbel:", true, Menu},
        {L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu", L"", REG_SZ, Menu, shell, L"each time a user right-clicks a file", true, Menu, L"Explorer"},
        {L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers", L"", REG_SZ, Menu, L"", L""},
        {L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu", L"", REG_BINARY, Menu, L"", L""},
        {L"HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu", L"", REG_SZ, Nowhere, L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\Directory\\Background\\shellex\\ContextMenuHandlers\\" + Server, L"", KeyItself, L"", L"C:\\Orbel\\server.exe", L"each time a user right-clicks a folder's background", false, Server, L"Explorer"},
        {L"HKLM\\SOFTWARE\\Classes\\Folder\\shellex\\ContextMenuHandlers\\" + Nowhere, L"", KeyItself, L"", L"", L""},  // its value names the class
        {L"HKLM\\SOFTWARE\\Classes\\Folder\\shellex\\ContextMenuHandlers\\" + Nowhere, L"", REG_SZ, Menu, shell, L"each time a user right-clicks a folder", true, Menu, L"Explorer"},
        // Named for a class with a server, its value naming another: the value's class counts, where the value is.
        {L"HKCU\\Software\\Classes\\Directory\\shellex\\ContextMenuHandlers\\" + Server, L"", KeyItself, L"", L"", L""},
        {L"HKLM\\SOFTWARE\\Classes\\.orb\\shellex\\PropertySheetHandlers\\Orbel", L"", REG_SZ, Both, L"C:\\Orbel\\machine.dll", L"each time a user opens the properties of a file of type .orb", true, Both, L"Explorer"},
        // A 32-bit handler: its type without the view's name, its class from the 32-bit classes first.
        {L"HKLM\\SOFTWARE\\Classes\\WOW6432Node\\.orb\\shellex\\PropertySheetHandlers\\Orbel", L"", REG_SZ, Both, L"C:\\Orbel\\x86 classes.dll", L"each time a user opens the properties of a file of type .orb", true, Both, L"Explorer"},
        {L"HKLM\\SOFTWARE\\Classes\\Directory\\shellex\\CopyHookHandlers\\OrbelCopy", L"", REG_SZ, L" " + Menu, shell, L"each time a user copies, moves, renames or deletes a folder", true, Menu, L"Explorer"},
        {L"HKCU\\Software\\Classes\\Drive\\shellex\\DragDropHandlers\\OrbelDrop", L"", REG_SZ, Both, L"C:\\Orbel\\user.dll", L"each time a user drops files on a drive with the right mouse button", true, Both, L"Explorer"},
        {L"HKCU\\Software\\Classes\\.orb\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}", L"", REG_SZ, Server, L"C:\\Orbel\\server.exe", L"each time Explorer shows or previews a file of type .orb", false, Server, L"Explorer"},
        {L"HKLM\\SOFTWARE\\WOW6432Node" + cv + L"\\Explorer\\ShellIconOverlayIdentifiers\\  OrbelSynced", L"", REG_SZ, Both, L"C:\\Orbel\\x86.dll", L"each time Explorer starts", true, Both, L"Explorer"},
        {explorer + L"\\ShellExecuteHooks", Menu, REG_SZ, L"Orbel hook", shell, L"each time a program opens a file or link through the shell", true, Menu},
        {explorer + L"\\ShellExecuteHooks", L"Orbel", REG_SZ, Menu, L"", L""},
        {explorer + L"\\ShellExecuteHooks", Menu, REG_SZ, L"Orbel hook", L"", L"", false, L"", L"Windows", nullptr, L"", ReadRegistryHooksOff},
        {L"HKCU\\Software" + cv + L"\\ShellServiceObjectDelayLoad", L"OrbelLoader", REG_SZ, Both, L"C:\\Orbel\\user.dll", L"at every logon", true, Both, L"Explorer"},
        {explorer + L"\\ShellServiceObjects\\" + Menu, L"", KeyItself, L"", shell, L"at every logon", true, Menu, L"Explorer"},
        {explorer + L"\\Browser Helper Objects\\" + Menu, L"", KeyItself, L"", shell, L"each time Internet Explorer starts", true, Menu, L"Internet Explorer"},
        {explorer + L"\\Browser Helper Objects\\" + Menu, L"NoExplorer", REG_SZ, L"1", L"", L""},
        {explorer + L"\\Browser Helper Objects\\" + Nowhere, L"", KeyItself, L"", L"", L""},
        {L"HKLM\\SOFTWARE" + cv + L"\\Authentication\\Credential Providers\\" + Server, L"", KeyItself, L"", L"C:\\Orbel\\server.exe", L"each time the logon screen shows", false, Server},
        {L"HKLM\\SOFTWARE" + cv + L"\\Authentication\\Credential Providers", L"", KeyItself, L"", L"", L""},
        // A host is judged by what it loads or runs, however it is named.
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"rundll32.exe \"" + hook + L"\",Start", hook, L"at every logon", true, L"", L"rundll32", nullptr, L"rundll32"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"C:\\Windows\\System32\\rundll32.exe C:\\Orbel\\hook.dll,Start 1", L"C:\\Orbel\\hook.dll", L"at every logon", true, L"", L"rundll32", nullptr, L"rundll32"},
        {L"HKCU\\Software" + cv + L"\\RunOnce", L"Orbel", REG_EXPAND_SZ, L"%SystemRoot%\\system32\\RUNDLL32 %ORBELHOME%\\hook.dll,Start", L"C:\\Orbel Home\\hook.dll", L"at the next logon", true, L"", L"rundll32", nullptr, L"rundll32"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"regsvr32 /s /i:\"user x\" -n C:\\Orbel\\orbel.ocx", L"C:\\Orbel\\orbel.ocx", L"at every logon", true, L"", L"regsvr32", nullptr, L"regsvr32"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd /c C:\\Orbel\\start.cmd", L"C:\\Orbel\\start.cmd", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd /k C:\\Orbel\\env.bat", L"C:\\Orbel\\env.bat", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd.exe /C \"C:\\Program Files\\Orbel\\start.cmd\" /q", L"C:\\Program Files\\Orbel\\start.cmd", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"\"C:\\Windows\\System32\\cmd.exe\" /d /s /c \"\"C:\\Program Files\\Orbel\\start.bat\" -x\"", L"C:\\Program Files\\Orbel\\start.bat", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd /c start \"\" /min \"C:\\Program Files\\Orbel\\tray.exe\" -x", L"C:\\Program Files\\Orbel\\tray.exe", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd /c start /D C:\\Orbel /b \"Orbel tray\" C:\\Orbel\\tray.exe", L"C:\\Orbel\\tray.exe", L"at every logon", false, L"", L"cmd", nullptr, L"cmd"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"cmd /c powershell -File C:\\Orbel\\tray.ps1", L"C:\\Orbel\\tray.ps1", L"at every logon", false, L"", L"powershell", nullptr, L"powershell"},
        {L"HKCU\\Software" + cv + L"\\RunOnce", L"Orbel", REG_SZ, L"cmd /c del /q C:\\Orbel\\old.exe", L"cmd.exe", L"at the next logon"},  // cmd's own
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"powershell.exe -NoProfile -ExecutionPolicy Bypass -WindowStyle Hidden -File \"C:\\Program Files\\Orbel\\tray.ps1\" -Quiet", L"C:\\Program Files\\Orbel\\tray.ps1", L"at every logon", false, L"", L"powershell", nullptr, L"powershell"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"pwsh -w hidden -c \"& 'C:\\Program Files\\Orbel\\tray.ps1' -x\"", L"C:\\Program Files\\Orbel\\tray.ps1", L"at every logon", false, L"", L"pwsh", nullptr, L"pwsh"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"powershell -Command C:\\Orbel\\tray.ps1", L"C:\\Orbel\\tray.ps1", L"at every logon", false, L"", L"powershell", nullptr, L"powershell"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"pwsh -NoLogo C:\\Orbel\\tray.ps1", L"C:\\Orbel\\tray.ps1", L"at every logon", false, L"", L"pwsh", nullptr, L"pwsh"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"powershell -Command Start-Process C:\\Orbel\\tray.exe", L"powershell.exe", L"at every logon"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"wscript.exe //B //Nologo \"C:\\Orbel\\tray.vbs\" /x", L"C:\\Orbel\\tray.vbs", L"at every logon", false, L"", L"wscript", nullptr, L"wscript"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"C:\\Windows\\SysWOW64\\cscript //E:jscript C:\\Orbel\\tray.js", L"C:\\Orbel\\tray.js", L"at every logon", false, L"", L"cscript", nullptr, L"cscript"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"mshta \"C:\\Orbel\\welcome.hta\"", L"C:\\Orbel\\welcome.hta", L"at every logon", false, L"", L"mshta", nullptr, L"mshta"},
        {L"HKLM\\SOFTWARE" + run, L"Orbel", REG_SZ, L"\"C:\\Program Files\\Java\\bin\\javaw.exe\" -Xmx64m -jar \"C:\\Orbel\\tray.jar\" --min", L"C:\\Orbel\\tray.jar", L"at every logon", false, L"", L"javaw", nullptr, L"javaw"},
        {L"HKLM\\SOFTWARE" + cv + L"\\RunOnceEx\\0001", L"Orbel", REG_SZ, L"||rundll32 C:\\Orbel\\finish.dll,Finish", L"C:\\Orbel\\finish.dll", L"at the next logon", true, L"", L"rundll32", nullptr, L"rundll32"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Key << " " << row.Name << " = " << row.Text);
        Launch launch = {L"untouched", L"untouched"};
        Entry before = ValueEntry(row.Key, row.Name, row.Type, row.Before ? row.Before : L"");
        EXPECT_EQ(LaunchOf(ValueEntry(row.Key, row.Name, row.Type, row.Text), "", row.Before ? &before : NULL, row.Read, &launch),
                  !row.When.empty());
        if (!row.When.empty()) {
            EXPECT_EQ(launch.Program, row.Program);
            EXPECT_EQ(launch.When, row.When);
            EXPECT_EQ(launch.Loads, row.Loads);
            EXPECT_EQ(launch.Class, row.Class);
            EXPECT_EQ(launch.Who, row.Who);
            EXPECT_EQ(launch.Host, row.Host);
        }
    }
}

TEST_F(CheckLaunches, ServiceWhenFollowsTheStartType)
{
    const wchar_t *expected[] = {L"at boot", L"at boot", L"at every startup", L"when the service is started", L"", L""};
    for (DWORD start = 0; start < 6; start++)
        EXPECT_EQ(ServiceWhen(start), expected[start]) << start;
}

// A shell link as Windows writes one: header, optional ID list, LinkInfo, strings, extra data.
struct LinkParts {
    size_t IdListSize;
    std::string AnsiBase, Suffix;
    std::wstring WideBase, Name, Expandable;
    std::wstring Icon;  // an icon location, also as an icon block ahead of the target's
    std::wstring Arguments;
};

static void Put(std::string *bytes, std::initializer_list<DWORD> numbers, size_t width = 4)
{
    for (DWORD number : numbers)
        for (size_t i = 0; i < width; i++)
            *bytes += (char)(number >> (8 * i));
}

static void PutWide(std::string *bytes, const std::wstring &text, bool terminated)
{
    bytes->append((const char *)text.c_str(), (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

static std::string LinkBytes(const LinkParts &parts)
{
    std::string bytes, info;
    Put(&bytes, {0x4C, 0x00021401, 0, 0xC0, 0x46000000, 0x80 | (parts.IdListSize ? 1u : 0) | (parts.AnsiBase.empty() ? 0 : 2)
                 | (parts.Name.empty() ? 0 : 4) | (parts.Expandable.empty() ? 0 : 0x200) | (parts.Icon.empty() ? 0 : 0x4040)
                 | (parts.Arguments.empty() ? 0 : 0x20)});
    bytes.resize(0x4C, '\0');
    if (parts.IdListSize) {
        Put(&bytes, {(DWORD)parts.IdListSize}, 2);
        bytes.append(parts.IdListSize, '\x7F');
    }
    if (!parts.AnsiBase.empty()) {
        bool wide = !parts.WideBase.empty();
        DWORD header = wide ? 0x24 : 0x1C, base = header + 16, suffix = base + (DWORD)parts.AnsiBase.size() + 1;
        DWORD wideBase = suffix + (DWORD)parts.Suffix.size() + 1, wideSuffix = wideBase + 2 * (DWORD)parts.WideBase.size() + 2;
        Put(&info, {0, header, 1, header, base, 0, suffix});  // the size once known; the volume right after
        if (wide)
            Put(&info, {wideBase, wideSuffix});
        info += std::string(16, '\x11') + parts.AnsiBase + '\0' + parts.Suffix + '\0';
        if (wide) {
            PutWide(&info, parts.WideBase, true);
            PutWide(&info, std::wstring(parts.Suffix.begin(), parts.Suffix.end()), true);
        }
        std::string size;
        Put(&size, {(DWORD)info.size()});
        bytes += size + info.substr(4);
    }
    if (!parts.Name.empty()) {
        Put(&bytes, {(DWORD)parts.Name.size()}, 2);
        PutWide(&bytes, parts.Name, false);
    }
    if (!parts.Arguments.empty()) {
        Put(&bytes, {(DWORD)parts.Arguments.size()}, 2);
        PutWide(&bytes, parts.Arguments, false);
    }
    if (!parts.Icon.empty()) {
        Put(&bytes, {(DWORD)parts.Icon.size()}, 2);
        PutWide(&bytes, parts.Icon, false);
    }
    // The icon's and the target's blocks are alike but for their signature.
    const struct { const std::wstring *Text; DWORD Signature; } blocks[] = {{&parts.Icon, 0xA0000007}, {&parts.Expandable, 0xA0000001}};
    for (const auto &block : blocks)
        if (!block.Text->empty()) {
            Put(&bytes, {0x314, block.Signature});
            bytes += std::string(block.Text->begin(), block.Text->end()) + std::string(260 - block.Text->size(), '\0');
            PutWide(&bytes, *block.Text + std::wstring(260 - block.Text->size(), L'\0'), false);
        }
    Put(&bytes, {0});
    return bytes;
}

TEST_F(CheckLaunches, ShortcutsStartTheirTarget)
{
    const std::wstring programs = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
    struct Row {
        std::wstring Path;
        LinkParts Parts;
        std::wstring Program, When;
    } rows[] = {
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\orbel.exe", "", L"", L"", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Startup\\Orbel Tray.LNK", {0, "C:\\Orbel\\tray.exe", "", L"", L"", L""}, L"C:\\Orbel\\tray.exe", L"at every logon"},
        {programs + L"Orbel.lnk", {37, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {0, "C:\\Caf?\\orbel.exe", "", L"C:\\Caf\u00E9\\orbel.exe", L"", L""}, L"C:\\Caf\u00E9\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\", "orbel.exe", L"", L"", L""}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "C:\\Old\\orbel.exe", "", L"", L"Orbel", L"%ORBELHOME%\\orbel.exe"}, L"C:\\Orbel Home\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "", "", L"", L"Orbel", L""}, L"", L""},  // only an ID list
        // The icon is no target, neither its location nor its block.
        {programs + L"Orbel.lnk", {0, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L"", L"%ORBELHOME%\\icons.dll"}, L"C:\\Orbel\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.lnk", {20, "C:\\Old\\orbel.exe", "", L"", L"", L"%ORBELHOME%\\orbel.exe", L"C:\\Orbel\\orbel.ico"}, L"C:\\Orbel Home\\orbel.exe", L"when the shortcut is opened"},
        {programs + L"Orbel.url", {0, "C:\\Orbel\\orbel.exe", "", L"", L"", L""}, L"", L""},
        // A host's shortcut starts what its arguments name.
        {programs + L"Startup\\Orbel Hook.lnk", {0, "C:\\Windows\\System32\\rundll32.exe", "", L"", L"Orbel", L"", L"C:\\Orbel\\orbel.ico", L"\"C:\\Orbel\\hook.dll\",Start"},
         L"C:\\Orbel\\hook.dll", L"at every logon"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Path << " -> " << row.Program);
        Launch launch = {};
        EXPECT_EQ(LaunchOf(FileEntry(row.Path), LinkBytes(row.Parts), NULL, ReadRegistry, &launch), !row.When.empty());
        EXPECT_EQ(launch.Program, row.Program);
        EXPECT_EQ(launch.When, row.When);
    }
}

TEST_F(CheckLaunches, DamagedShortcutsStartNothing)
{
    std::string whole = LinkBytes({20, "C:\\Orbel\\", "orbel.exe", L"C:\\Orbel\\", L"Orbel", L"%ORBELHOME%\\o.exe"});
    // Its target only in LinkInfo, read whatever follows: a name of five characters, the terminal block.
    std::string plain = LinkBytes({0, "C:\\Orbel\\orbel.exe", "", L"", L"Orbel", L""});
    const size_t plainEnd = plain.size() - 4, plainName = plainEnd - 2 - 2 * 5;
    std::string infoOnly = LinkBytes({0, "C:\\Orbel\\orbel.exe", "", L"", L"", L""});
    struct Row { const char *Damage; const std::string &Link; size_t At, Width; DWORD Value; } rows[] = {
        {"header size", whole, 0, 4, 0x4D},
        {"class id", whole, 4, 1, 0x02},
        {"ID list past the end", whole, 0x4C, 2, 0xFFFF},
        {"LinkInfo past the end", whole, 0x4C + 22, 4, 0x7FFFFFF0},
        {"base path just past LinkInfo, in the strings", whole, 0x4C + 22 + 0x1C, 4, 0x70},  // 0x70: its size
        {"suffix outside LinkInfo", whole, 0x4C + 22 + 0x20, 4, 0x7FFFFFF0},
        {"name past the end", plain, plainName, 2, 0x7FFF},
        {"name over the terminal block and a character more", plain, plainName, 2, 5 + 2 + 1},
        {"extra data block past the end", plain, plainEnd, 4, 0x7FFFFFF0},
        // Nothing but the terminal block after LinkInfo to stumble on: only its size says the link is cut.
        {"LinkInfo just past the end", infoOnly, 0x4C, 4, (DWORD)(infoOnly.size() - 0x4C + 8)},
    };
    Launch launch;
    ASSERT_TRUE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), whole, NULL, ReadRegistry, &launch));
    ASSERT_TRUE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), plain, NULL, ReadRegistry, &launch));
    ASSERT_TRUE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), infoOnly, NULL, ReadRegistry, &launch));
    for (const Row &row : rows) {
        std::string damaged = row.Link;
        for (size_t i = 0; i < row.Width; i++)
            damaged[row.At + i] = (char)(row.Value >> (8 * i));
        EXPECT_FALSE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), damaged, NULL, ReadRegistry, &launch)) << row.Damage;
    }
    // Cut anywhere before its last block, the link is incomplete: never read past the bytes there are.
    for (size_t size = 0; size + 4 < whole.size(); size++) {
        std::string cut = whole.substr(0, size);
        EXPECT_FALSE(LaunchOf(FileEntry(L"C:\\Orbel.lnk"), cut, NULL, ReadRegistry, &launch)) << size;
    }
}

enum TaskEncoding { Utf16WithMark, Utf16, Utf8WithMark, Utf8 };

// The rows are ASCII, the same bytes in UTF-8.
static std::string TaskFile(TaskEncoding encoding, const std::wstring &xml)
{
    std::string bytes = encoding == Utf16WithMark ? "\xFF\xFE" : encoding == Utf8WithMark ? "\xEF\xBB\xBF" : "";
    if (encoding == Utf16WithMark || encoding == Utf16)
        PutWide(&bytes, xml, false);
    else
        bytes.append(xml.begin(), xml.end());
    return bytes;
}

TEST_F(CheckLaunches, ScheduledTasksStartTheirFirstCommand)
{
    const std::wstring tasks = L"C:\\Windows\\System32\\Tasks\\", head = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task>";
    const std::wstring settings = L"<Settings><ExecutionTimeLimit>PT72H</ExecutionTimeLimit></Settings>";
    struct Row {
        std::wstring Path;
        TaskEncoding Encoding;
        std::wstring Body, Program, When;
    } rows[] = {
        {tasks + L"Orbel Update", Utf16WithMark, L"<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>" + settings
            + L"<Actions><Exec><Command>\"%ORBELHOME%\\update.exe\"</Command><Arguments>/q</Arguments></Exec></Actions>",
            L"C:\\Orbel Home\\update.exe", L"at every logon"},
        {tasks + L"Orbel\\Boot", Utf8, L"<Triggers><BootTrigger/></Triggers><Actions><Exec>\n<Command> C:\\Orbel\\boot.exe </Command></Exec></Actions>",
            L"C:\\Orbel\\boot.exe", L"at boot"},
        {tasks + L"Orbel Daily", Utf8WithMark, L"<Triggers><CalendarTrigger/></Triggers><Actions><Exec><Command>C:\\R&amp;D\\caf&#xE9;.exe</Command></Exec></Actions>",
            L"C:\\R&D\\caf\u00E9.exe", L"when the task's trigger fires"},
        {tasks + L"Orbel Two", Utf16, L"<Actions><Exec id=\"first\"><Command>C:\\Orbel\\first.exe</Command></Exec><Exec><Command>C:\\Orbel\\second.exe</Command></Exec></Actions>",
            L"C:\\Orbel\\first.exe", L"when the task's trigger fires"},
        {tasks + L"Orbel Hook", Utf16WithMark, L"<Triggers><LogonTrigger/></Triggers><Actions><Exec><Command>%SystemRoot%\\System32\\rundll32.exe</Command>"
            L"<Arguments>&quot;%ORBELHOME%\\hook.dll&quot;,Start</Arguments></Exec></Actions>", L"C:\\Orbel Home\\hook.dll", L"at every logon"},
        {tasks + L"Orbel Odd", Utf16WithMark, L"<Actions><Exec><Arguments>/q</Arguments></Exec></Actions><Command>C:\\Orbel\\x.exe</Command>", L"", L""},
        {L"C:\\Orbel\\Tasks\\Orbel Update", Utf16WithMark, L"<Actions><Exec><Command>C:\\Orbel\\update.exe</Command></Exec></Actions>", L"", L""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.Path);
        Launch launch = {};
        EXPECT_EQ(LaunchOf(FileEntry(row.Path), TaskFile(row.Encoding, head + row.Body + L"</Task>"), NULL, ReadRegistry, &launch), !row.When.empty());
        EXPECT_EQ(launch.Program, row.Program);
        EXPECT_EQ(launch.When, row.When);
    }
}

TEST_F(CheckLaunches, PathListsNameTheFoldersProgramsAreLookedFor)
{
    struct Row { const wchar_t *Key, *Name; bool IsPathList; } rows[] = {
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"Path", true},
        {L"HKCU\\Environment", L"PATH", true},
        {L"HKCU\\Environment", L"PATHEXT", false},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"Path", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsPathListValue(ValueEntry(row.Key, row.Name, REG_EXPAND_SZ, L"C:\\Orbel")), row.IsPathList) << row.Key;

    std::vector<std::wstring> expected = {L"C:\\Orbel\\bin", L"C:\\Orbel Home\\tools", L"C:\\Quoted Orbel", L"C:\\Orbel\\last"};
    EXPECT_EQ(FoldersOfPathList(L";C:\\Orbel\\bin\\;;%ORBELHOME%\\tools; \"C:\\Quoted Orbel\" ;C:\\Orbel\\last"), expected);
    EXPECT_TRUE(FoldersOfPathList(L" ; ;").empty());
}
