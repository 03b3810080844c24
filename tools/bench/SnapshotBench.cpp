// SnapshotBench.exe: the installer check's snapshots on this machine, never part of the
// tests. Takes one snapshot, a second, compares them, and prints one "name value" line each
// for a script to read: how long each took, the bytes a snapshot holds, and the peak working
// set while the check holds two snapshots and compares them.
#include "judge/Compare.h"
#include "data/Snapshot.h"
#include "look/Look.h"

#include <psapi.h>
#include <stdio.h>

static double Seconds(const LARGE_INTEGER &from, const LARGE_INTEGER &to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

static LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

static double PeakMegabytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return (double)counters.PeakWorkingSetSize / 1048576.0;
}

int main()
{
    // Before anything is held: the program's own floor, to tell the snapshots' share.
    printf("start_peak_mb %.1f\n", PeakMegabytes());

    Snapshot first, second;
    LARGE_INTEGER started = Now();
    TakeSnapshot(&first, NULL);
    LARGE_INTEGER taken = Now();
    size_t files = 0, folders = 0;
    for (size_t i = 0; i < first.Records.size(); i++) {
        files += first.Records[i].Kind == EntryFile;
        folders += first.Records[i].Kind == EntryFolder;
    }
    printf("records %llu\n", (unsigned long long)first.Records.size());
    printf("files %llu\n", (unsigned long long)files);
    printf("folders %llu\n", (unsigned long long)folders);
    printf("record_size %llu\n", (unsigned long long)sizeof(Record));
    printf("snapshot_seconds %.2f\n", Seconds(started, taken));
    printf("snapshot_bytes %llu\n", (unsigned long long)SnapshotBytes(first));
    // What the vectors use against what they reserved: growth by doubling leaves the rest idle.
    printf("used_bytes %llu\n", (unsigned long long)(first.Records.size() * sizeof(Record)
                                                    + first.Names.size() * sizeof(wchar_t) + first.Data.size()));
    printf("name_bytes %llu\n", (unsigned long long)(first.Names.size() * sizeof(wchar_t)));
    printf("data_bytes %llu\n", (unsigned long long)first.Data.size());
    printf("one_snapshot_peak_mb %.1f\n", PeakMegabytes());

    started = Now();
    TakeSnapshot(&second, &first);
    taken = Now();
    printf("second_snapshot_seconds %.2f\n", Seconds(started, taken));

    std::vector<Change> changes;
    started = Now();
    CompareSnapshots(first, second, &changes);
    LARGE_INTEGER compared = Now();
    printf("changes %llu\n", (unsigned long long)changes.size());
    printf("compare_seconds %.2f\n", Seconds(started, compared));
    printf("peak_working_set_mb %.1f\n", PeakMegabytes());
    fflush(stdout);
    return first.Records.empty() ? 1 : 0;
}
