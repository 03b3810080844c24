#include "run/Installer.h"

#include "data/PathText.h"
#include "judge/InstallerEnd.h"
#include "look/Now.h"
#include "look/Programs.h"
#include "run/Options.h"
#include "tell/RunReport.h"
#include "app/Run.h"

#include <tlhelp32.h>

#include <algorithm>
#include <map>

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
                                        InstallersOwnProgram(image, !image.empty() && SameBytes(image, setup), RealMachine()));
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

// The boxes of the installer's job not seen before: each told, and kept as "caption: text".
static void NewBoxesOfJob(HANDLE job, DWORD firstProcess, std::vector<HWND> *shown, std::vector<std::wstring> *texts)
{
    std::vector<HWND> boxes;
    BoxesOfJob(job, firstProcess, &boxes);
    for (size_t i = 0; i < boxes.size(); i++) {
        if (std::find(shown->begin(), shown->end(), boxes[i]) != shown->end())
            continue;
        shown->push_back(boxes[i]);
        BoxRecord box = ReadBox(boxes[i]);
        std::wstring text = box.Text;
        for (size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at + 1))
            text.replace(at, 1, L" / ");
        TellInstallerBox(box.Caption, text);
        texts->push_back(box.Caption + L": " + text);
    }
}

// Waits for the installer, and for what it starts but the application, until the deadline; the
// boxes it shows meanwhile are told.
static void WaitForInstaller(HANDLE job, const PROCESS_INFORMATION &process, ULONGLONG deadline,
                             const std::wstring &setup, ExistedBefore existed, const void *context, InstallerRun *run)
{
    std::vector<HWND> shown;
    std::map<DWORD, std::wstring> known;
    for (;;) {
        bool ended = WaitProcess(process.hProcess, 200);
        // The application it started (an agent, a tray program) runs on: the installer has ended
        // when its own processes have.
        if (ended && job != NULL) {
            ended = InstallerEnded(true, LiveProcessesOfJob(job, setup, existed, context, &known, &run->Running));
            if (!ended)
                Sleep(200);
        }
        if (ended)
            break;
        if (GetTickCount64() >= deadline) {
            run->TimedOut = true;
            break;
        }
        NewBoxesOfJob(job, process.dwProcessId, &shown, &run->Boxes);
    }
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

    WaitForInstaller(job, process, started + (ULONGLONG)LimitMilliseconds(limitSeconds), setup, existed, context, &run);
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
