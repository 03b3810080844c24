#include "look/Programs.h"

#include "run/Options.h"

#include "tell/Report.h"
#include "look/Skipped.h"
#include "data/Snapshot.h"
#include "app/Run.h"
#include "platform/Platform.h"
#include "stages/Firewall.h"

#include <netfw.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>

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

// As CommandLineToArgvW reads it back.
static std::wstring Quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (size_t i = 0; i < argument.size(); i++) {
        if (argument[i] == L'\\') {
            backslashes++;
            continue;
        }
        quoted.append(argument[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += argument[i];
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// The ids of the job's processes; false when the job cannot be asked.
static bool JobProcessIds(HANDLE job, std::vector<DWORD> *ids)
{
    struct { JOBOBJECT_BASIC_PROCESS_ID_LIST List; ULONG_PTR More[255]; } listed;
    if (job == NULL || !QueryInformationJobObject(job, JobObjectBasicProcessIdList, &listed, sizeof listed, NULL))
        return false;
    ids->clear();
    for (DWORD i = 0; i < listed.List.NumberOfProcessIdsInList; i++)
        ids->push_back((DWORD)listed.List.ProcessIdList[i]);
    return true;
}

std::vector<DWORD> ProcessesToLookAt(bool jobListed, const std::vector<DWORD> &jobIds, DWORD firstProcess)
{
    return jobListed ? jobIds : std::vector<DWORD>(1, firstProcess);
}

// The boxes of every process of the job that are up now.
static void BoxesOfJob(HANDLE job, DWORD firstProcess, std::vector<HWND> *boxes)
{
    std::vector<DWORD> listed;
    bool jobListed = JobProcessIds(job, &listed);
    std::vector<DWORD> ids = ProcessesToLookAt(jobListed, listed, firstProcess);
    boxes->clear();
    for (size_t i = 0; i < ids.size(); i++) {
        HWND box = FindBox(ids[i]);
        if (box != NULL)
            boxes->push_back(box);
    }
}

bool IsApplicationProgram(const std::wstring &image, const std::wstring &setup, bool existedBefore,
                          bool installersOwn)
{
    return !image.empty() && !existedBefore && !installersOwn && !SameText(image, setup);
}

bool InstallersOwnProgram(const std::wstring &image, bool copyOfSetup)
{
    wchar_t windows[MAX_PATH + 1] = {0};
    DWORD length = GetEnvironmentVariableW(L"SystemRoot", windows, MAX_PATH + 1);
    bool windowsInstaller = length > 0 && length <= MAX_PATH && IsInside(image, std::wstring(windows) + L"\\Installer");
    bool skipped = false;
    for (std::wstring path = image; !path.empty() && !skipped; path = ParentOf(path))
        skipped = IsSkippedPlace(path);
    return copyOfSetup || windowsInstaller || skipped;
}

// Whether two files hold the same bytes.
static bool SameBytes(const std::wstring &one, const std::wstring &other)
{
    HANDLE files[2] = {CreateFileW(one.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL),
                       CreateFileW(other.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)};
    LARGE_INTEGER sizes[2] = {};
    bool same = files[0] != INVALID_HANDLE_VALUE && files[1] != INVALID_HANDLE_VALUE
        && GetFileSizeEx(files[0], &sizes[0]) && GetFileSizeEx(files[1], &sizes[1])
        && sizes[0].QuadPart == sizes[1].QuadPart;
    static char chunks[2][1 << 16];
    for (DWORD read[2] = {1, 1}; same && read[0] > 0;) {
        same = ReadFile(files[0], chunks[0], sizeof chunks[0], &read[0], NULL)
            && ReadFile(files[1], chunks[1], sizeof chunks[1], &read[1], NULL) && read[0] == read[1]
            && memcmp(chunks[0], chunks[1], read[0]) == 0;
    }
    for (HANDLE file : files)
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    return same;
}

void AddStartedByApplication(const std::vector<DWORD> &ids, const std::vector<DWORD> &parents,
                             std::vector<bool> *application)
{
    for (bool more = true; more;) {
        more = false;
        for (size_t i = 0; i < ids.size(); i++)
            for (size_t p = 0; p < ids.size() && !(*application)[i]; p++)
                if (p != i && (*application)[p] && ids[p] == parents[i])
                    more = (*application)[i] = true;
    }
}

// Each process's parent, by id: 0 for one not found.
static std::vector<DWORD> ParentsOf(const std::vector<DWORD> &ids)
{
    std::vector<DWORD> parents(ids.size(), 0);
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = all != INVALID_HANDLE_VALUE && Process32FirstW(all, &entry); more;
         more = Process32NextW(all, &entry))
        for (size_t i = 0; i < ids.size(); i++)
            if (ids[i] == entry.th32ProcessID)
                parents[i] = entry.th32ParentProcessID;
    if (all != INVALID_HANDLE_VALUE)
        CloseHandle(all);
    return parents;
}

bool InstallerEnded(bool setupEnded, const std::vector<bool> &application)
{
    for (size_t i = 0; i < application.size(); i++)
        if (!application[i])
            return false;
    return setupEnded;
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
    return read ? std::wstring(path, length) : L"";
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

// Of the job's processes still running, whether each is the application's (cached by id: a
// process's program does not change); *images gets the application's programs. The job's count
// of active processes alone is not trusted: Wine 10 was seen to keep counting an installer that had ended.
static std::vector<bool> LiveProcessesOfJob(HANDLE job, const std::wstring &setup, ExistedBefore existed,
                                            const void *context, std::map<DWORD, std::wstring> *known,
                                            std::vector<std::wstring> *images)
{
    std::vector<DWORD> ids, live;
    std::vector<bool> application;
    images->clear();
    if (!JobProcessIds(job, &ids))
        return application;
    for (size_t i = 0; i < ids.size(); i++) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, ids[i]);
        if (process == NULL)
            continue;
        bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        CloseHandle(process);
        if (!running)
            continue;
        if (!known->count(ids[i])) {
            std::wstring image = ProgramOfProcess(ids[i]);
            bool isApplication = existed != NULL
                && IsApplicationProgram(image, setup, existed(image, context),
                                        InstallersOwnProgram(image, !image.empty() && SameBytes(image, setup)));
            (*known)[ids[i]] = isApplication ? image : L"";
        }
        live.push_back(ids[i]);
        application.push_back(!(*known)[ids[i]].empty());
        if (application.back())
            images->push_back((*known)[ids[i]]);
    }
    if (std::count(application.begin(), application.end(), true) > 0
        && std::count(application.begin(), application.end(), false) > 0)
        AddStartedByApplication(live, ParentsOf(live), &application);
    return application;
}

InstallerRun RunInstaller(const std::wstring &setup, const std::vector<std::wstring> &arguments,
                          DWORD limitSeconds, ExistedBefore existed, const void *context)
{
    InstallerRun run = {false, 0, false, 0, 0, {}, {}};
    std::wstring commandLine = Quoted(setup);
    for (size_t i = 0; i < arguments.size(); i++)
        commandLine += L" " + Quoted(arguments[i]);

    // A job holds whatever the installer starts, so the limit ends all of it. Where the
    // check itself runs in a job that allows none inside (before Windows 8), only the
    // installer's own process is watched.
    // Wine starts its desktop process on first use, as a child of whoever asks: asked first by
    // the installer, it would join the installer's job and never end.
    GetDesktopWindow();
    HANDLE job = CreateJobObjectW(NULL, NULL);
    PROCESS_INFORMATION process;
    ULONGLONG started = GetTickCount64();
    run.StartError = StartProgram(setup.c_str(), commandLine, NULL, CREATE_SUSPENDED, NULL, &process);
    if (run.StartError != ERROR_SUCCESS) {
        if (job != NULL)
            CloseHandle(job);
        return run;
    }
    run.Started = true;
    if (job != NULL && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = NULL;
    }
    ResumeThread(process.hThread);

    std::vector<HWND> shown, boxes;
    std::map<DWORD, std::wstring> known;
    ULONGLONG deadline = started + (ULONGLONG)LimitMilliseconds(limitSeconds);
    for (;;) {
        bool ended = WaitProcess(process.hProcess, 200);
        // The application it started (an agent, a tray program) runs on: the installer has ended
        // when its own processes have.
        if (ended && job != NULL) {
            ended = InstallerEnded(true, LiveProcessesOfJob(job, setup, existed, context, &known, &run.Running));
            if (!ended)
                Sleep(200);
        }
        if (ended)
            break;
        if (GetTickCount64() >= deadline) {
            run.TimedOut = true;
            break;
        }
        BoxesOfJob(job, process.dwProcessId, &boxes);
        for (size_t i = 0; i < boxes.size(); i++) {
            bool seen = false;
            for (size_t j = 0; j < shown.size() && !seen; j++)
                seen = shown[j] == boxes[i];
            if (seen)
                continue;
            shown.push_back(boxes[i]);
            BoxRecord box = ReadBox(boxes[i]);
            std::wstring text = box.Text;
            for (size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at + 1))
                text.replace(at, 1, L" / ");
            Say(L"   the installer shows a box, and the check waits while nobody answers it: \"" + box.Caption
                + L"\": " + text);
            run.Boxes.push_back(box.Caption + L": " + text);
        }
    }
    if (run.TimedOut) {
        if (job != NULL)
            TerminateJobObject(job, 0xDEAD);
        StopProgram(process.hProcess);
        run.Running.clear();
    }
    run.Ms = GetTickCount64() - started;
    run.ExitCode = CloseProgram(&process);
    if (job != NULL)
        CloseHandle(job);
    return run;
}

bool RestartWinePrefix(DWORD limitSeconds)
{
    PROCESS_INFORMATION process;
    if (StartProgram(NULL, L"wineboot.exe -r", NULL, 0, NULL, &process) != ERROR_SUCCESS)
        return false;
    bool ended = WaitProcess(process.hProcess, LimitMilliseconds(limitSeconds));
    if (!ended)
        StopProgram(process.hProcess);
    CloseProgram(&process);
    return ended;
}

static BoxAnswer ChooseForCheck(BoxRecord *box, size_t, void *)
{
    // Only Cancel keeps the machine the check runs on from restarting.
    return box->Text == MsgRestartQuestion ? BoxAnswerCancel : BoxAnswerOk;
}

void RunUninstall(const std::wstring &commandLine, DWORD limitSeconds, bool interactive, RunRecord *record)
{
    if (!interactive) {
        // Without the shutdown privilege even a wrong answer cannot restart the machine.
        HANDLE token = TokenWithoutShutdownPrivilege();
        RunCommandLineChoosing(commandLine, ChooseForCheck, NULL, LimitMilliseconds(limitSeconds), record, token);
        if (token != NULL)
            CloseHandle(token);
        // A Windows that will not start it with that token: the Cancel answer still holds.
        if (!record->Started && token != NULL)
            RunCommandLineChoosing(commandLine, ChooseForCheck, NULL, LimitMilliseconds(limitSeconds), record, NULL);
        return;
    }
    record->Boxes.clear();
    record->TimedOut = false;
    record->ExitCode = 0;
    record->ShutdownPrivilege = -1;
    PROCESS_INFORMATION process;
    record->StartError = StartProgram(NULL, commandLine, NULL, 0, NULL, &process);
    record->Started = record->StartError == ERROR_SUCCESS;
    if (!record->Started)
        return;
    if (WaitForSingleObject(process.hProcess, LimitMilliseconds(limitSeconds)) != WAIT_OBJECT_0) {
        record->TimedOut = true;
        StopProgram(process.hProcess);
    }
    record->ExitCode = CloseProgram(&process);
}

int FirewallHasRule(const std::wstring &name)
{
    HRESULT initialised = OsCoInitializeEx(COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = NULL;
    INetFwRules *rules = NULL;
    INetFwRule *rule = NULL;
    BSTR text = NULL;
    int found = -1;
    if (SUCCEEDED(OsCoCreateInstance(ClsidNetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IidINetFwPolicy2,
                                     (void **)&policy))
        && SUCCEEDED(OsFirewallGetRules(policy, &rules)) && (text = OsSysAllocString(name.c_str())) != NULL) {
        HRESULT result = OsFirewallFindRule(rules, text, &rule);
        // Item answers "no such rule" with the file-not-found error; a store that cannot
        // be asked (Wine's) says it is not implemented.
        if (SUCCEEDED(result))
            found = 1;
        else if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            found = 0;
    }
    if (rule != NULL)
        OsRelease(rule);
    if (text != NULL)
        OsSysFreeString(text);
    if (rules != NULL)
        OsRelease(rules);
    if (policy != NULL)
        OsRelease(policy);
    if (SUCCEEDED(initialised))
        OsCoUninitialize();
    return found;
}

std::wstring ArgumentTextOf(const std::wstring &commandLine)
{
    size_t at = 0;
    bool quoted = false;
    for (; at < commandLine.size(); at++) {
        if (!quoted && commandLine[at] <= L' ')
            break;
        if (commandLine[at] == L'"')
            quoted = !quoted;
    }
    while (at < commandLine.size() && commandLine[at] <= L' ')
        at++;
    return commandLine.substr(at);
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
