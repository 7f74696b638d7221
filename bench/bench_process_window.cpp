// What the Running Processes window costs, with many processes running:
// the time to open it with every row shown, a refresh that finds no change,
// the CPU time while it is open and idle and while it is closed, and the
// kernel handles left after opening and closing it many times. The window
// runs in this process, as the program runs it; bench/process_window.sh
// runs this under Wine.
//   bench_process_window.exe [processes (150)] [seconds per CPU stretch (60)] [open/close rounds (200)]
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "core/seams.h"
#include "app/app_state.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "resource.h"
#include "test_support.h"

namespace {

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

double OwnCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (k.QuadPart + u.QuadPart) / 1e7;
}

// The program's own loop: waits for messages, dispatches them.
void RunLoopFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (!HandleProcessWindowMessage(&message))
                DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 500, QS_ALLINPUT);
    }
}

int CountProcesses()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    PROCESSENTRY32W process;
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process))
        ++count;
    CloseHandle(snapshot);
    return count;
}

// The path lookups of new rows, timed on their way through.
ProcessPathSource realPathSource = seams.processPathSource;
double pathSeconds = 0;

bool TimedPathSource(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    double start = Now();
    bool found = realPathSource(process, exePath);
    pathSeconds += Now() - start;
    return found;
}

int ListedRows()
{
    HWND list = GetDlgItem(ProcessWindowHandle(), IDC_PROCESS_LIST);
    return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    int processes = argc > 1 ? atoi(argv[1]) : 150;
    int seconds = argc > 2 ? atoi(argv[2]) : 60;
    int rounds = argc > 3 ? atoi(argv[3]) : 200;
    appState.instance = GetModuleHandleW(NULL);
    setvbuf(stdout, NULL, _IONBF, 0);

    int before = CountProcesses();
    std::vector<PROCESS_INFORMATION> idle;
    for (int i = 0; i < processes; ++i) {
        PROCESS_INFORMATION process;
        if (StartProgram(BinPath(L"idle_process.exe"), L"", &process))
            idle.push_back(process);
    }
    WaitUntil([&] { return CountProcesses() >= before + (int)idle.size(); }, 120000, 200);
    printf("%d processes running (%d started for the benchmark)\n", CountProcesses(), (int)idle.size());
    // What every refresh must pay at least: one process snapshot.
    double snapshotStart = Now();
    for (int i = 0; i < 50; ++i)
        CountProcesses();
    printf("process snapshot alone: mean %.2f ms\n", (Now() - snapshotStart) * 1000 / 50);

    // Opening: the window, its first snapshot, every row, and its first paint.
    seams.processPathSource = TimedPathSource;
    std::vector<double> opens;
    std::vector<double> paths;
    for (int i = 0; i < 5; ++i) {
        pathSeconds = 0;
        double start = Now();
        ShowProcessWindow();
        UpdateWindow(ProcessWindowHandle());
        opens.push_back((Now() - start) * 1000);
        paths.push_back(pathSeconds * 1000);
        if (i == 0) {
            printf("rows shown: %d\n", ListedRows());
            // Description, company, folder, icon and signer come from the details
            // reader; meanwhile the window handles each message as it comes.
            double longest = 0;
            while (AreRowDetailsPending()) {
                MSG message;
                while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
                    double began = Now();
                    if (!HandleProcessWindowMessage(&message))
                        DispatchMessageW(&message);
                    longest = std::max(longest, Now() - began);
                }
                MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
            }
            printf("every row's details and signer read %.1f ms after opening; the longest message meanwhile %.1f ms\n",
                   (Now() - start) * 1000, longest * 1000);
        }
        RunLoopFor(200);
        if (i < 4)
            CloseProcessWindow();
    }
    printf("open with every row shown, 5 times (ms):");
    for (size_t i = 0; i < opens.size(); ++i)
        printf(" %.1f", opens[i]);
    printf("\n  of which finding the executables' paths (ms):");
    for (size_t i = 0; i < paths.size(); ++i)
        printf(" %.1f", paths[i]);
    std::sort(opens.begin(), opens.end());
    printf("\n  median %.1f ms\n", opens[opens.size() / 2]);

    // A refresh that finds the same processes.
    std::vector<double> refreshes;
    pathSeconds = 0;
    for (int i = 0; i < 50; ++i) {
        double start = Now();
        RefreshProcessWindow();
        refreshes.push_back((Now() - start) * 1000);
    }
    std::sort(refreshes.begin(), refreshes.end());
    double sum = 0;
    for (double ms : refreshes)
        sum += ms;
    printf("refresh with no change (50 runs): mean %.2f ms, median %.2f, max %.2f ms (%.1f ms finding paths)\n",
           sum / refreshes.size(), refreshes[refreshes.size() / 2], refreshes.back(), pathSeconds * 1000);

    // CPU while open and idle, then while closed.
    double cpu = OwnCpuSeconds(), wall = Now();
    RunLoopFor(seconds * 1000);
    cpu = OwnCpuSeconds() - cpu;
    wall = Now() - wall;
    printf("CPU open and idle: %.3f s in %.1f s = %.3f%% of one core\n", cpu, wall, 100 * cpu / wall);
    CloseProcessWindow();
    cpu = OwnCpuSeconds();
    wall = Now();
    RunLoopFor(seconds * 1000);
    cpu = OwnCpuSeconds() - cpu;
    wall = Now() - wall;
    printf("CPU closed: %.3f s in %.1f s = %.3f%% of one core\n", cpu, wall, 100 * cpu / wall);

    // Handles over many openings and closings (one first: libraries and the
    // folder table settle).
    ShowProcessWindow();
    RunLoopFor(100);
    CloseProcessWindow();
    size_t handlesBefore = CountProcessHandles(GetCurrentProcessId());
    for (int i = 0; i < rounds; ++i) {
        ShowProcessWindow();
        RunLoopFor(20);
        CloseProcessWindow();
    }
    size_t handlesAfter = CountProcessHandles(GetCurrentProcessId());
    printf("kernel handles around %d openings and closings: %u before, %u after\n", rounds, (unsigned)handlesBefore,
           (unsigned)handlesAfter);

    for (PROCESS_INFORMATION& process : idle)
        TerminateProcess(process.hProcess, 0);
    for (PROCESS_INFORMATION& process : idle)
        EndProgram(&process);
    return 0;
}
