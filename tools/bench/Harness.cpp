// Benchmark harness: lays out a fresh installation before every run, starts one
// uninstaller with an exact command line, answers every box OK and measures it.
//
// Harness.exe <rounds> <window counts, e.g. 10,100,1000> <scaling reps> <raw output file>
//             <program> ...
// where each <program> is name|exe|argument text|expected boxes|job|scaling
//   job: "uninstall" (the removal is checked after the run) or "none"
//   scaling: 1 to run it again with other top-level windows open
//   in the argument text, {AppDir}, {Lnk1}, {Lnk2}, {Exe}, {Chm}, {Uninstaller}
//   stand for the paths of the installation, each in double quotes but {AppDir}.
// The summary table (markdown) goes to standard output.
#include "BoxDriver.h"
#include "Installation.h"

#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

static const wchar_t AppName[] = L"Bench";
static const DWORD RunTimeoutMs = 20000;
// Memory counters are read at every box and on this period in between: under
// Wine they come from the live process and are gone once it has exited.
static const DWORD SampleMs = 5;

struct Program
{
    std::wstring Name, Exe, Argument;
    size_t ExpectedBoxes;
    bool Uninstalls, Scales;
};

struct Measure
{
    bool Started, TimedOut, JobDone;
    DWORD ExitCode;
    size_t Boxes;
    double WallMs, FirstBoxMs;  // FirstBoxMs < 0: no box
    SIZE_T PeakWorkingSet, PeakPagefile;
    std::wstring Problem;
};

static InstallationPaths Install;
static LARGE_INTEGER Frequency;

static double Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / Frequency.QuadPart;
}

static std::wstring Format(const wchar_t *format, ...)
{
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(buffer, 1023, format, args);
    va_end(args);
    buffer[1023] = 0;
    return buffer;
}

static void Replace(std::wstring *text, const std::wstring &from, const std::wstring &to)
{
    for (size_t at = text->find(from); at != std::wstring::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

static std::wstring ExpandArgument(std::wstring argument)
{
    Replace(&argument, L"{AppDir}", Install.Dir);
    Replace(&argument, L"{Lnk1}", L"\"" + Install.StartMenuLink + L"\"");
    Replace(&argument, L"{Lnk2}", L"\"" + Install.DesktopLink + L"\"");
    Replace(&argument, L"{Exe}", L"\"" + Install.Exe + L"\"");
    Replace(&argument, L"{Chm}", L"\"" + Install.Chm + L"\"");
    Replace(&argument, L"{Uninstaller}", L"\"" + Install.Uninstaller + L"\"");
    return argument;
}

static bool PendingHolds(const std::vector<std::wstring> &pending, const std::wstring &path)
{
    std::wstring wanted = L"\\??\\" + path;
    for (std::wstring entry : pending)
    {
        // NSIS registers a folder with a trailing backslash.
        if (entry.size() > 1 && entry.back() == L'\\')
            entry.pop_back();
        if (_wcsicmp(entry.c_str(), wanted.c_str()) == 0)
            return true;
    }
    return false;
}

static bool Exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh installation, whatever the previous run left behind.
static bool LayOutFresh(const Program &program)
{
    RemoveInstallation(Install);
    // An uninstaller may have taken a shell folder away with its last shortcut.
    CreateDirectoryW(ShellFolder(CSIDL_PROGRAMS).c_str(), NULL);
    CreateDirectoryW(ShellFolder(CSIDL_DESKTOPDIRECTORY).c_str(), NULL);
    return LayOut(Install, Installed | UninstallerCopy, program.Exe) == 0
        && SetKeyValue(HKEY_LOCAL_MACHINE, Install.UninstallKey, L"UninstallString",
                       L"\"" + Install.Uninstaller + L"\"")
        && SetKeyValue(HKEY_CURRENT_USER, Install.SettingsKey, L"Language", L"fr");
}

static std::wstring CheckJob()
{
    std::wstring problem;
    if (KeyExists(HKEY_LOCAL_MACHINE, Install.UninstallKey))
        problem += L"uninstall key left; ";
    if (KeyExists(HKEY_CURRENT_USER, Install.SettingsKey))
        problem += L"settings key left; ";
    const std::wstring gone[] = {Install.StartMenuLink, Install.DesktopLink, Install.Exe, Install.Chm};
    for (const std::wstring &path : gone)
        if (Exists(path))
            problem += path + L" left; ";
    std::vector<std::wstring> pending;
    ReadPendingDeletions(&pending);
    const std::wstring deferred[] = {Install.Uninstaller, Install.Dir};
    for (const std::wstring &path : deferred)
        if (Exists(path) && !PendingHolds(pending, path))
            problem += path + L" neither removed nor scheduled; ";
    return problem;
}

// Out-of-context window events tell the moment a box is shown, without polling.
struct Watch
{
    DWORD ProcessId;
    HWND Box;
    double ShownAt;
};
static Watch Watched;

static void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG,
                                DWORD, DWORD)
{
    double at = Now();
    if (object != OBJID_WINDOW || window == NULL || Watched.ProcessId == 0 || Watched.Box != NULL)
        return;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != Watched.ProcessId || !IsBox(window))
        return;
    Watched.Box = window;
    Watched.ShownAt = at;
}

static void SampleMemory(HANDLE process, Measure *measure)
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        return;
    measure->PeakWorkingSet = std::max(measure->PeakWorkingSet, counters.PeakWorkingSetSize);
    measure->PeakPagefile = std::max(measure->PeakPagefile, counters.PeakPagefileUsage);
}

static void RunOne(const Program &program, Measure *measure)
{
    *measure = Measure();
    measure->FirstBoxMs = -1;
    std::wstring commandLine = BuildCommandLine(Install.Uninstaller, ExpandArgument(program.Argument));
    PROCESS_INFORMATION process;
    Watched = Watch();

    double start = Now();
    DWORD error = StartProgram(Install.Uninstaller.c_str(), commandLine, NULL, 0, Install.Dir.c_str(),
                               &process);
    if (error != ERROR_SUCCESS)
    {
        measure->Problem = Format(L"cannot start it, error %lu", error);
        return;
    }
    measure->Started = true;
    Watched.ProcessId = process.dwProcessId;

    double deadline = start + RunTimeoutMs;
    bool exited = false;
    HWND answered = NULL;
    while (!exited && Now() < deadline)
    {
        // Not WaitProcess: the time of waking is read before pumping runs the event callback.
        DWORD wait = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, SampleMs, QS_ALLINPUT);
        double woke = Now();
        if (wait == WAIT_OBJECT_0)
        {
            exited = true;
            measure->WallMs = woke - start;
            break;
        }
        PumpMessages();
        SampleMemory(process.hProcess, measure);
        HWND box = Watched.Box;
        double shownAt = Watched.ShownAt;
        if (box == NULL)
        {
            // Should the events not come, a visible box is still found.
            box = FindBox(process.dwProcessId);
            shownAt = woke;
        }
        if (box == NULL || box == answered || !IsWindowVisible(box))
            continue;
        if (measure->Boxes == 0)
            measure->FirstBoxMs = shownAt - start;
        measure->Boxes++;
        answered = box;
        Watched.Box = NULL;
        AnswerBox(box, BoxAnswerOk);
    }
    Watched.ProcessId = 0;
    if (!exited)
    {
        measure->TimedOut = true;
        StopProgram(process.hProcess);
    }
    // On Windows the counters outlive the process (under Wine this read fails), so the
    // handle is closed only after it.
    SampleMemory(process.hProcess, measure);
    measure->ExitCode = CloseProgram(&process);
}

static void RunAndCheck(const Program &program, Measure *measure)
{
    if (!LayOutFresh(program))
    {
        *measure = Measure();
        measure->Problem = L"cannot lay out the installation";
        return;
    }
    RunOne(program, measure);
    std::wstring problem = measure->Problem;
    if (measure->TimedOut)
        problem += L"timed out; ";
    if (measure->Started && measure->ExitCode != 0)
        problem += Format(L"exit code %ld; ", (long)(LONG)measure->ExitCode);
    if (measure->Started && measure->Boxes != program.ExpectedBoxes)
        problem += Format(L"%u boxes, %u expected; ", (unsigned)measure->Boxes, (unsigned)program.ExpectedBoxes);
    if (measure->Started && program.Uninstalls)
        problem += CheckJob();
    measure->Problem = problem;
    measure->JobDone = problem.empty();
}

// ---- executable facts from the PE file itself

struct PeFacts
{
    DWORD FileSize, ResourceSize;
    std::wstring Imports;
};

static PeFacts ReadPe(const std::wstring &path)
{
    PeFacts facts = {0, 0, L"?"};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return facts;
    DWORD size = GetFileSize(file, NULL);
    std::vector<BYTE> bytes(size);
    DWORD read = 0;
    ReadFile(file, &bytes[0], size, &read, NULL);
    CloseHandle(file);
    facts.FileSize = size;
    if (read < sizeof(IMAGE_DOS_HEADER))
        return facts;
    IMAGE_DOS_HEADER *dos = (IMAGE_DOS_HEADER *)&bytes[0];
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || (DWORD)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS64) > read)
        return facts;
    IMAGE_NT_HEADERS64 *nt = (IMAGE_NT_HEADERS64 *)&bytes[dos->e_lfanew];
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return facts;
    IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    WORD count = nt->FileHeader.NumberOfSections;
    for (WORD i = 0; i < count; i++)
        if (strncmp((const char *)sections[i].Name, ".rsrc", 8) == 0)
            facts.ResourceSize += sections[i].SizeOfRawData;

    auto offsetOf = [&](DWORD rva) -> DWORD {
        for (WORD i = 0; i < count; i++)
            if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return 0;
    };
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    DWORD at = offsetOf(imports.VirtualAddress);
    std::wstring names;
    while (at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= read)
    {
        IMAGE_IMPORT_DESCRIPTOR *descriptor = (IMAGE_IMPORT_DESCRIPTOR *)&bytes[at];
        if (descriptor->Name == 0)
            break;
        DWORD name = offsetOf(descriptor->Name);
        if (name == 0 || name >= read)
            break;
        std::string dll((const char *)&bytes[name]);
        std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
        if (dll.size() > 4 && dll.compare(dll.size() - 4, 4, ".dll") == 0)
            dll.resize(dll.size() - 4);
        if (!names.empty())
            names += L", ";
        names += std::wstring(dll.begin(), dll.end());
        at += sizeof(IMAGE_IMPORT_DESCRIPTOR);
    }
    facts.Imports = names;
    return facts;
}

// ---- statistics

static double Quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    double position = q * (values.size() - 1);
    size_t low = (size_t)position;
    size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (position - low);
}

static std::wstring Ms(double value)
{
    return value < 0 ? L"–" : Format(L"%.0f", value);
}

static std::wstring Spread(const std::vector<double> &values)
{
    if (values.empty() || values[0] < 0)
        return L"–";
    return Format(L"%s (%s–%s; %s–%s)", Ms(Quantile(values, 0.5)).c_str(), Ms(Quantile(values, 0.25)).c_str(),
                  Ms(Quantile(values, 0.75)).c_str(), Ms(Quantile(values, 0)).c_str(),
                  Ms(Quantile(values, 1)).c_str());
}

static std::wstring KiB(double bytes)
{
    return Format(L"%.1f", bytes / 1024.0);
}

static std::wstring MiB(double bytes)
{
    return Format(L"%.1f", bytes / (1024.0 * 1024.0));
}

// Median of the ratios of two programs' values, paired round by round.
static std::wstring PairedRatio(const std::vector<Measure> &a, const std::vector<Measure> &b, bool firstBox)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
    {
        double x = firstBox ? a[i].FirstBoxMs : a[i].WallMs;
        double y = firstBox ? b[i].FirstBoxMs : b[i].WallMs;
        if (a[i].JobDone && b[i].JobDone && x > 0 && y > 0)
            ratios.push_back(x / y);
    }
    if (ratios.empty())
        return L"–";
    return Format(L"%.2f (%.2f–%.2f)", Quantile(ratios, 0.5), Quantile(ratios, 0.25), Quantile(ratios, 0.75));
}

// ---- other top-level windows, for the scaling runs

static LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// The crowd lives on a thread of its own that answers its messages at once,
// so the harness's own waiting never slows a program that talks to them.
struct Crowd
{
    size_t Count;
    HANDLE Ready, Thread;
    DWORD ThreadId;
};

static DWORD WINAPI CrowdThread(void *param)
{
    Crowd *crowd = (Crowd *)param;
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"HarnessCrowd";
    RegisterClassW(&windowClass);
    std::vector<HWND> windows;
    for (size_t i = 0; i < crowd->Count; i++)
    {
        // Titles of ordinary length that never hold the application name.
        std::wstring title = Format(L"Document %u - Editor of the crowd", (unsigned)i);
        HWND window = CreateWindowExW(0, L"HarnessCrowd", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                      NULL, NULL, GetModuleHandleW(NULL), NULL);
        if (window != NULL)
            windows.push_back(window);
    }
    MSG message;
    PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE);
    SetEvent(crowd->Ready);
    while (GetMessageW(&message, NULL, 0, 0) > 0)
        DispatchMessageW(&message);
    for (HWND window : windows)
        DestroyWindow(window);
    return 0;
}

static void OpenCrowd(Crowd *crowd, size_t count)
{
    crowd->Count = count;
    crowd->Ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    crowd->Thread = CreateThread(NULL, 0, CrowdThread, crowd, 0, &crowd->ThreadId);
    WaitForSingleObject(crowd->Ready, INFINITE);
}

static void CloseCrowd(Crowd *crowd)
{
    PostThreadMessageW(crowd->ThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(crowd->Thread, INFINITE);
    CloseHandle(crowd->Thread);
    CloseHandle(crowd->Ready);
}

static BOOL CALLBACK CountWindow(HWND, LPARAM param)
{
    (*(size_t *)param)++;
    return TRUE;
}

static size_t TopLevelWindows()
{
    size_t count = 0;
    EnumWindows(CountWindow, (LPARAM)&count);
    return count;
}

// ---- main

static std::vector<std::wstring> Split(const std::wstring &text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t from = 0;
    for (size_t at = text.find(separator); at != std::wstring::npos; at = text.find(separator, from))
    {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

int main()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc < 6)
    {
        WriteUtf8(out, L"usage: Harness.exe <rounds> <window counts> <scaling reps> <raw file> <name|exe|argument|boxes|job|scaling> ...\n");
        return 125;
    }
    QueryPerformanceFrequency(&Frequency);
    int rounds = _wtoi(argv[1]);
    std::vector<size_t> windowCounts;
    for (const std::wstring &count : Split(argv[2], L','))
        if (_wtoi(count.c_str()) > 0)
            windowCounts.push_back(_wtoi(count.c_str()));
    int scalingReps = _wtoi(argv[3]);
    HANDLE raw = CreateFileW(argv[4], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    std::vector<Program> programs;
    for (int i = 5; i < argc; i++)
    {
        std::vector<std::wstring> fields = Split(argv[i], L'|');
        if (fields.size() != 6)
        {
            WriteUtf8(out, L"bad program: " + std::wstring(argv[i]) + L"\n");
            return 125;
        }
        Program program = {fields[0], fields[1], fields[2], (size_t)_wtoi(fields[3].c_str()),
                           fields[4] == L"uninstall", fields[5] == L"1"};
        programs.push_back(program);
    }
    Install = PathsFor(AppName);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, NULL, OnWinEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    WriteUtf8(raw, L"phase\twindows\tround\tprogram\twall_ms\tfirst_box_ms\tboxes\texit\tpeak_ws\tpeak_pagefile\tproblem\n");

    auto record = [&](const wchar_t *phase, size_t windows, int round, const Program &program, const Measure &m) {
        WriteUtf8(raw, Format(L"%s\t%u\t%d\t%s\t%.2f\t%.2f\t%u\t%ld\t%Iu\t%Iu\t", phase, (unsigned)windows, round,
                          program.Name.c_str(), m.WallMs, m.FirstBoxMs, (unsigned)m.Boxes, (long)(LONG)m.ExitCode,
                          m.PeakWorkingSet, m.PeakPagefile) + m.Problem + L"\n");
        if (!m.JobDone)
            WriteUtf8(GetStdHandle(STD_ERROR_HANDLE), Format(L"%s round %d: ", program.Name.c_str(), round) + m.Problem + L"\n");
    };

    // Interleaved rounds: A B C A B C ..., so drift touches every program alike.
    std::map<std::wstring, std::vector<Measure>> results;
    for (int round = 1; round <= rounds; round++)
        for (const Program &program : programs)
        {
            Measure measure;
            RunAndCheck(program, &measure);
            results[program.Name].push_back(measure);
            record(L"rounds", 0, round, program, measure);
        }

    std::map<std::wstring, std::map<size_t, std::vector<Measure>>> scaling;
    size_t baseWindows = TopLevelWindows();
    std::map<size_t, size_t> openWindows;
    for (size_t count : windowCounts)
    {
        Crowd crowd;
        OpenCrowd(&crowd, count);
        size_t open = TopLevelWindows();
        for (int rep = 1; rep <= scalingReps; rep++)
            for (const Program &program : programs)
            {
                if (!program.Scales)
                    continue;
                Measure measure;
                RunAndCheck(program, &measure);
                scaling[program.Name][count].push_back(measure);
                record(L"scaling", count, rep, program, measure);
            }
        CloseCrowd(&crowd);
        openWindows[count] = open;
    }
    if (hook != NULL)
        UnhookWinEvent(hook);
    CloseHandle(raw);

    // ---- the summary
    const Program *peer = NULL, *floor = NULL;
    for (const Program &program : programs)
    {
        if (program.Name.find(L"peer") == 0 && peer == NULL)
            peer = &program;
        if (program.Name == L"floor")
            floor = &program;
    }
    WriteUtf8(out, Format(L"Rounds: %d, interleaved. Times in ms: median (interquartile range; min–max). "
                      L"Window events for the first box: %s.\n\n",
                      rounds, hook != NULL ? L"yes" : L"no, polled"));
    WriteUtf8(out, L"| program | runs ok | whole uninstall | process start to first box | file KiB | all but .rsrc KiB | imports | peak working set MiB | peak pagefile MiB |\n");
    WriteUtf8(out, L"|---|---|---|---|---|---|---|---|---|\n");
    for (const Program &program : programs)
    {
        const std::vector<Measure> &runs = results[program.Name];
        std::vector<double> wall, first, workingSet, pagefile;
        size_t ok = 0;
        for (const Measure &m : runs)
        {
            if (!m.JobDone)
                continue;
            ok++;
            wall.push_back(m.WallMs);
            first.push_back(m.FirstBoxMs);
            workingSet.push_back((double)m.PeakWorkingSet);
            pagefile.push_back((double)m.PeakPagefile);
        }
        PeFacts pe = ReadPe(program.Exe);
        WriteUtf8(out, Format(L"| %s | %u/%u | ", program.Name.c_str(), (unsigned)ok, (unsigned)runs.size())
                       + Spread(wall) + L" | " + Spread(first) + L" | " + KiB(pe.FileSize) + L" | "
                       + KiB(pe.FileSize - pe.ResourceSize) + L" | " + pe.Imports + L" | "
                       + (workingSet.empty() ? L"–" : MiB(Quantile(workingSet, 0.5))) + L" | "
                       + (pagefile.empty() ? L"–" : MiB(Quantile(pagefile, 0.5))) + L" |\n");
    }

    WriteUtf8(out, L"\nRatios, median of the per-round ratios (interquartile range):\n\n");
    WriteUtf8(out, L"| program | whole uninstall / peer | first box / peer | whole uninstall / floor |\n|---|---|---|---|\n");
    for (const Program &program : programs)
    {
        if (&program == floor)
            continue;
        // Each program against the peer doing the same job: a rule-removing
        // run against the rule-removing peer when there is one.
        const Program *against = peer;
        bool withRule = program.Name.find(L"rule") != std::wstring::npos;
        for (const Program &other : programs)
            if (other.Name.find(L"peer") == 0 && (other.Name.find(L"rule") != std::wstring::npos) == withRule)
                against = &other;
        const std::vector<Measure> &runs = results[program.Name];
        std::wstring wallPeer = L"–", firstPeer = L"–", wallFloor = L"–";
        if (against != NULL && against != &program)
        {
            wallPeer = PairedRatio(runs, results[against->Name], false) + L" vs " + against->Name;
            firstPeer = PairedRatio(runs, results[against->Name], true);
        }
        if (floor != NULL)
            wallFloor = PairedRatio(runs, results[floor->Name], false);
        WriteUtf8(out, L"| " + program.Name + L" | " + wallPeer + L" | " + firstPeer + L" | " + wallFloor + L" |\n");
    }

    if (!windowCounts.empty())
    {
        WriteUtf8(out, Format(L"\nScaling with other top-level windows open (%d runs each, interleaved; "
                          L"%u top-level windows in all without them): median ms, whole uninstall / first box.\n\n",
                          scalingReps, (unsigned)baseWindows));
        std::wstring header = L"| program | 0 (rounds above) |", rule = L"|---|---|";
        for (size_t count : windowCounts)
        {
            header += Format(L" %u (%u in all) |", (unsigned)count, (unsigned)openWindows[count]);
            rule += L"---|";
        }
        WriteUtf8(out, header + L"\n" + rule + L"\n");
        for (const Program &program : programs)
        {
            if (!program.Scales)
                continue;
            std::vector<double> wall, first;
            for (const Measure &m : results[program.Name])
                if (m.JobDone)
                {
                    wall.push_back(m.WallMs);
                    first.push_back(m.FirstBoxMs);
                }
            std::wstring line = L"| " + program.Name + L" | " + Ms(Quantile(wall, 0.5)) + L" / "
                                + Ms(Quantile(first, 0.5)) + L" |";
            for (size_t count : windowCounts)
            {
                std::vector<double> w, f;
                size_t failed = 0;
                for (const Measure &m : scaling[program.Name][count])
                {
                    if (!m.JobDone)
                    {
                        failed++;
                        continue;
                    }
                    w.push_back(m.WallMs);
                    f.push_back(m.FirstBoxMs);
                }
                line += L" " + Ms(Quantile(w, 0.5)) + L" / " + Ms(Quantile(f, 0.5))
                        + (failed ? Format(L" (%u failed)", (unsigned)failed) : L"") + L" |";
            }
            WriteUtf8(out, line + L"\n");
        }
    }
    LocalFree(argv);
    return 0;
}
