// What keeping the strip attached costs: the CPU time of the running
// Tavrowen2.exe over a stretch while detached (no Task Manager: a discovery
// every 150 ms) and a stretch while attached (two list messages and one
// GetClientRect every 150 ms), each as a share of one core. Also the
// stand-in Task Manager's own time while attached, since it answers the
// list messages. Under Wine, GetProcessTimes gives every process the
// caller's own times, so there bench/attach_cost.sh reads the same stretches
// from /proc instead; this program then only marks the stretches.
//   bench_attach_cost.exe [seconds per stretch, default 60]
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "standin_client.h"
#include "test_support.h"

namespace {

// Pumps with long waits, unlike the tests' PumpMessagesFor: this program's
// own wake-ups go through the wineserver, whose time is measured too.
void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}

double Seconds(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 1e7;
}

double CpuSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    return Seconds(kernel) + Seconds(user);
}

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

struct Stretch {
    double program;
    double taskManager;
    double wall;
};

// CPU used by the program (and Task Manager, when given) over `seconds`.
Stretch Measure(const char* name, HANDLE program, HANDLE taskManager, int seconds)
{
    printf("phase %s begin\n", name);
    double wallStart = Now();
    double programStart = CpuSeconds(program);
    double taskManagerStart = taskManager ? CpuSeconds(taskManager) : 0;
    Pump(seconds * 1000);
    Stretch stretch;
    stretch.wall = Now() - wallStart;
    stretch.program = CpuSeconds(program) - programStart;
    stretch.taskManager = taskManager ? CpuSeconds(taskManager) - taskManagerStart : 0;
    printf("phase %s end\n", name);
    return stretch;
}

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

int Fail(const char* what, PROCESS_INFORMATION* program)
{
    printf("bench_attach_cost: %s\n", what);
    if (program->hProcess)
        TerminateProcess(program->hProcess, 1);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds <= 0)
        seconds = 60;
    // Keeps Wine's desktop up while we watch.
    CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);

    PROCESS_INFORMATION program = {};
    if (!StartProgram(BinPath(L"Tavrowen2.exe"), L"/autostart", &program))
        return Fail("cannot start Tavrowen2.exe", &program);
    if (!WaitUntil([] { return FindWindowW(L"Tavrowen2", NULL) != NULL; }, 20000, 50))
        return Fail("Tavrowen2.exe shows no main window", &program);
    Pump(2000);
    Stretch detached = Measure("detached", program.hProcess, NULL, seconds);

    // The prefix's taskmgr.exe: the stand-in, installed where the system's would be.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    StandInTaskManager taskManager;
    if (!taskManager.Start(L"/count:40", std::wstring(system) + L"\\taskmgr.exe"))
        return Fail("cannot start Task Manager", &program);
    if (!WaitUntil([&] { return FindWindowExW(taskManager.page, NULL, L"LinksMarlet", NULL) != NULL; }, 20000, 50))
        return Fail("the strip did not attach", &program);
    Pump(2000);
    Stretch attached = Measure("attached", program.hProcess, taskManager.process.hProcess, seconds);

    if (UnderWine()) {
        printf("Under Wine GetProcessTimes reports the caller's own times for any process: "
               "the figures come from /proc.\n");
    } else {
        printf("Tavrowen2.exe CPU while detached (discovery every 150 ms): %.3f s in %.1f s = %.2f%% of one core\n",
               detached.program, detached.wall, 100 * detached.program / detached.wall);
        printf("Tavrowen2.exe CPU while attached (watch timers every 150 ms): %.3f s in %.1f s = %.2f%% of one core\n",
               attached.program, attached.wall, 100 * attached.program / attached.wall);
        printf("Task Manager CPU while attached (answering the watch): %.3f s = %.2f%% of one core\n",
               attached.taskManager, 100 * attached.taskManager / attached.wall);
    }

    taskManager.Kill();
    EndProgram(&program);
    return 0;
}
