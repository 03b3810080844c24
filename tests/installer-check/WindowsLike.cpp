// Makes a Wine prefix like Windows where Wine differs and the installer check depends on it, and
// starts a program as cmd.exe does. Under Wine only, for the check's own test.
//   WindowsLike.exe layout        HKCU\Software\Classes a registry link to the user's classes
//                                 hive, HKEY_USERS\<SID>_Classes, and a user Path of one folder
//   WindowsLike.exe cmd PROGRAM [ARGUMENTS...]
//                                 PROGRAM in a console of its own titled with its command line,
//                                 a top-level window; its exit code
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

// The key's name in the registry, after any link.
static std::wstring RealKeyName(HKEY key)
{
    typedef LONG(NTAPI * QueryKey)(HANDLE, int, void *, ULONG, ULONG *);
    QueryKey query = (QueryKey)(void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    std::vector<BYTE> buffer(4096);
    ULONG size = 0;
    if (query == NULL || query(key, 3 /* KeyNameInformation */, &buffer[0], (ULONG)buffer.size(), &size) != 0)
        return L"";
    return std::wstring((const wchar_t *)(&buffer[0] + sizeof(ULONG)), *(const ULONG *)&buffer[0] / sizeof(wchar_t));
}

static int Fail(const wchar_t *what, LONG error)
{
    fwprintf(stderr, L"WindowsLike: %ls: error %ld\n", what, error);
    return 1;
}

// Windows keeps the user's classes in a hive of their own, which HKCU\Software\Classes links to.
static int LinkUserClasses()
{
    HKEY software, classes;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software", 0, NULL, 0, KEY_READ, NULL, &software, NULL);
    if (result != ERROR_SUCCESS)
        return Fail(L"HKCU\\Software", result);
    std::wstring user = RealKeyName(software);
    RegCloseKey(software);
    size_t cut = user.rfind(L'\\');
    if (cut == std::wstring::npos)
        return Fail(L"the user's key has no name", 0);
    user.resize(cut);
    std::wstring target = user + L"_Classes", hive = target.substr(target.rfind(L'\\') + 1);
    HKEY hiveKey;
    result = RegCreateKeyExW(HKEY_USERS, hive.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hiveKey, NULL);
    if (result != ERROR_SUCCESS)
        return Fail(L"HKEY_USERS\\<SID>_Classes", result);
    // What Wine keeps there already moves into the hive.
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &classes) == ERROR_SUCCESS) {
        bool plain = _wcsicmp(RealKeyName(classes).c_str(), target.c_str()) != 0;
        if (plain && (result = RegCopyTreeW(classes, NULL, hiveKey)) != ERROR_SUCCESS)
            return Fail(L"copying HKCU\\Software\\Classes", result);
        RegCloseKey(classes);
        if (plain && (result = RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes")) != ERROR_SUCCESS)
            return Fail(L"emptying HKCU\\Software\\Classes", result);
        if (plain && (result = RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes")) != ERROR_SUCCESS)
            return Fail(L"deleting HKCU\\Software\\Classes", result);
    }
    RegCloseKey(hiveKey);
    HKEY link;
    result = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, NULL, REG_OPTION_CREATE_LINK,
                             KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &link, NULL);
    if (result == ERROR_ALREADY_EXISTS)
        result = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &link);
    if (result != ERROR_SUCCESS)
        return Fail(L"making HKCU\\Software\\Classes a link", result);
    result = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)target.c_str(),
                            (DWORD)(target.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    if (result != ERROR_SUCCESS)
        return Fail(L"SymbolicLinkValue", result);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return Fail(L"HKCU\\Software\\Classes after the link", 0);
    std::wstring real = RealKeyName(classes);
    RegCloseKey(classes);
    if (_wcsicmp(real.c_str(), target.c_str()) != 0) {
        fwprintf(stderr, L"WindowsLike: HKCU\\Software\\Classes leads to %ls, not %ls\n", real.c_str(), target.c_str());
        return 1;
    }
    wprintf(L"HKCU\\Software\\Classes links to %ls\n", target.c_str());
    return 0;
}

// Windows gives every account a user Path of one folder.
static int OneFolderPath()
{
    static const wchar_t Path[] = L"%USERPROFILE%\\AppData\\Local\\Microsoft\\WindowsApps";
    LONG result = RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", L"Path", REG_EXPAND_SZ, Path, sizeof Path);
    if (result != ERROR_SUCCESS)
        return Fail(L"HKCU\\Environment Path", result);
    wprintf(L"HKCU\\Environment Path is %ls\n", Path);
    return 0;
}

static std::wstring Quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            slashes++;
            continue;
        }
        quoted.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        quoted += c;
    }
    quoted.append(slashes * 2, L'\\');
    return quoted + L"\"";
}

// As cmd.exe, which titles its console with the command it runs; the console window is a top-level
// window under Wine too when the console is a new one. The output stays ours.
static int RunAsCmdDoes(int count, wchar_t **args)
{
    std::wstring command;
    for (int i = 0; i < count; i++)
        command += (i > 0 ? L" " : L"") + Quoted(args[i]);
    std::wstring title = L"C:\\windows\\system32\\cmd.exe - " + command;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpTitle = &title[0];
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, CREATE_NEW_CONSOLE, NULL, NULL, &startup, &process))
        return Fail(L"starting the program", (LONG)GetLastError());
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}

int wmain(int count, wchar_t **args)
{
    if (count == 2 && wcscmp(args[1], L"layout") == 0)
        return LinkUserClasses() || OneFolderPath();
    if (count >= 3 && wcscmp(args[1], L"cmd") == 0)
        return RunAsCmdDoes(count - 2, args + 2);
    fwprintf(stderr, L"usage: WindowsLike.exe layout | cmd PROGRAM [ARGUMENTS...]\n");
    return 2;
}
