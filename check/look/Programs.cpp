#include "look/Programs.h"

#include "data/PathText.h"
#include "look/Environment.h"

#include <tlhelp32.h>

#include <algorithm>

std::wstring MachineOf(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return L"";
    IMAGE_DOS_HEADER dos;
    DWORD read = 0, signature = 0;
    WORD machine = 0;
    bool ok = ReadFile(file, &dos, sizeof dos, &read, NULL) && read == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE
        && SetFilePointer(file, dos.e_lfanew, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER
        && ReadFile(file, &signature, 4, &read, NULL) && read == 4 && signature == IMAGE_NT_SIGNATURE
        && ReadFile(file, &machine, 2, &read, NULL) && read == 2;
    CloseHandle(file);
    if (!ok)
        return L"";
    switch (machine) {
    case IMAGE_FILE_MACHINE_AMD64: return L"x86-64";
    case IMAGE_FILE_MACHINE_I386: return L"x86";
    case 0xAA64: return L"arm64";
    default: return L"another processor";
    }
}

bool IsWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

bool IsElevated()
{
    // Without elevation the administrators' group is in the token only to deny.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = NULL;
    BOOL member = FALSE;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    if (!CheckTokenMembership(NULL, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

std::wstring ProgramOfProcess(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == NULL)
        return L"";
    wchar_t path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    bool read = QueryFullProcessImageNameW(process, 0, path, &length) != FALSE;
    CloseHandle(process);
    // Started by a short path (from a runner's TEMP), Windows names the program so.
    return read ? LongPathOf(std::wstring(path, length)) : L"";
}

std::vector<std::wstring> RunningAmong(const std::vector<std::wstring> &programs)
{
    std::vector<bool> running(programs.size(), false);
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = all != INVALID_HANDLE_VALUE && Process32FirstW(all, &entry); more;
         more = Process32NextW(all, &entry)) {
        // Read the whole path only of a process whose name is among them.
        bool named = false;
        for (size_t i = 0; i < programs.size() && !named; i++)
            named = SameText(LeafOf(programs[i]), entry.szExeFile);
        if (!named)
            continue;
        std::wstring image = ProgramOfProcess(entry.th32ProcessID);
        for (size_t i = 0; i < programs.size(); i++)
            running[i] = running[i] || SameText(image, programs[i]);
    }
    if (all != INVALID_HANDLE_VALUE)
        CloseHandle(all);
    std::vector<std::wstring> found;
    for (size_t i = 0; i < programs.size(); i++)
        if (running[i] && std::find_if(found.begin(), found.end(), [&](const std::wstring &p) {
                return SameText(p, programs[i]); }) == found.end())
            found.push_back(programs[i]);
    return found;
}

std::wstring ProgramStartedBy(const std::wstring &commandLine, std::vector<std::wstring> *tried)
{
    tried->clear();
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t end = commandLine.find(L'"', 1);
        std::wstring path = commandLine.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
        tried->push_back(path);
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : L"";
    }
    for (size_t end = commandLine.find(L' ');; end = commandLine.find(L' ', end + 1)) {
        std::wstring path = commandLine.substr(0, end);
        tried->push_back(path);
        std::wstring withExe = path.size() >= 4 && SameText(path.substr(path.size() - 4), L".exe") ? path : path + L".exe";
        DWORD attributes = GetFileAttributesW(withExe.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return withExe;
        if (end == std::wstring::npos)
            return L"";
    }
}

bool HasWow64Side(const WatchedFolders &folders)
{
    return GetFileAttributesW((folders.SysWow64 + L"\\kernel32.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
}
